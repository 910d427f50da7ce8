#include "platform/ipc/InstanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Trace.h"

namespace talvinor {

namespace {
// Rounds of open, lock and name check before Acquire gives up.
constexpr int kAttempts = 8;
}  // namespace

InstanceLock::~InstanceLock() { Release(); }

InstanceLockResult InstanceLock::Fail(int error, const char* context) {
  m_lastError = error;
  std::string line = std::string("InstanceLock ") + context + " " + m_path;
  TraceErrno(error, line.c_str());
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  return InstanceLockResult::Failed;
}

bool InstanceLock::ChooseFolder(const char* runtimeDir, const std::string& tmpRoot, std::string* folder, int* error) {
  if (runtimeDir && runtimeDir[0] == '/') {
    struct stat st;
    if (::stat(runtimeDir, &st) == 0 && S_ISDIR(st.st_mode)) {
      *folder = runtimeDir;
      while (folder->size() > 1 && folder->back() == '/') folder->pop_back();
      return true;
    }
  }
  // The fallback sits in a folder anyone may write to: make it ours alone,
  // and refuse one that someone else prepared for us.
  std::string own = tmpRoot + "/talvinor-" + std::to_string(static_cast<unsigned long>(::geteuid()));
  if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = errno;
    TraceErrno(*error, ("InstanceLock mkdir " + own).c_str());
    return false;
  }
  struct stat st;
  if (::lstat(own.c_str(), &st) != 0) {
    *error = errno;
    TraceErrno(*error, ("InstanceLock lstat " + own).c_str());
    return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    *error = EPERM;
    Trace("InstanceLock - \"%s\" is not a private folder of this user; not used\r\n", own.c_str());
    return false;
  }
  *folder = own;
  return true;
}

bool InstanceLock::LockFolder(std::string* folder, int* error) {
  return ChooseFolder(std::getenv("XDG_RUNTIME_DIR"), "/tmp", folder, error);
}

InstanceLockResult InstanceLock::Acquire(const std::string& name) {
  Release();
  m_path.clear();
  std::string folder;
  int error = 0;
  if (name.empty() || name.find('/') != std::string::npos) return Fail(EINVAL, "name");
  if (!LockFolder(&folder, &error)) return Fail(error, "folder");
  m_path = folder + "/" + name + ".lock";
  // A holder that ends removes the file while it still holds the lock; a
  // process that opened the old file meanwhile finds, once it has the lock,
  // that the name leads elsewhere now, and tries again.
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) return Fail(errno, "open");
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
      error = errno;
      if (error == EWOULDBLOCK) {
        ::close(m_fd);
        m_fd = -1;
        m_lastError = error;
        return InstanceLockResult::HeldElsewhere;
      }
      return Fail(error, "flock");
    }
    struct stat held;
    struct stat named;
    if (::fstat(m_fd, &held) == 0 && ::lstat(m_path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      break;
    }
    ::close(m_fd);
    m_fd = -1;
  }
  if (m_fd < 0) return Fail(EAGAIN, "the lock file keeps changing");
  // The holder's process id, for a person who wonders which process runs.
  std::string pid = std::to_string(static_cast<long>(::getpid())) + "\n";
  if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    TraceErrno(errno, ("InstanceLock write pid " + m_path).c_str());  // the lock holds regardless
  }
  m_lastError = 0;
  return InstanceLockResult::Acquired;
}

void InstanceLock::Release() {
  if (m_fd < 0) return;
  // Removed while still held, so that no one can take the lock of a file
  // that has no name any more (Acquire checks the name after locking). A
  // process that dies leaves its file behind; the next start takes it over.
  if (::unlink(m_path.c_str()) != 0) TraceErrno(errno, ("InstanceLock unlink " + m_path).c_str());
  ::close(m_fd);
  m_fd = -1;
}

}  // namespace talvinor
