#pragma once
#include <mutex>

namespace talvinor {

// The system's lock: re-entrant on one thread, as code that calls back into
// its own locked operations relies on (a critical section on the handset).
class RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Lock() { m_mutex.lock(); }
  void Unlock() { m_mutex.unlock(); }
  bool TryLock() { return m_mutex.try_lock(); }

 private:
  std::recursive_mutex m_mutex;
};

// The stack guard used inside operations: holds `lock` for its scope.
class Locker {
 public:
  explicit Locker(RecursiveLock* lock) : m_lock(lock) { m_lock->Lock(); }
  ~Locker() { m_lock->Unlock(); }
  Locker(const Locker&) = delete;
  Locker& operator=(const Locker&) = delete;

 private:
  RecursiveLock* m_lock;
};

}  // namespace talvinor
