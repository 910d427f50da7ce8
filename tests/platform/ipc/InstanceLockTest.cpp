#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ipc/InstanceLock.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;

std::string UniqueKey() {
  static int counter = 0;
  return "TALVINOR_LOCK_TEST_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Lock files go to a runtime folder of the test's own.
class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    if (old) m_saved = old;
    m_hadOne = old != nullptr;
    ::setenv("XDG_RUNTIME_DIR", m_runtime.Path().c_str(), 1);
  }
  void TearDown() override {
    if (m_hadOne) ::setenv("XDG_RUNTIME_DIR", m_saved.c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
  }
  TempFolder m_runtime;
  std::string m_saved;
  bool m_hadOne = false;
};

TEST_F(InstanceLockTest, OneHolderPerNameUntilItLetsGo) {
  const std::string key = UniqueKey();
  InstanceLock first;
  ASSERT_EQ(first.Acquire(key), InstanceLockResult::Acquired) << first.Path();
  EXPECT_TRUE(first.IsHeld());
  EXPECT_EQ(first.Path(), m_runtime.File(key + ".lock"));

  // Another holder, even in the same process, finds it taken; other names
  // are free.
  InstanceLock second;
  EXPECT_EQ(second.Acquire(key), InstanceLockResult::HeldElsewhere);
  EXPECT_FALSE(second.IsHeld());
  InstanceLock other;
  EXPECT_EQ(other.Acquire(UniqueKey()), InstanceLockResult::Acquired);

  // The file is private and tells who holds it.
  struct stat st;
  ASSERT_EQ(::stat(first.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::ifstream in(first.Path());
  long pid = 0;
  in >> pid;
  EXPECT_EQ(pid, static_cast<long>(::getpid()));

  const std::string path = first.Path();
  first.Release();
  EXPECT_NE(::stat(path.c_str(), &st), 0) << "the file goes with its holder";
  EXPECT_EQ(second.Acquire(key), InstanceLockResult::Acquired);
  // A holder that goes away gives the key back.
  {
    InstanceLock scoped;
    EXPECT_EQ(scoped.Acquire(UniqueKey()), InstanceLockResult::Acquired);
  }
  EXPECT_EQ(first.Acquire(key), InstanceLockResult::HeldElsewhere);
}

TEST_F(InstanceLockTest, AFileLeftByAnInstanceThatDiedIsTakenOver) {
  const std::string key = UniqueKey();
  { std::ofstream(m_runtime.File(key + ".lock")) << "12345\n"; }
  InstanceLock lock;
  EXPECT_EQ(lock.Acquire(key), InstanceLockResult::Acquired);
}

TEST_F(InstanceLockTest, NamesThatWouldLeaveTheFolderAreRefused) {
  InstanceLock lock;
  EXPECT_EQ(lock.Acquire("../escape"), InstanceLockResult::Failed);
  EXPECT_EQ(lock.Acquire(""), InstanceLockResult::Failed);
  EXPECT_FALSE(lock.IsHeld());
}

TEST_F(InstanceLockTest, TheRuntimeFolderIsUsedElseAPrivateFolderOfOurOwn) {
  TempFolder temp;
  std::string folder;
  int error = 0;
  ASSERT_TRUE(InstanceLock::ChooseFolder((temp.Path() + "/").c_str(), "/unused", &folder, &error));
  EXPECT_EQ(folder, temp.Path());

  // No runtime folder (or one that does not exist, or a relative one): the
  // fallback is made, mode 0700.
  const std::string own = temp.Path() + "/talvinor-" + std::to_string(::geteuid());
  for (const char* runtime : {static_cast<const char*>(nullptr), "", "relative/run", "/no/such/folder"}) {
    ASSERT_TRUE(InstanceLock::ChooseFolder(runtime, temp.Path(), &folder, &error)) << (runtime ? runtime : "null");
    EXPECT_EQ(folder, own);
  }
  struct stat st;
  ASSERT_EQ(::lstat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A fallback that others may write to, or that is a link, is not used.
  ASSERT_EQ(::chmod(own.c_str(), 0777), 0);
  EXPECT_FALSE(InstanceLock::ChooseFolder(nullptr, temp.Path(), &folder, &error));
  EXPECT_EQ(error, EPERM);
  std::filesystem::remove(own);
  std::filesystem::create_directory(temp.File("elsewhere"));
  std::filesystem::create_directory_symlink(temp.File("elsewhere"), own);
  EXPECT_FALSE(InstanceLock::ChooseFolder(nullptr, temp.Path(), &folder, &error));
  std::filesystem::remove(own);
  { std::ofstream(own) << "a file"; }
  EXPECT_FALSE(InstanceLock::ChooseFolder(nullptr, temp.Path(), &folder, &error));
}

}  // namespace
}  // namespace talvinor
