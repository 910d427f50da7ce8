#include "codec/WaveFileEncoder.h"

#include <cstring>

#include "audio/StopReason.h"
#include "codec/RecordingRepair.h"
#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kWaitSliceMs = 1000;
constexpr uint32_t kHeaderReturnWaitMs = 3000;
constexpr uint32_t kHeaderRefreshMs = 1000;
// Marks header buffers in their spare word, so one that comes back late
// from an earlier run is still recognised.
constexpr uint32_t kHeaderMark = 0x57484452;  // "WHDR"

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

RefPtr<AudioBuffer> NewHeaderBuffer() {
  RefPtr<AudioBuffer> b = Create<AudioBuffer>();
  b->Reserve(WaveFileEncoder::kHeaderSize);
  b->SetUserWord(kHeaderMark);
  return b;
}
}  // namespace

WaveFileEncoder::WaveFileEncoder() : m_header(NewHeaderBuffer()) {}

void WaveFileEncoder::BuildHeader(const WaveFormat& format, uint32_t dataBytes, uint8_t out[kHeaderSize]) {
  const bool unknown = dataBytes == kSizesUnknown;
  uint32_t riffSize = unknown ? kProvisionalSize : dataBytes + 36;
  uint32_t dataSize = unknown ? kProvisionalSize : dataBytes;
  std::memcpy(out, "RIFF", 4);
  Put32(out + 4, riffSize);
  std::memcpy(out + 8, "WAVEfmt ", 8);
  Put32(out + 16, 16);
  Put16(out + 20, format.formatTag);
  Put16(out + 22, format.channels);
  Put32(out + 24, format.samplesPerSec);
  Put32(out + 28, format.avgBytesPerSec);
  Put16(out + 32, format.blockAlign);
  Put16(out + 34, format.bitsPerSample);
  std::memcpy(out + 36, "data", 4);
  Put32(out + 40, dataSize);
}

bool WaveFileEncoder::SetDataLimit(uint32_t bytes) {
  if (IsRunning()) return false;
  Locker lock(m_lock.Get());
  m_dataLimit = bytes > kMaxDataBytes ? kMaxDataBytes : bytes;
  return true;
}

bool WaveFileEncoder::ReturnBuffer(RefPtr<AudioBuffer> buffer) {
  if (!buffer) return false;
  if (buffer->UserWord() == kHeaderMark) {
    {
      Locker lock(m_lock.Get());
      if (buffer == m_header) m_headerFree = true;
    }
    Wake();
    return true;
  }
  return ReportInputDone(std::move(buffer));
}

bool WaveFileEncoder::WaitHeaderFree(uint32_t timeoutMs) {
  uint32_t start = GetTickCount();
  for (;;) {
    RefPtr<EventObject> event = WakeEvent();
    event->Reset();
    {
      Locker lock(m_lock.Get());
      if (m_headerFree) return true;
    }
    uint32_t waited = TicksSince(start, GetTickCount());
    if (waited >= timeoutMs) return false;
    uint32_t left = timeoutMs - waited;
    event->Wait(left < kWaitSliceMs ? left : kWaitSliceMs);
  }
}

bool WaveFileEncoder::PostHeader(uint32_t dataBytes) {
  Locker lock(m_lock.Get());
  uint8_t* p = m_header->Reserve(kHeaderSize);
  if (!p) return false;
  BuildHeader(m_format, dataBytes, p);
  m_header->SetValid(p, kHeaderSize);
  m_headerFree = false;
  m_headerTick = GetTickCount();
  if (PostToPeer(MakeMessage<MessageKind::EncodedData>(m_header, 0))) return true;
  m_headerFree = true;
  return false;
}

void WaveFileEncoder::RefreshHeader() {
  if (m_dataBytes == 0 || TicksSince(m_headerTick, GetTickCount()) < kHeaderRefreshMs) return;
  {
    Locker lock(m_lock.Get());
    if (!m_headerFree) return;
  }
  PostHeader(m_dataBytes);
}

void WaveFileEncoder::MakeFileFinal(const std::wstring& path) {
  RepairReport report = RepairRecording(path);
  if (report.outcome == RepairOutcome::Failed) {
    Trace("WaveFileEncoder - the header could not be made final: %s\r\n", report.what.c_str());
  }
}

StopReason WaveFileEncoder::SetupStep() {
  m_dataBytes = 0;
  m_full = false;
  {
    Locker lock(m_lock.Get());
    uint32_t frame = m_format.blockAlign ? m_format.blockAlign : 1;
    m_runLimit = m_dataLimit / frame * frame;
  }
  // The header of an earlier run that never came back (its master stopped
  // before writing it) is replaced rather than waited for forever.
  if (!WaitHeaderFree(kWaitSliceMs)) {
    Locker lock(m_lock.Get());
    m_header = NewHeaderBuffer();
    m_headerFree = true;
  }
  return PostHeader(kSizesUnknown) ? StopReason::None : StopReason::EncoderStartFailure;
}

void WaveFileEncoder::Encode(RefPtr<AudioBuffer> buffer) {
  if (!buffer) return;
  uint32_t length = buffer->Length();
  if (length == 0 || m_full) {
    // Handed back rather than dropped, so the buffer keeps circulating.
    ReportInputDone(std::move(buffer));
    return;
  }
  uint32_t room = m_runLimit - m_dataBytes;
  if (length > room) {
    // Only what fits, already a whole number of frames.
    length = room;
    buffer->SetValid(buffer->Data(), length);
    m_full = true;
  }
  if (length > 0) {
    m_dataBytes += length;
    PostToPeer(MakeMessage<MessageKind::EncodedData>(buffer, kCurrentPosition));
    RefreshHeader();
  } else {
    ReportInputDone(std::move(buffer));
  }
  if (m_full) {
    Trace("WaveFileEncoder - data limit %u bytes reached\r\n", m_runLimit);
    // Reported without entering Aborted: the stop still writes the header.
    PostToPeer(MakeAbortMessage(StopReason::FileSizeLimit));
  }
}

void WaveFileEncoder::ProcessStep() {
  RefPtr<GraphMessage> message = Inbox()->Pop();
  if (!message) {
    WaitForWake(kWaitSliceMs);
    return;
  }
  if (message->Kind() == MessageKind::EncoderInput) Encode(message->Buffer());
}

bool WaveFileEncoder::FinishStep() {
  if (!GetAbortFlag()) {
    while (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      if (message->Kind() == MessageKind::EncoderInput) Encode(message->Buffer());
    }
    // The header is rewritten at stop so the sizes are final.
    if (!WaitHeaderFree(kHeaderReturnWaitMs) || !PostHeader(m_dataBytes)) {
      Trace("WaveFileEncoder - final header not written, the file keeps its provisional sizes\r\n");
    }
  } else {
    while (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      if (message->Kind() == MessageKind::EncoderInput) ReportInputDone(message->Buffer());
    }
  }
  m_dataBytes = 0;
  Inbox()->Clear();
  return true;
}

}  // namespace talvinor
