#include "codec/SpeexFileSource.h"

#include <algorithm>
#include <cstring>

#include "audio/StopReason.h"
#include "platform/CodePage.h"

namespace talvinor {

namespace {
constexpr uint32_t kWaitSliceMs = 1000;

bool Idle(ComponentState s) { return s == ComponentState::Idle || s == ComponentState::Started; }
}  // namespace

SpeexFileSource::SpeexFileSource() : m_decoder(Create<SpeexFileDecoder>()) {
  m_reader = Create<ReaderInputSource>(this);
}

uint32_t SpeexFileSource::GetLength() { return Idle(GetState()) ? 0 : m_lengthMs.load(); }

uint32_t SpeexFileSource::GetPosition() {
  uint32_t rate = m_rate.load();
  if (Idle(GetState()) || rate == 0) return 0;
  uint64_t ms = static_cast<uint64_t>(m_decoder->PositionSamples()) * 1000 / rate;
  return static_cast<uint32_t>(std::min<uint64_t>(ms, 0xFFFFFFFFu));
}

uint32_t SpeexFileSource::SeekStream(uint32_t milliseconds) {
  if (m_rate.load() == 0) return kNoSeek;
  m_decoder->Seek(static_cast<int64_t>(milliseconds) * m_decoder->Rate() / 1000);
  uint32_t length = m_lengthMs.load();
  return length != 0 ? std::min(milliseconds, length) : milliseconds;
}

StopReason SpeexFileSource::SetupStep() {
  m_lengthMs.store(0);
  m_rate.store(0);
  SetEnded(false);
  if (!CreateInputBuffers()) return StopReason::SourceSetupFailure;
  m_reader = Create<ReaderInputSource>(this);
  if (!m_decoder->Open(m_reader)) {
    switch (m_reader->Status()) {
      case ReaderStatus::Stopped: return StopReason::None;  // the stop ends the run
      case ReaderStatus::Failed: return StopReason::SourceSetupFailure;
      case ReaderStatus::Ok: break;
    }
    return StopReason::MalformedStream;
  }
  ClearTags();
  if (const SpeexFileDecoder::Link* link = m_decoder->CurrentLink()) {
    for (const auto& [name, value] : link->comments) AddTag(AnsiToWide(name), AnsiToWide(value));
  }
  m_frame.assign(m_decoder->FrameBytes() / 2, 0);
  m_frameOffset = m_frameLength = 0;
  const uint32_t rate = m_decoder->Rate();
  SetFormatLocked(PcmWaveFormat(static_cast<uint16_t>(m_decoder->Channels()), rate, 16));
  m_rate.store(rate);
  m_lengthMs.store(static_cast<uint32_t>(
      std::min<uint64_t>(static_cast<uint64_t>(m_decoder->LengthSamples()) * 1000 / rate, 0xFFFFFFFFu)));
  SendFormatReady();
  SeekAtStart();
  return StopReason::None;
}

void SpeexFileSource::ResumeStep() {
  FreeInputBuffers();
  m_frameOffset = m_frameLength = 0;
  OggFileSource::ResumeStep();
}

void SpeexFileSource::ProcessStep() {
  if (IsEnded()) {
    WaitForWakeUnless([this] { return GetState() != ComponentState::Running; }, kWaitSliceMs);
    return;
  }
  RefPtr<AudioBuffer> buffer = TakeInputBuffer();
  if (!buffer) return;
  uint8_t* storage = buffer->Storage();
  const uint32_t capacity = storage ? buffer->Capacity() : 0;
  uint32_t filled = 0;
  bool stalled = false;
  // Frames are decoded whole and handed out in as many buffers as they need,
  // so any buffer size the master chose is filled completely.
  while (filled < capacity) {
    if (m_frameOffset < m_frameLength) {
      uint32_t n = std::min(capacity - filled, m_frameLength - m_frameOffset);
      std::memcpy(storage + filled, reinterpret_cast<const uint8_t*>(m_frame.data()) + m_frameOffset, n);
      m_frameOffset += n;
      filled += n;
      continue;
    }
    uint32_t got = m_decoder->Decode(m_frame.data(), static_cast<uint32_t>(m_frame.size() * 2));
    if (got < 1) {
      stalled = true;
      break;
    }
    m_frameOffset = 0;
    m_frameLength = got;
  }
  buffer->SetValid(storage, filled);
  ReaderStatus status = m_reader->Status();
  SendPcm(std::move(buffer));
  if (!stalled) return;
  if (m_decoder->IsEnded()) {
    SendEndOfStream();
  } else if (status == ReaderStatus::Failed) {
    Abort(StopReason::SourceFailure);
  }
}

bool SpeexFileSource::FinishStep() {
  Inbox()->Clear();
  ClearInputQueue();
  FreeInputBuffers();
  m_decoder->Close();
  return true;
}

}  // namespace talvinor
