#pragma once
#include "core/RefPtr.h"
#include "ui/Page.h"
#include "ui/PageLayout.h"
#include "ui/StaticText.h"

namespace talvinor {

// A page of the frame whose controls are not part of the program yet: it
// takes part in page switching, answers every external command with "not
// handled", and says on the skin's background for its page, in the skin's
// font and the page's text colour, that it comes in a later version.
class EmptyPage : public Page {
 public:
  // Broken where a reader pauses, rather than wherever the width runs out.
  static constexpr const wchar_t* kLaterVersionText = L"このページは今後のバージョンで\n使えるようになります。";

  explicit EmptyPage(SkinPage skinPage) : m_skinPage(skinPage) {}

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void OnLayout() override;

  // The text that says so; null before the page's window is made.
  StaticText* Notice() const { return m_notice.Get(); }

 private:
  SkinPage m_skinPage;
  RefPtr<StaticText> m_notice;
};

}  // namespace talvinor
