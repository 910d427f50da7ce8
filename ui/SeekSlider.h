#pragma once
#include "ui/Trackbar.h"

namespace talvinor {

// Codes the seek slider sends with kWmNotify (the control id in wParam).
inline constexpr int kSeekDragBegin = 0x10001;
inline constexpr int kSeekDragEnd = 0x10002;
inline constexpr int kSeekPositionChanged = 0x10003;

// Whether the seek slider is being dragged.
enum class SeekDrag {
  Idle,      // no pen on the slider
  Dragging,  // the pen went down on it and holds the pointer
};

// The player's seek slider: a tap jumps straight to the tapped place, and one
// drag reports begin, position changes and end, in that order.
class SeekSlider : public Trackbar {
  TALVINOR_CLASS_CODES(0x4081, 0x4008, 0x4000)

 public:
  // Client x of the range's start and the pixels the track loses to the
  // thumb and the margins: position = min + (x - 10) * (max - min) / (w - 22).
  static constexpr int kTrackStart = 10;
  static constexpr int kTrackLoss = 22;

  // The position for a tap at client x on a slider `width` pixels wide,
  // clamped into the range; `minimum` when the slider is too narrow to have
  // a track.
  static int PositionForTap(int x, int width, int minimum, int maximum);

  SeekDrag DragState() const { return m_drag; }

  // The pen, in client coordinates (the widget's mouse events land here;
  // tests call them directly too).
  void OnPenDown(int x);
  void OnPenMove(int x);
  void OnPenUp();
  // The pointer went elsewhere (a dialog opened, the window was hidden).
  void OnCaptureLost();

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  void Notify(int code);

  SeekDrag m_drag = SeekDrag::Idle;
};

}  // namespace talvinor
