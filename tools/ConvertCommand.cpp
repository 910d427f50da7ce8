// talvinor-cli convert SRC DST [--force]: converts one sound file into
// another through the engine's conversion master.
#include <cerrno>
#include <cstdio>
#include <string>

#include "audio/ConvertMaster.h"
#include "audio/StopReason.h"
#include "codec/CodecFactory.h"
#include "codec/ContentProbe.h"
#include "platform/ConsoleInput.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "tools/CliCommands.h"
#include "tools/ConvertCodecOptions.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

constexpr uint32_t kPumpMs = 200;
constexpr int kUsageStatus = 2;

struct ConvertOptions {
  std::string source;
  std::string destination;
  bool force = false;
  ConvertCodecOptions codec;
};

std::string Clock(uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", ms / 3600000, (ms / 60000) % 60, (ms / 1000) % 60);
  return text;
}

// A name beside `destination` for the output while it is being written, so
// a failed or interrupted conversion never leaves a half-written file under
// the final name.
std::wstring PartName(const std::wstring& destination) {
  for (int i = 0; i < 1000; ++i) {
    std::wstring candidate = destination + L".part" + (i ? std::to_wstring(i) : L"");
    if (!FileExists(candidate)) return candidate;
  }
  return destination + L".part";
}

int Fail(int status, const std::string& message) {
  PrintUtf8(stderr, "convert: " + message);
  return status;
}
int Fail(StopReason reason, const std::string& message) { return Fail(static_cast<int>(StopCode(reason)), message); }

std::string ReasonSuffix(StopReason reason) {
  return InUserLanguage(" (reason ", " (理由 ") + std::to_string(StopCode(reason)) + ")";
}

// How a run ended, in the user's language: the player's own texts in Japanese.
std::string ReasonText(StopReason reason) {
  if (!UserLanguageIsJapanese()) return DescribeStopReason(reason);
  switch (reason) {
    case StopReason::FileOpen: return "ファイルを開けません。";
    case StopReason::FileRead:
    case StopReason::FileWrite:
    case StopReason::FileSeek: return "ファイルアクセスエラーです。";
    case StopReason::MalformedStream: return "再生できないファイル形式です。";
    case StopReason::FileSizeLimit: return "WAV のヘッダで表せる最大の大きさに達したので、そこで終わります。";
    default: return "エラーが発生しました。(CODE:" + std::to_string(StopCode(reason)) + ")";
  }
}

// Why a file could not be opened, from the error number of the attempt.
std::string OpenFailureText(int error) {
  switch (error) {
    case ENOENT: return InUserLanguage("does not exist", "ありません");
    case EISDIR: return InUserLanguage("is a folder, not a file", "フォルダです (ファイルではありません)");
    case EACCES:
    case EPERM: return InUserLanguage("access is not permitted", "アクセスが許可されていません");
    case EFBIG: return InUserLanguage("is 4 GiB or larger, which Talvinor cannot read",
                                      "4 GiB 以上のファイルは扱えません");
    case EROFS: return InUserLanguage("is on a read-only file system", "読み取り専用のファイルシステムにあります");
    case ENOTDIR: return InUserLanguage("a part of the path is not a folder", "パスの途中がフォルダではありません");
    case ENOSPC: return InUserLanguage("the disk is full", "ディスクがいっぱいです");
    default: return InUserLanguage("cannot be opened (error ", "開けません (エラー ") + std::to_string(error) + ")";
  }
}

// Why `path` cannot be read as a file: missing, a folder, not permitted,
// too large; 0 when it can.
int SourceOpenError(const std::wstring& path) {
  uint32_t attributes = 0;
  int error = 0;
  if (!GetFileAttributes(path, &attributes, &error)) return error ? error : ENOENT;
  if (attributes & kAttrDirectory) return EISDIR;
  File probe;
  if (!probe.Open(path, FileOpenMode::Read)) return probe.LastError() ? probe.LastError() : EACCES;
  return 0;
}

// The folder a file is written into: a bare name lands in the current folder.
std::wstring FolderOf(const std::wstring& path) {
  if (path.find(L'/') == std::wstring::npos) return L".";
  return ParentFolder(path);
}

// Whether `part` can be created, tried once and removed again, so that the
// destination's own problem is reported with its cause before any work.
int DestinationOpenError(const std::wstring& destination, const std::wstring& part) {
  std::wstring folder = FolderOf(destination);
  uint32_t attributes = 0;
  int error = 0;
  if (!GetFileAttributes(folder.empty() ? L"/" : folder, &attributes, &error)) return error ? error : ENOENT;
  if (!(attributes & kAttrDirectory)) return ENOTDIR;
  File trial;
  if (!trial.Open(part, FileOpenMode::CreateNew)) return trial.LastError() ? trial.LastError() : EACCES;
  trial.Close();
  DeleteFile(part);
  return 0;
}

int RunConvert(const ConvertOptions& options) {
  std::wstring source = Utf8ToWide(options.source);
  std::wstring destination = Utf8ToWide(options.destination);

  if (int error = SourceOpenError(source)) {
    return Fail(StopReason::FileOpen, options.source + ": " + OpenFailureText(error) + ReasonSuffix(StopReason::FileOpen));
  }
  uint32_t code = ProbeFileContent(source);
  if (code == 0) {
    return Fail(StopReason::MalformedStream,
                options.source + InUserLanguage(": not a sound file that can be read", ": 読める音声ファイルではありません") +
                    ReasonSuffix(StopReason::MalformedStream));
  }
  RefPtr<AudioSource> reader = CreateFileSource(code);
  if (!reader) {
    return Fail(StopReason::MalformedStream,
                options.source + InUserLanguage(": no reader for this type of file", ": この種類のファイルは読めません") +
                    ReasonSuffix(StopReason::MalformedStream));
  }
  RefPtr<AudioEncoder> encoder = CreateEncoderForPath(destination);
  if (!encoder) {
    return Fail(kUsageStatus, options.destination +
                                  InUserLanguage(": no encoder writes files with this extension (.wav, .ogg, .oga, .spx)",
                                                 ": この拡張子のファイルは書けません (.wav, .ogg, .oga, .spx)"));
  }
  std::string optionError;
  if (!ApplyConvertCodecOptions(options.codec, encoder.Get(), &optionError)) return Fail(kUsageStatus, optionError);
  if (FileExists(destination) && !options.force) {
    return Fail(StopReason::FileOpen,
                options.destination +
                    InUserLanguage(": already exists; use --force to replace it", ": 既にあります。置き換えるには --force を付けてください") +
                    ReasonSuffix(StopReason::FileOpen));
  }

  // Ctrl-C and SIGTERM stop the run through its master, as its owner does,
  // so that the output is closed and removed rather than left half written.
  // Caught from before the .part exists: a signal between its creation and
  // the loop below would otherwise end the process and leave it behind.
  InterruptCatcher interrupt;
  std::wstring part = PartName(destination);
  if (int error = DestinationOpenError(destination, part)) {
    std::string message = options.destination + ": ";
    if (error == ENOENT || error == ENOTDIR) {
      message += InUserLanguage("its folder ", "フォルダ ") + WideToUtf8(FolderOf(destination)) +
                 (error == ENOENT ? InUserLanguage(" does not exist", " がありません")
                                  : InUserLanguage(" is not a folder", " はフォルダではありません"));
    } else {
      message += OpenFailureText(error);
    }
    return Fail(StopReason::FileOpen, message + ReasonSuffix(StopReason::FileOpen));
  }
  HeadlessMessageQueue window;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  master->SetNotify(window.Id(), kWmConvertNotify, 0);
  if (!master->Setup(source, reader, part, encoder, ConvertOutput::CreateNew) || !master->Start()) {
    DeleteFile(part);
    return Fail(StopReason::SetupFailure, ReasonText(StopReason::SetupFailure) + ReasonSuffix(StopReason::SetupFailure));
  }
  bool progress = IsTerminal(StandardStream::Error);
  bool drew = false;
  bool closing = false;
  for (;;) {
    auto notice = window.Take(kPumpMs);
    if (notice && (notice->wParam & 0xFFFF) == static_cast<uint32_t>(MasterState::Closed)) break;
    if (!closing && interrupt.Requested()) {
      closing = true;
      master->Close();
      continue;
    }
    // A run whose Closed notice could not be posted still ends the wait.
    if (closing && !master->IsRunning() && window.Pending() == 0) break;
    if (progress && !closing && master->IsState(MasterState::Running)) {
      uint32_t position = master->GetPosition();
      uint32_t length = master->GetLength();
      uint32_t percent = length ? static_cast<uint32_t>(uint64_t{position} * 100 / length) : 0;
      std::fprintf(stderr, InUserLanguage("\rconverting %3u%%  %s / %s", "\r変換中 %3u%%  %s / %s"), percent,
                   Clock(position).c_str(), Clock(length).c_str());
      std::fflush(stderr);
      drew = true;
    }
  }
  master->Wait(5000);
  if (drew) std::fprintf(stderr, "\r%*s\r", 40, "");

  if (int signal = interrupt.Signal()) {
    DeleteFile(part);
    return Fail(128 + signal, options.destination +
                                  InUserLanguage(": interrupted; nothing was written", ": 中断しました。何も書いていません"));
  }
  StopReason reason = master->GetStopReason();
  bool complete = reason == StopReason::None || reason == StopReason::EndOfStream;
  if (!complete && reason != StopReason::FileSizeLimit) {
    DeleteFile(part);
    return Fail(reason, options.source + ": " + ReasonText(reason) + ReasonSuffix(reason));
  }
  if (complete && master->GetDecodedBytes() == 0) {
    // An empty result would look like a conversion that worked.
    DeleteFile(part);
    return Fail(StopReason::MalformedStream, options.source + ": no sound could be decoded (reason 81)");
  }
  if (options.force && FileExists(destination)) {
    if (int error = DeleteFile(destination)) {
      DeleteFile(part);
      return Fail(StopReason::FileOpen, options.destination + InUserLanguage(": cannot replace it: ", ": 置き換えられません: ") +
                                            OpenFailureText(error) + ReasonSuffix(StopReason::FileOpen));
    }
  }
  if (int error = MoveFileNoReplace(part, destination)) {
    DeleteFile(part);
    return Fail(StopReason::FileOpen, options.destination + ": " + OpenFailureText(error) + ReasonSuffix(StopReason::FileOpen));
  }
  if (reason == StopReason::FileSizeLimit) {
    return Fail(reason, options.destination + ": " + ReasonText(reason) + ReasonSuffix(reason));
  }
  PrintUtf8(stdout, options.source + " -> " + options.destination + InUserLanguage(": converted", ": 変換しました"));
  return 0;
}

}  // namespace

void RegisterConvertCommand(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  auto* convert = app.add_subcommand(
      "convert", InUserLanguage("Convert a sound file (type recognised by content) into DST (type chosen by DST's "
                                "extension: .wav, .ogg or .oga (Ogg Vorbis), .spx)",
                                "音声ファイルを DST に変換する (元の種類は中身で判断、DST の種類は拡張子で決まる: "
                                ".wav, .ogg か .oga (Ogg Vorbis), .spx)"));
  convert->add_option("SRC", options->source, InUserLanguage("The sound file to read", "読む音声ファイル"))->required();
  convert->add_option("DST", options->destination, InUserLanguage("The file to write", "書くファイル"))->required();
  convert->add_flag("--force", options->force, InUserLanguage("Replace DST when it exists", "DST が既にあれば置き換える"));
  AddConvertCodecOptions(convert, &options->codec);
  convert->footer(InUserLanguage(
      "The output is written as DST.part and renamed when complete; Ctrl-C or SIGTERM stops the conversion "
      "and removes it.\n"
      "Exit status: 0 when converted; otherwise the engine's stop reason (31 cannot open a file, 32-34 file "
      "access errors, 35 size limit reached, 81 unreadable format, ...), 2 for a destination type without "
      "an encoder or a wrong option, 130 after Ctrl-C, 143 after SIGTERM.",
      "書いている間は DST.part に書き、終わったら名前を変えます。Ctrl-C か SIGTERM で変換を止め、"
      "それを消します。\n"
      "終了コード: 変換できたとき 0、ほかはエンジンの停止理由 (31 ファイルを開けない、32-34 ファイル"
      "アクセスエラー、35 大きさの上限、81 読めない形式 など)、書けない種類や誤ったオプションのとき 2、"
      "Ctrl-C で 130、SIGTERM で 143。"));
  convert->callback([options] { SetExitStatus(RunConvert(*options)); });
}

}  // namespace talvinor::cli
