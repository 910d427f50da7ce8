#include "platform/ManualResetEvent.h"

#include <chrono>

namespace talvinor {

void ManualResetEvent::Set() {
  {
    std::lock_guard lock(m_mutex);
    m_set = true;
  }
  m_cond.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard lock(m_mutex);
  m_set = false;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard lock(m_mutex);
  return m_set;
}

bool ManualResetEvent::Wait(uint32_t timeoutMs) const {
  std::unique_lock lock(m_mutex);
  if (timeoutMs == kInfinite) {
    m_cond.wait(lock, [this] { return m_set; });
    return true;
  }
  return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; });
}

}  // namespace talvinor
