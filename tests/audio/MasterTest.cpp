#include "audio/Master.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "audio/GraphTestSupport.h"
#include "platform/window/HeadlessMessageQueue.h"

namespace talvinor {
namespace {

using testing::WaitUntil;
using M = MasterState;

// A master that opens at once and runs until stopped, with the lifecycle
// every concrete master shares.
class LoopMaster : public Master {
 protected:
  StepResult Step(MasterState state) override {
    if (state == M::Opening) SetStateIf(M::Opening, M::Running);
    return state == M::Stopping ? StepResult::Finished : StepResult::Continue;
  }
};

std::vector<std::pair<uint32_t, uint32_t>> Notices(HeadlessMessageQueue& window, size_t count) {
  std::vector<std::pair<uint32_t, uint32_t>> seen;
  while (seen.size() < count) {
    auto m = window.TakeMessage(kWmConvertNotify, 5000);
    if (!m) break;
    EXPECT_EQ(m->lParam, 5);
    seen.emplace_back(m->wParam & 0xFFFF, (m->wParam >> 16) & 0xFFFF);
  }
  return seen;
}

TEST(MasterTest, EveryStateChangeIsPostedWithNewAndOldState) {
  HeadlessMessageQueue window;
  RefPtr<LoopMaster> master = Create<LoopMaster>();
  master->SetNotify(window.Id(), kWmConvertNotify, 5);
  EXPECT_TRUE(master->IsState(M::Closed));
  ASSERT_TRUE(master->Start());
  EXPECT_FALSE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  EXPECT_TRUE(master->Close());
  EXPECT_EQ(master->GetStopReason(), StopReason::ByOwner);
  EXPECT_TRUE(master->IsState(M::Closed));
  using P = std::pair<uint32_t, uint32_t>;
  EXPECT_EQ(Notices(window, 4), (std::vector<P>{{1, 5}, {2, 1}, {3, 2}, {5, 3}}));
  // Setting the same state again posts nothing.
  master->SetState(M::Closed);
  EXPECT_FALSE(window.TakeMessage(kWmConvertNotify, 20));
  EXPECT_FALSE(master->Close());  // not running
}

TEST(MasterTest, AbortCodeBecomesTheStopReasonAndNextRunStartsClean) {
  RefPtr<LoopMaster> master = Create<LoopMaster>();
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  master->Inbox()->Post(MakeMessage<MessageKind::Abort>(nullptr, 33));
  ASSERT_TRUE(master->WaitForState(M::Closed, 5000, 1));
  EXPECT_EQ(master->GetStopReason(), StopReasonFromCode(33));
  ASSERT_TRUE(WaitUntil([&] { return !master->IsRunning(); }));
  ASSERT_TRUE(master->Start());
  ASSERT_TRUE(master->WaitForState(M::Running, 5000, 1));
  EXPECT_EQ(master->GetStopReason(), StopReason::None);
  EXPECT_TRUE(master->Close());
}

TEST(MasterTest, WaitForStateGivesUpAfterTimeout) {
  RefPtr<LoopMaster> master = Create<LoopMaster>();
  uint32_t start = GetTickCount();
  EXPECT_FALSE(master->WaitForState(M::Running, 30, 5));
  EXPECT_GE(TicksSince(start, GetTickCount()), 30u);
  EXPECT_TRUE(master->WaitForState(M::Closed, 0, 5));
}

TEST(MasterTest, FormatAndNamesAreCopiedOut) {
  RefPtr<LoopMaster> master = Create<LoopMaster>();
  EXPECT_FALSE(master->GetFormat(nullptr));
  WaveFormat f = PcmWaveFormat(1, 8000, 16);
  EXPECT_TRUE(master->GetFormat(&f));
  EXPECT_EQ(f, WaveFormat{});
  EXPECT_EQ(master->Pause(), false);
  EXPECT_EQ(master->GetPosition(), 0u);
}

}  // namespace
}  // namespace talvinor
