#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/ipc/IpcTestSupport.h"
#include "platform/ipc/NamedEvent.h"
#include "support/ChildProcess.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::ChildProcess;
using testing::ReadyPipe;
using testing::UniqueName;

TEST(NamedEvent, ManualResetStaysSetForEveryWaiterUntilReset) {
  std::string name = UniqueName();
  NamedEvent event;
  ASSERT_TRUE(event.Create(name));
  NamedEvent other;
  ASSERT_TRUE(other.Open(name));

  EXPECT_EQ(other.Wait(0), WaitResult::TimedOut);
  EXPECT_EQ(other.Wait(20), WaitResult::TimedOut);
  ASSERT_TRUE(event.Set());
  EXPECT_EQ(other.Wait(0), WaitResult::Signalled);
  EXPECT_EQ(other.Wait(1000), WaitResult::Signalled);
  EXPECT_TRUE(event.IsSet());
  ASSERT_TRUE(other.Reset());
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.Wait(0), WaitResult::TimedOut);
}

TEST(NamedEvent, SetWakesWaitersInOtherThreadsAndProcesses) {
  std::string name = UniqueName();
  NamedEvent event;
  ASSERT_TRUE(event.Create(name));

  ReadyPipe ready;
  ChildProcess child([&] {
    NamedEvent mine;
    if (!mine.Open(name)) return 2;
    ready.Signal();
    return mine.Wait(kInfinite) == WaitResult::Signalled ? 0 : 1;
  });
  ASSERT_TRUE(child.Started());
  ASSERT_EQ(ready.Await(), 'r');

  std::atomic<bool> threadWoke{false};
  std::thread waiter([&] {
    NamedEvent mine;
    if (mine.Open(name) && mine.Wait(kInfinite) == WaitResult::Signalled) threadWoke = true;
  });
  ASSERT_TRUE(event.Set());
  waiter.join();
  EXPECT_TRUE(threadWoke);
  EXPECT_EQ(child.Join(5000), 0);
}

// A waiter killed inside its wait must leave nothing that blocks later Sets;
// a shared pthread condition variable would hang the second Set here.
TEST(NamedEvent, WaitersKilledMidWaitDoNotBlockLaterSets) {
  std::string name = UniqueName();
  NamedEvent event;
  ASSERT_TRUE(event.Create(name));
  for (int round = 0; round < 3; ++round) {
    {
      ReadyPipe ready;
      ChildProcess doomed([&] {
        NamedEvent mine;
        if (!mine.Open(name)) return 2;
        ready.Signal();
        mine.Wait(kInfinite);
        return 0;
      });
      ASSERT_EQ(ready.Await(), 'r');
      doomed.Kill();
    }
    ReadyPipe ready;
    ChildProcess waiter([&] {
      NamedEvent mine;
      if (!mine.Open(name)) return 2;
      ready.Signal();
      return mine.Wait(10000) == WaitResult::Signalled ? 0 : 1;
    });
    ASSERT_EQ(ready.Await(), 'r');
    ASSERT_TRUE(event.Set());
    EXPECT_EQ(waiter.Join(10000), 0) << "round " << round;
    ASSERT_TRUE(event.Reset());
  }
}

TEST(NamedEvent, LockLeftByADeadProcessIsRecovered) {
  testing::TraceCapture trace;
  std::string name = UniqueName();
  NamedEvent event;
  ASSERT_TRUE(event.Create(name));
  ChildProcess child([&] {
    NamedEvent mine;
    if (!mine.Open(name)) return 2;
    mine.RunLocked([] { ::_exit(0); });
    return 1;
  });
  ASSERT_EQ(child.Join(5000), 0);

  ASSERT_TRUE(event.Set());
  EXPECT_EQ(event.Wait(0), WaitResult::Signalled);
  ASSERT_TRUE(event.Reset());
  EXPECT_TRUE(trace.Contains("lock of a dead process recovered"));
}

TEST(NamedEvent, OpenFailsForAMissingEventAndCreateReplacesAStaleOne) {
  std::string name = UniqueName();
  NamedEvent missing;
  EXPECT_FALSE(missing.Open(name));

  // A creator that died left its event set; a new creator starts unset.
  ChildProcess child([&] {
    NamedEvent mine;
    if (!mine.Create(name) || !mine.Set()) return 1;
    ::_exit(0);  // no Close: the name stays behind
  });
  ASSERT_EQ(child.Join(5000), 0);
  NamedEvent event;
  ASSERT_TRUE(event.Create(name));
  EXPECT_FALSE(event.IsSet());
  event.Close();
  NamedEvent gone;
  EXPECT_FALSE(gone.Open(name)) << "the creator's Close removes the name";
}

}  // namespace
}  // namespace talvinor
