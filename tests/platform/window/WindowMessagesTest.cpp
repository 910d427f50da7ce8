#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/window/HeadlessMessageQueue.h"

namespace talvinor {
namespace {

TEST(WindowMessages, PostsArriveInOrderFromAnyThread) {
  HeadlessMessageQueue window;
  std::thread poster([id = window.Id()] {
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessage(id, kWmApp + 8, i, -i));
  });
  for (int i = 0; i < 100; ++i) {
    auto m = window.Take(5000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->wParam, static_cast<uintptr_t>(i));
    EXPECT_EQ(m->lParam, -i);
  }
  poster.join();
}

TEST(WindowMessages, PostsToAClosedWindowAreDroppedWhileOthersRace) {
  WindowId gone = 0;
  {
    HeadlessMessageQueue window;
    gone = window.Id();
    std::atomic<bool> stop{false};
    std::thread poster([&] {
      while (!stop) PostMessage(gone, kWmTimer, 1, 0);
    });
    ASSERT_TRUE(window.Take(5000));
    stop = true;
    poster.join();
  }
  EXPECT_FALSE(IsWindow(gone));
  EXPECT_FALSE(PostMessage(gone, kWmTimer, 1, 0));
}

TEST(WindowMessages, TakeMessageLeavesOtherMessagesQueued) {
  HeadlessMessageQueue window;
  PostMessage(window.Id(), kWmTimer, 1, 0);
  PostMessage(window.Id(), kWmCommand, 2, 0);
  auto cmd = window.TakeMessage(kWmCommand, 1000);
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->wParam, 2u);
  EXPECT_EQ(window.Pending(), 1u);
  EXPECT_FALSE(window.TakeMessage(kWmCommand, 10));
  EXPECT_EQ(window.Take(0)->message, kWmTimer);
}

}  // namespace
}  // namespace talvinor
