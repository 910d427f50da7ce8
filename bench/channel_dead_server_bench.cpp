// How fast a sender learns that the server of a channel is gone: a server
// process is killed with SIGKILL, leaving its objects behind, and senders
// are timed until they fail. Side by side: the same sender against no
// channel at all, and talvinor-cli's own start-up (version) beside its send.
//
//   channel_dead_server_bench [rounds]      (default 20)
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command/ChannelBlock.h"
#include "command/CommandClient.h"
#include "command/CommandServer.h"
#include "platform/window/HeadlessMessageQueue.h"

extern char** environ;

using namespace talvinor;

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A server in a child process; returns its pid once it serves.
pid_t StartServer(const std::string& name) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    HeadlessMessageQueue window;
    RefPtr<CommandServer> server = Create<CommandServer>(name);
    server->SetTarget(window.Id(), kWmTakeChannelMessage);
    if (!server->StartServer()) ::_exit(1);
    if (::write(ready[1], "r", 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  bool ok = ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  return ok ? pid : -1;
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// Runs the program with `args`; its exit status, or -1.
int Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  int r = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (r != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Times {
  std::vector<double> ms;
  int wrong = 0;
  void Print(const char* what) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return;
    std::printf("%-48s median %7.2f ms, worst %7.2f ms, %d of %zu not as expected\n", what, ms[ms.size() / 2],
                ms.back(), wrong, ms.size());
  }
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  const std::wstring text = L"/cmd:stop";
  Times none, dead, cliDead, cliVersion;
  for (int i = 0; i < rounds; ++i) {
    std::string name = "talvinor_bench_dead_" + std::to_string(::getpid()) + "_" + std::to_string(i);
    double start = NowMs();
    none.wrong += SendCommandText(text, name) != ChannelSendResult::NotOpen;
    none.ms.push_back(NowMs() - start);

    pid_t server = StartServer(name);
    if (server < 0) return 1;
    Kill(server);
    start = NowMs();
    dead.wrong += SendCommandText(text, name) != ChannelSendResult::NotOpen;
    dead.ms.push_back(NowMs() - start);
    // The objects stay behind; a server of our own removes them.
    RefPtr<CommandServer> cleanup = Create<CommandServer>(name);
    if (cleanup->StartServer()) cleanup->StopServer();
  }
  none.Print("send, no channel at all:");
  dead.Print("send, objects of a killed server:");

#ifdef TALVINOR_CLI_PATH
  // talvinor-cli sends on the user's channel: only when no Talvinor of this
  // user holds it.
  RefPtr<CommandServer> probe = Create<CommandServer>(kCommandChannelName);
  if (!probe->StartServer()) {
    std::printf("talvinor-cli: skipped, a Talvinor of this user holds the channel\n");
    return 0;
  }
  probe->StopServer();
  for (int i = 0; i < rounds; ++i) {
    double start = NowMs();
    cliVersion.wrong += Run({TALVINOR_CLI_PATH, "version"}) != 0;
    cliVersion.ms.push_back(NowMs() - start);
    pid_t server = StartServer(kCommandChannelName);
    if (server < 0) return 1;
    Kill(server);
    start = NowMs();
    cliDead.wrong += Run({TALVINOR_CLI_PATH, "send", "/cmd:stop"}) != 1;
    cliDead.ms.push_back(NowMs() - start);
    RefPtr<CommandServer> cleanup = Create<CommandServer>(kCommandChannelName);
    if (cleanup->StartServer()) cleanup->StopServer();
  }
  cliVersion.Print("talvinor-cli version (start-up alone):");
  cliDead.Print("talvinor-cli send after kill -9 (exit 1):");
#endif
  return 0;
}
