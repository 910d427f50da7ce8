// talvinor-cli listen: a bare command server that prints every text it
// receives and what the program would make of it.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "command/ChannelText.h"
#include "command/CommandQueue.h"
#include "command/CommandServer.h"
#include "core/TrimBlanks.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "platform/UserLanguage.h"
#include "tools/CliCommands.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

volatile std::sig_atomic_t g_stopListening = 0;

void OnStopSignal(int) { g_stopListening = 1; }

int RunListen(int count) {
  HeadlessMessageQueue window;
  RefPtr<CommandServer> server = Create<CommandServer>();
  server->SetTarget(window.Id(), kWmTakeChannelMessage);
  if (!server->StartServer()) {
    std::fputs(InUserLanguage("talvinor-cli listen: cannot serve the command channel: a running Talvinor or another "
                              "listener holds it\n",
                              "talvinor-cli listen: コマンドを待ち受けられません。動いている Talvinor か別の listen が"
                              "使っています\n"),
               stderr);
    server->StopServer();
    return 1;
  }
  g_stopListening = 0;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  std::printf("listening on %s\n", kCommandChannelName);
  std::fflush(stdout);

  int received = 0;
  while (!g_stopListening && (count <= 0 || received < count)) {
    // A short wait so that a stop signal is noticed.
    if (!window.TakeMessage(kWmTakeChannelMessage, 100)) continue;
    std::vector<uint8_t> message;
    if (!server->Receive(&message)) continue;
    ++received;
    std::wstring text = ChannelText::Decode(message);
    std::printf("received \"%s\" (%zu bytes)\n", ToTerminal(text).c_str(), message.size());
    TrimBlanks(text);
    if (text.empty()) {
      std::printf("  empty: the window comes to the foreground\n");
    } else {
      std::printf("  %s\n", ToTerminal(DescribeParseResult(ParseCommand(text))).c_str());
    }
    std::fflush(stdout);
  }
  server->StopServer();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  return 0;
}

}  // namespace

void RegisterListenCommand(CLI::App& app) {
  auto* listen = app.add_subcommand(
      "listen", InUserLanguage("Serve the command channel in place of Talvinor and print each received text and its command",
                               "Talvinor の代わりにコマンドを待ち受け、届いた文とそのコマンドを表示する"));
  auto count = std::make_shared<int>(0);
  listen->add_option("--count", *count, InUserLanguage("End after this many texts (default: until interrupted)", "この数の文を受け取ったら終わる (省略時は中断まで)"));
  listen->callback([count] { SetExitStatus(RunListen(*count)); });
}

}  // namespace talvinor::cli
