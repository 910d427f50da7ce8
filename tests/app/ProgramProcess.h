#pragma once
// A program started by a test: its own environment and folder, standard
// output and error read line by line on a thread of the test, a bounded wait
// for its end. A process still running when the object goes is killed.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace talvinor::testing {

class ProgramProcess {
 public:
  struct Options {
    std::vector<std::string> arguments;                      // argv[0] first
    std::map<std::string, std::optional<std::string>> env;  // nullopt removes the variable
    std::string folder;                                      // the working folder ("" keeps the test's)
  };

  explicit ProgramProcess(const Options& options) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> environment = Environment(options.env);
    std::vector<char*> argv;
    for (const auto& a : options.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(fds[1], 1);
      ::dup2(fds[1], 2);
      if (!options.folder.empty() && ::chdir(options.folder.c_str()) != 0) ::_exit(126);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    m_reader = std::thread([this, fd = fds[0]] { Read(fd); });
  }

  ~ProgramProcess() {
    if (m_pid > 0 && !m_exit) {
      ::kill(m_pid, SIGKILL);
      int status = 0;
      ::waitpid(m_pid, &status, 0);
    }
    if (m_reader.joinable()) m_reader.join();
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  bool Started() const { return m_pid > 0; }

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
    if (m_exit) return m_exit;
    if (m_pid <= 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int status = 0;
      pid_t done = ::waitpid(m_pid, &status, WNOHANG);
      if (done == m_pid) {
        m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (m_reader.joinable()) m_reader.join();
        return m_exit;
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  static std::vector<std::string> Environment(const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
      std::string entry(*e);
      std::string name = entry.substr(0, entry.find('='));
      if (changes.count(name) == 0) out.push_back(entry);
    }
    for (const auto& [name, value] : changes)
      if (value) out.push_back(name + "=" + *value);
    return out;
  }

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

  pid_t m_pid = -1;
  std::optional<int> m_exit;
  std::thread m_reader;
  std::mutex m_mutex;
  std::condition_variable m_cond;
  std::vector<std::string> m_lines;  // guarded by m_mutex
};

}  // namespace talvinor::testing
