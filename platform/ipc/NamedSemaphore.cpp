#include "platform/ipc/NamedSemaphore.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>

#include "platform/Clock.h"
#include "platform/Trace.h"
#include "platform/ipc/NamedObjectName.h"

namespace talvinor {

NamedSemaphore::~NamedSemaphore() { Close(); }

bool NamedSemaphore::Fail(int error, const char* context) {
  m_lastError = error;
  std::string line = std::string("NamedSemaphore ") + context + " " + m_name;
  TraceErrno(error, line.c_str());
  return false;
}

bool NamedSemaphore::Create(const std::string& name, uint32_t initialCount) {
  Close();
  m_name = UserObjectName(name);
  if (initialCount > 1) return Fail(EINVAL, "Create count");
  // A semaphore left by a dead creator may be stuck at 0; start from a new one.
  if (::sem_unlink(m_name.c_str()) != 0 && errno != ENOENT) return Fail(errno, "sem_unlink");
  sem_t* sem = ::sem_open(m_name.c_str(), O_CREAT | O_EXCL, 0600, initialCount);
  if (sem == SEM_FAILED) return Fail(errno, "sem_open(create)");
  m_sem = sem;
  m_creator = true;
  return true;
}

bool NamedSemaphore::Open(const std::string& name) {
  Close();
  m_name = UserObjectName(name);
  sem_t* sem = ::sem_open(m_name.c_str(), 0);
  if (sem == SEM_FAILED) return Fail(errno, "sem_open(open)");
  m_sem = sem;
  m_creator = false;
  return true;
}

void NamedSemaphore::Close() {
  if (!m_sem) return;
  if (m_creator && ::sem_unlink(m_name.c_str()) != 0 && errno != ENOENT) TraceErrno(errno, "NamedSemaphore sem_unlink");
  if (::sem_close(m_sem) != 0) TraceErrno(errno, "NamedSemaphore sem_close");
  m_sem = nullptr;
  m_creator = false;
}

WaitResult NamedSemaphore::Wait(uint32_t timeoutMs) {
  if (!m_sem) return WaitResult::Failed;
  for (;;) {
    int r;
    if (timeoutMs == 0) {
      r = ::sem_trywait(m_sem);
    } else if (timeoutMs == kInfinite) {
      r = ::sem_wait(m_sem);
    } else {
      struct timespec deadline;
      ::clock_gettime(CLOCK_MONOTONIC, &deadline);
      deadline.tv_sec += timeoutMs / 1000;
      deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
      if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
      }
      r = ::sem_clockwait(m_sem, CLOCK_MONOTONIC, &deadline);
    }
    if (r == 0) return WaitResult::Signalled;
    int error = errno;
    if (error == EINTR) continue;  // a signal is no time-out; the deadline is absolute
    if (error == EAGAIN || error == ETIMEDOUT) return WaitResult::TimedOut;
    Fail(error, "wait");
    return WaitResult::Failed;
  }
}

bool NamedSemaphore::Release() {
  if (!m_sem) return false;
  int value = 0;
  if (::sem_getvalue(m_sem, &value) != 0) return Fail(errno, "sem_getvalue");
  if (value >= 1) {
    Trace("NamedSemaphore::Release - already free %s\r\n", m_name.c_str());
    return false;
  }
  if (::sem_post(m_sem) != 0) return Fail(errno, "sem_post");
  return true;
}

int NamedSemaphore::Count() {
  int value = 0;
  if (!m_sem || ::sem_getvalue(m_sem, &value) != 0) return -1;
  return value;
}

}  // namespace talvinor
