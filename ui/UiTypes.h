#pragma once
#include <cstdint>

#include "platform/window/WindowMessages.h"

// Values the window toolkit shares with its users: colours, rectangles,
// style bits, message numbers and notification codes. They keep the
// handset's numbers so that pages keep their control and command ids.

namespace talvinor {

// A colour as the handset stores it: 0x00BBGGRR.
using ColorRef = uint32_t;
constexpr ColorRef MakeRgb(int r, int g, int b) {
  return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(ColorRef c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(ColorRef c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(ColorRef c) { return static_cast<int>((c >> 16) & 0xFF); }

// Position and size in pixels, relative to the parent's client area.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Window style bits understood by every window.
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kWsVisible = 0x10000000;
inline constexpr uint32_t kWsDisabled = 0x08000000;
inline constexpr uint32_t kWsClipSiblings = 0x04000000;
inline constexpr uint32_t kWsBorder = 0x00800000;
inline constexpr uint32_t kWsVScroll = 0x00200000;
inline constexpr uint32_t kWsHScroll = 0x00100000;
inline constexpr uint32_t kWsGroup = 0x00020000;
inline constexpr uint32_t kWsTabStop = 0x00010000;

// Message numbers used by the toolkit beyond those of WindowMessages.h.
inline constexpr uint32_t kWmSize = 0x0005;  // lParam: width | height << 16
inline constexpr uint32_t kWmPaint = 0x000F;  // posted by worker threads to ask for a redraw
inline constexpr uint32_t kWmNotify = 0x004E;  // wParam: control id, lParam: const ControlNotify*
inline constexpr uint32_t kWmContextMenu = 0x007B;
inline constexpr uint32_t kWmInitDialog = 0x0110;
inline constexpr uint32_t kWmHScroll = 0x0114;  // wParam low word: scroll code, lParam: control window id

constexpr uintptr_t MakeWParam(uint32_t low, uint32_t high) {
  return static_cast<uintptr_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
constexpr uint32_t LowWord(uintptr_t value) { return static_cast<uint32_t>(value & 0xFFFF); }
constexpr uint32_t HighWord(uintptr_t value) { return static_cast<uint32_t>((value >> 16) & 0xFFFF); }

// What a control tells its parent with kWmNotify. Sent synchronously, so the
// pointer is valid only during the call.
struct ControlNotify {
  WindowId from = 0;
  int controlId = 0;
  int code = 0;
  int item = -1;     // list row or tab index, -1 when none
  int subItem = -1;  // list column
  int x = 0;         // point in the control's client coordinates
  int y = 0;
};

// Notification codes.
inline constexpr int kNmClick = -2;
inline constexpr int kNmDblClk = -3;
inline constexpr int kNmReturn = -4;
inline constexpr int kNmSetFocus = -7;
inline constexpr int kLvnItemChanged = -101;
inline constexpr int kLvnColumnClick = -108;
inline constexpr int kTcnSelChange = -551;
inline constexpr int kTcnSelChanging = -552;  // a non-zero answer keeps the old tab
inline constexpr int kGnContextMenu = 1000;   // tap-and-hold (the context-menu gesture)

// WM_COMMAND notification codes (high word of wParam).
inline constexpr int kBnClicked = 0;
inline constexpr int kEnSetFocus = 0x0100;
inline constexpr int kEnKillFocus = 0x0200;
inline constexpr int kEnChange = 0x0300;
inline constexpr int kCbnSelChange = 1;
inline constexpr int kCbnSetFocus = 3;
inline constexpr int kCbnKillFocus = 4;
inline constexpr int kCbnEditChange = 5;

// Dialog results and the commands of the standard buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Virtual key codes delivered with kWmKeyDown / kWmKeyUp. lParam bit 30 is
// set on auto-repeat (the key was already down), bit 31 on key up.
inline constexpr uint32_t kVkBack = 0x08;
inline constexpr uint32_t kVkTab = 0x09;
inline constexpr uint32_t kVkReturn = 0x0D;
inline constexpr uint32_t kVkEscape = 0x1B;
inline constexpr uint32_t kVkSpace = 0x20;
inline constexpr uint32_t kVkPrior = 0x21;
inline constexpr uint32_t kVkNext = 0x22;
inline constexpr uint32_t kVkEnd = 0x23;
inline constexpr uint32_t kVkHome = 0x24;
inline constexpr uint32_t kVkLeft = 0x25;
inline constexpr uint32_t kVkUp = 0x26;
inline constexpr uint32_t kVkRight = 0x27;
inline constexpr uint32_t kVkDown = 0x28;
inline constexpr uint32_t kVkDelete = 0x2E;
inline constexpr uint32_t kVkF1 = 0x70;
inline constexpr uint32_t kVkF2 = 0x71;
inline constexpr uint32_t kVkF8 = 0x77;
inline constexpr uint32_t kVkF24 = 0x87;
inline constexpr uint32_t kVkOem7 = 0xDE;  // the key the handset sends as 222
inline constexpr intptr_t kKeyRepeatBit = intptr_t{1} << 30;

}  // namespace talvinor
