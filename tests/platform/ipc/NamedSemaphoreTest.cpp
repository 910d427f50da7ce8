#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/ipc/IpcTestSupport.h"
#include "platform/ipc/NamedSemaphore.h"
#include "support/ChildProcess.h"

namespace talvinor {
namespace {

using testing::ChildProcess;
using testing::UniqueName;

TEST(NamedSemaphore, CountNeverExceedsOneAndBusyIsATimeOut) {
  std::string name = UniqueName();
  NamedSemaphore semaphore;
  ASSERT_TRUE(semaphore.Create(name, 1));
  NamedSemaphore other;
  ASSERT_TRUE(other.Open(name));

  EXPECT_FALSE(other.Release()) << "already free";
  EXPECT_EQ(semaphore.Count(), 1);
  EXPECT_EQ(other.Wait(0), WaitResult::Signalled);
  EXPECT_EQ(semaphore.Wait(0), WaitResult::TimedOut);
  EXPECT_EQ(semaphore.Wait(30), WaitResult::TimedOut);

  std::thread releaser([&] { other.Release(); });
  EXPECT_EQ(semaphore.Wait(5000), WaitResult::Signalled);
  releaser.join();
  EXPECT_TRUE(semaphore.Release());
  EXPECT_EQ(semaphore.Count(), 1);
}

TEST(NamedSemaphore, CreateReplacesOneTakenByADeadProcess) {
  std::string name = UniqueName();
  ChildProcess child([&] {
    NamedSemaphore mine;
    if (!mine.Create(name, 1) || mine.Wait(0) != WaitResult::Signalled) return 1;
    ::_exit(0);  // dies holding it
  });
  ASSERT_EQ(child.Join(5000), 0);
  NamedSemaphore stale;
  ASSERT_TRUE(stale.Open(name));
  EXPECT_EQ(stale.Count(), 0);

  NamedSemaphore fresh;
  ASSERT_TRUE(fresh.Create(name, 1));
  EXPECT_EQ(fresh.Wait(0), WaitResult::Signalled);
  EXPECT_TRUE(fresh.Release());
}

}  // namespace
}  // namespace talvinor
