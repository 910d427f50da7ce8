// The power layer where nothing answers: no X display, no session bus, no
// system bus. Every call fails at once and says why; none waits.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>

#include "platform/power/DisplayPower.h"
#include "platform/power/DummyKey.h"
#include "platform/power/PowerManager.h"
#include "platform/power/ScreenSaverActivity.h"
#include "support/DesktopTestEnvironment.h"
#include "support/PrivateBuses.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

TEST(PowerUnavailableTest, WithoutAnXDisplayTheScreenCallsFail) {
  testing::TraceCapture trace;
  EXPECT_FALSE(SwitchDisplayOff());
  DisplayPowerState state = DisplayPowerState::On;
  EXPECT_FALSE(QueryDisplayPower(&state));
  EXPECT_FALSE(SendDummyKeyPress());
  EXPECT_TRUE(trace.Contains("DISPLAY is not set"));

  ::setenv("DISPLAY", ":97531", 1);  // no such server
  EXPECT_FALSE(SwitchDisplayOff());
  EXPECT_FALSE(SendDummyKeyPress());
  EXPECT_TRUE(trace.Contains("XOpenDisplay(\":97531\") failed"));
  ::unsetenv("DISPLAY");
}

TEST(PowerUnavailableTest, WithoutASessionBusTheActivityPingFails) {
  testing::TraceCapture trace;
  EXPECT_FALSE(SimulateUserActivity());
  EXPECT_TRUE(trace.Contains("no session bus"));
}

TEST(PowerUnavailableTest, WithoutASystemBusTheManagerReadsTheTimeoutsButHoldsNothing) {
  testing::TempFolder folder;
  PowerScope scope{folder.Path(), testing::UniqueReloadEventName()};
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, 0));
  ASSERT_TRUE(registry.SetDword(kPowerTimeoutsKey, kACSuspendTimeoutName, 0));
  testing::TraceCapture trace;
  std::shared_ptr<PowerManager> manager = PowerManager::Acquire(scope);
  ASSERT_TRUE(SendReloadActivityTimeouts(scope));
  ASSERT_TRUE(testing::PumpUntil([&] { return manager->ReloadsHandled() == 1; }));
  EXPECT_EQ(manager->Inhibitor(), InhibitorState::Released);
  EXPECT_TRUE(trace.Contains("no system bus"));
}

}  // namespace

namespace testing {
std::string UniqueReloadEventName() { return "PowerManager/ReloadActivityTimeouts-unavailable-" + std::to_string(::getpid()); }
}  // namespace testing

}  // namespace talvinor

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Buses that are not there, and no display: never the user's.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/talvinor-test/session", 1);
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/talvinor-test/system", 1);
  ::unsetenv("DISPLAY");
  QCoreApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
