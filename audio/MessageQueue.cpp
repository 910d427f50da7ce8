#include "audio/MessageQueue.h"

#include "core/ScopedLock.h"

namespace talvinor {

MessageQueue::MessageQueue(RefPtr<EventObject> event)
    : m_lock(Create<CriticalSectionObject>()), m_event(std::move(event)) {}

bool MessageQueue::Post(RefPtr<GraphMessage> message) {
  if (!message) return false;
  RefPtr<EventObject> event;
  {
    Locker lock(m_lock.Get());
    m_messages.push_back(std::move(message));
    if (m_event && (m_messages.size() == 1 || !m_event->IsSet())) event = m_event;
  }
  if (event) event->Set();
  return true;
}

RefPtr<GraphMessage> MessageQueue::Peek() {
  Locker lock(m_lock.Get());
  return m_messages.empty() ? nullptr : m_messages.front();
}

RefPtr<GraphMessage> MessageQueue::Pop() {
  Locker lock(m_lock.Get());
  if (m_messages.empty()) return nullptr;
  RefPtr<GraphMessage> front = std::move(m_messages.front());
  m_messages.pop_front();
  return front;
}

uint32_t MessageQueue::Count() {
  Locker lock(m_lock.Get());
  return static_cast<uint32_t>(m_messages.size());
}

void MessageQueue::Clear() {
  // Release outside the lock: a message's payload may be the last reference
  // of an object whose destructor posts or takes locks of its own.
  std::vector<RefPtr<GraphMessage>> dropped;
  {
    Locker lock(m_lock.Get());
    dropped = m_messages.TakeAll();
  }
}

void MessageQueue::SetEvent(RefPtr<EventObject> event) {
  Locker lock(m_lock.Get());
  m_event = std::move(event);
}

RefPtr<EventObject> MessageQueue::GetEvent() {
  Locker lock(m_lock.Get());
  return m_event;
}

}  // namespace talvinor
