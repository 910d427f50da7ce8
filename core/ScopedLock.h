#pragma once
#include "core/CriticalSectionObject.h"

namespace talvinor {

// A counted guard: holds a reference on the lock and keeps it locked for its life.
class ScopedLock : public RefObject {
  TALVINOR_CLASS_CODES(0x1281)

 public:
  explicit ScopedLock(RefPtr<CriticalSectionObject> lock) : m_lock(std::move(lock)) {
    if (m_lock) m_lock->Lock();
  }
  ~ScopedLock() override {
    if (m_lock) m_lock->Unlock();
  }

 private:
  RefPtr<CriticalSectionObject> m_lock;
};

// The plain stack guard used inside operations; same effect without a heap
// object.
class Locker {
 public:
  explicit Locker(CriticalSectionObject* lock) : m_lock(lock) { m_lock->Lock(); }
  ~Locker() { m_lock->Unlock(); }
  Locker(const Locker&) = delete;
  Locker& operator=(const Locker&) = delete;

 private:
  CriticalSectionObject* m_lock;
};

}  // namespace talvinor
