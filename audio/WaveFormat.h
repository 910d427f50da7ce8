#pragma once
#include <cstdint>
#include <cstring>

namespace talvinor {

// The 18-byte sound format every component and master carries, in the
// layout of the handset's WAVEFORMATEX (little-endian, packed).
#pragma pack(push, 1)
struct WaveFormat {
  uint16_t formatTag = 0;       // 1 = linear PCM
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;

  bool operator==(const WaveFormat& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "the sound format is 18 bytes");

inline constexpr uint16_t kWaveFormatPcm = 1;

// The linear PCM sound format of a channel count, rate and sample size (the
// order of its fields), with the derived fields filled as the handset
// computes them (block align in 16-bit arithmetic).
inline WaveFormat PcmWaveFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
  WaveFormat f;
  f.formatTag = kWaveFormatPcm;
  f.channels = channels;
  f.samplesPerSec = samplesPerSec;
  f.blockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
  f.avgBytesPerSec = samplesPerSec * f.blockAlign;
  f.bitsPerSample = bitsPerSample;
  f.extraSize = 0;
  return f;
}

}  // namespace talvinor
