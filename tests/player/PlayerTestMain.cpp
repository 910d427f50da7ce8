// The player tests run on the UI thread of one Qt application.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/UiApplication.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Test discovery runs at build time, where no platform is set.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  talvinor::UiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
