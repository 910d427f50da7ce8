#pragma once
#include <atomic>
#include <bit>
#include <cstdint>

#include "audio/WaveFormat.h"

namespace talvinor {

// A level as the meter reads it, in dB relative to full scale.
struct LevelReading {
  float peakDb = -200.0f;  // the loudest sample of the last measured buffer
  float rmsDb = -200.0f;   // its root mean square
  uint32_t buffers = 0;    // buffers measured since the run began; a new value means a new reading
};

// The level of the sound a recording captures: the recording master measures
// every captured buffer on its own thread; any other thread reads the last
// measurement. Measuring allocates nothing and takes no lock; a reading is
// one atomic load, so the two levels of a reading always belong to the same
// buffer.
class InputLevel {
 public:
  // Levels at or below this read as the floor (digital silence included).
  static constexpr float kFloorDb = -200.0f;

  // Forgets the last measurement (a new run begins).
  void Reset();
  // Measures `bytes` bytes of linear PCM in `format` (8-bit unsigned, 16-,
  // 24- or 32-bit signed, little-endian; whole frames only). Other formats
  // are not measured.
  void Measure(const uint8_t* data, uint32_t bytes, const WaveFormat& format);
  LevelReading Read() const;

  // The peak and RMS levels of `bytes` bytes of PCM, as Measure finds them;
  // false for a format it does not measure or no whole sample.
  static bool MeasureBlock(const uint8_t* data, uint32_t bytes, const WaveFormat& format, float* peakDb,
                           float* rmsDb);

 private:
  static constexpr uint64_t Pack(float peakDb, float rmsDb) {
    return (static_cast<uint64_t>(std::bit_cast<uint32_t>(peakDb)) << 32) | std::bit_cast<uint32_t>(rmsDb);
  }

  // Peak and RMS as two floats in one word, so a reading is never torn.
  std::atomic<uint64_t> m_levels{Pack(kFloorDb, kFloorDb)};
  std::atomic<uint32_t> m_buffers{0};
};

}  // namespace talvinor
