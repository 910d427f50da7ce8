#include <gtest/gtest.h>

#include "settings/WaveFormatTable.h"

namespace talvinor {
namespace {

TEST(WaveFormatTable, ThirtyTwoFormatsWithTheirGroupsCapabilityBits) {
  EXPECT_EQ(WaveFormats().size(), 32u);
  const WaveFormatEntry* f = FindWaveFormat(38);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->capabilityBit, 0x400u);
  EXPECT_EQ(f->rate, 32000u);
  EXPECT_EQ(f->channels, 1u);
  EXPECT_EQ(f->bits, 16u);
  EXPECT_EQ(FindWaveFormat(31)->rate, 8000u);
  EXPECT_EQ(FindWaveFormat(31)->capabilityBit, 0x8u);
  EXPECT_EQ(FindWaveFormat(13)->capabilityBit, 0x20u);
  EXPECT_EQ(FindWaveFormat(20), nullptr);
  for (const auto& entry : WaveFormats()) {
    EXPECT_EQ(entry.channels, (entry.number % 4 == 1 || entry.number % 4 == 3) ? 2u : 1u) << entry.number;
  }
}

}  // namespace
}  // namespace talvinor
