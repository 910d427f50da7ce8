#pragma once
#include <cstdint>
#include <deque>

#include "core/EventObject.h"
#include "audio/GraphMessage.h"
#include "core/CriticalSectionObject.h"

namespace talvinor {

// A counted queue of messages with its own lock; Post wakes the owner through
// the event it signals. Callers may hold their own component or master lock
// while posting (their lock first, the queue's second).
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
  std::deque<RefPtr<GraphMessage>> m_messages;  // guarded by m_lock
  RefPtr<EventObject> m_event;                   // guarded by m_lock
};

}  // namespace talvinor
