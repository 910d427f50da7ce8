// The level meter's scale, its held peak and its clip mark.
#include "ui/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace talvinor {
namespace {

TEST(LevelMeter, TheScaleRunsFromTheFloorToFullScale) {
  EXPECT_EQ(LevelMeter::ScaleX(-60.0f, 300), 0);
  EXPECT_EQ(LevelMeter::ScaleX(-200.0f, 300), 0);
  EXPECT_EQ(LevelMeter::ScaleX(-30.0f, 300), 150);
  EXPECT_EQ(LevelMeter::ScaleX(0.0f, 300), 300);
  EXPECT_EQ(LevelMeter::ScaleX(3.0f, 300), 300) << "nothing lies past 0 dBFS";
}

TEST(LevelMeter, APeakIsHeldForItsTimeAndTheClipMarkAsLong) {
  RefPtr<LevelMeter> meter = Create<LevelMeter>();
  meter->SetLevels(-6.0f, -9.0f, 1000);
  EXPECT_EQ(meter->PeakDb(), -6.0f);
  EXPECT_EQ(meter->RmsDb(), -9.0f);
  EXPECT_EQ(meter->HeldPeakDb(), -6.0f);
  EXPECT_FALSE(meter->IsClipLit());

  meter->SetLevels(-20.0f, -25.0f, 1100);
  EXPECT_EQ(meter->PeakDb(), -20.0f);
  EXPECT_EQ(meter->HeldPeakDb(), -6.0f) << "the louder peak is held";
  meter->SetLevels(-20.0f, -25.0f, 2499);
  EXPECT_EQ(meter->HeldPeakDb(), -6.0f);
  meter->SetLevels(-20.0f, -25.0f, 2500);
  EXPECT_EQ(meter->HeldPeakDb(), -20.0f) << "after 1.5 s the hold falls to the peak now";

  // -0.1 dBFS and above light the clip mark, which stays lit as long.
  meter->SetLevels(-0.11f, -3.0f, 3000);
  EXPECT_FALSE(meter->IsClipLit());
  meter->SetLevels(-0.1f, -3.0f, 3100);
  EXPECT_TRUE(meter->IsClipLit());
  meter->SetLevels(-30.0f, -35.0f, 3200);
  EXPECT_TRUE(meter->IsClipLit());
  meter->Advance(4599);
  EXPECT_TRUE(meter->IsClipLit());
  meter->Advance(4600);
  EXPECT_FALSE(meter->IsClipLit());
  EXPECT_EQ(meter->HeldPeakDb(), -30.0f);

  meter->Clear();
  EXPECT_EQ(meter->PeakDb(), LevelMeter::kFloorDb);
  EXPECT_EQ(meter->HeldPeakDb(), LevelMeter::kFloorDb);
  EXPECT_FALSE(meter->IsClipLit());
}

TEST(LevelMeter, HoldTimesStayRightAcrossTheWrapOfTheTickCount) {
  RefPtr<LevelMeter> meter = Create<LevelMeter>();
  meter->SetLevels(0.0f, -3.0f, 0xFFFFFF00u);
  EXPECT_TRUE(meter->IsClipLit());
  meter->SetLevels(-40.0f, -45.0f, 0x00000100u);  // 512 ms later
  EXPECT_TRUE(meter->IsClipLit());
  EXPECT_EQ(meter->HeldPeakDb(), 0.0f);
  meter->Advance(0x000005DCu + 0x100u);  // 1.5 s and more after the peak
  EXPECT_FALSE(meter->IsClipLit());
  EXPECT_EQ(meter->HeldPeakDb(), -40.0f);
}

TEST(LevelMeter, LevelsBelowTheFloorOrNotANumberShowAsTheFloor) {
  RefPtr<LevelMeter> meter = Create<LevelMeter>();
  meter->SetLevels(-200.0f, -200.0f, 10);
  EXPECT_EQ(meter->PeakDb(), LevelMeter::kFloorDb);
  EXPECT_EQ(meter->RmsDb(), LevelMeter::kFloorDb);
  meter->SetLevels(std::nanf(""), std::nanf(""), 20);
  EXPECT_EQ(meter->PeakDb(), LevelMeter::kFloorDb);
  EXPECT_FALSE(meter->IsClipLit());
}

}  // namespace
}  // namespace talvinor
