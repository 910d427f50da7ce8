#include "platform/ipc/SharedMemoryBlock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Trace.h"
#include "platform/ipc/NamedObjectName.h"

namespace talvinor {

namespace {

// A name may be re-created between our open and our lock by an owner that
// removed it at that moment; a few rounds settle it.
constexpr int kOwnerAttempts = 4;

bool SameObject(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A write lock over the whole block, as the owner holds it.
struct flock WholeBlockWriteLock() {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end, however large
  return lock;
}

}  // namespace

SharedMemoryBlock::~SharedMemoryBlock() { Close(); }

bool SharedMemoryBlock::Fail(int error, const char* context) {
  m_lastError = error;
  std::string line = std::string("SharedMemoryBlock ") + context + " " + m_name;
  TraceErrno(error, line.c_str());
  if (m_data) ::munmap(m_data, m_size);
  if (m_fd >= 0) ::close(m_fd);
  m_data = nullptr;
  m_size = 0;
  m_fd = -1;
  m_role = SharedBlockRole::Closed;
  return false;
}

bool SharedMemoryBlock::Map(uint32_t size) {
  void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
  if (data == MAP_FAILED) return Fail(errno, "mmap");
  m_data = static_cast<uint8_t*>(data);
  m_size = size;
  return true;
}

bool SharedMemoryBlock::CreateOwned(const std::string& name, uint32_t size) {
  Close();
  m_name = UserObjectName(name);
  if (size == 0) return Fail(EINVAL, "CreateOwned size");
  for (int attempt = 0; attempt < kOwnerAttempts; ++attempt) {
    m_fd = ::shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) return Fail(errno, "shm_open(create)");
    struct stat own;
    if (::fstat(m_fd, &own) != 0) return Fail(errno, "fstat");
    // Only this user's own block may be taken over; a block of that name made
    // by anyone else is refused rather than used.
    if (own.st_uid != ::geteuid()) return Fail(EACCES, "owner check");
    struct flock lock = WholeBlockWriteLock();
    if (::fcntl(m_fd, F_OFD_SETLK, &lock) != 0) {
      int error = errno;
      return Fail(error == EAGAIN || error == EACCES ? EBUSY : error, "F_OFD_SETLK (a live owner holds it)");
    }
    // The name must still lead to the block we locked: an owner that was
    // closing may have removed it between our open and our lock.
    int check = ::shm_open(m_name.c_str(), O_RDWR | O_CLOEXEC, 0);
    struct stat named;
    bool same = check >= 0 && ::fstat(check, &named) == 0 && SameObject(own, named);
    if (check >= 0) ::close(check);
    if (!same) {
      ::close(m_fd);
      m_fd = -1;
      continue;
    }
    if (::fchmod(m_fd, 0600) != 0) return Fail(errno, "fchmod");
    if (::ftruncate(m_fd, size) != 0) return Fail(errno, "ftruncate");
    if (!Map(size)) return false;
    m_role = SharedBlockRole::Owner;
    return true;
  }
  return Fail(EAGAIN, "CreateOwned (name kept changing)");
}

bool SharedMemoryBlock::CreateFresh(const std::string& name, uint32_t size) {
  Close();
  m_name = UserObjectName(name);
  if (size == 0) return Fail(EINVAL, "CreateFresh size");
  if (::shm_unlink(m_name.c_str()) != 0 && errno != ENOENT) return Fail(errno, "shm_unlink");
  m_fd = ::shm_open(m_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (m_fd < 0) return Fail(errno, "shm_open(create new)");
  // From here on the name is ours: remove it again when anything fails.
  m_role = SharedBlockRole::Owner;
  if (::fchmod(m_fd, 0600) != 0 || ::ftruncate(m_fd, size) != 0 || !Map(size)) {
    int error = errno;
    ::shm_unlink(m_name.c_str());
    return Fail(error, "CreateFresh");
  }
  return true;
}

bool SharedMemoryBlock::Open(const std::string& name) {
  Close();
  m_name = UserObjectName(name);
  m_fd = ::shm_open(m_name.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (m_fd < 0) return Fail(errno, "shm_open(open)");
  struct stat st;
  if (::fstat(m_fd, &st) != 0) return Fail(errno, "fstat");
  if (st.st_uid != ::geteuid()) return Fail(EACCES, "owner check");
  if (st.st_size <= 0 || st.st_size > 0x7FFFFFFF) return Fail(EINVAL, "size");
  if (!Map(static_cast<uint32_t>(st.st_size))) return false;
  m_role = SharedBlockRole::User;
  return true;
}

void SharedMemoryBlock::Close() {
  if (m_role == SharedBlockRole::Owner) {
    // Removed while still locked, so no new owner can have taken the name yet.
    if (::shm_unlink(m_name.c_str()) != 0 && errno != ENOENT) TraceErrno(errno, "SharedMemoryBlock shm_unlink");
  }
  if (m_data) ::munmap(m_data, m_size);
  if (m_fd >= 0) ::close(m_fd);
  m_data = nullptr;
  m_size = 0;
  m_fd = -1;
  m_role = SharedBlockRole::Closed;
}

bool SharedMemoryBlock::HasLiveOwner() const {
  if (m_role == SharedBlockRole::Owner) return true;
  if (m_fd < 0) return false;
  struct flock lock = WholeBlockWriteLock();
  if (::fcntl(m_fd, F_OFD_GETLK, &lock) != 0) {
    TraceErrno(errno, ("SharedMemoryBlock F_OFD_GETLK " + m_name).c_str());
    return true;
  }
  // F_UNLCK: our write lock could be placed, so nobody holds the owner's.
  return lock.l_type != F_UNLCK;
}

bool SharedMemoryBlock::GetMode(uint32_t* mode) const {
  struct stat st;
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return false;
  *mode = st.st_mode & 07777;
  return true;
}

}  // namespace talvinor
