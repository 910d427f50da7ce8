#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/ipc/IpcTestSupport.h"
#include "platform/ipc/SharedMemoryBlock.h"
#include "support/ChildProcess.h"

namespace talvinor {
namespace {

using testing::ChildProcess;
using testing::ReadyPipe;
using testing::UniqueName;

TEST(SharedMemoryBlock, OneLiveOwnerAtATimeAndAKilledOwnerIsTakenOver) {
  std::string name = UniqueName();
  ReadyPipe ready;
  ChildProcess owner([&] {
    SharedMemoryBlock block;
    if (!block.CreateOwned(name, 1040)) return 1;
    block.Data()[0] = 'P';
    ready.Signal();
    for (;;) ::pause();
  });
  ASSERT_EQ(ready.Await(), 'r');

  SharedMemoryBlock second;
  EXPECT_FALSE(second.CreateOwned(name, 1040));
  EXPECT_EQ(second.LastError(), EBUSY);
  SharedMemoryBlock user;
  ASSERT_TRUE(user.Open(name));
  EXPECT_EQ(user.Size(), 1040u);
  EXPECT_EQ(user.Data()[0], 'P');

  owner.Kill();
  ASSERT_TRUE(second.CreateOwned(name, 1040));
  EXPECT_EQ(second.Role(), SharedBlockRole::Owner);
  second.Data()[0] = 'Q';
  EXPECT_EQ(user.Data()[0], 'Q') << "taken over, not replaced: open users see the same block";
  second.Close();
  SharedMemoryBlock after;
  EXPECT_FALSE(after.Open(name));
}

}  // namespace
}  // namespace talvinor
