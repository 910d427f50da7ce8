#include "platform/RingQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace talvinor {
namespace {

// The ring grows while its front sits in the middle of the storage (after
// pops), which is where a copy that ignores the wrap would reorder.
TEST(RingQueue, KeepsTheOrderAcrossWrapsAndGrowthAndReleasesWhatItPops) {
  RingQueue<std::shared_ptr<int>> queue;
  std::vector<std::weak_ptr<int>> popped;
  int next = 0, expected = 0;
  for (int round = 0; round < 6; ++round) {
    for (int i = 0; i < 11 + round * 7; ++i) queue.push_back(std::make_shared<int>(next++));
    for (int i = 0; i < 9; ++i) {
      ASSERT_EQ(*queue.front(), expected++);
      popped.push_back(queue.front());
      queue.pop_front();
    }
  }
  for (const auto& gone : popped) EXPECT_TRUE(gone.expired()) << "a popped element is still held";

  std::vector<int> seen;
  for (const auto& element : queue) seen.push_back(*element);
  ASSERT_EQ(seen.size(), queue.size());
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], expected + static_cast<int>(i));

  std::vector<std::shared_ptr<int>> all = queue.TakeAll();
  EXPECT_TRUE(queue.empty());
  ASSERT_EQ(all.size(), seen.size());
  EXPECT_EQ(*all.front(), expected);
  queue.push_back(std::make_shared<int>(-1));  // usable after TakeAll
  EXPECT_EQ(*queue.front(), -1);
}

}  // namespace
}  // namespace talvinor
