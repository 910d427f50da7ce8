#pragma once
// A program started by a test: its own environment and folder, standard
// output and error read line by line on a thread of the test, a bounded wait
// for its end. A process still running when the object goes is killed.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/Process.h"

namespace talvinor::testing {

class ProgramProcess {
 public:
  struct Options {
    std::vector<std::string> arguments;  // argv[0] first
    EnvironmentChanges env;              // nullopt removes the variable
    std::string folder;                  // the working folder ("" keeps the test's)
  };

  explicit ProgramProcess(const Options& options) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_t pid = StartProgram({options.arguments, options.env, options.folder, fds[1], fds[1]});
    ::close(fds[1]);
    if (pid <= 0) {
      ::close(fds[0]);
      return;
    }
    m_process.Attach(pid);
    m_reader = std::thread([this, fd = fds[0]] { Read(fd); });
  }

  ~ProgramProcess() {
    m_process.Kill();  // first: the reader then sees the end of the output
    if (m_reader.joinable()) m_reader.join();
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  bool Started() const { return m_process.Valid(); }
  pid_t Pid() const { return m_process.Get(); }
  void Signal(int signal) { m_process.Signal(signal); }

  // Waits until `count` lines holding `fragment` have been written (counting
  // from the start); false after `timeoutMs`.
  bool WaitForLine(const std::string& fragment, int timeoutMs = 20000, int count = 1) {
    std::unique_lock lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      int found = 0;
      for (const auto& line : m_lines)
        if (line.find(fragment) != std::string::npos) ++found;
      return found >= count;
    });
  }
  bool HasLine(const std::string& fragment) {
    std::lock_guard lock(m_mutex);
    for (const auto& line : m_lines)
      if (line.find(fragment) != std::string::npos) return true;
    return false;
  }
  std::string Output() {
    std::lock_guard lock(m_mutex);
    std::string all;
    for (const auto& line : m_lines) all += line + "\n";
    return all;
  }

  // The exit code once the process ended within `timeoutMs` (-1 when killed
  // by a signal), nullopt while it still runs.
  std::optional<int> Wait(int timeoutMs = 20000) {
    std::optional<int> code = m_process.Wait(static_cast<uint32_t>(timeoutMs));
    if (code && m_reader.joinable()) m_reader.join();
    return code;
  }

 private:
  void Read(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
      ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      pending.append(buffer, static_cast<size_t>(got));
      size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
        m_cond.notify_all();
      }
    }
    std::lock_guard lock(m_mutex);
    if (!pending.empty()) m_lines.push_back(pending);
    m_cond.notify_all();
    ::close(fd);
  }

  ProcessId m_process;  // not valid when the program could not be started
  std::thread m_reader;
  std::mutex m_mutex;
  std::condition_variable m_cond;
  std::vector<std::string> m_lines;  // guarded by m_mutex
};

}  // namespace talvinor::testing
