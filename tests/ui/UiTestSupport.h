#pragma once
#include <QTest>

#include <functional>
#include <vector>

#include "support/UiWaitUntil.h"
#include "ui/Window.h"

namespace talvinor::testing {

// A window that records every message it handles.
class RecordingWindow : public Window {
 public:
  std::vector<WindowMessage> messages;
  std::vector<ControlNotify> notifications;
  intptr_t createAnswer = 0;
  intptr_t notifyAnswer = 0;
  bool refuseClose = false;

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    messages.push_back({Id(), message, wParam, lParam});
    if (message == kWmCreate) return createAnswer;
    if (message == kWmNotify) {
      notifications.push_back(*reinterpret_cast<const ControlNotify*>(lParam));
      return notifyAnswer;
    }
    if (message == kWmClose && refuseClose) return 0;
    return Window::HandleMessage(message, wParam, lParam);
  }

  std::vector<WindowMessage> Only(uint32_t message) const {
    std::vector<WindowMessage> found;
    for (const auto& m : messages)
      if (m.message == message) found.push_back(m);
    return found;
  }
};

}  // namespace talvinor::testing
