#include "audio/InputLevel.h"

#include <cmath>

namespace talvinor {

namespace {

float ToDb(double fraction) {
  if (fraction <= 0.0) return InputLevel::kFloorDb;
  const double db = 20.0 * std::log10(fraction);
  return db <= InputLevel::kFloorDb ? InputLevel::kFloorDb : static_cast<float>(db);
}

// One sample as a signed value and the full-scale magnitude of its size.
inline int64_t Sample(const uint8_t* p, uint32_t bytesPerSample) {
  switch (bytesPerSample) {
    case 1: return static_cast<int64_t>(p[0]) - 128;
    case 2: return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    case 3: {
      int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16));
      if (v & 0x800000) v -= 0x1000000;
      return v;
    }
    default:
      return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                  (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
  }
}

}  // namespace

bool InputLevel::MeasureBlock(const uint8_t* data, uint32_t bytes, const WaveFormat& format, float* peakDb,
                              float* rmsDb) {
  if (!data || format.formatTag != kWaveFormatPcm || format.channels == 0) return false;
  const uint32_t bits = format.bitsPerSample;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const uint32_t size = bits / 8;
  const uint32_t frame = size * format.channels;
  const uint32_t samples = bytes / frame * format.channels;
  if (samples == 0) return false;
  const double fullScale = std::ldexp(1.0, static_cast<int>(bits) - 1);
  uint64_t peak = 0;
  double sumOfSquares = 0.0;
  const uint8_t* p = data;
  for (uint32_t i = 0; i < samples; ++i, p += size) {
    const int64_t v = Sample(p, size);
    const uint64_t magnitude = static_cast<uint64_t>(v < 0 ? -v : v);
    if (magnitude > peak) peak = magnitude;
    sumOfSquares += static_cast<double>(v) * static_cast<double>(v);
  }
  *peakDb = ToDb(static_cast<double>(peak) / fullScale);
  *rmsDb = ToDb(std::sqrt(sumOfSquares / samples) / fullScale);
  return true;
}

void InputLevel::Reset() {
  m_levels.store(Pack(kFloorDb, kFloorDb), std::memory_order_relaxed);
  m_buffers.store(0, std::memory_order_release);
}

void InputLevel::Measure(const uint8_t* data, uint32_t bytes, const WaveFormat& format) {
  float peakDb = kFloorDb;
  float rmsDb = kFloorDb;
  if (!MeasureBlock(data, bytes, format, &peakDb, &rmsDb)) return;
  m_levels.store(Pack(peakDb, rmsDb), std::memory_order_relaxed);
  m_buffers.fetch_add(1, std::memory_order_release);
}

LevelReading InputLevel::Read() const {
  LevelReading reading;
  reading.buffers = m_buffers.load(std::memory_order_acquire);
  const uint64_t packed = m_levels.load(std::memory_order_relaxed);
  reading.peakDb = std::bit_cast<float>(static_cast<uint32_t>(packed >> 32));
  reading.rmsDb = std::bit_cast<float>(static_cast<uint32_t>(packed));
  return reading;
}

}  // namespace talvinor
