#include "codec/SmoothingFilter.h"

#include <cstring>

namespace talvinor {

namespace {
// Keeps (N - 1) x 32768 inside 32 bits.
constexpr int64_t kMaxDivisor = 65536;
}

void SmoothingFilter::Prepare(const WaveFormat& format) {
  if (m_windowUs == 0) return;
  int64_t n = static_cast<int64_t>(m_windowUs) * format.samplesPerSec / 1000000;
  if (n < 1) n = 1;  // shorter than a sample: no smoothing, and no division by zero
  if (n > kMaxDivisor) n = kMaxDivisor;
  m_divisor = static_cast<int32_t>(n);
  m_weight = m_divisor - 1;
  for (int32_t& p : m_previous) p = 0;
}

void SmoothingFilter::Process(uint8_t* samples, uint32_t bytes, const WaveFormat& format) {
  if (!samples || m_windowUs == 0 || bytes < 2 || format.bitsPerSample != 16) return;
  const uint32_t channels = format.channels;
  if (channels == 0 || channels > kMaxChannels || m_divisor < 1) return;
  const uint32_t frameBytes = channels * 2;
  for (uint32_t at = 0; at + frameBytes <= bytes; at += frameBytes) {
    for (uint32_t c = 0; c < channels; ++c) {
      int16_t s;
      std::memcpy(&s, samples + at + 2 * c, 2);
      int32_t y = (s + m_weight * m_previous[c]) / m_divisor;
      m_previous[c] = y;
      int16_t out = static_cast<int16_t>(y);
      std::memcpy(samples + at + 2 * c, &out, 2);
    }
  }
}

}  // namespace talvinor
