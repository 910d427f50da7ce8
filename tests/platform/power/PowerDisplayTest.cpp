// The power layer's X side against an Xvfb server of the test's own.
#include <gtest/gtest.h>

#include "platform/power/DisplayPower.h"
#include "platform/power/DummyKey.h"
#include "support/DesktopTestEnvironment.h"
#include "support/TraceCapture.h"
#include "support/XvfbDisplay.h"

namespace talvinor {
namespace {

using testing::DesktopTestEnvironment;
using testing::RecordedKey;

class PowerDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DesktopTestEnvironment::NoDisplayReason().empty()) GTEST_SKIP() << DesktopTestEnvironment::NoDisplayReason();
    display = DesktopTestEnvironment::DisplayName();
  }
  std::string display;
};

TEST_F(PowerDisplayTest, TheDummyKeyIsAPressAndAReleaseOfTheF24Key) {
  testing::KeyEventRecorder recorder;
  ASSERT_TRUE(recorder.Start(display));
  // The usual keyboard map binds no symbol to F24: its key position is used.
  uint8_t f24 = testing::F24Keycode(display);
  if (f24 == 0) f24 = testing::KeyPositionCode(display, "FK24");
  ASSERT_NE(f24, 0);

  ASSERT_TRUE(SendDummyKeyPress());
  std::vector<RecordedKey> events;
  ASSERT_TRUE(recorder.EventsUpToMarker(&events));
  EXPECT_EQ(events, (std::vector<RecordedKey>{{true, f24}, {false, f24}}));

  ASSERT_TRUE(SendDummyKeyPress());
  ASSERT_TRUE(SendDummyKeyPress());
  ASSERT_TRUE(recorder.EventsUpToMarker(&events));
  EXPECT_EQ(events, (std::vector<RecordedKey>{{true, f24}, {false, f24}, {true, f24}, {false, f24}}));
}

TEST_F(PowerDisplayTest, DisplayOffPowersTheDisplayDownAndTheQueryTellsIt) {
  ASSERT_TRUE(testing::ResetXScreenSaver(display));
  DisplayPowerState state = DisplayPowerState::Unknown;
  ASSERT_TRUE(QueryDisplayPower(&state));
  EXPECT_EQ(state, DisplayPowerState::On);

  ASSERT_TRUE(SwitchDisplayOff());
  bool hasDpms = false;
  int level = -1;
  ASSERT_TRUE(testing::XDpmsLevel(display, &hasDpms, &level));
  if (hasDpms) {
    EXPECT_EQ(level, 3) << "DPMSModeOff";
  } else {
    bool on = false;
    ASSERT_TRUE(testing::XScreenSaverIsOn(display, &on));
    EXPECT_TRUE(on) << "without DPMS the screen saver blanks the display";
  }
  ASSERT_TRUE(QueryDisplayPower(&state));
  EXPECT_EQ(state, DisplayPowerState::Off);

  // Activity brings it back, and the query follows.
  ASSERT_TRUE(testing::ResetXScreenSaver(display));
  ASSERT_TRUE(QueryDisplayPower(&state));
  EXPECT_EQ(state, DisplayPowerState::On);
}

TEST_F(PowerDisplayTest, AnXServerThatGoesAwayIsSurvivedAndFoundAgain) {
  ASSERT_TRUE(SwitchDisplayOff());  // the connection is open now
  ASSERT_TRUE(DesktopTestEnvironment::StopDisplay());
  {
    testing::TraceCapture trace;
    EXPECT_FALSE(SwitchDisplayOff());
    DisplayPowerState state = DisplayPowerState::Unknown;
    EXPECT_FALSE(QueryDisplayPower(&state));
    EXPECT_FALSE(SendDummyKeyPress());
    EXPECT_TRUE(trace.Contains("connection to the X server broke"));
  }
  std::string error;
  ASSERT_TRUE(DesktopTestEnvironment::RestartDisplay(&error)) << error;
  EXPECT_TRUE(SwitchDisplayOff());
  EXPECT_TRUE(SendDummyKeyPress());
  ASSERT_TRUE(testing::ResetXScreenSaver(display));
}

}  // namespace
}  // namespace talvinor
