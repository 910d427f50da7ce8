#pragma once
// A recording of a set length: the encoder takes exactly that much sound and
// no more, whatever pace the device delivers it at.
#include <atomic>
#include <cstdint>

#include "audio/AudioBuffer.h"
#include "audio/AudioEncoder.h"
#include "core/RefPtr.h"

namespace talvinor::cli {

// How much sound an encoder may still take, shared by the encoder (the
// recording master's thread) and the tool (its own thread). Unlimited until
// SetLimit.
class RecordingBudget : public RefObject {
 public:
  // `bytes` of PCM in all, cut at whole frames of `frameBytes`.
  void SetLimit(uint64_t bytes, uint32_t frameBytes) {
    const uint64_t frame = frameBytes ? frameBytes : 1;
    m_remaining.store(bytes / frame * frame);
    m_limited.store(true);
  }
  // True once the whole budget has gone into the encoder.
  bool Spent() const { return m_limited.load() && m_remaining.load() == 0; }

  // The part of a buffer of `length` bytes the encoder may take (0 once
  // spent); takes it from the budget. Master thread.
  uint32_t Take(uint32_t length) {
    if (!m_limited.load()) return length;
    const uint64_t remaining = m_remaining.load();
    const uint32_t taken = remaining < length ? static_cast<uint32_t>(remaining) : length;
    m_remaining.store(remaining - taken);
    return taken;
  }
  // Gives back what an encoder took but did not accept. Master thread.
  void GiveBack(uint32_t length) {
    if (m_limited.load()) m_remaining.store(m_remaining.load() + length);
  }

 private:
  std::atomic<bool> m_limited{false};
  std::atomic<uint64_t> m_remaining{0};  // written by the master thread only, once limited
};

// An encoder of kind `Base` that hands only the budget's sound on: a buffer
// that crosses the end is cut there, later ones are refused (the master then
// queues them at the device again, as it does with an empty one).
template <typename Base>
class BudgetedEncoder : public Base {
 public:
  explicit BudgetedEncoder(RefPtr<RecordingBudget> budget) : m_budget(std::move(budget)) {}

  bool QueueInput(RefPtr<AudioBuffer> buffer) override {
    if (!buffer) return false;
    const uint32_t taken = m_budget->Take(buffer->Length());
    if (taken == 0) return false;
    if (taken < buffer->Length()) buffer->SetValid(buffer->Data(), taken);
    if (Base::QueueInput(std::move(buffer))) return true;
    m_budget->GiveBack(taken);
    return false;
  }

 private:
  RefPtr<RecordingBudget> m_budget;
};

}  // namespace talvinor::cli
