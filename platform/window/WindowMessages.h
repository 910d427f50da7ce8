#pragma once
#include <cstdint>

namespace talvinor {

// Window ids stand in for window handles: a process-wide registry maps each
// id to the sink that delivers its messages. 0 is never a window.
using WindowId = uintptr_t;

// Message numbers keep the handset's values.
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmApp = 0x8000;
inline constexpr uint32_t kWmRunCommandQueue = 0x8001;     // frame: execute the command queue
inline constexpr uint32_t kWmTakeChannelMessage = 0x8002;  // frame: take a channel message
inline constexpr uint32_t kWmRecordNotify = 0x8008;        // recording master state notice
inline constexpr uint32_t kWmPlayNotify = 0x8009;          // playback master state notice
inline constexpr uint32_t kWmConvertNotify = 0x800A;       // conversion master state notice
inline constexpr uint32_t kWmFrameQuery = 0x8010;          // answered with 1 by the frame
inline constexpr uint32_t kWmTerminationSignal = 0x8011;   // frame: SIGTERM/SIGINT/SIGHUP arrived (wParam: its number)

struct WindowMessage {
  WindowId window = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

// Receives the messages posted to one window. Deliver is called on the
// posting thread, under the registry's lock: it must only enqueue (to a Qt
// event, a headless queue) and never call back into the registry.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Deliver(const WindowMessage& message) = 0;
};

// Registers `sink` (kept by the caller, not by the registry) under a new id.
WindowId RegisterWindow(MessageSink* sink);
// After this returns no Deliver to that sink is running or will start; later
// posts to the id are dropped.
void UnregisterWindow(WindowId window);
bool IsWindow(WindowId window);

// Callable from any thread. False when the window is gone (the message is
// dropped, never delivered to freed memory).
bool PostMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace talvinor
