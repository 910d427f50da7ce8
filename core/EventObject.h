#pragma once
#include <cstdint>

#include "core/RefPtr.h"
#include "platform/ManualResetEvent.h"

namespace talvinor {

// A counted manual-reset event, created non-signalled. Senders Set it after
// posting; a receiver Resets it, checks its queues again and only then waits,
// so a wake-up that races the reset is never lost.
class EventObject : public RefObject {
 public:
  void Set() { m_event.Set(); }
  void Reset() { m_event.Reset(); }
  bool IsSet() const { return m_event.IsSet(); }
  // True when set (now or within `timeoutMs`).
  bool Wait(uint32_t timeoutMs) const { return m_event.Wait(timeoutMs); }

 private:
  ManualResetEvent m_event;
};

}  // namespace talvinor
