// The desktop tests run on the thread of one Qt application, against buses
// and a display of their own: never the user's.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>

#include <atomic>
#include <memory>

#include "support/DesktopTestEnvironment.h"
#include "support/PrivateBuses.h"
#include "support/TempFolder.h"
#include "support/XvfbDisplay.h"

namespace talvinor::testing {

namespace {

struct State {
  std::unique_ptr<TempFolder> folder;
  PrivateBuses buses;
  XvfbDisplay display;
  std::string noDisplayReason;
  std::string displayName;
};
State* g_state = nullptr;

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_state = new State;
    if (::getenv(DesktopTestEnvironment::kInheritedVariable)) {
      const char* display = ::getenv("DISPLAY");
      g_state->displayName = display ? display : "";
      if (g_state->displayName.empty()) g_state->noDisplayReason = "the parent test has no display";
      return;
    }
    g_state->folder = std::make_unique<TempFolder>();
    const std::string& folder = g_state->folder->Path();
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    std::string error;
    if (!g_state->buses.Start(folder, &error)) FAIL() << "private buses: " << error;
    ::unsetenv("DISPLAY");
    if (!XvfbDisplay::Installed()) {
      g_state->noDisplayReason = "Xvfb is not installed (package xvfb)";
    } else if (!g_state->display.Start(folder + "/xvfb.log", &error)) {
      FAIL() << error;
    } else {
      g_state->displayName = g_state->display.Name();
      ::setenv("DISPLAY", g_state->displayName.c_str(), 1);
    }
    ::setenv(DesktopTestEnvironment::kInheritedVariable, "1", 1);
  }
  void TearDown() override {
    delete g_state;
    g_state = nullptr;
  }
};

}  // namespace

const std::string& DesktopTestEnvironment::NoDisplayReason() { return g_state->noDisplayReason; }

const std::string& DesktopTestEnvironment::DisplayName() { return g_state->displayName; }

bool DesktopTestEnvironment::StopDisplay() {
  g_state->display.Stop();
  return true;
}

bool DesktopTestEnvironment::RestartDisplay(std::string* error) {
  const int number = g_state->display.Number();
  g_state->display.Stop();
  return g_state->display.Start(g_state->folder->Path() + "/xvfb-again.log", error, number);
}

std::string UniqueReloadEventName() {
  static std::atomic<int> counter{0};
  return "PowerManager/ReloadActivityTimeouts-test-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1));
}

}  // namespace talvinor::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication application(argc, argv);
  ::testing::AddGlobalTestEnvironment(new talvinor::testing::Environment);
  return RUN_ALL_TESTS();
}
