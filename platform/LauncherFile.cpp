#include "platform/LauncherFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

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

// '%' starts a field code in Exec=, so a literal one is doubled.
std::string DoublePercent(const std::string& text) {
  std::string doubled;
  for (char c : text) {
    if (c == '%') doubled += '%';
    doubled += c;
  }
  return doubled;
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

std::string ExecValue(const std::string& program, const std::string& arguments) {
  return EscapeValue(DoublePercent(QuoteExecArgument(program)) + " " + arguments);
}

std::string LauncherValue(const std::string& text) { return EscapeValue(text); }

std::string ExecProgram(const std::string& value) {
  // The key value's own escapes first, then the quoting of the argument.
  std::string exec;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[++i];
      exec += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next == 's' ? ' ' : next;
    } else {
      exec += value[i];
    }
  }
  std::string program;
  size_t i = 0;
  while (i < exec.size() && exec[i] == ' ') ++i;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      program += exec[i];
    }
  } else {
    for (; i < exec.size() && exec[i] != ' '; ++i) program += exec[i];
  }
  std::string undoubled;
  for (size_t at = 0; at < program.size(); ++at) {
    undoubled += program[at];
    if (program[at] == '%' && at + 1 < program.size() && program[at + 1] == '%') ++at;
  }
  return undoubled;
}

std::string LauncherText(const std::string& name, const std::string& program, const std::string& arguments,
                         const std::string& icon) {
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + EscapeValue(name) + "\n";
  // The arguments are literal text here: no field codes.
  text += "Exec=" + ExecValue(program, DoublePercent(arguments)) + "\n";
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

int ReplaceLauncher(const std::string& path, const std::string& text) {
  const std::string fresh = path + ".new-" + std::to_string(::getpid());
  ::unlink(fresh.c_str());  // a leftover of an earlier run that died here
  if (int error = WriteLauncher(fresh, text); error != 0) return error;
  if (::rename(fresh.c_str(), path.c_str()) != 0) {
    const int error = errno;
    Trace("ReplaceLauncher - rename \"%s\" to \"%s\": %s\r\n", fresh.c_str(), path.c_str(), std::strerror(error));
    ::unlink(fresh.c_str());
    return error;
  }
  return 0;
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
