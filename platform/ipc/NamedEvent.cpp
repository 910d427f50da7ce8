#include "platform/ipc/NamedEvent.h"

#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>

#include <atomic>
#include <climits>
#include <new>

#include "platform/Clock.h"
#include "platform/Trace.h"
#include "platform/ipc/NamedObjectName.h"

namespace talvinor {

// The shared part of an event. `magic` is written last by the creator, so a
// process that opens the event while it is being made sees it as not ready.
struct SharedEventState {
  std::atomic<uint32_t> magic;
  std::atomic<uint32_t> wakeWord;  // bumped by every Set; sleepers wait on it
  uint32_t flag;                   // guarded by mutex
  pthread_mutex_t mutex;
};

namespace {

constexpr uint32_t kEventMagic = 0x76457654;  // "TvEv"

static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

// Shared (not private) futex: the word is mapped by several processes.
long FutexWait(std::atomic<uint32_t>* word, uint32_t expected, const struct timespec* deadline) {
  return ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_BITSET, expected, deadline,
                   nullptr, FUTEX_BITSET_MATCH_ANY);
}

long FutexWakeAll(std::atomic<uint32_t>* word) {
  return ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

struct timespec DeadlineAfter(uint32_t timeoutMs) {
  struct timespec deadline;
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  return deadline;
}

}  // namespace

NamedEvent::~NamedEvent() { Close(); }

bool NamedEvent::Fail(int error, const char* context) {
  m_lastError = error;
  std::string line = std::string("NamedEvent ") + context + " " + m_name;
  TraceErrno(error, line.c_str());
  return false;
}

bool NamedEvent::Create(const std::string& name) {
  Close();
  m_name = UserObjectName(name);
  // An event of a dead creator may hold a lock or a flag in any state; it is
  // removed and made anew rather than repaired.
  if (!m_block.CreateFresh(name, sizeof(SharedEventState))) return Fail(m_block.LastError(), "create");
  auto* state = new (m_block.Data()) SharedEventState;
  state->wakeWord.store(0, std::memory_order_relaxed);
  state->flag = 0;
  pthread_mutexattr_t attributes;
  int r = ::pthread_mutexattr_init(&attributes);
  if (r == 0) r = ::pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  if (r == 0) r = ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  if (r == 0) r = ::pthread_mutex_init(&state->mutex, &attributes);
  ::pthread_mutexattr_destroy(&attributes);
  if (r != 0) {
    m_block.Close();
    return Fail(r, "pthread_mutex_init");
  }
  state->magic.store(kEventMagic, std::memory_order_release);
  m_state = state;
  return true;
}

bool NamedEvent::Open(const std::string& name) {
  Close();
  m_name = UserObjectName(name);
  if (!m_block.Open(name)) return Fail(m_block.LastError(), "open");
  if (m_block.Size() < sizeof(SharedEventState)) {
    m_block.Close();
    return Fail(EINVAL, "size");
  }
  auto* state = reinterpret_cast<SharedEventState*>(m_block.Data());
  if (state->magic.load(std::memory_order_acquire) != kEventMagic) {
    m_block.Close();
    return Fail(EAGAIN, "not initialised");
  }
  m_state = state;
  return true;
}

void NamedEvent::Close() {
  // The mutex is not destroyed: other processes may still have the block
  // mapped. The creator's block removes the name.
  m_block.Close();
  m_state = nullptr;
}

bool NamedEvent::Lock() {
  int r = ::pthread_mutex_lock(&m_state->mutex);
  if (r == EOWNERDEAD) {
    // The holder died; the flag is a single word and always consistent.
    Trace("NamedEvent - lock of a dead process recovered %s\r\n", m_name.c_str());
    r = ::pthread_mutex_consistent(&m_state->mutex);
    if (r != 0) {
      ::pthread_mutex_unlock(&m_state->mutex);
      return Fail(r, "pthread_mutex_consistent");
    }
    return true;
  }
  if (r != 0) return Fail(r, "pthread_mutex_lock");
  return true;
}

void NamedEvent::Unlock() { ::pthread_mutex_unlock(&m_state->mutex); }

bool NamedEvent::Set() {
  if (!m_state || !Lock()) return false;
  m_state->flag = 1;
  m_state->wakeWord.fetch_add(1, std::memory_order_release);
  Unlock();
  if (FutexWakeAll(&m_state->wakeWord) < 0) return Fail(errno, "futex wake");
  return true;
}

bool NamedEvent::Reset() {
  if (!m_state || !Lock()) return false;
  m_state->flag = 0;
  Unlock();
  return true;
}

bool NamedEvent::IsSet() {
  if (!m_state || !Lock()) return false;
  bool set = m_state->flag != 0;
  Unlock();
  return set;
}

WaitResult NamedEvent::Wait(uint32_t timeoutMs) {
  if (!m_state) return WaitResult::Failed;
  struct timespec deadline = DeadlineAfter(timeoutMs == kInfinite ? 0 : timeoutMs);
  for (;;) {
    if (!Lock()) return WaitResult::Failed;
    bool set = m_state->flag != 0;
    // Read under the lock: a Set after this point changes the word, so the
    // futex below returns at once instead of sleeping through it.
    uint32_t word = m_state->wakeWord.load(std::memory_order_acquire);
    Unlock();
    if (set) return WaitResult::Signalled;
    if (timeoutMs == 0) return WaitResult::TimedOut;
    long r = FutexWait(&m_state->wakeWord, word, timeoutMs == kInfinite ? nullptr : &deadline);
    if (r != 0) {
      int error = errno;
      if (error == ETIMEDOUT) {
        // One last look: a Set may have landed just at the deadline.
        if (!Lock()) return WaitResult::Failed;
        set = m_state->flag != 0;
        Unlock();
        return set ? WaitResult::Signalled : WaitResult::TimedOut;
      }
      if (error != EAGAIN && error != EINTR) {
        Fail(error, "futex wait");
        return WaitResult::Failed;
      }
    }
  }
}

void NamedEvent::RunLocked(const std::function<void()>& action) {
  if (!m_state || !Lock()) return;
  action();
  Unlock();
}

}  // namespace talvinor
