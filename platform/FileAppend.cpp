#include "platform/FileAppend.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int AppendRecord(const std::wstring& path, const std::string& record) {
  const std::string name = WideToUtf8(path);
  const int fd = ::open(name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    Trace("AppendRecord - open failed. path:%s error:%s\r\n", name.c_str(), std::strerror(error));
    return error;
  }
  std::string bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_size > 0) {
    char last = 0;
    if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n' && last != '\r') bytes = "\r\n";
  }
  bytes += record;
  int error = 0;
  if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
    error = errno;
    Trace("AppendRecord - write failed. path:%s error:%s\r\n", name.c_str(), std::strerror(error));
  }
  ::close(fd);
  return error;
}

}  // namespace talvinor
