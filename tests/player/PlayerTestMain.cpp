// The player tests run on the UI thread of one Qt application.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/UiApplication.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs at build time, where no platform is set.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No bus of the session that runs the tests is ever reached: these tests
  // have none (the media-control tests bring a bus of their own).
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/talvinor-test-no-bus", 1);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/talvinor-test-no-bus", 1);
  talvinor::UiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
