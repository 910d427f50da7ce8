// talvinor-cli info FILE: what the player's information view shows about a
// sound file: its type, channels, rate, bits, length and tags.
#include <cstdio>
#include <string>

#include "audio/StopReason.h"
#include "codec/StreamInfoReader.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "tools/CliCommands.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

std::wstring Format(const wchar_t* format, uint32_t value) {
  wchar_t text[64];
  std::swprintf(text, 64, format, value);
  return text;
}

const wchar_t* CodecWord(uint32_t sourceCode) {
  switch (sourceCode) {
    case 0x20023: return L"Raw PCM ";
    case 0x20024: return L"Vorbis ";
    case 0x20025: return L"Speex ";
    default: return L"";
  }
}

// The information text in the player's wording; lines end with `newline`.
std::wstring InfoText(const std::wstring& path, const StreamInfo& info, const wchar_t* newline) {
  std::wstring text = path + newline;
  text += std::wstring(L"【形式】") + newline;
  text += CodecWord(info.sourceCode);
  if (info.format.channels == 1) {
    text += L"モノラル";
  } else if (info.format.channels == 2) {
    text += L"ステレオ";
  } else {
    text += Format(L"チャンネル数 %u", info.format.channels);
  }
  text += Format(L" %u Hz", info.format.samplesPerSec) + Format(L" %u bit / 長さ ", info.format.bitsPerSample);
  uint32_t len = info.lengthMs;
  if (len / 3600000) text += Format(L"%u 時間 ", len / 3600000);
  if (len / 60000) text += Format(L"%u 分 ", (len / 60000) % 60);
  text += Format(L"%u 秒", (len / 1000) % 60);
  if ((len / 10) % 100) text += Format(L" %u", (len / 10) % 100);
  text += newline;
  text += std::wstring(L"【タグ】") + newline;
  if (info.tags.empty()) {
    text += std::wstring(L"（タグはありません）") + newline;
  }
  for (const auto& [name, value] : info.tags) {
    text += name;
    if (!name.empty() && !value.empty()) text += L"=";
    text += value + newline;
  }
  return text;
}

int RunInfo(const std::string& file) {
  StreamInfo info;
  StopReason reason = ReadStreamInfo(Utf8ToWide(file), &info);
  if (reason != StopReason::None) {
    const char* text = DescribeStopReason(reason);
    if (UserLanguageIsJapanese()) {
      // The player's own words for what went wrong.
      text = reason == StopReason::FileOpen          ? "ファイルを開けません。"
             : reason == StopReason::MalformedStream ? "再生できないファイル形式です。"
             : reason == StopReason::FileRead || reason == StopReason::FileSeek ? "ファイルアクセスエラーです。"
                                                                                  : "エラーが発生しました。";
    }
    PrintUtf8(stderr, "info: " + file + ": " + text + InUserLanguage(" (reason ", " (理由 ") +
                          std::to_string(StopCode(reason)) + ")");
    return static_cast<int>(StopCode(reason));
  }
  std::fputs(WideToUtf8(InfoText(Utf8ToWide(file), info, L"\n")).c_str(), stdout);
  return 0;
}

}  // namespace

void RegisterInfoCommand(CLI::App& app) {
  auto file = std::make_shared<std::string>();
  auto* info = app.add_subcommand(
      "info", InUserLanguage("Show a sound file's type, channels, rate, bits, length and tags, as the player does",
                             "音声ファイルの種類・チャンネル・周波数・ビット数・長さ・タグをプレイヤと同じ形で表示"));
  info->add_option("FILE", *file, InUserLanguage("The sound file", "音声ファイル"))->required();
  info->footer(InUserLanguage("Exit status: 0, or the engine's stop reason (31 cannot open the file, 81 unreadable format).",
                              "終了コード: 0、またはエンジンの停止理由 (31 ファイルを開けない、81 読めない形式)。"));
  info->callback([file] { SetExitStatus(RunInfo(*file)); });
}

}  // namespace talvinor::cli
