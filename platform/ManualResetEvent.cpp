#include "platform/ManualResetEvent.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <climits>

namespace talvinor {

namespace {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);

uint32_t* Address(std::atomic<uint32_t>* word) { return reinterpret_cast<uint32_t*>(word); }

}  // namespace

void ManualResetEvent::Set() {
  // The word's address is all the wake needs: an owner that sees the event
  // set may go on to destroy it while this call still returns.
  uint32_t before = m_word.fetch_or(kSetBit, std::memory_order_acq_rel);
  if ((before & kSetBit) == 0 && before >= kSleeper) {
    ::syscall(SYS_futex, Address(&m_word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
  }
}

void ManualResetEvent::Reset() { m_word.fetch_and(~kSetBit, std::memory_order_acq_rel); }

bool ManualResetEvent::IsSet() const { return (m_word.load(std::memory_order_acquire) & kSetBit) != 0; }

bool ManualResetEvent::Wait(uint32_t timeoutMs) const {
  using SteadyClock = std::chrono::steady_clock;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs == kInfinite ? 0 : timeoutMs);
  for (;;) {
    if (IsSet()) return true;
    struct timespec remaining {};
    if (timeoutMs != kInfinite) {
      auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - SteadyClock::now()).count();
      if (left <= 0) return false;
      remaining.tv_sec = static_cast<time_t>(left / 1000000000);
      remaining.tv_nsec = static_cast<long>(left % 1000000000);
    }
    // Counted as a sleeper before the last look: a Set after this point
    // either changes the word (the sleep below returns at once) or sees the
    // sleeper and wakes it.
    uint32_t word = m_word.fetch_add(kSleeper, std::memory_order_acq_rel) + kSleeper;
    if ((word & kSetBit) == 0) {
      // Returns on a wake, a time-out, a signal, or at once when the word
      // has changed meanwhile (another sleeper came or went): every case
      // looks again above.
      ::syscall(SYS_futex, Address(&m_word), FUTEX_WAIT_PRIVATE, word, timeoutMs == kInfinite ? nullptr : &remaining,
                nullptr, 0);
    }
    m_word.fetch_sub(kSleeper, std::memory_order_acq_rel);
  }
}

}  // namespace talvinor
