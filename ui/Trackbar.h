#pragma once
#include "ui/Window.h"

namespace talvinor {

inline constexpr uint32_t kTbsNoTicks = 0x0010;
inline constexpr uint32_t kTbsFixedLength = 0x0040;

// Scroll codes sent with kWmHScroll.
inline constexpr uint32_t kTbThumbTrack = 5;
inline constexpr uint32_t kTbEndTrack = 8;

// "msctls_trackbar32": a horizontal slider over an integer range. Moves by
// the user send kWmHScroll (kTbThumbTrack, then kTbEndTrack) to the parent.
class Trackbar : public Window {
  TALVINOR_CLASS_CODES(0x4008, 0x4000)

 public:
  const wchar_t* ClassName() const override { return L"msctls_trackbar32"; }

  void SetRange(int minimum, int maximum, bool redraw);
  int GetRangeMin() const;
  int GetRangeMax() const;
  // Clamped into the range.
  void SetPos(int position, bool redraw = true);
  int GetPos() const;
  void SetPageSize(int size);
  int GetPageSize() const;

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;
};

}  // namespace talvinor
