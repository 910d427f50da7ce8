#pragma once
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Clock.h"

namespace talvinor::testing {

// A helper program a test starts: it dies with the test process (a parent
// death signal), reports readiness through a pipe that it finds at
// descriptor `readyFd`, and is ended (and reaped) when the object goes.
class SpawnedProcess {
 public:
  SpawnedProcess() = default;
  ~SpawnedProcess() { Stop(); }
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // Starts `argv` (argv[0] looked up in PATH); its output goes to `logPath`
  // when given. `environment` entries ("NAME=value") are set in the child.
  bool Start(const std::vector<std::string>& argv, int readyFd, const std::string& logPath = {},
             const std::vector<std::string>& environment = {}) {
    Stop();
    // Everything the child needs is made before the fork: a child of a
    // threaded test may only make async-signal-safe calls.
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const std::string& entry : environment) envStrings.push_back(entry);
    std::vector<char*> env;
    for (const std::string& entry : envStrings) env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    int log = logPath.empty() ? -1 : ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      if (log >= 0) {
        ::dup2(log, 1);
        ::dup2(log, 2);
      }
      if (::dup2(fds[1], readyFd) < 0) ::_exit(127);
      ::execvpe(args[0], args.data(), env.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    if (log >= 0) ::close(log);
    m_readFd = fds[0];
    return m_pid > 0;
  }

  // The next line the child writes to its ready descriptor, waiting up to
  // `timeoutMs`. False when it ends, closes it or takes too long.
  bool ReadLine(std::string* line, uint32_t timeoutMs) {
    line->clear();
    const uint32_t start = GetTickCount();
    while (m_readFd >= 0) {
      const uint32_t spent = TicksSince(start, GetTickCount());
      if (spent >= timeoutMs) return false;
      struct pollfd p = {m_readFd, POLLIN, 0};
      int r = ::poll(&p, 1, static_cast<int>(timeoutMs - spent));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      char c;
      ssize_t n = ::read(m_readFd, &c, 1);
      if (n <= 0) return false;
      if (c == '\n') return true;
      line->push_back(c);
    }
    return false;
  }

  // Sends `signal` and reaps the child, killing it when it does not end soon.
  void Stop(int signal = SIGTERM) {
    if (m_readFd >= 0) ::close(m_readFd);
    m_readFd = -1;
    if (m_pid <= 0) return;
    ::kill(m_pid, signal);
    const uint32_t start = GetTickCount();
    for (;;) {
      pid_t r = ::waitpid(m_pid, nullptr, WNOHANG);
      if (r == m_pid || (r < 0 && errno != EINTR)) break;
      if (TicksSince(start, GetTickCount()) >= 5000) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        break;
      }
      Sleep(1);
    }
    m_pid = -1;
  }

  pid_t Pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
  int m_readFd = -1;
};

// Whether `program` is an executable in PATH.
inline bool ProgramInPath(const std::string& program) {
  const char* path = ::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= folders.size()) {
    size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    std::string candidate = folders.substr(begin, end - begin) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace talvinor::testing
