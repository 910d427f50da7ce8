#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/Clock.h"

namespace talvinor::testing {

// A forked child that runs one function and exits with its result. The child
// must only use async-signal-safe calls and objects it opens itself.
class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int()>& body) {
    m_pid = ::fork();
    if (m_pid == 0) ::_exit(body());
  }
  ~ChildProcess() {
    if (m_pid > 0 && !m_reaped) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return m_pid; }
  bool Started() const { return m_pid > 0; }

  // The exit code, or -1 when it did not end normally within `timeoutMs`.
  int Join(uint32_t timeoutMs) {
    uint32_t start = GetTickCount();
    for (;;) {
      int status = 0;
      pid_t r = ::waitpid(m_pid, &status, WNOHANG);
      if (r == m_pid) {
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (r < 0 || GetTickCount() - start >= timeoutMs) return -1;
      Sleep(1);
    }
  }
  void Kill() {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_reaped = true;
  }

 private:
  pid_t m_pid = -1;
  bool m_reaped = false;
};

// A pipe a child writes one byte to when it has reached a point.
class ReadyPipe {
 public:
  ReadyPipe() {
    if (::pipe(m_fds) != 0) m_fds[0] = m_fds[1] = -1;
  }
  ~ReadyPipe() {
    if (m_fds[0] >= 0) ::close(m_fds[0]);
    if (m_fds[1] >= 0) ::close(m_fds[1]);
  }
  void Signal(char c = 'r') { [[maybe_unused]] auto n = ::write(m_fds[1], &c, 1); }
  // The byte the child wrote, or 0 on end of file (the child died first).
  char Await() {
    char c = 0;
    ::close(m_fds[1]);
    m_fds[1] = -1;
    if (::read(m_fds[0], &c, 1) != 1) return 0;
    return c;
  }

 private:
  int m_fds[2];
};

}  // namespace talvinor::testing
