// talvinor-cli convert SRC DST [--force]: converts one sound file into
// another through the engine's conversion master.
#include <cstdio>
#include <string>

#include "audio/ConvertMaster.h"
#include "audio/StopReason.h"
#include "codec/CodecFactory.h"
#include "codec/ContentProbe.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "platform/Unicode.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "tools/CliCommands.h"
#include "tools/ConvertCodecOptions.h"

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
  std::fprintf(stderr, "convert: %s\n", message.c_str());
  return status;
}
int Fail(StopReason reason, const std::string& message) { return Fail(static_cast<int>(StopCode(reason)), message); }

int RunConvert(const ConvertOptions& options) {
  std::wstring source = Utf8ToWide(options.source);
  std::wstring destination = Utf8ToWide(options.destination);

  uint32_t code = ProbeFileContent(source);
  if (code == 0) {
    File probe;
    if (!probe.Open(source, FileOpenMode::Read)) {
      return Fail(StopReason::FileOpen,
                  options.source + ": " + DescribeStopReason(StopReason::FileOpen) + " (reason 31)");
    }
    return Fail(StopReason::MalformedStream, options.source + ": not a sound file that can be read (reason 81)");
  }
  RefPtr<AudioSource> reader = CreateFileSource(code);
  if (!reader) {
    return Fail(StopReason::MalformedStream, options.source + ": no reader for this type of file (reason 81)");
  }
  RefPtr<AudioEncoder> encoder = CreateEncoderForPath(destination);
  if (!encoder) return Fail(kUsageStatus, options.destination + ": no encoder writes files with this extension");
  std::string optionError;
  if (!ApplyConvertCodecOptions(options.codec, encoder.Get(), &optionError)) return Fail(kUsageStatus, optionError);
  if (FileExists(destination) && !options.force) {
    return Fail(StopReason::FileOpen, options.destination + ": already exists; use --force to replace it (reason 31)");
  }

  std::wstring part = PartName(destination);
  HeadlessMessageQueue window;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  master->SetNotify(window.Id(), kWmConvertNotify, 0);
  if (!master->Setup(source, reader, part, encoder, ConvertOutput::CreateNew) || !master->Start()) {
    return Fail(StopReason::SetupFailure, std::string(DescribeStopReason(StopReason::SetupFailure)) + " (reason 20)");
  }
  bool progress = IsTerminal(StandardStream::Error);
  bool drew = false;
  for (;;) {
    auto notice = window.Take(kPumpMs);
    if (notice && (notice->wParam & 0xFFFF) == static_cast<uint32_t>(MasterState::Closed)) break;
    if (progress && master->IsState(MasterState::Running)) {
      uint32_t position = master->GetPosition();
      uint32_t length = master->GetLength();
      uint32_t percent = length ? static_cast<uint32_t>(uint64_t{position} * 100 / length) : 0;
      std::fprintf(stderr, "\rconverting %3u%%  %s / %s", percent, Clock(position).c_str(), Clock(length).c_str());
      std::fflush(stderr);
      drew = true;
    }
  }
  master->Wait(5000);
  if (drew) std::fprintf(stderr, "\r%*s\r", 40, "");

  StopReason reason = master->GetStopReason();
  bool complete = reason == StopReason::None || reason == StopReason::EndOfStream;
  if (!complete && reason != StopReason::FileSizeLimit) {
    DeleteFile(part);
    return Fail(reason, options.source + ": " + DescribeStopReason(reason) + " (reason " +
                            std::to_string(StopCode(reason)) + ")");
  }
  if (complete && master->GetDecodedBytes() == 0) {
    // An empty result would look like a conversion that worked.
    DeleteFile(part);
    return Fail(StopReason::MalformedStream, options.source + ": no sound could be decoded (reason 81)");
  }
  if (options.force && FileExists(destination)) {
    if (int error = DeleteFile(destination)) {
      DeleteFile(part);
      return Fail(StopReason::FileOpen,
                  options.destination + ": cannot replace it (error " + std::to_string(error) + ")");
    }
  }
  if (int error = MoveFileNoReplace(part, destination)) {
    DeleteFile(part);
    return Fail(StopReason::FileOpen,
                options.destination + ": cannot be created (error " + std::to_string(error) + ", reason 31)");
  }
  if (reason == StopReason::FileSizeLimit) {
    return Fail(reason, options.destination + ": " + DescribeStopReason(reason) + " (reason 35)");
  }
  std::printf("%s -> %s: converted\n", options.source.c_str(), options.destination.c_str());
  return 0;
}

}  // namespace

void RegisterConvertCommand(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  auto* convert = app.add_subcommand(
      "convert",
      "Convert a sound file (type recognised by content) into DST (type chosen by DST's extension: .wav, .ogg or .spx)");
  convert->add_option("SRC", options->source, "The sound file to read")->required();
  convert->add_option("DST", options->destination, "The file to write")->required();
  convert->add_flag("--force", options->force, "Replace DST when it exists");
  AddConvertCodecOptions(convert, &options->codec);
  convert->footer(
      "Exit status: 0 when converted; otherwise the engine's stop reason (31 cannot open a file, 32-34 file "
      "access errors, 35 size limit reached, 81 unreadable format, ...) or 2 for a destination type without "
      "an encoder.");
  convert->callback([options] { SetExitStatus(RunConvert(*options)); });
}

}  // namespace talvinor::cli
