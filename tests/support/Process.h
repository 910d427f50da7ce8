#pragma once
// Other processes in tests: starting a program, waiting a bounded time for
// its end, and never leaving one behind. Subprocess.h, ProgramProcess.h,
// ChildProcess.h and ShellRun.h build on these.
#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace talvinor::testing {

// Variables to set for a started program; nullopt removes one.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// The test's own environment with `changes` applied.
inline std::vector<std::string> EnvironmentWith(const EnvironmentChanges& changes) {
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    if (changes.count(entry.substr(0, entry.find('='))) == 0) out.push_back(entry);
  }
  for (const auto& [name, value] : changes)
    if (value) out.push_back(name + "=" + *value);
  return out;
}

// Text as one word for the shell.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// One started process until it is reaped. A process still running when the
// object goes is killed, so a failed test leaves none behind.
class ProcessId {
 public:
  ProcessId() = default;
  ~ProcessId() { Kill(); }
  ProcessId(const ProcessId&) = delete;
  ProcessId& operator=(const ProcessId&) = delete;

  // Takes charge of a process just started (a pid of -1 or less: none).
  void Attach(pid_t pid) {
    Kill();
    m_pid = pid;
    m_reaped = false;
  }
  pid_t Get() const { return m_pid; }
  bool Valid() const { return m_pid > 0; }

  // True while the process has not ended; reaps it once it has.
  bool Running() {
    if (!Valid() || m_reaped) return false;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
      Reaped(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
      return false;
    }
    if (done < 0 && errno != EINTR) {
      Reaped(-1);  // not ours to wait for (any more)
      return false;
    }
    return true;
  }

  // The exit code (-1 when a signal ended it) once the process ended within
  // `timeoutMs`; nullopt while it still runs.
  std::optional<int> Wait(uint32_t timeoutMs) {
    if (!Valid()) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ExitCode();
  }

  // The exit code once the process was reaped.
  std::optional<int> ExitCode() const { return m_reaped ? std::optional<int>(m_exitCode) : std::nullopt; }

  void Signal(int signal) {
    if (Valid() && !m_reaped) ::kill(m_pid, signal);
  }

  // Ends the process at once and reaps it; nothing when it has ended.
  void Kill() {
    if (!Valid() || m_reaped) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    Reaped(-1);
  }

 private:
  void Reaped(int exitCode) {
    m_reaped = true;
    m_exitCode = exitCode;
  }

  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_exitCode = -1;  // valid once reaped
};

// How to start a program.
struct ProgramStart {
  std::vector<std::string> arguments;  // argv[0] is the program's path
  EnvironmentChanges env;
  std::string folder;  // the working folder; "" keeps the test's
  int out = -1;        // standard output goes here; -1 keeps the test's
  int err = -1;        // standard error likewise
};

// Starts the program; its process id, or -1 when it could not be started.
inline pid_t StartProgram(const ProgramStart& start) {
  if (start.arguments.empty()) return -1;
  std::vector<char*> argv;
  for (const auto& a : start.arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment = EnvironmentWith(start.env);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (start.out >= 0) ::posix_spawn_file_actions_adddup2(&actions, start.out, 1);
  if (start.err >= 0) ::posix_spawn_file_actions_adddup2(&actions, start.err, 2);
  if (!start.folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, start.folder.c_str());
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace talvinor::testing
