#include "codec/VolumeBoostFilter.h"

#include <cstring>

namespace talvinor {

namespace {
constexpr int32_t kFullScale = 32767;
}

VolumeBoostFilter::VolumeBoostFilter() { Setup(20, 4); }

bool VolumeBoostFilter::Setup(int32_t percent, int32_t gain) {
  if (gain <= 0) return false;
  // 64-bit so that absurd arguments are refused instead of wrapping past the test.
  if (static_cast<int64_t>(percent) * gain > 97) return false;
  int32_t threshold = static_cast<int32_t>(static_cast<int64_t>(percent) * kFullScale / 100);
  int32_t divisor = kFullScale - threshold;
  if (threshold < 0 || divisor <= 0) return false;
  m_threshold = threshold;
  m_gain = gain;
  m_divisor = divisor;
  m_slope = kFullScale - gain * threshold;
  m_offset = kFullScale - (kFullScale * m_slope) / m_divisor;
  return true;
}

int16_t VolumeBoostFilter::Apply(int16_t sample) const {
  int32_t s = sample;
  int32_t y;
  if (s >= 0) {
    y = s < m_threshold ? m_gain * s : (s * m_slope) / m_divisor + m_offset;
  } else {
    y = s > -m_threshold ? m_gain * s : (s * m_slope) / m_divisor - m_offset;
  }
  return static_cast<int16_t>(static_cast<uint16_t>(y));  // the low 16 bits
}

void VolumeBoostFilter::Process(uint8_t* samples, uint32_t bytes, const WaveFormat& format) {
  if (!samples || format.bitsPerSample != 16 || m_gain <= 1) return;
  for (uint32_t i = 0; i + 1 < bytes; i += 2) {
    int16_t s;
    std::memcpy(&s, samples + i, 2);
    s = Apply(s);
    std::memcpy(samples + i, &s, 2);
  }
}

}  // namespace talvinor
