// talvinor-cli send TEXT...: hands one command text to the running Talvinor
// exactly as a second start of the program does.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "command/ChannelBlock.h"
#include "command/ChannelText.h"
#include "command/CommandClient.h"
#include "command/CommandLine.h"
#include "platform/Unicode.h"
#include "tools/CliCommands.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

int RunSend(const std::vector<std::string>& words) {
  std::vector<std::wstring> arguments;
  for (const auto& word : words) arguments.push_back(FromTerminal(word));
  std::error_code error;
  std::filesystem::path here = std::filesystem::current_path(error);
  std::wstring text = CommandLine::ToCommandText(arguments, error ? std::wstring() : Utf8ToWide(here.string()));

  size_t bytes = ChannelText::Encode(text).size();
  if (bytes > kChannelCapacity) {
    std::fprintf(stderr,
                 "talvinor-cli send: the command text is too long: %zu bytes as UTF-16 with its terminator, "
                 "the channel carries at most %u (511 characters)\n",
                 bytes, kChannelCapacity);
    return 2;
  }
  ChannelSendResult result = SendCommandText(text);
  if (result != ChannelSendResult::Sent) {
    std::fprintf(stderr, "talvinor-cli send: not sent: %s\n", DescribeSendResult(result));
    return 1;
  }
  return 0;
}

}  // namespace

void RegisterSendCommand(CLI::App& app) {
  auto* send = app.add_subcommand(
      "send", "Send a command text to the running Talvinor as a second start does (1000 ms time-out)");
  auto words = std::make_shared<std::vector<std::string>>();
  send->add_option("text", *words,
                   "The command text, as one or more words (/cmd:rec /toggle:1 /scene:1), or a file to play; "
                   "no text sends the empty text, which brings Talvinor to the front");
  send->footer(
      "Exit status: 0 sent; 1 nothing is listening or the text was not taken; 2 the text is longer than "
      "the channel carries.");
  send->callback([words] { SetExitStatus(RunSend(*words)); });
}

}  // namespace talvinor::cli
