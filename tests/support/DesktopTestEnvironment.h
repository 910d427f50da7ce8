#pragma once
#include <string>

namespace talvinor::testing {

// What the desktop tests run against, made once per test process by the
// environment in DesktopTestMain.cpp: private session and system buses with
// their stand-in services, and an Xvfb display when Xvfb is installed.
// A child process of such a test (started with ChildEnvironment()) uses
// its parent's.
struct DesktopTestEnvironment {
  // Empty when there is a display, else why there is none.
  static const std::string& NoDisplayReason();
  static const std::string& DisplayName();
  // Stops the display and starts it again on the same number.
  static bool RestartDisplay(std::string* error);
  static bool StopDisplay();
  // The variable that tells a child to use the parent's buses and display.
  static constexpr const char* kInheritedVariable = "TALVINOR_TEST_DESKTOP_INHERITED";
};

// A name for a reload event that no other test process uses.
std::string UniqueReloadEventName();

}  // namespace talvinor::testing
