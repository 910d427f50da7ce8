#include "platform/wave/WakeSignal.h"

#include <errno.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/Trace.h"

namespace talvinor {

WakeSignal::WakeSignal() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (m_fd < 0) TraceErrno(errno, "WakeSignal: eventfd");
}

WakeSignal::~WakeSignal() {
  if (m_fd >= 0 && ::close(m_fd) != 0) TraceErrno(errno, "WakeSignal: close");
}

void WakeSignal::Signal() {
  uint64_t one = 1;
  // EAGAIN means the counter is saturated, which still leaves it readable.
  if (::write(m_fd, &one, sizeof one) < 0 && errno != EAGAIN) TraceErrno(errno, "WakeSignal: write");
}

void WakeSignal::Drain() {
  uint64_t count = 0;
  if (::read(m_fd, &count, sizeof count) < 0 && errno != EAGAIN) TraceErrno(errno, "WakeSignal: read");
}

int PollReleasing(RecursiveLock* lock, pollfd* fds, nfds_t count, int timeoutMs) {
  lock->Unlock();
  int result = ::poll(fds, count, timeoutMs);
  int error = errno;
  lock->Lock();
  if (result < 0 && error != EINTR) TraceErrno(error, "wave device thread: poll");
  return result;
}

}  // namespace talvinor
