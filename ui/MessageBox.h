#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/window/WindowMessages.h"

namespace talvinor {

// Flags with the handset's values: buttons, icon, default button.
inline constexpr uint32_t kMbOk = 0x00;
inline constexpr uint32_t kMbOkCancel = 0x01;
inline constexpr uint32_t kMbYesNoCancel = 0x03;
inline constexpr uint32_t kMbYesNo = 0x04;
inline constexpr uint32_t kMbIconHand = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconExclamation = 0x30;
inline constexpr uint32_t kMbIconAsterisk = 0x40;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbDefButton3 = 0x200;

struct MessageBoxRequest {
  WindowId owner = 0;
  std::wstring text;
  std::wstring caption;
  uint32_t flags = 0;
};

// The program's one message box. It shows a modal Qt box over its owner
// with Japanese buttons (はい / いいえ / キャンセル / OK), the flags' icon and
// default button, and answers kIdOk, kIdCancel, kIdYes or kIdNo (UiTypes.h);
// 0 when it cannot be shown. UI thread only.
class MessageBox {
 public:
  static int Show(WindowId owner, const std::wstring& text, const std::wstring& caption, uint32_t flags);

  // Replaces the box (tests script the answers and record the texts);
  // returns the previous answerer. An empty answerer restores the Qt box.
  using Answerer = std::function<int(const MessageBoxRequest&)>;
  static Answerer SetAnswerer(Answerer answerer);

  // The Qt box itself, whatever answerer is installed.
  static int ShowQtBox(const MessageBoxRequest& request);
};

}  // namespace talvinor
