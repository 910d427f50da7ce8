#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wave/WaveAudio.h"

namespace talvinor::testing {

// Records the callbacks of one device, in order, with the thread each came on.
class WaveEvents {
 public:
  struct Event {
    uint32_t message;
    WAVEHDR* header;
    std::thread::id thread;
  };

  static void InProc(HWAVEIN, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t) {
    reinterpret_cast<WaveEvents*>(instance)->Add(message, param1);
  }
  static void OutProc(HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t) {
    reinterpret_cast<WaveEvents*>(instance)->Add(message, param1);
  }
  uintptr_t Instance() { return reinterpret_cast<uintptr_t>(this); }

  // Waits until at least `count` events of `message` have arrived.
  bool WaitFor(uint32_t message, size_t count, int timeoutMs = 5000) {
    std::unique_lock hold(m_mutex);
    return m_cond.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return CountLocked(message) >= count; });
  }
  size_t Count(uint32_t message) {
    std::lock_guard hold(m_mutex);
    return CountLocked(message);
  }
  std::vector<Event> All() {
    std::lock_guard hold(m_mutex);
    return m_events;
  }
  // The headers of `message` events, in arrival order.
  std::vector<WAVEHDR*> Headers(uint32_t message) {
    std::vector<WAVEHDR*> headers;
    for (const Event& e : All())
      if (e.message == message) headers.push_back(e.header);
    return headers;
  }

 private:
  void Add(uint32_t message, uintptr_t param1) {
    {
      std::lock_guard hold(m_mutex);
      m_events.push_back({message, reinterpret_cast<WAVEHDR*>(param1), std::this_thread::get_id()});
    }
    m_cond.notify_all();
  }
  size_t CountLocked(uint32_t message) const {
    size_t n = 0;
    for (const Event& e : m_events) n += e.message == message;
    return n;
  }
  std::mutex m_mutex;
  std::condition_variable m_cond;
  std::vector<Event> m_events;
};

// A header with its own storage.
struct TestHeader {
  explicit TestHeader(uint32_t bytes) : data(bytes, 0) {
    header.lpData = data.data();
    header.dwBufferLength = bytes;
  }
  std::vector<char> data;
  WAVEHDR header{};
};

// Polls `condition` until it holds or `timeoutMs` passes.
template <typename F>
bool Eventually(F condition, int timeoutMs = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace talvinor::testing
