#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "audio/Master.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "support/StopReasonPrint.h"

namespace talvinor::testing {

using Notice = std::pair<uint32_t, uint32_t>;  // (new state, old state)

// Collects a master's state notices from a headless window.
class NoticeLog {
 public:
  explicit NoticeLog(Master* master, uint32_t message = kWmRecordNotify) : m_message(message) {
    master->SetNotify(m_window.Id(), message, 7);
  }
  // Every notice up to and including the next one that reports `state`
  // (or what arrived within `timeoutMs`).
  std::vector<Notice> Until(MasterState state, uint32_t timeoutMs = 10000) {
    std::vector<Notice> seen;
    for (;;) {
      auto m = m_window.TakeMessage(m_message, timeoutMs);
      if (!m) return seen;
      seen.emplace_back(m->wParam & 0xFFFF, (m->wParam >> 16) & 0xFFFF);
      m_all.push_back(seen.back());
      if (seen.back().first == static_cast<uint32_t>(state)) return seen;
    }
  }
  WindowId Window() const { return m_window.Id(); }

 private:
  HeadlessMessageQueue m_window;
  uint32_t m_message;
  std::vector<Notice> m_all;
};

inline Notice N(MasterState to, MasterState from) { return {static_cast<uint32_t>(to), static_cast<uint32_t>(from)}; }

// The two spellings of one PCM format: the engine's and the wave layer's.
inline WaveFormat EngineFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  return talvinor::PcmWaveFormat(channels, rate, bits);
}
inline WAVEFORMATEX DeviceFormat(uint32_t rate, uint16_t channels, uint16_t bits) {
  return talvinor::PcmWaveFormatEx(channels, rate, bits);
}

inline void AppendLe(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline uint32_t ReadLe(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

// A plain 44-byte-header WAV file of `pcm`.
inline std::string WavBytes(const std::string& pcm, uint16_t channels, uint32_t rate, uint16_t bits) {
  uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
  std::string s = "RIFF";
  AppendLe(s, static_cast<uint32_t>(36 + pcm.size()), 4);
  s += "WAVEfmt ";
  AppendLe(s, 16, 4);
  AppendLe(s, 1, 2);
  AppendLe(s, channels, 2);
  AppendLe(s, rate, 4);
  AppendLe(s, rate * align, 4);
  AppendLe(s, align, 2);
  AppendLe(s, bits, 2);
  s += "data";
  AppendLe(s, static_cast<uint32_t>(pcm.size()), 4);
  return s + pcm;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// 16-bit PCM whose every sample differs from its neighbours, with quiet and
// loud stretches so the filters' two ranges are both used.
inline std::string TestPcm16(uint32_t frames, uint16_t channels) {
  std::string s;
  s.reserve(static_cast<size_t>(frames) * channels * 2);
  uint32_t x = 12345;
  for (uint32_t n = 0; n < frames; ++n) {
    for (uint16_t c = 0; c < channels; ++c) {
      x = x * 1664525u + 1013904223u;
      int32_t span = (n / 1000) % 2 ? 32767 : 3000;
      int32_t v = static_cast<int32_t>(x >> 16) % span;
      AppendLe(s, static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
    }
  }
  return s;
}

// The bytes a virtual input produces for frames [first, first + frames).
inline std::string VirtualSignalBytes(const VirtualWaveDevice& device, const WAVEFORMATEX& format, uint64_t first,
                                      uint32_t frames) {
  std::string out(static_cast<size_t>(frames) * format.nBlockAlign, '\0');
  VirtualWaveBackend::GenerateSignal(device, format, first, frames, out.data());
  return out;
}

}  // namespace talvinor::testing
