#include "codec/SpeexEncoder.h"

#include <speex/speex_header.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "audio/StopReason.h"
#include "codec/RecordingRepair.h"
#include "codec/StreamTags.h"
#include "core/ScopedLock.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {
constexpr uint32_t kPoolBuffers = 3;
constexpr uint32_t kPoolBufferSize = 8192;
constexpr uint32_t kWaitSliceMs = 1000;
constexpr int kEndOfStreamCode = 15;  // the in-band "end of stream" request
constexpr int kEndOfStreamCodeBits = 5;
}  // namespace

SpeexEncoder::SpeexEncoder() : m_state(Create<SpeexCodecState>()) {}

bool SpeexEncoder::SetSpeexSettings(const SpeexSettings& settings) {
  if (IsRunning()) return false;
  Locker lock(m_lock.Get());
  m_settings = settings;
  return true;
}

SpeexSettings SpeexEncoder::GetSpeexSettings() {
  Locker lock(m_lock.Get());
  return m_settings;
}

int SpeexEncoder::ModeForRate(uint32_t rate) {
  if (rate == 0) return SPEEX_MODEID_NB;
  if (rate > 48000) return -1;
  if (rate > 25000) return SPEEX_MODEID_UWB;
  if (rate > 12500) return SPEEX_MODEID_WB;
  if (rate >= 6000) return SPEEX_MODEID_NB;
  return -1;
}

StopReason SpeexEncoder::SetupStep() {
  while (GetFreeBufferCount() != 0) TakeFreeBuffer();
  for (uint32_t i = 0; i < kPoolBuffers; ++i) AllocateBuffer(kPoolBufferSize);
  m_state->Reset();
  m_runDone = false;
  m_headConsumed = 0;
  return StopReason::None;
}

void SpeexEncoder::ProcessStep() {
  if (m_runDone) {
    // The run is over; only a stop or an abort is awaited.
    WaitForWakeUnless([this] { return GetState() != ComponentState::Running; }, kWaitSliceMs);
    return;
  }
  m_runDone = true;
  StopReason failure = EncodeRun();
  if (failure != StopReason::None) Abort(failure);
}

void SpeexEncoder::MakeFileFinal(const std::wstring& path) {
  RepairReport report = RepairRecording(path);
  if (report.outcome == RepairOutcome::Failed) {
    Trace("SpeexEncoder - the stream could not be ended in the file: %s\r\n", report.what.c_str());
  }
}

bool SpeexEncoder::DeliverPages(bool flush) {
  Locker stateLock(m_state->Lock());
  ogg_page page;
  while (flush ? m_state->Flush(&page) != 0 : m_state->PageOut(&page) != 0) {
    if (ogg_page_granulepos(&page) != -1) m_pageGranule = ogg_page_granulepos(&page);
    if (!DeliverEncoded(page.header, static_cast<uint32_t>(page.header_len), page.body,
                        static_cast<uint32_t>(page.body_len))) {
      return false;
    }
  }
  return true;
}

StopReason SpeexEncoder::WriteHeaders(uint32_t rate, const SpeexMode* mode, int channels) {
  SpeexHeader header;
  speex_init_header(&header, static_cast<int>(rate), 1, mode);
  header.frames_per_packet = 1;
  header.vbr = 0;
  header.nb_channels = channels;
  int size = 0;
  char* bytes = speex_header_to_packet(&header, &size);
  if (!bytes) return StopReason::EncoderStartFailure;
  ogg_packet packet{};
  packet.packet = reinterpret_cast<unsigned char*>(bytes);
  packet.bytes = size;
  packet.b_o_s = 1;
  packet.e_o_s = 0;
  packet.granulepos = 0;
  packet.packetno = 0;
  int result = m_state->PacketIn(&packet);
  speex_header_free(bytes);
  if (result != 0 || !DeliverPages(true)) return StopReason::EncoderStartFailure;

  std::vector<uint8_t> comment = BuildSpeexCommentPacket(GetComponentTags(this));
  packet = ogg_packet{};
  packet.packet = comment.data();
  packet.bytes = static_cast<long>(comment.size());
  packet.b_o_s = 0;
  packet.e_o_s = 0;
  packet.granulepos = 0;
  packet.packetno = 1;
  // The audio therefore starts on a page of its own.
  if (m_state->PacketIn(&packet) != 0 || !DeliverPages(true)) return StopReason::EncoderStartFailure;
  return StopReason::None;
}

StopReason SpeexEncoder::EncodeRun() {
  WaveFormat format;
  SpeexSettings settings;
  {
    Locker lock(m_lock.Get());
    format = m_format;
    settings = m_settings;
  }
  std::srand(GetTickCount());
  if (m_state->StreamInit(std::rand()) != 0) return StopReason::EncoderStartFailure;

  uint32_t rate = format.samplesPerSec;
  if (rate > 48000) {
    Trace("Error: sampling rate too high: %d Hz, try down-sampling\r\n", static_cast<int>(rate));
    return StopReason::EncoderStartFailure;
  }
  if (rate != 0 && rate < 6000) {
    Trace("Error: Sampling rate too low: %d Hz\r\n", static_cast<int>(rate));
    return StopReason::EncoderStartFailure;
  }
  if (rate == 0) rate = 8000;
  int modeId = ModeForRate(rate);
  const SpeexMode* mode = speex_lib_get_mode(modeId);
  if (!mode) return StopReason::EncoderStartFailure;
  int channels = format.channels;
  // Speex carries one channel, or two through its stereo coder; anything
  // else would be encoded as noise.
  if (channels != 1 && channels != 2) {
    Trace("SpeexEncoder - %d channels cannot be encoded\r\n", channels);
    return StopReason::EncoderStartFailure;
  }
  Trace("Encoding %d Hz / mode %d / channel %d\r\n", static_cast<int>(rate), modeId, channels);

  if (!m_state->EncoderInit(mode)) return StopReason::EncoderStartFailure;
  spx_int32_t frameSize = 0;
  spx_int32_t value = settings.complexity;
  m_state->EncoderCtl(SPEEX_GET_FRAME_SIZE, &frameSize);
  m_state->EncoderCtl(SPEEX_SET_COMPLEXITY, &value);
  value = static_cast<spx_int32_t>(rate);
  m_state->EncoderCtl(SPEEX_SET_SAMPLING_RATE, &value);
  if (settings.quality >= 0) {
    value = settings.quality;
    m_state->EncoderCtl(SPEEX_SET_QUALITY, &value);
  }
  if (settings.vad) {
    value = 1;
    m_state->EncoderCtl(SPEEX_SET_VAD, &value);
  }
  if (settings.dtx) {
    value = 1;
    m_state->EncoderCtl(SPEEX_SET_DTX, &value);
  }
  spx_int32_t lookahead = 0;
  m_state->EncoderCtl(SPEEX_GET_LOOKAHEAD, &lookahead);
  if (frameSize <= 0) return StopReason::EncoderStartFailure;

  // The granule positions count from the first sample the listener hears:
  // the codec's delay (in whole sample frames), and the preprocessor's frame.
  int64_t unit = 2 * channels;
  int64_t adjustedLookahead = (lookahead + unit - 1) / unit * unit;
  if (settings.denoise) {
    if (!m_state->PreprocessorInit(frameSize, static_cast<int>(rate))) return StopReason::EncoderStartFailure;
    value = settings.denoise;
    m_state->PreprocessorCtl(SPEEX_PREPROCESS_SET_DENOISE, &value);
    value = 0;
    m_state->PreprocessorCtl(SPEEX_PREPROCESS_SET_AGC, &value);
    adjustedLookahead += frameSize;
  }
  int64_t granule = -adjustedLookahead;
  m_pageGranule = granule;
  int64_t packetNumber = 2;

  StopReason headers = WriteHeaders(rate, mode, channels);
  if (headers != StopReason::None) return headers;

  std::vector<char> output(std::max<size_t>(2 * static_cast<size_t>(frameSize), 4000));
  const uint32_t frameBytes = static_cast<uint32_t>(frameSize) * channels * 2;
  std::vector<int16_t> input(std::max<size_t>(frameBytes, 4000) / 2 + 1);
  m_state->BitsInit();

  for (;;) {
    FrameFill fill = FillFrame(input.data(), frameBytes, format);
    if (fill == FrameFill::Error) return StopReason::EncoderFailure;
    if (channels == 2) {
      // Leaves the mono mix in the first frame-size samples.
      m_state->EncodeStereo(input.data(), frameSize);
    }
    m_state->Preprocess(input.data());
    m_state->Encode(input.data());
    m_state->BitsInsertTerminator();
    int bytes = m_state->BitsWrite(output.data(), static_cast<int>(output.size()));
    m_state->BitsReset();

    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(output.data());
    packet.bytes = bytes;
    packet.b_o_s = 0;
    packet.e_o_s = 0;
    packet.granulepos = granule;
    packet.packetno = packetNumber;
    granule += frameSize;
    ++packetNumber;
    // A page at least every second of sound: a narrowband page would
    // otherwise hold several seconds, all lost to a crash.
    const bool due = packet.granulepos - m_pageGranule >= static_cast<int64_t>(rate);
    if (m_state->PacketIn(&packet) != 0 || !DeliverPages(due)) return StopReason::EncoderFailure;
    if (fill == FrameFill::End) break;
  }

  m_state->BitsReset();
  m_state->BitsPack(kEndOfStreamCode, kEndOfStreamCodeBits);
  int bytes = m_state->BitsWrite(output.data(), static_cast<int>(output.size()));
  m_state->BitsReset();
  ogg_packet packet{};
  packet.packet = reinterpret_cast<unsigned char*>(output.data());
  packet.bytes = bytes;
  packet.b_o_s = 0;
  packet.e_o_s = 1;
  packet.granulepos = granule;
  packet.packetno = packetNumber;
  if (m_state->PacketIn(&packet) != 0 || !DeliverPages(true)) return StopReason::EncoderFailure;
  return StopReason::None;
}

SpeexEncoder::FrameFill SpeexEncoder::FillFrame(int16_t* frame, uint32_t frameBytes, const WaveFormat& format) {
  uint8_t* out = reinterpret_cast<uint8_t*>(frame);
  uint32_t filled = 0;
  const uint32_t bits = format.bitsPerSample;
  while (filled < frameBytes) {
    RefPtr<GraphMessage> message = Inbox()->Peek();
    if (!message) {
      ComponentState state = GetState();
      if (state == ComponentState::Stopping || state == ComponentState::Idle) {
        std::memset(out + filled, 0, frameBytes - filled);
        return FrameFill::End;
      }
      WaitForWake(kWaitSliceMs);
      continue;
    }
    RefPtr<AudioBuffer> buffer = message->Buffer();
    if (message->Kind() != MessageKind::EncoderInput || !buffer) {
      Inbox()->Pop();
      return FrameFill::Error;
    }
    if (bits != 16 && bits != 8) return FrameFill::Error;
    uint32_t available = buffer->Data() && buffer->Length() > m_headConsumed ? buffer->Length() - m_headConsumed : 0;
    const uint8_t* data = available ? buffer->Data() + m_headConsumed : nullptr;
    uint32_t used = 0;
    if (!data) {
      // Nothing (more) in it.
    } else if (bits == 16) {
      used = std::min(available & ~1u, frameBytes - filled);
      std::memcpy(out + filled, data, used);
      filled += used;
    } else {
      used = std::min(available, (frameBytes - filled) / 2);
      for (uint32_t i = 0; i < used; ++i) {
        int16_t sample = static_cast<int16_t>((static_cast<int>(data[i]) - 128) * 256);
        std::memcpy(out + filled + 2 * i, &sample, 2);
      }
      filled += used * 2;
    }
    m_headConsumed += used;
    if (available - used < (bits == 16 ? 2u : 1u)) {
      // Used up (an odd trailing byte of 16-bit input cannot form a sample).
      Inbox()->Pop();
      m_headConsumed = 0;
      ReportInputDone(std::move(buffer));
    }
  }
  return FrameFill::Full;
}

bool SpeexEncoder::FinishStep() {
  // A stop that came before the thread had set up still leaves a valid,
  // empty stream: the encoding run sees the stop and writes the headers,
  // one frame of silence and the end.
  if (!m_runDone && !GetAbortFlag()) {
    SetupStep();
    m_runDone = true;
    StopReason failure = EncodeRun();
    if (failure != StopReason::None) PostToPeer(MakeAbortMessage(failure));
  }
  if (GetAbortFlag()) {
    while (RefPtr<GraphMessage> message = Inbox()->Pop()) {
      if (message->Kind() == MessageKind::EncoderInput) ReportInputDone(message->Buffer());
    }
  }
  m_headConsumed = 0;
  m_runDone = false;
  m_state->Reset();
  while (GetFreeBufferCount() != 0) TakeFreeBuffer();
  return true;
}

}  // namespace talvinor
