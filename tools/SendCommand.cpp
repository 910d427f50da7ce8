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
#include "command/CommandParser.h"
#include "command/CommandQueue.h"
#include "core/TrimBlanks.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "tools/CliCommands.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

constexpr int kUsageStatus = 2;

// Why the parser refused a text, in the user's language.
std::string RefusalReason(const CommandParseResult& result) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08x", result.parseError);
  switch (result.failure) {
    case CommandFailure::None:
      return std::string();
    case CommandFailure::SyntaxError:
      switch (static_cast<CommandTextError>(result.parseError)) {
        case CommandTextError::ExpectedSlash:
          return InUserLanguage("an attribute must start with '/' (", "属性は '/' で始まります (") + std::string(code) + ")";
        case CommandTextError::MissingColon:
          return InUserLanguage("a name is not followed by ':' (", "名前の後に ':' がありません (") + std::string(code) + ")";
        case CommandTextError::RepeatedName:
          return InUserLanguage("an attribute is given twice (", "同じ属性が二度あります (") + std::string(code) + ")";
        case CommandTextError::BadValue:
          return InUserLanguage("a value is not a bare word, an unsigned number or a quoted text (",
                                "値が単語・符号なしの数・引用符で囲んだ文字列のどれでもありません (") +
                 std::string(code) + ")";
        case CommandTextError::MissingName:
          return InUserLanguage("'/' is not followed by a name (", "'/' の後に名前がありません (") + std::string(code) + ")";
        default:
          return InUserLanguage("the text cannot be read (", "文を読めません (") + std::string(code) + ")";
      }
    case CommandFailure::MissingCmd:
      return InUserLanguage("there is no /cmd: text", "/cmd: がありません");
    case CommandFailure::UnknownCmd:
      return InUserLanguage("/cmd: names no command (rec, play, savememo, stop, pause, restart, exit, hidewindow, "
                            "openwindow)",
                            "/cmd: の値はコマンドではありません (rec, play, savememo, stop, pause, restart, exit, "
                            "hidewindow, openwindow)");
    case CommandFailure::PlayWithoutSrc:
      return InUserLanguage("play needs a /src: text", "play には /src: が必要です");
  }
  return std::string();
}

const char* SendResultText(ChannelSendResult result) {
  if (!UserLanguageIsJapanese()) return DescribeSendResult(result);
  switch (result) {
    case ChannelSendResult::Sent: return "送信しました";
    case ChannelSendResult::NotOpen: return "コマンドを待ち受けている Talvinor がありません";
    case ChannelSendResult::BadPayload: return "送る文が空か大きすぎます";
    case ChannelSendResult::NotReady: return "動いている Talvinor が時間内に受け取れる状態になりませんでした";
    case ChannelSendResult::Busy: return "コマンドの通り道が使用中でした";
    case ChannelSendResult::NotWritten: return "文がコマンドの通り道に収まりませんでした";
    case ChannelSendResult::BlockFull: return "別の送り手の文がまだ受け取られていません";
  }
  return DescribeSendResult(result);
}

int RunSend(const std::vector<std::string>& words) {
  std::vector<std::wstring> arguments;
  for (const auto& word : words) arguments.push_back(FromTerminal(word));
  std::error_code error;
  std::filesystem::path here = std::filesystem::current_path(error);
  std::wstring text = CommandLine::ToCommandText(arguments, error ? std::wstring() : Utf8ToWide(here.string()));

  size_t bytes = ChannelText::Encode(text).size();
  if (bytes > kChannelCapacity) {
    char line[256];
    std::snprintf(line, sizeof line,
                  InUserLanguage("talvinor-cli send: the command text is too long: %zu bytes as UTF-16 with its "
                                 "terminator, the channel carries at most %u (511 characters)",
                                 "talvinor-cli send: コマンド文が長すぎます: UTF-16 で終端を含めて %zu バイト、"
                                 "送れるのは %u バイト (511 文字) までです"),
                  bytes, kChannelCapacity);
    PrintUtf8(stderr, line);
    return kUsageStatus;
  }
  // The running instance reads the text as this parser does; a text it
  // would refuse is refused here, where the person who wrote it sees why.
  std::wstring trimmed = text;
  TrimBlanks(trimmed);
  if (!trimmed.empty()) {
    CommandParseResult parsed = ParseCommand(trimmed);
    if (!parsed.command) {
      PrintUtf8(stderr, std::string("talvinor-cli send: ") +
                            InUserLanguage("the command text cannot be used: ", "外部コマンドは記述誤りにより実行できません。") +
                            RefusalReason(parsed));
      PrintUtf8(stderr, "  " + WideToUtf8(parsed.text));
      return kUsageStatus;
    }
  }
  ChannelSendResult result = SendCommandText(text);
  if (result != ChannelSendResult::Sent) {
    PrintUtf8(stderr, std::string(InUserLanguage("talvinor-cli send: not sent: ", "talvinor-cli send: 送れませんでした: ")) +
                          SendResultText(result));
    return 1;
  }
  return 0;
}

}  // namespace

void RegisterSendCommand(CLI::App& app) {
  auto* send = app.add_subcommand(
      "send", InUserLanguage("Send a command text to the running Talvinor as a second start does (1000 ms time-out)",
                             "動いている Talvinor にコマンド文を送る (二度目の起動と同じ、待ち時間 1000 ms)"));
  auto words = std::make_shared<std::vector<std::string>>();
  send->add_option("text", *words,
                   InUserLanguage("The command text, as one or more words (/cmd:rec /toggle:1 /scene:1) or as one "
                                  "argument (\"/cmd:rec /toggle:1 /scene:1\"), or a file to play; no text sends the "
                                  "empty text, which brings Talvinor to the front",
                                  "コマンド文 (/cmd:rec /toggle:1 /scene:1 のように複数の語でも、"
                                  "\"/cmd:rec /toggle:1 /scene:1\" のように一つの引数でも可) か再生するファイル。"
                                  "文がなければ空の文を送り、Talvinor を前面に出す"));
  send->footer(InUserLanguage(
      "Exit status: 0 sent; 1 nothing is listening or the text was not taken; 2 the text is longer than "
      "the channel carries or is one the program would refuse (the reason is printed).",
      "終了コード: 送れたとき 0、待ち受けがないか受け取られなかったとき 1、文が長すぎるか"
      "プログラムが受け付けない文のとき 2 (理由を表示)。"));
  send->callback([words] { SetExitStatus(RunSend(*words)); });
}

}  // namespace talvinor::cli
