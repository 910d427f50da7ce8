// The media-control tests: one Qt application and a private session bus,
// never the user's.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <memory>

#include "support/PrivateBuses.h"
#include "support/TempFolder.h"
#include "ui/UiApplication.h"

namespace {

class BusEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder = std::make_unique<talvinor::testing::TempFolder>();
    ::setenv("XDG_RUNTIME_DIR", folder->Path().c_str(), 1);
    std::string error;
    if (!buses.Start(folder->Path(), &error)) FAIL() << "private buses: " << error;
  }
  void TearDown() override {
    buses.Stop();
    folder.reset();
  }
  std::unique_ptr<talvinor::testing::TempFolder> folder;
  talvinor::testing::PrivateBuses buses;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No bus of the session that runs the tests is ever reached.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  talvinor::UiApplication app(argc, argv);
  ::testing::AddGlobalTestEnvironment(new BusEnvironment);
  return RUN_ALL_TESTS();
}
