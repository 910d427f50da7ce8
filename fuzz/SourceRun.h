#pragma once
// Plays fuzzed bytes as a file through a file source, the way the program
// converts one: the conversion master with the source, its file workers and
// the WAV encoder. A fresh master each time, so that every finding replays
// from its input alone.
#include <cmath>
#include <cstring>
#include <string>

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

inline uint32_t LittleEndian32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// Runs `data` through `source` into a WAV file and checks what the program
// promises for any input: the run ends (no hang), with a reason, and a run
// that reached the end of the stream leaves a WAV file whose sizes are final.
inline void PlayThrough(RefPtr<AudioSource> source, const uint8_t* data, size_t size) {
  const std::string input = ScratchFolder() + "/input";
  const std::string output = ScratchFolder() + "/output.wav";
  WriteBytes(input, data, size);
  std::filesystem::remove(output);
  RunEnd end = Convert(input, source, output, Create<WaveFileEncoder>());
  if (!end.started) return;  // refused up front (an empty file, say)
  TALVINOR_FUZZ_CHECK(end.closed);
  TALVINOR_FUZZ_CHECK(end.reason != StopReason::None && end.reason != StopReason::BadState);
  if (end.reason == StopReason::EndOfStream) {
    std::string wav = ReadBytes(output);
    TALVINOR_FUZZ_CHECK(wav.size() >= 44);
    TALVINOR_FUZZ_CHECK(std::memcmp(wav.data(), "RIFF", 4) == 0);
    TALVINOR_FUZZ_CHECK(LittleEndian32(wav, 4) == wav.size() - 8);
  }
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
