#include "codec/VorbisEncoder.h"

#include <vorbis/vorbisenc.h>

#include <cstdlib>

#include "audio/StopReason.h"
#include "codec/RecordingRepair.h"
#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kPoolBuffers = 3;
constexpr uint32_t kPoolBufferSize = 8192;
constexpr uint32_t kWaitSliceMs = 1000;
}  // namespace

VorbisEncoder::VorbisEncoder() : m_state(Create<VorbisCodecState>()) {}

bool VorbisEncoder::SetQuality(float quality) {
  if (IsRunning()) return false;
  Locker lock(m_lock.Get());
  m_quality = quality;
  return true;
}

float VorbisEncoder::GetQuality() {
  Locker lock(m_lock.Get());
  return m_quality;
}

bool VorbisEncoder::DeliverPage(const ogg_page& page) {
  return DeliverEncoded(page.header, static_cast<uint32_t>(page.header_len), page.body,
                        static_cast<uint32_t>(page.body_len));
}

void VorbisEncoder::MakeFileFinal(const std::wstring& path) {
  RepairReport report = RepairRecording(path);
  if (report.outcome == RepairOutcome::Failed) {
    Trace("VorbisEncoder - the stream could not be ended in the file: %s\r\n", report.what.c_str());
  }
}

StopReason VorbisEncoder::SetupStep() {
  while (GetFreeBufferCount() != 0) TakeFreeBuffer();
  for (uint32_t i = 0; i < kPoolBuffers; ++i) AllocateBuffer(kPoolBufferSize);
  m_endWritten = false;
  m_failed = false;
  m_setUp = false;
  m_pageGranule = 0;

  float quality;
  {
    Locker lock(m_lock.Get());
    m_runFormat = m_format;
    quality = m_quality;
  }
  m_state->Reset();
  m_state->InfoInit();
  Locker stateLock(m_state->Lock());
  int result = vorbis_encode_init_vbr(m_state->Info(), m_runFormat.channels, static_cast<long>(m_runFormat.samplesPerSec),
                                      quality);
  if (result != 0) {
    Trace("VorbisEncoder - vorbis_encode_init_vbr refused %u ch, %u Hz, quality %.2f (%d)\r\n", m_runFormat.channels,
          m_runFormat.samplesPerSec, static_cast<double>(quality), result);
    return StopReason::EncoderStartFailure;
  }
  m_state->CommentInit();
  for (uint32_t i = 0, n = GetTagCount(); i < n; ++i) {
    std::wstring name, value;
    if (!GetTagName(i, &name) || !GetTagValue(i, &value)) break;
    std::string ansiName = WideToAnsi(name);
    std::string ansiValue = WideToAnsi(value);
    vorbis_comment_add_tag(m_state->Comment(), ansiName.c_str(), ansiValue.c_str());
  }
  if (m_state->AnalysisInit() != 0 || m_state->BlockInit() != 0) return StopReason::EncoderStartFailure;

  std::srand(GetTickCount());
  if (m_state->StreamInit(std::rand()) != 0) return StopReason::EncoderStartFailure;

  ogg_packet identification, comment, setup;
  if (m_state->HeaderOut(&identification, &comment, &setup) != 0) return StopReason::EncoderStartFailure;
  if (m_state->PacketIn(&identification) != 0 || m_state->PacketIn(&comment) != 0 || m_state->PacketIn(&setup) != 0) {
    return StopReason::EncoderStartFailure;
  }
  // The header packets end on their own pages; audio starts a new one. A
  // stop that arrives meanwhile does not cut this short: the stream's end
  // would otherwise share a page with the headers, which a Vorbis stream
  // must not do. Delivery itself gives up once stopped and starved.
  ogg_page page;
  while (m_state->Flush(&page) != 0) {
    if (!DeliverPage(page)) return StopReason::EncoderStartFailure;
  }
  m_setUp = true;
  return StopReason::None;
}

bool VorbisEncoder::Feed(AudioBuffer* buffer, const WaveFormat& format) {
  uint32_t align = format.blockAlign;
  uint32_t channels = format.channels;
  if (align == 0 || channels == 0 || (format.bitsPerSample != 16 && format.bitsPerSample != 8)) return false;
  if (align != channels * (format.bitsPerSample / 8u)) return false;
  uint32_t frames = buffer->Length() / align;
  // A write of 0 frames would end the stream: a buffer shorter than one
  // frame has nothing to add.
  if (frames == 0) return true;
  Locker stateLock(m_state->Lock());
  float** channelData = m_state->AnalysisBuffer(static_cast<int>(frames));
  if (!channelData) return false;
  const uint8_t* data = buffer->Data();
  if (format.bitsPerSample == 16) {
    for (uint32_t i = 0; i < frames; ++i) {
      const uint8_t* frame = data + static_cast<size_t>(i) * align;
      for (uint32_t c = 0; c < channels; ++c) {
        int16_t sample = static_cast<int16_t>(frame[2 * c] | (frame[2 * c + 1] << 8));
        channelData[c][i] = static_cast<float>(sample) * (1.0f / 32768.0f);
      }
    }
  } else {
    for (uint32_t i = 0; i < frames; ++i) {
      const uint8_t* frame = data + static_cast<size_t>(i) * align;
      for (uint32_t c = 0; c < channels; ++c) {
        channelData[c][i] = static_cast<float>(static_cast<int>(frame[c]) - 128) * (1.0f / 128.0f);
      }
    }
  }
  return m_state->AnalysisWrote(static_cast<int>(frames)) == 0;
}

bool VorbisEncoder::Drain() {
  Locker stateLock(m_state->Lock());
  for (;;) {
    int ready = m_state->BlockOut();
    if (ready < 0) return false;
    if (ready == 0) return true;
    if (m_state->AnalyseBlock() != 0) return false;
    ogg_packet packet;
    while (m_state->FlushPacket(&packet) == 1) {
      if (m_state->PacketIn(&packet) != 0) return false;
      // A page at least every second of sound, however little each second
      // takes at a low quality.
      const bool due = packet.granulepos - m_pageGranule >= static_cast<int64_t>(m_runFormat.samplesPerSec);
      ogg_page page;
      while (!m_endWritten && (due ? m_state->Flush(&page) : m_state->PageOut(&page)) != 0) {
        if (ogg_page_granulepos(&page) != -1) m_pageGranule = ogg_page_granulepos(&page);
        if (!DeliverPage(page)) return false;
        // Lets the input and file threads run between pages.
        Sleep(0);
        if (ogg_page_eos(&page)) m_endWritten = true;
      }
    }
  }
}

bool VorbisEncoder::Encode(RefPtr<AudioBuffer> buffer) {
  bool ok = true;
  if (buffer && buffer->Length() != 0 && !m_endWritten) ok = Feed(buffer.Get(), m_runFormat) && Drain();
  // Handed back in every case, so the buffer keeps circulating.
  if (buffer) ReportInputDone(std::move(buffer));
  return ok;
}

void VorbisEncoder::ProcessStep() {
  RefPtr<GraphMessage> message = Inbox()->Pop();
  if (!message) {
    WaitForWake(kWaitSliceMs);
    return;
  }
  if (message->Kind() != MessageKind::EncoderInput) return;
  if (!Encode(message->Buffer())) {
    m_failed = true;
    Abort(StopReason::EncoderFailure);
  }
}

bool VorbisEncoder::FinishStep() {
  // A stop that came before the thread had set the stream up still leaves a
  // valid, empty stream: headers and the end.
  if (!m_setUp && !GetAbortFlag()) {
    StopReason failure = SetupStep();
    if (failure != StopReason::None) {
      PostToPeer(MakeAbortMessage(failure));
      m_failed = true;
    }
  }
  if (!GetAbortFlag() && m_setUp) {
    if (!m_failed && !m_endWritten) {
      if (RefPtr<GraphMessage> message = Inbox()->Pop()) {
        if (message->Kind() == MessageKind::EncoderInput && !Encode(message->Buffer())) {
          m_failed = true;
          // Reported to the master; the stream still gets its end below.
          Abort(StopReason::EncoderFailure);
        }
        return false;
      }
    }
    if (!m_endWritten) {
      // End of input: the last page carries the end-of-stream flag.
      if (m_state->AnalysisWrote(0) != 0 || !Drain()) {
        Trace("VorbisEncoder - the end of the stream could not be written\r\n");
      }
    }
  }
  // Inputs left (after an abort, or after the end was written) go back.
  while (RefPtr<GraphMessage> message = Inbox()->Pop()) {
    if (message->Kind() == MessageKind::EncoderInput) ReportInputDone(message->Buffer());
  }
  m_state->Reset();
  m_setUp = false;
  while (GetFreeBufferCount() != 0) TakeFreeBuffer();
  return true;
}

}  // namespace talvinor
