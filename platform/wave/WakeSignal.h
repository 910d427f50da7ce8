#pragma once
#include <poll.h>

#include "platform/RecursiveLock.h"

namespace talvinor {

// Wakes a device thread that sleeps in poll(): an eventfd that stays
// readable from Signal until Drain, so a signal given before the thread
// starts waiting is never lost.
class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  bool IsValid() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  void Signal();
  void Drain();

 private:
  int m_fd;
};

// poll() with `lock` (held once by the caller) released while blocking, and
// held again on return. Interrupted polls are not retried: callers loop.
// Returns poll's result; failures are traced.
int PollReleasing(RecursiveLock* lock, pollfd* fds, nfds_t count, int timeoutMs);

}  // namespace talvinor
