// Load on the command channel: N sender processes push M texts each at one
// server as fast as they can. Reports how many were delivered, how many each
// sender reported as not sent (and why), whether any text was lost, doubled
// or garbled, and the send-to-receive times.
//
//   channel_load_bench [senders] [texts]      (default 8 x 200)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "command/ChannelText.h"
#include "command/CommandClient.h"
#include "command/CommandServer.h"
#include "platform/Unicode.h"
#include "platform/window/HeadlessMessageQueue.h"

extern char** environ;

using namespace talvinor;

namespace {

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::wstring Filler(int sender, int number) {
  std::wstring filler;
  int length = (sender * 37 + number * 11) % 400;
  for (int i = 0; i < length; ++i) filler += static_cast<wchar_t>(L'a' + (i + sender + number) % 26);
  return filler;
}

// "/cmd:play /src:\"b<sender>-<number>-<sent ns>-<filler>\""
std::wstring Text(int sender, int number, int64_t sentNs) {
  return L"/cmd:play /src:\"b" + std::to_wstring(sender) + L"-" + std::to_wstring(number) + L"-" +
         std::to_wstring(sentNs) + L"-" + Filler(sender, number) + L"\"";
}

int RunSender(const char* name, int sender, int count) {
  for (int n = 0; n < count; ++n) {
    ChannelSendResult result = SendCommandText(Text(sender, n, NowNs()), name);
    std::printf("%d %d\n", n, static_cast<int>(result));
  }
  return 0;
}

struct Sender {
  pid_t pid = -1;
  FILE* output = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "sender") == 0) return RunSender(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  int senderCount = argc > 1 ? std::atoi(argv[1]) : 8;
  int textCount = argc > 2 ? std::atoi(argv[2]) : 200;
  std::string name = "talvinor_bench_" + std::to_string(::getpid());

  HeadlessMessageQueue window;
  RefPtr<CommandServer> server = Create<CommandServer>(name);
  server->SetTarget(window.Id(), kWmTakeChannelMessage);
  if (!server->StartServer()) {
    std::fprintf(stderr, "cannot start the server\n");
    return 1;
  }

  std::vector<Sender> senders(senderCount);
  int64_t start = NowNs();
  for (int s = 0; s < senderCount; ++s) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return 1;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    ::posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string id = std::to_string(s), count = std::to_string(textCount);
    char* args[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>("sender"), name.data(), id.data(),
                    count.data(), nullptr};
    if (::posix_spawn(&senders[s].pid, "/proc/self/exe", &actions, nullptr, args, environ) != 0) return 1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    senders[s].output = ::fdopen(pipeFds[0], "r");
  }

  // Receive on this thread, as the frame does, until every sender has ended
  // and the channel has been quiet for a while.
  std::map<std::pair<int, int>, int> delivered;
  std::vector<double> latenciesMs;
  int garbled = 0, running = senderCount;
  uint32_t longestGapMs = 0;
  int64_t lastReceive = NowNs();
  while (running > 0 || (NowNs() - lastReceive) < 500'000'000) {
    auto message = window.TakeMessage(kWmTakeChannelMessage, 50);
    if (running > 0) {
      running = 0;
      for (auto& sender : senders)
        if (sender.pid > 0 && ::waitpid(sender.pid, nullptr, WNOHANG) == 0) ++running;
        else sender.pid = 0;
    }
    if (!message) continue;
    std::vector<uint8_t> bytes;
    if (!server->Receive(&bytes)) continue;
    int64_t now = NowNs();
    longestGapMs = std::max<uint32_t>(longestGapMs, static_cast<uint32_t>((now - lastReceive) / 1'000'000));
    lastReceive = now;
    std::wstring text = ChannelText::Decode(bytes);
    int s = -1, n = -1;
    long long sent = 0;
    if (std::swscanf(text.c_str(), L"/cmd:play /src:\"b%d-%d-%lld-", &s, &n, &sent) == 3 &&
        text == Text(s, n, sent)) {
      ++delivered[{s, n}];
      latenciesMs.push_back(static_cast<double>(now - sent) / 1e6);
    } else {
      ++garbled;
    }
  }
  double seconds = static_cast<double>(NowNs() - start) / 1e9;

  std::set<std::pair<int, int>> reportedSent;
  std::map<int, int> notSent;
  int reports = 0;
  for (int s = 0; s < senderCount; ++s) {
    int n = 0, result = 0;
    while (senders[s].output && std::fscanf(senders[s].output, "%d %d", &n, &result) == 2) {
      ++reports;
      if (result == static_cast<int>(ChannelSendResult::Sent)) {
        reportedSent.insert({s, n});
      } else {
        ++notSent[result];
      }
    }
    if (senders[s].output) std::fclose(senders[s].output);
  }
  int duplicates = 0, lost = 0, unreported = 0;
  for (const auto& [key, count] : delivered) {
    if (count > 1) ++duplicates;
    if (!reportedSent.count(key)) ++unreported;
  }
  for (const auto& key : reportedSent)
    if (!delivered.count(key)) ++lost;
  bool stillServes = SendCommandText(L"/cmd:stop", name) == ChannelSendResult::Sent;
  server->StopServer();

  std::sort(latenciesMs.begin(), latenciesMs.end());
  auto at = [&](double q) { return latenciesMs.empty() ? 0.0 : latenciesMs[static_cast<size_t>(q * (latenciesMs.size() - 1))]; };
  std::printf("senders %d x texts %d = %d, run %.2f s\n", senderCount, textCount, senderCount * textCount, seconds);
  std::printf("delivered %zu (%.0f per second), reports %d\n", delivered.size(), delivered.size() / seconds, reports);
  for (const auto& [result, count] : notSent)
    std::printf("not sent: %d (%s)\n", count, DescribeSendResult(static_cast<ChannelSendResult>(result)));
  std::printf("lost %d, duplicated %d, garbled %d, delivered but reported not sent %d\n", lost, duplicates, garbled,
              unreported);
  std::printf("send-to-receive ms: median %.3f, p99 %.3f, worst %.3f; longest gap between receives %u ms\n", at(0.5),
              at(0.99), latenciesMs.empty() ? 0.0 : latenciesMs.back(), longestGapMs);
  std::printf("channel serves after the run: %s\n", stillServes ? "yes" : "NO");
  return lost == 0 && duplicates == 0 && garbled == 0 && unreported == 0 && stillServes ? 0 : 1;
}
