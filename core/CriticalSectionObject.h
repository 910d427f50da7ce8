#pragma once
#include <mutex>

#include "core/RefPtr.h"

namespace talvinor {

// The system's lock: re-entrant on one thread, as code that calls back into
// its own locked operations relies on. Each component, master and worker owns
// one, always taken before any queue's lock.
class CriticalSectionObject : public RefObject {
  TALVINOR_CLASS_CODES(0x1280)

 public:
  void Lock() { m_mutex.lock(); }
  void Unlock() { m_mutex.unlock(); }
  bool TryLock() { return m_mutex.try_lock(); }

 private:
  std::recursive_mutex m_mutex;
};

}  // namespace talvinor
