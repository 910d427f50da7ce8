// Start-up time of the window program to its first painted frame, on the
// offscreen platform. Each run is a fresh process (this program started
// again with --child), which goes through the program's own start-up and
// reports the time from entering main to each step:
//   lock     the single-instance key taken
//   qt       the Qt application made (fonts and platform plugin)
//   shown    settings loaded and repaired, masters, frame built and shown
//   painted  the first paint of the frame's window begins
// The parent also times each run from before it starts the process to the
// child's report (exec, loading of the shared libraries, and all of the above),
// and the real program from its start to the trace line of a finished frame.
//
//   startup_bench [runs]      (default 15)
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "command/CommandClient.h"
#include "app/Application.h"
#include "core/ProgramPaths.h"
#include "platform/Unicode.h"
#include "ui/UiApplication.h"

extern char** environ;

using namespace talvinor;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Notes the first paint of any widget of the frame's window.
class PaintWatch : public QObject {
 public:
  QWidget* window = nullptr;
  FrameWindow* frame = nullptr;
  Clock::time_point painted;
  bool seen = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (seen || event->type() != QEvent::Paint || !window) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window) return false;
    seen = true;
    painted = Clock::now();
    QTimer::singleShot(0, [f = frame] { f->CloseProgram(); });
    return false;
  }
};

int Child(char* program, const char* tag) {
  const Clock::time_point entered = Clock::now();
  OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));
  ApplicationOptions options;
  options.instanceKey = std::string(kFrameClassName) + "_bench_" + tag;
  options.channelName = std::string(kCommandChannelName) + "_bench_" + tag;
  RefPtr<Application> app = Create<Application>(options);
  if (!app->Init(L"")) return 2;
  const Clock::time_point locked = Clock::now();
  int argc = 1;
  char* argv[] = {program, nullptr};
  UiApplication ui(argc, argv);
  const Clock::time_point qt = Clock::now();
  PaintWatch watch;
  qApp->installEventFilter(&watch);
  if (!app->Start()) return 3;
  const Clock::time_point shown = Clock::now();
  watch.frame = app->Frame();
  watch.window = app->Frame()->Widget()->window();
  app->Run(ui);
  qApp->removeEventFilter(&watch);
  app->Teardown();
  if (!watch.seen) return 4;
  std::printf("child %.2f %.2f %.2f %.2f\n", Ms(entered, locked), Ms(entered, qt), Ms(entered, shown),
              Ms(entered, watch.painted));
  std::fflush(stdout);
  return 0;
}

// Starts a process with stdout and stderr on a pipe.
pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnv, int* readFd) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const auto& e : extraEnv) env.push_back(e);
  std::vector<char*> argv, envp;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  *readFd = fds[0];
  return pid;
}

// Reads lines until one starts with `prefix` (or the pipe ends).
bool ReadUntil(int fd, const std::string& prefix, std::string* line, std::string* pending) {
  char buffer[4096];
  for (;;) {
    size_t end;
    while ((end = pending->find('\n')) != std::string::npos) {
      std::string l = pending->substr(0, end);
      pending->erase(0, end + 1);
      if (l.rfind(prefix, 0) == 0) {
        *line = l;
        return true;
      }
    }
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    pending->append(buffer, static_cast<size_t>(got));
  }
}

void Drain(int fd) {
  char buffer[4096];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
}

struct Series {
  explicit Series(const char* name) : name(name) {}
  const char* name;
  std::vector<double> values;
  void Print() {
    if (values.empty()) return;
    std::vector<double> v = values;
    std::sort(v.begin(), v.end());
    std::printf("  %-34s median %7.1f ms   min %7.1f   max %7.1f\n", name, v[v.size() / 2], v.front(), v.back());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return Child(argv[0], argv[2]);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::string self = argv[0];
  // A runtime folder of the benchmark's own for the instances' lock files.
  char runtimeTemplate[] = "/tmp/talvinor-bench-XXXXXX";
  const char* runtime = mkdtemp(runtimeTemplate);
  if (!runtime) {
    std::perror("startup_bench: mkdtemp");
    return 1;
  }
  const std::string runtimeEnv = std::string("XDG_RUNTIME_DIR=") + runtime;
  const std::vector<std::string> offscreen{"QT_QPA_PLATFORM=offscreen", runtimeEnv};

  Series lock("in process: single-instance key"), qt("in process: Qt application made"),
      shown("in process: frame built and shown"), painted("in process: first paint"),
      whole("whole process: start to first paint"), program("talvinor: start to frame ready");
  int failures = 0;
  for (int i = 0; i < runs; ++i) {
    const std::string tag = std::to_string(getpid()) + "_" + std::to_string(i);
    int fd = -1;
    const Clock::time_point start = Clock::now();
    pid_t pid = Spawn({self, "--child", tag}, offscreen, &fd);
    std::string line, pending;
    bool ok = pid > 0 && ReadUntil(fd, "child ", &line, &pending);
    const Clock::time_point reported = Clock::now();
    if (fd >= 0) Drain(fd);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    double a, b, c, d;
    if (ok && std::sscanf(line.c_str(), "child %lf %lf %lf %lf", &a, &b, &c, &d) == 4) {
      lock.values.push_back(a);
      qt.values.push_back(b);
      shown.values.push_back(c);
      painted.values.push_back(d);
      whole.values.push_back(Ms(start, reported));
    } else {
      ++failures;
    }

    // The program itself, as a person starts it; ended by an exit command.
    const std::string instance = "bench_" + tag;
    const Clock::time_point programStart = Clock::now();
    pid = Spawn({TALVINOR_PROGRAM},
                {"QT_QPA_PLATFORM=offscreen", runtimeEnv, "TALVINOR_TRACE=1", "TALVINOR_INSTANCE=" + instance}, &fd);
    pending.clear();
    ok = pid > 0 && ReadUntil(fd, "FrameWindow::OnCreate - ready", &line, &pending);
    if (ok) program.values.push_back(Ms(programStart, Clock::now()));
    else ++failures;
    if (pid > 0) {
      if (ok) SendCommandText(L"/cmd:exit", std::string(kCommandChannelName) + "_" + instance);
      else kill(pid, SIGKILL);
      Drain(fd);
      waitpid(pid, &status, 0);
    }
  }

  std::error_code ignored;
  std::filesystem::remove_all(runtime, ignored);
  std::printf("Start-up to the first painted frame, offscreen platform, %d runs (%d failed)\n", runs, failures);
  for (Series* s : {&lock, &qt, &shown, &painted, &whole, &program}) s->Print();
  return failures == 0 ? 0 : 1;
}
