#include "audio/AudioSource.h"

#include "core/ScopedLock.h"

namespace talvinor {

namespace {
constexpr uint32_t kWaitSliceMs = 1000;

bool Feeding(ComponentState s) {
  return s == ComponentState::Started || s == ComponentState::Running || s == ComponentState::ResumeRequested;
}
}  // namespace

bool AudioSource::Open(RefPtr<MessageQueue> peer, uint32_t parameter) {
  if (IsRunning() || parameter == 0 || parameter == 0xFFFFFFFFu) return false;
  {
    Locker lock(m_lock.Get());
    m_openParameter = parameter;
    m_ended = false;
  }
  return Connect(std::move(peer));
}

bool AudioSource::PushBuffer(RefPtr<AudioBuffer> buffer) {
  if (!buffer) return false;
  {
    Locker lock(m_lock.Get());
    m_input.push_back(std::move(buffer));
  }
  Wake();
  return true;
}

bool AudioSource::QueueInput(RefPtr<AudioBuffer> buffer) {
  if (!IsRunning()) return false;
  return Inbox()->Post(MakeMessage<MessageKind::SourceInput>(std::move(buffer)));
}

uint32_t AudioSource::GetSeekTarget() {
  Locker lock(m_lock.Get());
  return m_seekTarget;
}

bool AudioSource::SetSeekTarget(uint32_t milliseconds) {
  Locker lock(m_lock.Get());
  m_seekTarget = milliseconds;
  return true;
}

uint32_t AudioSource::GetBasePosition() {
  Locker lock(m_lock.Get());
  return m_basePosition;
}

void AudioSource::SetBasePosition(uint32_t milliseconds) {
  Locker lock(m_lock.Get());
  m_basePosition = milliseconds;
}

uint32_t AudioSource::TakeSeekTarget() {
  Locker lock(m_lock.Get());
  uint32_t target = m_seekTarget;
  m_seekTarget = kNoSeek;
  return target;
}

void AudioSource::SeekAtStart() {
  SetBasePosition(0);
  uint32_t target = TakeSeekTarget();
  if (target == kNoSeek) return;
  uint32_t reached = SeekStream(target);
  if (reached != kNoSeek) SetBasePosition(reached);
}

void AudioSource::ResumeStep() {
  uint32_t target = TakeSeekTarget();
  if (target != kNoSeek) {
    uint32_t reached = SeekStream(target);
    if (reached != kNoSeek) {
      RequestDeviceReset();
      SetBasePosition(reached);
    }
  }
  SetEnded(false);
  SetState(ComponentState::Running);
}

uint32_t AudioSource::GetOpenParameter() {
  Locker lock(m_lock.Get());
  return m_openParameter;
}

bool AudioSource::IsEnded() {
  Locker lock(m_lock.Get());
  return m_ended;
}

void AudioSource::SetEnded(bool ended) {
  Locker lock(m_lock.Get());
  m_ended = ended;
}

uint32_t AudioSource::GetInputQueueCount() {
  Locker lock(m_lock.Get());
  return static_cast<uint32_t>(m_input.size());
}

void AudioSource::ClearInputQueue() {
  std::vector<RefPtr<AudioBuffer>> dropped;  // released after the lock
  Locker lock(m_lock.Get());
  dropped = m_input.TakeAll();
}

RefPtr<AudioBuffer> AudioSource::TakeInputBuffer() {
  for (;;) {
    {
      Locker lock(m_lock.Get());
      if (!m_input.empty()) {
        RefPtr<AudioBuffer> front = std::move(m_input.front());
        m_input.pop_front();
        return front;
      }
    }
    if (!Feeding(GetState())) return nullptr;
    WaitForWakeUnless(
        [this] {
          Locker lock(m_lock.Get());
          return !m_input.empty() || !Feeding(GetState());
        },
        kWaitSliceMs);
  }
}

bool AudioSource::SendPcm(RefPtr<AudioBuffer> buffer) {
  return PostToPeer(MakeMessage<MessageKind::PcmData>(std::move(buffer)));
}

bool AudioSource::SendFormatReady() { return PostToPeer(MakeMessage<MessageKind::FormatReady>()); }

bool AudioSource::SendEndOfStream() {
  Locker lock(m_lock.Get());
  m_ended = true;
  return PostToPeer(MakeMessage<MessageKind::EndOfStream>());
}

bool AudioSource::RequestDeviceReset() { return PostToPeer(MakeMessage<MessageKind::DeviceResetRequest>()); }

ReadResult AudioSource::RequestRead(RefPtr<AudioBuffer> buffer, uint32_t offset, uint32_t count) {
  AudioBuffer* expected = buffer.Get();
  if (!PostToPeer(MakeMessage<MessageKind::ReadBlock>(std::move(buffer), offset, count))) return ReadResult::Failed;
  for (;;) {
    if (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      if (message->Kind() == MessageKind::SourceInput && message->Payload().Get() == expected) return ReadResult::Done;
      return ReadResult::Failed;
    }
    ComponentState state = GetState();
    if (IsStopRequested() || state == ComponentState::Stopping || state == ComponentState::Idle) {
      return ReadResult::Stopped;
    }
    WaitForWake(kWaitSliceMs);
  }
}

}  // namespace talvinor
