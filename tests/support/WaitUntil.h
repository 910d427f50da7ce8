#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/Clock.h"

namespace talvinor::testing {

// Waits up to `timeoutMs` for `condition`, testing every millisecond. For
// threads that need no event loop; the window tests pump Qt's events instead
// (UiWaitUntil.h).
inline bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs = 5000) {
  uint32_t start = GetTickCount();
  while (!condition()) {
    if (TicksSince(start, GetTickCount()) >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace talvinor::testing
