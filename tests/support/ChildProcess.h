#pragma once
// A forked child that runs one function of the test, and a pipe through
// which it says that it has come to a point.
#include <unistd.h>

#include <functional>

#include "support/Process.h"

namespace talvinor::testing {

// A forked child that runs one function and exits with its result. The child
// must only use async-signal-safe calls and objects it opens itself.
class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    m_process.Attach(pid);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return m_process.Get(); }
  bool Started() const { return m_process.Valid(); }

  // The exit code, or -1 when it did not end normally within `timeoutMs`.
  int Join(uint32_t timeoutMs) { return m_process.Wait(timeoutMs).value_or(-1); }
  void Kill() { m_process.Kill(); }

 private:
  ProcessId m_process;  // killed when still running at the end
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
  ReadyPipe(const ReadyPipe&) = delete;
  ReadyPipe& operator=(const ReadyPipe&) = delete;

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
