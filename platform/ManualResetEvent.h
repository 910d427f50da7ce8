#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"

namespace talvinor {

// A manual-reset event: once set, every wait returns at once until Reset.
// Time-outs are in milliseconds on the steady clock; kInfinite waits forever.
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event was (or became) set, false on time-out.
  bool Wait(uint32_t timeoutMs) const;

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_cond;
  bool m_set;  // guarded by m_mutex
};

}  // namespace talvinor
