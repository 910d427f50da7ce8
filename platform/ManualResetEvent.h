#pragma once
#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

namespace talvinor {

// A manual-reset event: once set, every wait returns at once until Reset.
// Time-outs are in milliseconds on the steady clock; kInfinite waits forever.
//
// One futex word holds the state and the number of sleepers, so Set, Reset
// and IsSet take no lock, and Set makes a system call only when it changes
// the state and someone sleeps. (A mutex and condition variable made every
// post to a sleeping thread cost a wake for the flag and another for the
// mutex the two then fought over.)
class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initiallySet = false) : m_word(initiallySet ? kSetBit : 0) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event was (or became) set, false on time-out.
  bool Wait(uint32_t timeoutMs) const;

 private:
  static constexpr uint32_t kSetBit = 1;
  static constexpr uint32_t kSleeper = 2;  // one sleeper in the bits above the state
  // Bit 0: set. Bits 1..31: threads inside Wait's sleep.
  mutable std::atomic<uint32_t> m_word;
};

}  // namespace talvinor
