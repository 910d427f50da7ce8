#include "platform/window/HeadlessMessageQueue.h"

#include <chrono>

#include "platform/Clock.h"

namespace talvinor {

HeadlessMessageQueue::HeadlessMessageQueue() : m_id(RegisterWindow(this)) {}

HeadlessMessageQueue::~HeadlessMessageQueue() { UnregisterWindow(m_id); }

void HeadlessMessageQueue::Deliver(const WindowMessage& message) {
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(message);
  }
  m_cond.notify_all();
}

size_t HeadlessMessageQueue::Pending() const {
  std::lock_guard lock(m_mutex);
  return m_queue.size();
}

std::optional<WindowMessage> HeadlessMessageQueue::Take(uint32_t timeoutMs) {
  std::unique_lock lock(m_mutex);
  auto ready = [this] { return !m_queue.empty(); };
  if (timeoutMs == kInfinite) {
    m_cond.wait(lock, ready);
  } else if (!m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return std::nullopt;
  }
  WindowMessage m = m_queue.front();
  m_queue.pop_front();
  return m;
}

std::optional<WindowMessage> HeadlessMessageQueue::TakeMessage(uint32_t message, uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(m_mutex);
  for (;;) {
    for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
      if (it->message == message) {
        WindowMessage m = *it;
        m_queue.erase(it);
        return m;
      }
    }
    if (timeoutMs == kInfinite) {
      m_cond.wait(lock);
    } else if (m_cond.wait_until(lock, deadline) == std::cv_status::timeout) {
      return std::nullopt;
    }
  }
}

}  // namespace talvinor
