// The input level: peak and RMS of a captured block in dBFS, for each sample
// size, and the reading other threads take.
#include "audio/InputLevel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

namespace talvinor {
namespace {

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (int16_t s : samples) {
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF));
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return bytes;
}

// A sine of `amplitude` (of full scale), a whole number of periods long.
std::vector<int16_t> Sine(double amplitude, int frames, int channels) {
  std::vector<int16_t> samples;
  for (int n = 0; n < frames; ++n)
    for (int c = 0; c < channels; ++c)
      samples.push_back(static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(2 * M_PI * n / 40.0))));
  return samples;
}

struct Levels {
  float peak = 0;
  float rms = 0;
};
Levels Measure(const std::vector<uint8_t>& bytes, const WaveFormat& format) {
  Levels l;
  EXPECT_TRUE(InputLevel::MeasureBlock(bytes.data(), static_cast<uint32_t>(bytes.size()), format, &l.peak, &l.rms));
  return l;
}

TEST(InputLevel, ASineAtMinusSixDbReadsItsPeakAndRmsInMonoAndStereo) {
  for (uint16_t channels : {1, 2}) {
    SCOPED_TRACE(channels);
    const Levels l = Measure(Pcm16(Sine(0.5, 4000, channels)), PcmWaveFormat(channels, 44100, 16));
    EXPECT_NEAR(l.peak, -6.0, 0.3);
    EXPECT_NEAR(l.rms, -9.0, 0.3);
  }
}

TEST(InputLevel, SilenceReadsTheFloorAndFullScaleReadsZero) {
  const WaveFormat mono16 = PcmWaveFormat(1, 8000, 16);
  Levels silent = Measure(Pcm16(std::vector<int16_t>(800, 0)), mono16);
  EXPECT_EQ(silent.peak, InputLevel::kFloorDb);
  EXPECT_EQ(silent.rms, InputLevel::kFloorDb);

  std::vector<int16_t> square;
  for (int i = 0; i < 800; ++i) square.push_back(i % 20 < 10 ? 32767 : -32768);
  Levels full = Measure(Pcm16(square), mono16);
  EXPECT_GE(full.peak, -0.1f);
  EXPECT_LE(full.peak, 0.0f);
  EXPECT_NEAR(full.rms, 0.0, 0.01);

  // 8-bit samples are unsigned around 128.
  const WaveFormat mono8 = PcmWaveFormat(1, 8000, 8);
  EXPECT_EQ(Measure(std::vector<uint8_t>(400, 128), mono8).peak, InputLevel::kFloorDb);
  std::vector<uint8_t> square8;
  for (int i = 0; i < 400; ++i) square8.push_back(i % 2 ? 255 : 0);
  EXPECT_GE(Measure(square8, mono8).peak, -0.1f);
  std::vector<uint8_t> half8(400, 128 + 64);
  EXPECT_NEAR(Measure(half8, mono8).peak, -6.02, 0.05);
  EXPECT_NEAR(Measure(half8, mono8).rms, -6.02, 0.05);
}

TEST(InputLevel, WiderSamplesAreScaledToTheirOwnFullScale) {
  // Half of full scale, as 24- and 32-bit little-endian samples.
  std::vector<uint8_t> s24 = {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0};  // +0x400000, -0x400000
  EXPECT_NEAR(Measure(s24, PcmWaveFormat(1, 48000, 24)).peak, -6.02, 0.01);
  std::vector<uint8_t> s32 = {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0};
  EXPECT_NEAR(Measure(s32, PcmWaveFormat(1, 48000, 32)).peak, -6.02, 0.01);
}

TEST(InputLevel, WhatCannotBeMeasuredLeavesTheReadingAlone) {
  InputLevel level;
  float peak = 0, rms = 0;
  const std::vector<uint8_t> loud = Pcm16(Sine(1.0, 400, 1));
  WaveFormat notPcm = PcmWaveFormat(1, 8000, 16);
  notPcm.formatTag = 3;
  EXPECT_FALSE(InputLevel::MeasureBlock(loud.data(), 800, notPcm, &peak, &rms));
  EXPECT_FALSE(InputLevel::MeasureBlock(loud.data(), 800, PcmWaveFormat(1, 8000, 12), &peak, &rms));
  EXPECT_FALSE(InputLevel::MeasureBlock(loud.data(), 3, PcmWaveFormat(2, 8000, 16), &peak, &rms))
      << "less than one frame";
  EXPECT_FALSE(InputLevel::MeasureBlock(nullptr, 800, PcmWaveFormat(1, 8000, 16), &peak, &rms));

  level.Measure(loud.data(), 3, PcmWaveFormat(2, 8000, 16));
  LevelReading reading = level.Read();
  EXPECT_EQ(reading.buffers, 0u);
  EXPECT_EQ(reading.peakDb, InputLevel::kFloorDb);

  level.Measure(loud.data(), 800, PcmWaveFormat(1, 8000, 16));
  reading = level.Read();
  EXPECT_EQ(reading.buffers, 1u);
  EXPECT_GT(reading.peakDb, -0.1f);
  level.Reset();
  reading = level.Read();
  EXPECT_EQ(reading.buffers, 0u);
  EXPECT_EQ(reading.peakDb, InputLevel::kFloorDb);
  EXPECT_EQ(reading.rmsDb, InputLevel::kFloorDb);
}

TEST(InputLevel, AReadingTakenWhileAnotherThreadMeasuresBelongsToOneBlock) {
  // Two blocks whose peak and RMS differ by a known amount each; a torn
  // reading would pair the peak of one with the RMS of the other.
  const std::vector<uint8_t> quiet = Pcm16(Sine(0.01, 400, 1));
  const std::vector<uint8_t> loud = Pcm16(Sine(0.9, 400, 1));
  const WaveFormat format = PcmWaveFormat(1, 8000, 16);
  InputLevel level;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      const auto& block = i % 2 ? loud : quiet;
      level.Measure(block.data(), static_cast<uint32_t>(block.size()), format);
    }
    done = true;
  });
  int torn = 0;
  while (!done) {
    const LevelReading r = level.Read();
    if (r.buffers == 0) continue;
    if (std::fabs((r.peakDb - r.rmsDb) - 3.01f) > 0.1f) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(level.Read().buffers, 20000u);
}

}  // namespace
}  // namespace talvinor
