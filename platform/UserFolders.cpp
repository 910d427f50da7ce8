#include "platform/UserFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/Trace.h"
#include "platform/Unicode.h"

namespace talvinor {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// XDG_MUSIC_DIR="..." from user-dirs.dirs: "$HOME/rest" or "/absolute";
// anything else (no such line, a relative path) is not used.
std::string MusicFromUserDirs(const std::string& configFolder, const std::string& home) {
  std::ifstream in(configFolder + "/user-dirs.dirs");
  std::string line;
  std::string found;
  while (std::getline(in, line)) {
    const std::string key = "XDG_MUSIC_DIR=\"";
    if (line.rfind(key, 0) != 0) continue;
    const size_t end = line.find('"', key.size());
    if (end == std::string::npos) continue;
    std::string value = line.substr(key.size(), end - key.size());
    if (value.rfind("$HOME", 0) == 0 && !home.empty()) {
      value = home + value.substr(5);
    }
    if (!value.empty() && value[0] == '/') found = value;  // the last line wins, as in the shell
  }
  return found;
}

}  // namespace

std::wstring UserConfigFolder() {
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') {
    const std::string home = Environment("HOME");
    if (home.empty()) return std::wstring();
    config = home + "/.config";
  }
  return Utf8ToWide(WithoutTrailingSlash(config));
}

std::wstring UserMusicFolder() {
  const std::string home = WithoutTrailingSlash(Environment("HOME"));
  const std::string config = WideToUtf8(UserConfigFolder());
  std::string music = config.empty() ? std::string() : MusicFromUserDirs(config, home);
  // xdg-user-dir answers the home itself for a folder set to "$HOME/": the
  // recordings would then land in the home, as the user chose.
  if (music.empty()) {
    if (home.empty()) return std::wstring();
    music = home + "/Music";
  }
  return Utf8ToWide(WithoutTrailingSlash(music));
}

bool FolderWritable(const std::wstring& folder) {
  const std::string base = WideToUtf8(folder.empty() ? L"/" : folder);
  const std::string trial = base + "/.talvinor-write-check-" + std::to_string(::getpid());
  const int fd = ::open(trial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    TraceErrno(errno, "FolderWritable - open");
    return false;
  }
  ::close(fd);
  ::unlink(trial.c_str());
  return true;
}

int CreateFolderPath(const std::wstring& folder, bool privateMode) {
  const std::string path = WideToUtf8(folder);
  if (path.empty()) return 0;
  const mode_t mode = privateMode ? 0700 : 0755;
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
    if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      const int error = errno;
      TraceErrno(error, "CreateFolderPath - mkdir");
      return error;
    }
    if (slash == std::string::npos) break;
  }
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace talvinor
