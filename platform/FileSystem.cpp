#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

std::string Native(const std::wstring& path) { return path.empty() ? std::string("/") : WideToUtf8(path); }

void TracePathError(int error, const char* what, const std::wstring& path) {
  std::string context = std::string(what) + " \"" + WideToUtf8(path) + "\"";
  TraceErrno(error, context.c_str());
}

}  // namespace

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() == L'/') return folder + name;
  return folder + L"/" + name;
}

std::wstring ParentFolder(const std::wstring& path) {
  size_t slash = path.rfind(L'/');
  if (slash == std::wstring::npos || slash == 0) return L"";
  return path.substr(0, slash);
}

bool GetFileAttributes(const std::wstring& path, uint32_t* attributes, int* error) {
  struct stat st {};
  if (::stat(Native(path).c_str(), &st) != 0) {
    if (error) *error = errno;
    *attributes = 0;
    return false;
  }
  uint32_t a = 0;
  if (S_ISDIR(st.st_mode)) a |= kAttrDirectory;
  size_t slash = path.rfind(L'/');
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  if (!name.empty() && name[0] == L'.') a |= kAttrHidden;
  *attributes = a;
  if (error) *error = 0;
  return true;
}

bool FileExists(const std::wstring& path) {
  uint32_t attributes = 0;
  return GetFileAttributes(path, &attributes);
}

int MoveFileNoReplace(const std::wstring& from, const std::wstring& to) {
  std::string src = Native(from);
  std::string dst = Native(to);
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    // The file system cannot rename without replacing: link then unlink,
    // where link itself refuses an existing target.
    if (::link(src.c_str(), dst.c_str()) == 0) {
      if (::unlink(src.c_str()) == 0) return 0;
      error = errno;
      ::unlink(dst.c_str());
    } else {
      error = errno;
    }
  }
  TracePathError(error, "MoveFileNoReplace", from);
  return error;
}

int DeleteFile(const std::wstring& path) {
  if (::unlink(Native(path).c_str()) == 0) return 0;
  int error = errno;
  TracePathError(error, "DeleteFile", path);
  return error;
}

int CreateFolder(const std::wstring& path) {
  if (::mkdir(Native(path).c_str(), 0755) == 0) return 0;
  int error = errno;
  if (error != EEXIST) TracePathError(error, "CreateFolder", path);
  return error;
}

int ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::string native = Native(folder);
  DIR* dir = ::opendir(native.c_str());
  if (!dir) {
    int error = errno;
    TracePathError(error, "ListFolder", folder);
    return error;
  }
  int fd = ::dirfd(dir);
  errno = 0;
  while (struct dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = Utf8ToWide(name);
    struct stat st {};
    if (::fstatat(fd, d->d_name, &st, 0) == 0) {
      if (S_ISDIR(st.st_mode)) entry.attributes |= kAttrDirectory;
      entry.size = static_cast<uint64_t>(st.st_size);
      time_t t = st.st_mtime;
      ::localtime_r(&t, &entry.lastWrite);
    }
    if (name[0] == '.') entry.attributes |= kAttrHidden;
    entries->push_back(std::move(entry));
  }
  int error = errno;
  ::closedir(dir);
  if (error != 0) {
    TracePathError(error, "ListFolder readdir", folder);
    return error;
  }
  return 0;
}

bool GetExecutableFolder(std::wstring* folder) {
  char buffer[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) {
    TraceErrno(errno, "GetExecutableFolder readlink /proc/self/exe");
    return false;
  }
  buffer[n] = 0;
  *folder = ParentFolder(Utf8ToWide(std::string(buffer, static_cast<size_t>(n))));
  return true;
}

bool GetExecutablePath(std::string* path) {
  char buffer[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) {
    TraceErrno(errno, "GetExecutablePath readlink /proc/self/exe");
    return false;
  }
  path->assign(buffer, static_cast<size_t>(n));
  return true;
}

}  // namespace talvinor
