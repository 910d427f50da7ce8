#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

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

// Two threads hand a turn back and forth through two events many thousands
// of times, and several sleepers wait on one Set: a wake-up lost between a
// sleeper's last look and its sleep would leave a wait to run out.
TEST(ManualResetEvent, NoWakeUpIsLostBetweenALookAndASleep) {
  ManualResetEvent ping, pong;
  constexpr int kRounds = 20000;
  int missed = 0;
  std::thread other([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (!ping.Wait(5000)) return;
      ping.Reset();
      pong.Set();
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ping.Set();
    if (!pong.Wait(5000)) {
      ++missed;
      break;
    }
    pong.Reset();
  }
  ping.Set();  // lets the other thread end if a round was missed
  other.join();
  EXPECT_EQ(missed, 0);

  ManualResetEvent start;
  std::atomic<int> woken{0};
  std::vector<std::thread> sleepers;
  for (int i = 0; i < 4; ++i) sleepers.emplace_back([&] { woken += start.Wait(5000) ? 1 : 0; });
  start.Set();
  for (auto& t : sleepers) t.join();
  EXPECT_EQ(woken.load(), 4);
}

}  // namespace
}  // namespace talvinor
