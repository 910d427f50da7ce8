#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {
constexpr int64_t kMaxFileSize = 0xFFFFFFFFll;
}
static_assert(kNotRegularFileError == EINVAL);

File::~File() { Close(); }

File::File(File&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_lastError(other.m_lastError), m_path(std::move(other.m_path)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = std::exchange(other.m_fd, -1);
    m_lastError = other.m_lastError;
    m_path = std::move(other.m_path);
  }
  return *this;
}

bool File::Fail(int error, const char* context) {
  m_lastError = error;
  char line[512];
  std::snprintf(line, sizeof line, "File::%s \"%s\"", context, m_path.c_str());
  TraceErrno(error, line);
  return false;
}

bool File::Open(const std::wstring& path, FileOpenMode mode) {
  Close();
  m_path = WideToUtf8(path);
  m_lastError = 0;
  m_notRegular = false;
  int flags = O_CLOEXEC;
  // Opening an existing path must never wait: a FIFO's open() blocks until a
  // writer comes. Regular files ignore O_NONBLOCK; it is cleared below.
  const bool existing = mode == FileOpenMode::Read || mode == FileOpenMode::ReadWrite;
  switch (mode) {
    case FileOpenMode::Read: flags |= O_RDONLY | O_NONBLOCK; break;
    case FileOpenMode::ReadWrite: flags |= O_RDWR | O_NONBLOCK; break;
    case FileOpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    case FileOpenMode::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd = ::open(m_path.c_str(), flags, 0644);
  if (fd < 0) {
    // A FIFO without a reader refuses O_RDWR|O_NONBLOCK with ENXIO on some
    // systems; it is still "not a regular file".
    if (errno == ENXIO && existing) {
      m_notRegular = true;
      return Fail(kNotRegularFileError, "Open (not a regular file)");
    }
    return Fail(errno, "Open");
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    return Fail(error, "Open fstat");
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Fail(EISDIR, "Open");
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    m_notRegular = true;
    return Fail(kNotRegularFileError, "Open (not a regular file)");
  }
  if (existing) {
    int current = ::fcntl(fd, F_GETFL);
    if (current >= 0) ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
  }
  if (st.st_size > kMaxFileSize) {
    ::close(fd);
    return Fail(EFBIG, "Open (4 GiB or more)");
  }
  m_fd = fd;
  return true;
}

void File::Close() {
  if (m_fd >= 0) {
    if (::close(m_fd) != 0) Fail(errno, "Close");
    m_fd = -1;
  }
}

bool File::Read(void* data, uint32_t size, uint32_t* done) {
  *done = 0;
  if (m_fd < 0) return Fail(EBADF, "Read");
  auto* p = static_cast<char*>(data);
  while (*done < size) {
    ssize_t n = ::read(m_fd, p + *done, size - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno, "Read");
    }
    if (n == 0) break;
    *done += static_cast<uint32_t>(n);
  }
  return true;
}

bool File::Write(const void* data, uint32_t size) {
  if (m_fd < 0) return Fail(EBADF, "Write");
  const auto* p = static_cast<const char*>(data);
  uint32_t written = 0;
  while (written < size) {
    off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    if (pos >= 0 && pos + static_cast<int64_t>(size - written) > kMaxFileSize) {
      return Fail(EFBIG, "Write (past 4 GiB)");
    }
    ssize_t n = ::write(m_fd, p + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno, "Write");
    }
    if (n == 0) return Fail(ENOSPC, "Write");
    written += static_cast<uint32_t>(n);
  }
  return true;
}

bool File::WriteAt(uint32_t offset, const void* data, uint32_t size) {
  if (m_fd < 0) return Fail(EBADF, "WriteAt");
  if (static_cast<int64_t>(offset) + size > kMaxFileSize) return Fail(EFBIG, "WriteAt (past 4 GiB)");
  const auto* p = static_cast<const char*>(data);
  uint32_t written = 0;
  while (written < size) {
    ssize_t n = ::pwrite(m_fd, p + written, size - written, static_cast<off_t>(offset) + written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno, "WriteAt");
    }
    if (n == 0) return Fail(ENOSPC, "WriteAt");
    written += static_cast<uint32_t>(n);
  }
  return true;
}

bool File::Seek(int64_t offset, SeekOrigin origin, uint32_t* newPosition) {
  if (m_fd < 0) return Fail(EBADF, "Seek");
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t base = 0;
  if (whence == SEEK_CUR) {
    base = ::lseek(m_fd, 0, SEEK_CUR);
  } else if (whence == SEEK_END) {
    base = ::lseek(m_fd, 0, SEEK_END);
  }
  if (base < 0) return Fail(errno, "Seek");
  int64_t target = static_cast<int64_t>(base) + offset;
  if (target < 0 || target > kMaxFileSize) return Fail(EINVAL, "Seek");
  off_t r = ::lseek(m_fd, static_cast<off_t>(target), SEEK_SET);
  if (r < 0) return Fail(errno, "Seek");
  if (newPosition) *newPosition = static_cast<uint32_t>(r);
  return true;
}

bool File::GetSize(uint32_t* size) {
  *size = 0;
  if (m_fd < 0) return Fail(EBADF, "GetSize");
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) return Fail(errno, "GetSize");
  if (st.st_size > kMaxFileSize) return Fail(EFBIG, "GetSize");
  *size = static_cast<uint32_t>(st.st_size);
  return true;
}

bool File::Truncate(uint32_t size) {
  if (m_fd < 0) return Fail(EBADF, "Truncate");
  while (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return Fail(errno, "Truncate");
  }
  return true;
}

bool File::TryLockExclusive() {
  if (m_fd < 0) return Fail(EBADF, "TryLockExclusive");
  while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    // Held by someone else is an answer, not a failure to trace.
    m_lastError = errno;
    if (errno == EWOULDBLOCK) return false;
    return Fail(errno, "TryLockExclusive");
  }
  return true;
}

bool File::Flush() {
  if (m_fd < 0) return Fail(EBADF, "Flush");
  if (::fsync(m_fd) != 0 && errno != EINVAL) return Fail(errno, "Flush");
  return true;
}

}  // namespace talvinor
