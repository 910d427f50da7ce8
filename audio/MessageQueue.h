#pragma once
#include <cstdint>
#include <vector>

#include "core/EventObject.h"
#include "audio/GraphMessage.h"
#include "core/CriticalSectionObject.h"
#include "platform/RingQueue.h"

namespace talvinor {

// A counted queue of messages with its own lock; Post wakes the owner through
// the event it signals. Callers may hold their own component or master lock
// while posting (their lock first, the queue's second).
//
// The messages sit in a ring that only ever grows, so a queue in steady use
// allocates nothing. A post signals the event only when the owner may be
// about to sleep: when the queue was empty or the event has been reset since;
// a busy owner that has not drained its queue yet is left alone.
class MessageQueue : public RefObject {
 public:
  explicit MessageQueue(RefPtr<EventObject> event = nullptr);

  // Appends at the back and signals the event; false for a null message.
  bool Post(RefPtr<GraphMessage> message);
  // The front message without removing it (null when empty).
  RefPtr<GraphMessage> Peek();
  // Removes and returns the front message (null when empty).
  RefPtr<GraphMessage> Pop();
  uint32_t Count();
  void Clear();

  // Replaces the event that Post signals (a component recreates its wake
  // event on every Connect).
  void SetEvent(RefPtr<EventObject> event);
  RefPtr<EventObject> GetEvent();

 private:
  RefPtr<CriticalSectionObject> m_lock;
  RingQueue<RefPtr<GraphMessage>> m_messages;  // guarded by m_lock
  RefPtr<EventObject> m_event;                 // guarded by m_lock
};

}  // namespace talvinor
