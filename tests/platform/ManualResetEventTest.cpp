#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"
#include "platform/ManualResetEvent.h"

namespace talvinor {
namespace {

TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset) {
  ManualResetEvent ev;
  EXPECT_FALSE(ev.Wait(0));
  EXPECT_FALSE(ev.Wait(5));
  std::thread setter([&] { ev.Set(); });
  EXPECT_TRUE(ev.Wait(kInfinite));
  setter.join();
  EXPECT_TRUE(ev.Wait(0));
  EXPECT_TRUE(ev.Wait(0));
  ev.Reset();
  EXPECT_FALSE(ev.IsSet());
  ManualResetEvent initially(true);
  EXPECT_TRUE(initially.Wait(0));
}

}  // namespace
}  // namespace talvinor
