#pragma once
// Plays fuzzed bytes as a file through a file source. Each input drives a
// fresh source from this thread, standing in for the master and its file
// worker: the source's reads are answered from memory at once, its PCM is
// counted and its buffers handed back, and a seek is made the way playback
// makes one (pause, target, resume). A master's graph would cost a few
// scheduler rounds per input for nothing the source does; the seeds are
// still made through the real conversion master below.
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "audio/ConvertMaster.h"
#include "codec/SpeexEncoder.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileEncoder.h"
#include "codec/WaveFileSource.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Unicode.h"
#include "platform/window/HeadlessMessageQueue.h"

namespace talvinor::fuzz {

struct RunEnd {
  bool started = false;
  bool closed = false;
  StopReason reason = StopReason::None;
};

// Longer than any input of the corpus takes by far: a run that has not
// closed by then hangs.
constexpr uint32_t kRunTimeoutMs = 20000;

inline RunEnd Convert(const std::string& from, RefPtr<AudioSource> source, const std::string& to,
                      RefPtr<AudioEncoder> encoder) {
  HeadlessMessageQueue window;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  master->SetNotify(window.Id(), kWmConvertNotify, 0);
  RunEnd end;
  if (master->Setup(Utf8ToWide(from), source, Utf8ToWide(to), encoder, ConvertOutput::Replace)) {
    end.started = master->Start();
    while (end.started) {
      auto notice = window.TakeMessage(kWmConvertNotify, kRunTimeoutMs);
      if (!notice) break;
      if ((notice->wParam & 0xFFFF) == static_cast<uint32_t>(MasterState::Closed)) {
        end.closed = true;
        break;
      }
    }
    master->Wait(5000);
    end.reason = master->GetStopReason();
  }
  master->SetNotify(0, 0, 0);
  master->Close();
  return end;
}

// What one driven run of a source showed.
struct DrivenRun {
  bool opened = false;
  bool formatReady = false;
  bool ended = false;           // EndOfStream arrived
  StopReason abort = StopReason::None;  // the reason of an Abort that arrived
  bool seeked = false;
  uint64_t pcmBytes = 0;
};

// A wait that a run never needs: a source that takes longer for one step
// of a small input hangs.
constexpr uint32_t kStepTimeoutMs = 5000;
// PCM buffers handed to the source, as the conversion master hands them.
constexpr uint32_t kPcmBuffers = 4;
constexpr uint32_t kPcmBufferReserve = 4096;

// Drives `source` over `bytes` to its end; when `seekTo` is not kNoSeek,
// seeks there (milliseconds) once the first PCM has come.
inline DrivenRun Drive(RefPtr<AudioSource> source, const std::string& bytes, uint32_t seekTo) {
  DrivenRun run;
  RefPtr<EventObject> event = Create<EventObject>();
  RefPtr<MessageQueue> inbox = Create<MessageQueue>(event);
  if (!source->Open(inbox, static_cast<uint32_t>(bytes.size()))) return run;
  run.opened = true;
  for (uint32_t i = 0; i < kPcmBuffers; ++i) {
    RefPtr<AudioBuffer> buffer = Create<AudioBuffer>();
    TALVINOR_FUZZ_CHECK(buffer->Reserve(kPcmBufferReserve) != nullptr);
    source->PushBuffer(buffer);
  }
  uint32_t position = 0;  // the stand-in file's read position
  WaveFormat format;
  bool pausing = false;
  bool partFrame = false;  // the last PCM ended inside a frame
  // Answers what the source sent; false once the run is over.
  auto dispatch = [&](GraphMessage* message) {
    switch (message->Kind()) {
      case MessageKind::ReadBlock: {
        RefPtr<AudioBuffer> buffer = message->Buffer();
        TALVINOR_FUZZ_CHECK(buffer);
        uint32_t offset = message->First() == kCurrentPosition ? position : message->First();
        uint32_t count = message->Second() == 0 ? buffer->Capacity() : message->Second();
        TALVINOR_FUZZ_CHECK(count <= buffer->Capacity());
        // Past the end a file reads nothing, as a seek there succeeds.
        const uint32_t size = static_cast<uint32_t>(bytes.size());
        uint32_t done = offset < size ? std::min(count, size - offset) : 0;
        if (done) std::memcpy(buffer->Storage(), bytes.data() + offset, done);
        buffer->SetValid(buffer->Storage(), done);
        position = offset + done;
        source->QueueInput(buffer);
        return true;
      }
      case MessageKind::FormatReady:
        TALVINOR_FUZZ_CHECK(!run.formatReady);
        run.formatReady = true;
        source->GetFormat(&format);
        TALVINOR_FUZZ_CHECK(format.blockAlign != 0);
        return true;
      case MessageKind::PcmData: {
        RefPtr<AudioBuffer> pcm = message->Buffer();
        TALVINOR_FUZZ_CHECK(pcm && run.formatReady);
        TALVINOR_FUZZ_CHECK(pcm->Length() <= pcm->Capacity());
        // Whole frames, but for a cut-off last frame of a truncated file:
        // a part frame in mid-stream would swap the channels from there on.
        TALVINOR_FUZZ_CHECK(!partFrame);
        partFrame = pcm->Length() % format.blockAlign != 0;
        run.pcmBytes += pcm->Length();
        source->PushBuffer(pcm);
        if (seekTo != AudioSource::kNoSeek && !run.seeked && !pausing) pausing = source->RequestPause();
        return true;
      }
      case MessageKind::EndOfStream:
        run.ended = true;
        return false;
      case MessageKind::Abort:
        run.abort = static_cast<StopReason>(message->First());
        return false;
      default:
        return true;
    }
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStepTimeoutMs);
  for (bool live = true; live;) {
    event->Reset();
    while (live) {
      RefPtr<GraphMessage> message = inbox->Pop();
      if (!message) break;
      live = dispatch(message.Get());
    }
    if (!live) break;
    if (pausing && source->GetState() == ComponentState::Paused) {
      source->SetSeekTarget(seekTo);
      TALVINOR_FUZZ_CHECK(source->RequestResume());
      pausing = false;
      partFrame = false;  // the stream starts again at the target
      run.seeked = true;
      continue;
    }
    if (pausing) {
      // The source notices the pause between its steps and says nothing.
      std::this_thread::yield();
    } else if (!event->Wait(kStepTimeoutMs)) {
      std::fprintf(stderr, "source sent nothing for %u ms\n", kStepTimeoutMs);
      std::abort();
    }
    TALVINOR_FUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
  }
  TALVINOR_FUZZ_CHECK(source->Stop(kStepTimeoutMs));
  TALVINOR_FUZZ_CHECK(source->Close());
  return run;
}

// Drives a fresh source from `make` over `data`: once to the end, and once
// more with a seek to a point the input's last bytes pick, which must end
// as well, with no hang and no broken frame after the jump.
template <typename MakeSource>
inline void DriveThrough(MakeSource make, const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  DrivenRun plain = Drive(make(), bytes, AudioSource::kNoSeek);
  if (!plain.opened) return;  // refused up front (an empty file, say)
  TALVINOR_FUZZ_CHECK(plain.ended || plain.abort != StopReason::None);
  if (!plain.ended || plain.pcmBytes == 0 || size < 2) return;
  const uint32_t seekTo = (static_cast<uint32_t>(data[size - 1]) << 8 | data[size - 2]) % 4000;
  DrivenRun seeked = Drive(make(), bytes, seekTo);
  TALVINOR_FUZZ_CHECK(seeked.ended || seeked.abort != StopReason::None);
}

// A 16-bit (or 8-bit) PCM WAV file written by hand: the first input from
// which the program's own encoders make the rest of the seeds.
inline std::string ToneWav(uint32_t rate, uint16_t channels, uint16_t bits, double seconds) {
  const uint32_t frames = static_cast<uint32_t>(rate * seconds);
  const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
  std::string data;
  for (uint32_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    // A falling tone with a beat: Vorbis and Speex code it into varied packets.
    double v = 0.5 * std::sin(2 * M_PI * (440 - 200 * t) * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
    for (uint16_t c = 0; c < channels; ++c) {
      double s = c == 0 ? v : -v * 0.7;
      if (bits == 8) {
        data += static_cast<char>(static_cast<uint8_t>(128 + s * 127));
      } else {
        int32_t sample = static_cast<int32_t>(s * static_cast<double>((int64_t{1} << (bits - 1)) - 1));
        for (int b = 0; b < bits / 8; ++b) data += static_cast<char>((sample >> (8 * b)) & 0xFF);
      }
    }
  }
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  std::string wav = "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) +
                    u16(channels) + u32(rate) + u32(rate * blockAlign) + u16(blockAlign) + u16(bits) + "data" +
                    u32(static_cast<uint32_t>(data.size()));
  return wav + data;
}

// Encodes `wav` with the program's own `encoder`; the file's bytes, empty
// when the conversion failed.
inline std::string Encode(const std::string& wav, RefPtr<AudioEncoder> encoder) {
  const std::string input = ScratchFolder() + "/seed.wav";
  const std::string output = ScratchFolder() + "/seed.out";
  WriteBytes(input, reinterpret_cast<const uint8_t*>(wav.data()), wav.size());
  RunEnd end = Convert(input, Create<WaveFileSource>(), output, encoder);
  if (end.reason != StopReason::EndOfStream) {
    std::fprintf(stderr, "seed encoding failed (%u)\n", StopCode(end.reason));
    return "";
  }
  return ReadBytes(output);
}

// Ogg Speex files of the program's own encoder in each band, mono and
// stereo, with and without voice activity detection.
inline void WriteSpeexSeeds(const FuzzSeeds& seeds) {
  struct Case {
    uint32_t rate;  // narrow, wide and ultra-wide band
    uint16_t channels;
    int32_t quality;
    int32_t vad;
  };
  for (Case c : {Case{8000, 1, 8, 0}, Case{16000, 2, 4, 0}, Case{32000, 1, 2, 1}, Case{8000, 2, 10, 1}}) {
    RefPtr<SpeexEncoder> encoder = Create<SpeexEncoder>();
    SpeexSettings settings;
    settings.quality = c.quality;
    settings.vad = c.vad;
    settings.dtx = c.vad;
    encoder->SetSpeexSettings(settings);
    encoder->AddTag(L"TITLE", L"通話 090");
    std::string spx = Encode(ToneWav(c.rate, c.channels, 16, 0.4), encoder);
    if (!spx.empty()) seeds.Add(std::to_string(c.rate) + "-" + std::to_string(c.channels) + ".spx", spx);
  }
}

}  // namespace talvinor::fuzz
