#include "platform/LauncherFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Trace.h"

namespace talvinor {

namespace {

// A program path inside Exec= is always quoted, so blanks and reserved
// characters in the bundle's folder survive the launcher's splitting.
std::string QuoteExecArgument(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// Key values escape backslashes and line ends so one value stays one line.
std::string EscapeValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else if (c == '\r') escaped += "\\r";
    else escaped += c;
  }
  return escaped;
}

int MakeFolders(const std::string& folder) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

}  // namespace

std::string ApplicationsFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/applications";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share/applications";
  return std::string();
}

std::string LauncherText(const std::string& name, const std::string& program, const std::string& arguments,
                         const std::string& icon) {
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + EscapeValue(name) + "\n";
  // '%' starts a field code in Exec=, so a literal one is doubled.
  std::string exec = QuoteExecArgument(program) + " " + arguments;
  std::string doubled;
  for (char c : exec) {
    if (c == '%') doubled += '%';
    doubled += c;
  }
  text += "Exec=" + EscapeValue(doubled) + "\n";
  if (!icon.empty()) text += "Icon=" + EscapeValue(icon) + "\n";
  text += "Terminal=false\n";
  return text;
}

int WriteLauncher(const std::string& path, const std::string& text) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (int error = MakeFolders(path.substr(0, slash)); error != 0) {
      Trace("WriteLauncher - mkdir \"%s\": %s\r\n", path.c_str(), std::strerror(error));
      return error;
    }
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    Trace("WriteLauncher - open \"%s\": %s\r\n", path.c_str(), std::strerror(error));
    return error;
  }
  size_t done = 0;
  int error = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<size_t>(wrote);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    Trace("WriteLauncher - write \"%s\": %s\r\n", path.c_str(), std::strerror(error));
    ::unlink(path.c_str());
  }
  return error;
}

int RemoveLauncher(const std::string& path) {
  if (::unlink(path.c_str()) != 0) {
    const int error = errno;
    Trace("RemoveLauncher - unlink \"%s\": %s\r\n", path.c_str(), std::strerror(error));
    return error;
  }
  return 0;
}

}  // namespace talvinor
