#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/window/WindowMessages.h"

namespace talvinor {

// A window without a screen: messages posted to its id wait in a queue that
// the owner pumps. The command-line tool and the engine tests use it where
// the program uses a Qt window.
class HeadlessMessageQueue : public MessageSink {
 public:
  HeadlessMessageQueue();
  ~HeadlessMessageQueue() override;
  HeadlessMessageQueue(const HeadlessMessageQueue&) = delete;
  HeadlessMessageQueue& operator=(const HeadlessMessageQueue&) = delete;

  WindowId Id() const { return m_id; }

  // The oldest message, waiting up to `timeoutMs` (kInfinite: forever).
  std::optional<WindowMessage> Take(uint32_t timeoutMs);
  // Waits up to `timeoutMs` for the oldest message numbered `message`;
  // messages of other numbers stay queued in their order.
  std::optional<WindowMessage> TakeMessage(uint32_t message, uint32_t timeoutMs);
  size_t Pending() const;

  void Deliver(const WindowMessage& message) override;

 private:
  WindowId m_id;
  mutable std::mutex m_mutex;
  std::condition_variable m_cond;
  std::deque<WindowMessage> m_queue;  // guarded by m_mutex
};

}  // namespace talvinor
