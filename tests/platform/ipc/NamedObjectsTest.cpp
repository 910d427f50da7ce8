#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/ipc/NamedEvent.h"
#include "platform/ipc/NamedObjectName.h"
#include "platform/ipc/NamedSemaphore.h"
#include "platform/ipc/SharedMemoryBlock.h"
#include "support/ChildProcess.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::ChildProcess;
using testing::ReadyPipe;

// A base name no other test run uses.
std::string UniqueName() {
  static std::atomic<int> counter{0};
  return "talvinor_ipctest_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Drops to the unprivileged user in a child; the tests run as root.
bool BecomeNobody() {
  struct passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return false;
  return ::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0;
}

TEST(NamedObjects, NamesCarryTheUserId) {
  std::string name = UserObjectName("talvinor_extcmd_server_mem");
  EXPECT_EQ(name, "/talvinor_extcmd_server_mem-" + std::to_string(::geteuid()));
}

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

TEST(NamedObjects, AreMode0600AndClosedToOtherUsers) {
  std::string name = UniqueName();
  SharedMemoryBlock block;
  ASSERT_TRUE(block.CreateOwned(name + "_mem", 1040));
  NamedEvent event;
  ASSERT_TRUE(event.Create(name + "_wev"));
  NamedSemaphore semaphore;
  ASSERT_TRUE(semaphore.Create(name + "_smp", 1));

  uint32_t mode = 0;
  ASSERT_TRUE(block.GetMode(&mode));
  EXPECT_EQ(mode, 0600u);
  ASSERT_TRUE(event.GetMode(&mode));
  EXPECT_EQ(mode, 0600u);
  struct stat st;
  ASSERT_EQ(::stat(("/dev/shm/sem." + UserObjectName(name + "_smp").substr(1)).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // The namespace is per user, so another user looks for other names; even
  // given ours, it is refused.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
  ChildProcess stranger([&] {
    std::string mem = name + "_mem", wev = name + "_wev", smp = name + "_smp";
    if (!BecomeNobody()) return 10;
    if (UserObjectName(mem) == "/" + mem + "-0") return 11;
    // Reach the root user's objects by their full names.
    int fd = ::shm_open(("/" + mem + "-0").c_str(), O_RDWR, 0);
    if (fd >= 0 || errno != EACCES) return 1;
    fd = ::shm_open(("/" + wev + "-0").c_str(), O_RDWR, 0);
    if (fd >= 0 || errno != EACCES) return 2;
    sem_t* sem = ::sem_open(("/" + smp + "-0").c_str(), 0);
    if (sem != SEM_FAILED || errno != EACCES) return 3;
    return 0;
  });
  EXPECT_EQ(stranger.Join(5000), 0);
}

}  // namespace
}  // namespace talvinor
