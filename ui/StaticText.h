#pragma once
#include "ui/Window.h"

namespace talvinor {

inline constexpr uint32_t kSsLeft = 0x0;
inline constexpr uint32_t kSsCenter = 0x1;
inline constexpr uint32_t kSsRight = 0x2;
inline constexpr uint32_t kSsCenterImage = 0x200;  // the text vertically centred in the label

// "STATIC": a label (style 0x54000001 centres it). Drawn transparent unless
// given opaque colours.
class StaticText : public Window {
  TALVINOR_CLASS_CODES(0x4003, 0x4000)

 public:
  const wchar_t* ClassName() const override { return L"STATIC"; }
  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;
};

}  // namespace talvinor
