#pragma once
#include "ui/Page.h"
#include "ui/PageLayout.h"

namespace talvinor {

// A page of the frame whose controls are not part of the program yet: it
// takes part in page switching and answers every external command with "not
// handled", shows the skin's background for its page and nothing else.
class EmptyPage : public Page {
 public:
  explicit EmptyPage(SkinPage skinPage) : m_skinPage(skinPage) {}

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void OnLayout() override;

 private:
  SkinPage m_skinPage;
};

}  // namespace talvinor
