#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/ipc/IpcTestSupport.h"
#include "platform/ipc/NamedEvent.h"
#include "platform/ipc/NamedObjectName.h"
#include "platform/ipc/NamedSemaphore.h"
#include "platform/ipc/SharedMemoryBlock.h"
#include "support/ChildProcess.h"

namespace talvinor {
namespace {

using testing::ChildProcess;
using testing::UniqueName;

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
