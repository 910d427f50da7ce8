#include "codec/WaveFileSource.h"

#include <algorithm>
#include <cstring>

#include "audio/StopReason.h"
#include "core/ScopedLock.h"

namespace talvinor {

namespace {

// Sound the program can really play: 1 to 8 channels of 8, 16, 24 or 32-bit
// samples whose block holds one sample of each, at 1 000 to 192 000 Hz. A
// header outside that (a rate of 0, 13-bit samples) is not copied on.
bool IsPlayablePcm(const WaveFormat& format) {
  const uint16_t bits = format.bitsPerSample;
  if (format.channels < 1 || format.channels > 8) return false;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (format.blockAlign != format.channels * (bits / 8)) return false;
  return format.samplesPerSec >= 1000 && format.samplesPerSec <= 192000;
}
constexpr uint32_t kHeaderBufferSize = 256;
constexpr uint32_t kFmtBytesRead = 40;  // enough for the extensible sub-format
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr uint32_t kWaitSliceMs = 1000;

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Set-up failures that the read itself did not cause.
struct SetupError {
  StopReason reason;
};
}  // namespace

WaveFileSource::WaveFileSource() : m_headerBuffer(Create<AudioBuffer>()) { m_headerBuffer->Reserve(kHeaderBufferSize); }

uint32_t WaveFileSource::GetDataStart() {
  Locker lock(m_lock.Get());
  return m_dataStart;
}

uint32_t WaveFileSource::GetDataSize() {
  Locker lock(m_lock.Get());
  return m_dataSize;
}

uint32_t WaveFileSource::GetLength() {
  Locker lock(m_lock.Get());
  ComponentState s = GetState();
  if (s == ComponentState::Idle || s == ComponentState::Started || m_format.avgBytesPerSec == 0) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(m_dataSize) * 1000 / m_format.avgBytesPerSec);
}

uint32_t WaveFileSource::GetPosition() {
  Locker lock(m_lock.Get());
  ComponentState s = GetState();
  if (s == ComponentState::Idle || s == ComponentState::Started || m_format.avgBytesPerSec == 0 ||
      m_readPosition < m_dataStart) {
    return 0;
  }
  return static_cast<uint32_t>(static_cast<uint64_t>(m_readPosition - m_dataStart) * 1000 / m_format.avgBytesPerSec);
}

int64_t WaveFileSource::ReadHeaderBytes(uint32_t offset, uint32_t count) {
  m_headerBuffer->Reserve(kHeaderBufferSize);
  switch (RequestRead(m_headerBuffer, offset, count)) {
    case ReadResult::Done: break;
    case ReadResult::Failed: return -1;
    case ReadResult::Stopped: return -2;
  }
  return std::min(m_headerBuffer->Length(), count);
}

uint32_t WaveFileSource::SeekPosition(uint32_t milliseconds) {
  // m_lock held.
  uint64_t block = m_format.blockAlign;
  uint64_t byteOffset = static_cast<uint64_t>(milliseconds) * m_format.avgBytesPerSec / 1000;
  uint64_t position = m_dataStart + block * (byteOffset / block);
  uint64_t end = static_cast<uint64_t>(m_dataStart) + m_dataSize;
  return static_cast<uint32_t>(std::min(position, end));
}

StopReason WaveFileSource::SetupStep() {
  const uint64_t fileSize = GetOpenParameter();
  const uint8_t* h = m_headerBuffer->Storage();
  auto read = [&](uint64_t offset, uint32_t count) -> uint32_t {
    if (offset > 0xFFFFFFFFu) throw SetupError{StopReason::MalformedStream};
    int64_t got = ReadHeaderBytes(static_cast<uint32_t>(offset), count);
    // Being stopped during set-up is no failure: the stop's reason stands.
    if (got == -2) throw SetupError{StopReason::None};
    if (got < 0) throw SetupError{StopReason::SourceSetupFailure};
    return static_cast<uint32_t>(got);
  };
  try {
    if (read(0, 12) < 12 || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) {
      return StopReason::MalformedStream;
    }
    uint64_t position = 12;
    // Chunks before "fmt " are skipped by their declared size (odd sizes are
    // not rounded up); one that would run past the file ends the search.
    uint32_t fmtSize = 0;
    for (;;) {
      if (read(position, 8) < 8) return StopReason::MalformedStream;
      uint32_t size = Get32(h + 4);
      if (size == 0) return StopReason::MalformedStream;
      if (std::memcmp(h, "fmt ", 4) == 0) {
        position += 8;
        fmtSize = size;
        break;
      }
      position += 8ull + size;
      if (position > fileSize) return StopReason::MalformedStream;
    }
    uint32_t got = read(position, std::min(fmtSize, kFmtBytesRead));
    if (got < 16 || fmtSize < 16) return StopReason::MalformedStream;
    WaveFormat format;
    format.formatTag = Get16(h);
    format.channels = Get16(h + 2);
    format.samplesPerSec = Get32(h + 4);
    format.avgBytesPerSec = Get32(h + 8);
    format.blockAlign = Get16(h + 12);
    format.bitsPerSample = Get16(h + 14);
    format.extraSize = 0;
    // Only linear PCM can be passed on as it is; anything else (compressed,
    // floating point) would come out as noise labelled PCM.
    if (format.formatTag == kWaveFormatExtensible && got >= 26 && Get16(h + 24) == kWaveFormatPcm) {
      format.formatTag = kWaveFormatPcm;
    }
    if (format.formatTag != kWaveFormatPcm || !IsPlayablePcm(format)) return StopReason::MalformedStream;
    position += fmtSize;
    uint64_t dataSize = 0;
    for (;;) {
      if (read(position, 8) < 8) return StopReason::MalformedStream;
      uint32_t size = Get32(h + 4);
      if (std::memcmp(h, "data", 4) == 0) {
        position += 8;
        dataSize = size != 0 ? size : (fileSize > position ? fileSize - position : 0);
        if (dataSize != 0) break;
        continue;
      }
      if (size == 0) return StopReason::MalformedStream;
      position += 8ull + size;
      if (position > fileSize) return StopReason::MalformedStream;
    }
    // A header that claims more than the file holds (never rewritten, or the
    // file was cut short) ends where the file ends.
    if (position + dataSize > fileSize) dataSize = fileSize > position ? fileSize - position : 0;
    {
      Locker lock(m_lock.Get());
      m_format = format;
      m_dataStart = static_cast<uint32_t>(position);
      m_dataSize = static_cast<uint32_t>(dataSize);
      m_readPosition = m_dataStart;
    }
  } catch (const SetupError& e) {
    return e.reason;
  }
  SendFormatReady();
  SeekAtStart();
  SetState(ComponentState::Running);
  return StopReason::None;
}

uint32_t WaveFileSource::SeekStream(uint32_t milliseconds) {
  Locker lock(m_lock.Get());
  if (m_format.avgBytesPerSec == 0 || m_format.blockAlign == 0) return kNoSeek;
  m_readPosition = SeekPosition(milliseconds);
  uint64_t lengthMs = static_cast<uint64_t>(m_dataSize) * 1000 / m_format.avgBytesPerSec;
  return static_cast<uint32_t>(std::min<uint64_t>(milliseconds, lengthMs));
}

void WaveFileSource::ProcessStep() {
  if (IsEnded()) {
    WaitForWakeUnless([this] { return GetState() != ComponentState::Running; }, kWaitSliceMs);
    return;
  }
  RefPtr<AudioBuffer> buffer = TakeInputBuffer();
  if (!buffer) return;
  uint32_t position, count;
  {
    Locker lock(m_lock.Get());
    uint64_t end = static_cast<uint64_t>(m_dataStart) + m_dataSize;
    position = m_readPosition;
    const uint64_t remaining = end > position ? end - position : 0;
    uint64_t take = std::min<uint64_t>(buffer->Capacity(), remaining);
    // A buffer short of the end holds whole frames: the device plays whole
    // frames of each buffer, so a split 24-bit frame would shift every later
    // sample.
    const uint32_t frame = m_format.blockAlign;
    if (take < remaining && frame > 1 && take >= frame) take -= take % frame;
    count = static_cast<uint32_t>(take);
  }
  if (count == 0) {
    PushBuffer(buffer);
    SendEndOfStream();
    return;
  }
  switch (RequestRead(buffer, position, count)) {
    case ReadResult::Done: {
      // Never more than was asked for: bytes past the data chunk are not sound.
      uint32_t got = std::min(buffer->Length(), count);
      buffer->SetValid(buffer->Storage(), got);
      {
        Locker lock(m_lock.Get());
        m_readPosition = position + got;
      }
      if (got > 0) {
        SendPcm(buffer);
      } else {
        PushBuffer(buffer);
      }
      // A short read means the file ended before the declared data size.
      if (got < count || position + got >= GetDataStart() + static_cast<uint64_t>(GetDataSize())) SendEndOfStream();
      return;
    }
    case ReadResult::Failed:
      buffer->Empty();
      SendPcm(buffer);
      Abort(StopReason::SourceFailure);
      return;
    case ReadResult::Stopped:
      return;
  }
}

bool WaveFileSource::FinishStep() {
  Inbox()->Clear();
  ClearInputQueue();
  return true;
}

}  // namespace talvinor
