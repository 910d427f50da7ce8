#include "platform/FileTimes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

bool ReadLastWriteTime(const std::wstring& path, std::tm* localTime, int* error) {
  const std::string name = WideToUtf8(path);
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    Trace("ReadLastWriteTime - open failed. path:%s error:%s\r\n", name.c_str(), std::strerror(e));
    if (error) *error = e;
    return false;
  }
  struct stat info {};
  const bool statted = ::fstat(fd, &info) == 0;
  const int e = errno;
  ::close(fd);
  if (!statted) {
    Trace("ReadLastWriteTime - fstat failed. path:%s error:%s\r\n", name.c_str(), std::strerror(e));
    if (error) *error = e;
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    Trace("ReadLastWriteTime - not a regular file. path:%s\r\n", name.c_str());
    if (error) *error = EINVAL;
    return false;
  }
  std::tm local{};
  if (!::localtime_r(&info.st_mtime, &local)) {
    if (error) *error = EOVERFLOW;
    return false;
  }
  if (localTime) *localTime = local;
  return true;
}

bool IsRegularFile(const std::wstring& path) {
  struct stat info {};
  return ::stat(WideToUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsExistingFolder(const std::wstring& path) {
  struct stat info {};
  const std::string name = path.empty() ? std::string("/") : WideToUtf8(path);
  return ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace talvinor
