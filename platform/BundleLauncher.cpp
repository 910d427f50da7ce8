#include "platform/BundleLauncher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/LauncherFile.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {

// The value of `key` in `line` ("Key=value"), or false.
bool KeyValue(const std::string& line, const std::string& key, std::string* value) {
  if (line.compare(0, key.size() + 1, key + "=") != 0) return false;
  *value = line.substr(key.size() + 1);
  return true;
}

// Real path of `path`, or empty.
std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return std::string();
  std::string result(real);
  std::free(real);
  return result;
}

}  // namespace

LauncherRefresh RefreshBundleLauncher(const std::string& folder, const std::string& program) {
  const std::string path = folder + "/talvinor.desktop";
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return LauncherRefresh::Absent;
  // A link is followed only into the bundle itself: the file it names
  // elsewhere (a user's own menu entry) is not the bundle's to rewrite.
  std::string target = path;
  if (S_ISLNK(info.st_mode)) {
    target = RealPath(path);
    const std::string realFolder = RealPath(folder);
    if (target.empty() || realFolder.empty() || target.rfind(realFolder + "/", 0) != 0) {
      Trace("RefreshBundleLauncher - \"%s\" links out of the bundle; left alone\r\n", path.c_str());
      return LauncherRefresh::Left;
    }
  }
  struct stat kept {};
  if (::stat(target.c_str(), &kept) != 0 || !S_ISREG(kept.st_mode)) return LauncherRefresh::Left;
  std::ifstream in(target, std::ios::binary);
  std::stringstream read;
  read << in.rdbuf();
  const std::string old = read.str();
  if (!in || old.rfind("[Desktop Entry]", 0) != 0) {
    Trace("RefreshBundleLauncher - \"%s\" is no launcher; left alone\r\n", target.c_str());
    return LauncherRefresh::Left;
  }

  const std::string icon = folder + "/talvinor.svg";
  std::string text;
  bool changed = false;
  bool inEntry = false;
  std::istringstream lines(old);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] == '[') inEntry = line == "[Desktop Entry]";
    std::string value;
    if (inEntry && KeyValue(line, "Exec", &value)) {
      const std::string named = ExecProgram(value);
      if (named != program) {
        // The arguments after the program (the field code) are kept.
        std::string exec = value;
        size_t rest = std::string::npos;
        if (!exec.empty() && exec[0] == '"') {
          for (size_t i = 1; i < exec.size(); ++i) {
            if (exec[i] == '\\') {
              ++i;
            } else if (exec[i] == '"') {
              rest = i + 1;
              break;
            }
          }
        } else {
          rest = exec.find(' ');
        }
        std::string arguments = rest == std::string::npos ? "" : exec.substr(rest);
        if (!arguments.empty() && arguments[0] == ' ') arguments.erase(0, 1);
        line = "Exec=" + ExecValue(program, arguments);
        changed = true;
      }
    } else if (inEntry && KeyValue(line, "Icon", &value) && !value.empty() && value[0] == '/') {
      // A theme icon name stays; a path follows the bundle.
      if (value != LauncherValue(icon)) {
        line = "Icon=" + LauncherValue(icon);
        changed = true;
      }
    }
    text += line + "\n";
  }
  if (!changed) return LauncherRefresh::Current;
  const std::string targetFolder = target.substr(0, target.rfind('/'));
  if (::access(targetFolder.c_str(), W_OK) != 0) {
    Trace("RefreshBundleLauncher - \"%s\" not writable: %s; the launcher stays\r\n", targetFolder.c_str(),
          std::strerror(errno));
    return LauncherRefresh::Left;
  }
  if (ReplaceLauncher(target, text) != 0) return LauncherRefresh::Failed;
  ::chmod(target.c_str(), kept.st_mode & 07777);  // executable if the user made it so
  Trace("RefreshBundleLauncher - \"%s\" now starts \"%s\"\r\n", target.c_str(), program.c_str());
  return LauncherRefresh::Rewritten;
}

LauncherRefresh RefreshOwnBundleLauncher() {
  const std::string program = RealPath("/proc/self/exe");
  if (program.empty()) {
    Trace("RefreshOwnBundleLauncher - realpath /proc/self/exe: %s\r\n", std::strerror(errno));
    return LauncherRefresh::Failed;
  }
  return RefreshBundleLauncher(program.substr(0, program.rfind('/')), program);
}

}  // namespace talvinor
