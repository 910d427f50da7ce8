#pragma once
#include "core/RefPtr.h"
#include "platform/RecursiveLock.h"

namespace talvinor {

// The counted form of the system's lock, for objects that share one lock by
// reference. Each component, master and worker owns one, always taken before
// any queue's lock. `Locker` (platform/RecursiveLock.h) guards a scope.
class CriticalSectionObject : public RefObject, public RecursiveLock {
  TALVINOR_CLASS_CODES(0x1280)
};

}  // namespace talvinor
