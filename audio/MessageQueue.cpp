#include "audio/MessageQueue.h"

#include "core/ScopedLock.h"

namespace talvinor {

MessageQueue::MessageQueue(RefPtr<EventObject> event)
    : m_lock(Create<CriticalSectionObject>()), m_event(std::move(event)) {}

namespace {
constexpr size_t kInitialRing = 16;
}  // namespace

void MessageQueue::GrowLocked() {
  std::vector<RefPtr<GraphMessage>> ring(m_ring.empty() ? kInitialRing : m_ring.size() * 2);
  for (size_t i = 0; i < m_count; ++i) ring[i] = std::move(m_ring[(m_head + i) % m_ring.size()]);
  m_ring.swap(ring);
  m_head = 0;
}

bool MessageQueue::Post(RefPtr<GraphMessage> message) {
  if (!message) return false;
  RefPtr<EventObject> event;
  {
    Locker lock(m_lock.Get());
    if (m_count == m_ring.size()) GrowLocked();
    m_ring[(m_head + m_count) % m_ring.size()] = std::move(message);
    ++m_count;
    if (m_event && (m_count == 1 || !m_event->IsSet())) event = m_event;
  }
  if (event) event->Set();
  return true;
}

RefPtr<GraphMessage> MessageQueue::Peek() {
  Locker lock(m_lock.Get());
  return m_count == 0 ? nullptr : m_ring[m_head];
}

RefPtr<GraphMessage> MessageQueue::Pop() {
  Locker lock(m_lock.Get());
  if (m_count == 0) return nullptr;
  RefPtr<GraphMessage> front = std::move(m_ring[m_head]);
  m_head = (m_head + 1) % m_ring.size();
  --m_count;
  return front;
}

uint32_t MessageQueue::Count() {
  Locker lock(m_lock.Get());
  return static_cast<uint32_t>(m_count);
}

void MessageQueue::Clear() {
  // Release outside the lock: a message's payload may be the last reference
  // of an object whose destructor posts or takes locks of its own.
  std::vector<RefPtr<GraphMessage>> dropped;
  {
    Locker lock(m_lock.Get());
    dropped.reserve(m_count);
    for (size_t i = 0; i < m_count; ++i) dropped.push_back(std::move(m_ring[(m_head + i) % m_ring.size()]));
    m_head = 0;
    m_count = 0;
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
