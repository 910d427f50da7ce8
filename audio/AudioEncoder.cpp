#include "audio/AudioEncoder.h"

#include <cstring>

#include "core/ScopedLock.h"

namespace talvinor {

namespace {
constexpr uint32_t kWaitSliceMs = 1000;
}

bool AudioEncoder::SetFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
  if (IsRunning()) return false;
  SetFormatLocked(PcmWaveFormat(channels, samplesPerSec, bitsPerSample));
  return true;
}

RefPtr<AudioBuffer> AudioEncoder::AllocateBuffer(uint32_t size) {
  RefPtr<AudioBuffer> buffer = Create<AudioBuffer>();
  if (!buffer->Reserve(size)) return nullptr;
  Locker lock(m_lock.Get());
  m_pool.push_back(buffer);
  return buffer;
}

bool AudioEncoder::ReturnBuffer(RefPtr<AudioBuffer> buffer) {
  if (!buffer) return false;
  {
    Locker lock(m_lock.Get());
    m_pool.push_back(std::move(buffer));
  }
  Wake();
  return true;
}

bool AudioEncoder::QueueInput(RefPtr<AudioBuffer> buffer) {
  if (!IsRunning()) return false;
  return Inbox()->Post(MakeMessage<MessageKind::EncoderInput>(std::move(buffer)));
}

uint32_t AudioEncoder::GetFreeBufferCount() {
  Locker lock(m_lock.Get());
  return static_cast<uint32_t>(m_pool.size());
}

RefPtr<AudioBuffer> AudioEncoder::TakeFreeBuffer() {
  for (;;) {
    {
      Locker lock(m_lock.Get());
      if (!m_pool.empty()) {
        RefPtr<AudioBuffer> front = std::move(m_pool.front());
        m_pool.pop_front();
        return front;
      }
    }
    bool stopping = IsStopRequested();
    RefPtr<EventObject> event = WakeEvent();
    event->Reset();
    if (GetFreeBufferCount() != 0) continue;
    bool woken = event->Wait(kWaitSliceMs);
    if (stopping && !woken && GetFreeBufferCount() == 0) return nullptr;
  }
}

bool AudioEncoder::DeliverEncoded(const void* head, uint32_t headLength, const void* body, uint32_t bodyLength) {
  RefPtr<AudioBuffer> buffer = TakeFreeBuffer();
  if (!buffer) return false;
  uint8_t* storage = buffer->Reserve(headLength + bodyLength);
  if (!storage) return false;
  if (headLength) std::memcpy(storage, head, headLength);
  if (bodyLength) std::memcpy(storage + headLength, body, bodyLength);
  buffer->SetValid(storage, headLength + bodyLength);
  Locker lock(m_lock.Get());
  RefPtr<MessageQueue> peer = Peer();
  if (!peer) {
    m_pool.push_back(std::move(buffer));
    return false;
  }
  return peer->Post(MakeMessage<MessageKind::EncodedData>(std::move(buffer), kCurrentPosition));
}

bool AudioEncoder::ReportInputDone(RefPtr<AudioBuffer> buffer) {
  return PostToPeer(MakeMessage<MessageKind::InputConsumed>(std::move(buffer)));
}

void AudioEncoder::MakeFileFinal(const std::wstring&) {}

}  // namespace talvinor
