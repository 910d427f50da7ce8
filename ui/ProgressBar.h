#pragma once
#include "ui/Window.h"

namespace talvinor {


// "msctls_progress32": a horizontal bar filled from its range's low end to
// its position. Positions outside the range are clamped into it.
class ProgressBar : public Window {
  TALVINOR_CLASS_CODES(0x4031, 0x4000)

 public:
  const wchar_t* ClassName() const override { return L"msctls_progress32"; }
  void SetRange(int low, int high);
  void GetRange(int* low, int* high) const;
  void SetPos(int position);
  int GetPos() const;

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;
};

}  // namespace talvinor
