// The frame and application tests run on the UI thread of one Qt application.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempFolder.h"
#include "ui/UiApplication.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The instances of these tests keep their lock files in a folder of their own.
  talvinor::testing::TempFolder runtime;
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  // Test discovery runs at build time, where no platform is set.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  talvinor::UiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
