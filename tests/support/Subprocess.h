#pragma once
// A program started with its standard output and error on pipes, read line
// by line or collected at its end.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Clock.h"
#include "support/Process.h"

namespace talvinor::testing {

class Subprocess {
 public:
  explicit Subprocess(const std::vector<std::string>& argv, const std::string& folder = "") {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
      ::close(out[0]);
      ::close(out[1]);
      return;
    }
    ProgramStart start;
    start.arguments = argv;
    start.folder = folder;
    start.out = out[1];
    start.err = err[1];
    m_process.Attach(StartProgram(start));
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~Subprocess() {
    m_process.Kill();  // first: its pipes close behind it
    if (m_out >= 0) ::close(m_out);
    if (m_err >= 0) ::close(m_err);
  }
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  bool Started() const { return m_process.Valid(); }
  pid_t Pid() const { return m_process.Get(); }

  // The next line of standard output without its newline; false on end of
  // output or when none came within `timeoutMs`.
  bool ReadLine(std::string* line, uint32_t timeoutMs) {
    uint32_t start = GetTickCount();
    for (;;) {
      size_t newline = m_outBuffer.find('\n');
      if (newline != std::string::npos) {
        *line = m_outBuffer.substr(0, newline);
        m_outBuffer.erase(0, newline + 1);
        return true;
      }
      uint32_t spent = GetTickCount() - start;
      if (spent >= timeoutMs) return false;
      struct pollfd p = {m_out, POLLIN, 0};
      int r = ::poll(&p, 1, static_cast<int>(timeoutMs - spent));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      char buffer[4096];
      ssize_t n = ::read(m_out, buffer, sizeof buffer);
      if (n <= 0) return false;
      m_outBuffer.append(buffer, static_cast<size_t>(n));
    }
  }

  // Waits for the end and returns the exit code (-1: killed or still running
  // after `timeoutMs`). Standard output left unread is collected in Output().
  int Wait(uint32_t timeoutMs) {
    uint32_t start = GetTickCount();
    for (;;) {
      Drain(m_out, &m_outBuffer);
      Drain(m_err, &m_errBuffer);
      if (!Running()) {
        Drain(m_out, &m_outBuffer);
        Drain(m_err, &m_errBuffer);
        return m_process.ExitCode().value_or(-1);
      }
      if (GetTickCount() - start >= timeoutMs) return -1;
      struct pollfd p[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
      ::poll(p, 2, 10);
    }
  }
  // True while the program has not ended.
  bool Running() { return m_process.Running(); }
  void Kill() { m_process.Kill(); }
  void Signal(int signal) { m_process.Signal(signal); }

  const std::string& Output() const { return m_outBuffer; }
  const std::string& Errors() const { return m_errBuffer; }

 private:
  static void Drain(int fd, std::string* into) {
    for (;;) {
      struct pollfd p = {fd, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0) return;
      char buffer[4096];
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) return;
      into->append(buffer, static_cast<size_t>(n));
    }
  }

  ProcessId m_process;  // not valid when the program could not be started
  int m_out = -1;
  int m_err = -1;
  std::string m_outBuffer;
  std::string m_errBuffer;
};

}  // namespace talvinor::testing
