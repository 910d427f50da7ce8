#pragma once
#include "core/CriticalSectionObject.h"

namespace talvinor {

// A counted guard: holds a reference on the lock and keeps it locked for its
// life. Inside operations the plain stack guard `Locker` does the same
// without a heap object.
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

}  // namespace talvinor
