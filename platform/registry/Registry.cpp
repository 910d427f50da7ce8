#include "platform/registry/Registry.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <utility>

#include "platform/Clock.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

// The store holds a handful of values; anything far larger is not ours.
constexpr int64_t kMaxStoreBytes = 1 << 20;
// Another process holds the lock only for one read and write of a small file.
constexpr uint32_t kLockWaitMs = 5000;

std::atomic<int64_t> g_writeLimit{-1};  // bytes before writes fail; -1: none

bool Fail(int error, const std::string& context) {
  TraceErrno(error, ("Registry " + context).c_str());
  return false;
}

// Creates `folder` and the folders above it that are missing.
bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return Fail(EINVAL, "folder \"\"");
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return Fail(errno, "mkdir \"" + part + "\"");
    if (slash == std::string::npos) return true;
  }
}

// The store's lock for one read-modify-write; released when it goes.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
      Fail(errno, "open lock \"" + path + "\"");
      return;
    }
    const uint32_t start = GetTickCount();
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error != EWOULDBLOCK || TicksSince(start, GetTickCount()) >= kLockWaitMs) {
        Fail(error == EWOULDBLOCK ? ETIMEDOUT : error, "flock \"" + path + "\"");
        Close();
        return;
      }
      Sleep(1);
    }
    m_held = true;
  }
  ~StoreLock() { Close(); }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool Held() const { return m_held; }

 private:
  void Close() {
    if (m_fd >= 0) ::close(m_fd);  // closing drops the flock
    m_fd = -1;
    m_held = false;
  }
  int m_fd = -1;
  bool m_held = false;
};

// Writes all of `text`, honouring the test seam's limit.
bool WriteAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  int64_t limit = g_writeLimit.load();
  while (done < text.size()) {
    size_t chunk = text.size() - done;
    if (limit >= 0) {
      if (static_cast<int64_t>(done) >= limit) return Fail(ENOSPC, "write \"" + path + "\"");
      chunk = std::min<size_t>(chunk, static_cast<size_t>(limit - static_cast<int64_t>(done)));
    }
    ssize_t n = ::write(fd, text.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(errno, "write \"" + path + "\"");
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Registry::Registry(std::string folder) : m_folder(std::move(folder)) {
  while (m_folder.size() > 1 && m_folder.back() == '/') m_folder.pop_back();
}

Registry Registry::ForUser() { return Registry(UserFolder()); }

std::string Registry::UserFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/talvinor";
  std::string home;
  if (const char* env = std::getenv("HOME"); env && env[0] == '/') {
    home = env;
  } else {
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
      home = found->pw_dir;
  }
  if (home.empty()) home = "/tmp/talvinor-" + std::to_string(static_cast<unsigned long>(::geteuid()));
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home + "/.config/talvinor";
}

std::string Registry::FilePath() const { return m_folder + "/" + kRegistryFileName; }

RegistryReadResult Registry::Read(RegistryContents* contents) const {
  const std::string path = FilePath();
  // Non-blocking, so a FIFO in the store's place cannot hang the reader; the
  // regular-file check below refuses it.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) {
      *contents = RegistryContents();
      return RegistryReadResult::Missing;
    }
    Fail(errno, "open \"" + path + "\"");
    return RegistryReadResult::Failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    Fail(error, "fstat \"" + path + "\"");
    return RegistryReadResult::Failed;
  }
  if (!S_ISREG(st.st_mode) || st.st_size > kMaxStoreBytes) {
    ::close(fd);
    Trace("Registry - \"%s\" is not a store (not a file, or %lld bytes); not used\r\n", path.c_str(),
          static_cast<long long>(st.st_size));
    return RegistryReadResult::Failed;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      Fail(error, "read \"" + path + "\"");
      return RegistryReadResult::Failed;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (static_cast<int64_t>(text.size()) > kMaxStoreBytes) {
      ::close(fd);
      Trace("Registry - \"%s\" grew past %lld bytes while being read; not used\r\n", path.c_str(),
            static_cast<long long>(kMaxStoreBytes));
      return RegistryReadResult::Failed;
    }
  }
  ::close(fd);
  *contents = RegistryContents::Parse(text, path);
  return RegistryReadResult::Read;
}

bool Registry::KeyExists(const std::wstring& key) const {
  RegistryContents contents;
  return Read(&contents) == RegistryReadResult::Read && contents.HasKey(key);
}

bool Registry::QueryValue(const std::wstring& key, const std::wstring& name, RegistryValue* value) const {
  RegistryContents contents;
  if (Read(&contents) != RegistryReadResult::Read) return false;
  const RegistryValue* found = contents.Find(key, name);
  if (!found) return false;
  *value = *found;
  return true;
}

bool Registry::QueryDword(const std::wstring& key, const std::wstring& name, uint32_t* value) const {
  RegistryValue stored;
  if (!QueryValue(key, name, &stored)) return false;
  if (!stored.AsDword(value)) {
    Trace("Registry - \"%s\" \"%s\" is not a REG_DWORD of 4 bytes (type %u, %zu bytes); not read\r\n",
          WideToUtf8(key).c_str(), WideToUtf8(name).c_str(), static_cast<uint32_t>(stored.type), stored.data.size());
    return false;
  }
  return true;
}

bool Registry::QueryString(const std::wstring& key, const std::wstring& name, std::wstring* value) const {
  RegistryValue stored;
  if (!QueryValue(key, name, &stored)) return false;
  if (!stored.AsString(value)) {
    Trace("Registry - \"%s\" \"%s\" is not a REG_SZ (type %u, %zu bytes); not read\r\n", WideToUtf8(key).c_str(),
          WideToUtf8(name).c_str(), static_cast<uint32_t>(stored.type), stored.data.size());
    return false;
  }
  return true;
}

bool Registry::SetValue(const std::wstring& key, const std::wstring& name, const RegistryValue& value) {
  bool stored = false;
  bool written = Update([&](RegistryContents& contents) { stored = contents.Set(key, name, value); });
  if (!stored && written)
    Trace("Registry - \"%s\" \"%s\" is not a usable key or value name\r\n", WideToUtf8(key).c_str(),
          WideToUtf8(name).c_str());
  return written && stored;
}

bool Registry::SetDword(const std::wstring& key, const std::wstring& name, uint32_t value) {
  return SetValue(key, name, RegistryValue::FromDword(value));
}

bool Registry::SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  return SetValue(key, name, RegistryValue::FromString(value));
}

bool Registry::DeleteValue(const std::wstring& key, const std::wstring& name) {
  return Update([&](RegistryContents& contents) { contents.Remove(key, name); });
}

bool Registry::Update(const std::function<void(RegistryContents&)>& change) {
  if (!MakeFolders(m_folder)) return false;
  StoreLock lock(m_folder + "/" + kRegistryLockName);
  if (!lock.Held()) return false;
  RegistryContents contents;
  if (Read(&contents) == RegistryReadResult::Failed) return false;
  const uint32_t revision = contents.Revision();
  change(contents);
  if (contents.Revision() == revision) return true;
  return WriteFile(contents);
}

bool Registry::WriteFile(const RegistryContents& contents) {
  const std::string path = FilePath();
  const std::string temp = m_folder + "/" + kRegistryTempName;
  const std::string text = contents.Format();
  // Only the lock holder writes, so one temporary name serves; a crashed
  // writer's leftover is simply truncated.
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Fail(errno, "create \"" + temp + "\"");
  bool ok = WriteAll(fd, text, temp);
  if (ok && ::fsync(fd) != 0) ok = Fail(errno, "fsync \"" + temp + "\"");
  if (::close(fd) != 0 && ok) ok = Fail(errno, "close \"" + temp + "\"");
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = Fail(errno, "rename to \"" + path + "\"");
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    if (::fsync(folder) != 0) TraceErrno(errno, ("Registry fsync folder " + m_folder).c_str());
    ::close(folder);
  }
  return true;
}

void Registry::SetWriteLimitForTesting(std::optional<uint32_t> bytes) {
  g_writeLimit.store(bytes ? static_cast<int64_t>(*bytes) : -1);
}

}  // namespace talvinor
