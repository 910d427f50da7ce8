#pragma once
#include <chrono>
#include <functional>
#include <thread>

#include "core/EventObject.h"
#include "audio/MessageQueue.h"
#include "platform/Clock.h"
#include "support/StopReasonPrint.h"
#include "support/WaitUntil.h"

namespace talvinor::testing {

// A queue that plays the part of a master's inbox in tests.
struct ProbeQueue {
  RefPtr<EventObject> event = Create<EventObject>();
  RefPtr<MessageQueue> queue = Create<MessageQueue>(event);

  // The next message, waiting up to `timeoutMs`.
  RefPtr<GraphMessage> Next(uint32_t timeoutMs = 5000) {
    uint32_t start = GetTickCount();
    for (;;) {
      event->Reset();
      if (RefPtr<GraphMessage> m = queue->Pop()) return m;
      uint32_t waited = TicksSince(start, GetTickCount());
      if (waited >= timeoutMs) return nullptr;
      event->Wait(timeoutMs - waited);
    }
  }
  // The next message of `kind`, dropping others on the way.
  RefPtr<GraphMessage> NextOf(MessageKind kind, uint32_t timeoutMs = 5000) {
    uint32_t start = GetTickCount();
    while (TicksSince(start, GetTickCount()) < timeoutMs) {
      RefPtr<GraphMessage> m = Next(timeoutMs - TicksSince(start, GetTickCount()));
      if (m && m->Kind() == kind) return m;
    }
    return nullptr;
  }
};

}  // namespace talvinor::testing
