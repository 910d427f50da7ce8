// talvinor-cli play: plays one file as the player page does.
#include <cstdio>
#include <memory>
#include <string>

#include "audio/CRecWaveOut.h"
#include "codec/CodecFactory.h"
#include "codec/ContentProbe.h"
#include "codec/PlaybackFilterChoice.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "tools/CliCommands.h"
#include "tools/MasterSession.h"

namespace talvinor::cli {
namespace {

struct PlayOptions {
  DeviceRunOptions run;
  std::string file;
  std::string device;   // number or ALSA name; empty: m_WaveOutId
  uint32_t filter = 0;  // the player's filter choice
  int64_t from = -1;    // -1: from the start
};

// The player page's message for how a playback ended.
void ReportEnd(StopReason reason) {
  switch (reason) {
    case StopReason::ByOwner: PrintLine(stdout, InUserLanguage(L"Playback stopped.", L"再生を停止しました。")); return;
    case StopReason::EndOfStream: PrintLine(stdout, InUserLanguage(L"Played to the end.", L"終わりまで再生しました。")); return;
    case StopReason::FileOpen: PrintLine(stderr, InUserLanguage(L"The file cannot be opened.", L"ファイルを開けません。")); return;
    case StopReason::FileRead:
    case StopReason::FileSeek: PrintLine(stderr, InUserLanguage(L"File access error.", L"ファイルアクセスエラーです。")); return;
    case StopReason::MalformedStream: PrintLine(stderr, InUserLanguage(L"This file format cannot be played.", L"再生できないファイル形式です。")); return;
    case StopReason::DeviceFailure: PrintLine(stderr, InUserLanguage(L"The playback device cannot be used.", L"再生デバイスが使用できません。")); return;
    default: PrintLine(stderr, InUserLanguage(L"An error occurred. (CODE:", L"エラーが発生しました。(CODE:") + std::to_wstring(StopCode(reason)) + L")"); return;
  }
}

int Play(const PlayOptions& options) {
  ApplyDeviceRunOptions(options.run);
  RefPtr<CONFIG> config;
  if (!LoadRunSettings(options.run.settingsFile, &config)) return 1;
  std::wstring path = Utf8ToWide(options.file);
  uint32_t attributes = 0;
  if (!GetFileAttributes(path, &attributes)) {
    PrintLine(stderr, InUserLanguage(L"The file cannot be opened.", L"ファイルを開けません。"));
    return static_cast<int>(StopReason::FileOpen);
  }
  RefPtr<AudioSource> source = CreateFileSource(ProbeFileContent(path));
  if (!source) {
    PrintLine(stderr, (attributes & kAttrDirectory) ? InUserLanguage(L"No sound file is chosen.", L"音声ファイルが選択されていません。")
                                                    : InUserLanguage(L"This file format cannot be played.", L"再生できないファイル形式です。"));
    return static_cast<int>(StopReason::MalformedStream);
  }

  HeadlessMessageQueue window;
  RefPtr<CRecWaveOut> master = Create<CRecWaveOut>();
  master->SetNotify(window.Id(), kWmPlayNotify, 0);
  uint32_t device = 0;
  if (!ResolveDevice(options.device, false, config->m_WaveOutId, &device)) return 2;
  if (!ApplyFilterChoice(master.Get(), static_cast<FilterChoice>(options.filter))) {
    PrintLine(stderr, InUserLanguage(L"The playback filter cannot be changed now.", L"再生フィルタを変更できない状態です。"));
    return 1;
  }
  // The run plays to the end and closes there, where the player would wait
  // paused at the end.
  if (!master->Setup(device, path, source) || !master->SetEndOfStreamAction(EndOfStreamAction::Close)) {
    ReportEnd(StopReason::SetupFailure);
    return static_cast<int>(StopReason::SetupFailure);
  }
  if (options.from >= 0) master->Seek(static_cast<uint32_t>(options.from));
  if (!master->Start()) {
    ReportEnd(StopReason::SetupFailure);
    return static_cast<int>(StopReason::SetupFailure);
  }

  CRecWaveOut* player = master.Get();
  SessionHooks hooks;
  hooks.onNotice = [player, path](MasterState now, MasterState before) {
    if (now == MasterState::Running && before == MasterState::Opening) {
      PrintLine(stdout, InUserLanguage(L"Playback started.", L"再生を開始しました。"));
      PrintLine(stdout, path + L" (" + ClockText(player->GetLength()) + L")");
    } else if (now == MasterState::Running && before == MasterState::Resuming) {
      PrintLine(stdout, InUserLanguage(L"Playback resumed.", L"再生を再開しました。"));
    } else if (now == MasterState::Paused) {
      PrintLine(stdout, before == MasterState::EndPausing ? InUserLanguage(L"Played to the end.", L"終わりまで再生しました。") : InUserLanguage(L"Playback paused.", L"再生を一時停止しました。"));
    }
  };
  hooks.onSpace = [player] {
    if (player->IsState(MasterState::Running)) {
      if (!player->Pause()) PrintLine(stderr, InUserLanguage(L"Could not pause.", L"休止できませんでした。"));
    } else if (player->IsState(MasterState::Paused)) {
      if (!player->Resume()) PrintLine(stderr, InUserLanguage(L"Playback could not be resumed.", L"再生を再開できませんでした。"));
    } else {
      PrintLine(stderr, InUserLanguage(L"Could not pause or resume.", L"休止または再開ができませんでした。"));
    }
  };
  // The length is kept: while the last sound plays out the source has
  // already closed and no longer knows it.
  auto length = std::make_shared<uint32_t>(0);
  hooks.progress = [player, length] {
    if (uint32_t now = player->GetLength()) *length = now;
    std::wstring state = player->IsState(MasterState::Paused) ? InUserLanguage(L"paused ", L"一時停止 ") : InUserLanguage(L"playing ", L"再生中 ");
    return state + ClockText(player->GetPosition()) + L" / " + ClockText(*length);
  };
  StopReason reason = RunSession(master.Get(), window, kWmPlayNotify, hooks);
  ReportEnd(reason);
  return reason == StopReason::ByOwner || reason == StopReason::EndOfStream ? 0 : static_cast<int>(reason);
}

}  // namespace

void RegisterPlayCommand(CLI::App& app) {
  auto options = std::make_shared<PlayOptions>();
  auto* play = app.add_subcommand(
      "play", InUserLanguage("Play a WAV, Ogg Vorbis or Ogg Speex file; space pauses and resumes on a terminal, Ctrl-C stops",
                             "WAV・Ogg Vorbis・Ogg Speex ファイルを再生する。端末ではスペースで一時停止と再開、Ctrl-C で停止"));
  play->add_option("file", options->file, InUserLanguage("The file to play", "再生するファイル"))->required();
  play->add_option("--device", options->device, InUserLanguage("Wave output device: its number or ALSA name (default: m_WaveOutId)",
                                    "再生デバイス: 番号か ALSA の名前 (省略時は m_WaveOutId)"));
  play->add_option("--filter", options->filter,
                   InUserLanguage("Listening aid: 0 none, 1 volume boost, 2 strong volume boost, 3 weak noise "
                                  "removal, 4 strong noise removal",
                                  "聞き取りの補助: 0 なし、1 音量増、2 音量増(強)、3 雑音除去(弱)、4 雑音除去(強)"))
      ->check(CLI::Range(0u, kFilterChoiceCount - 1));
  play->add_option("--from", options->from, InUserLanguage("Start this many milliseconds into the file", "ファイルの先頭からこのミリ秒の位置から再生"))
      ->check(CLI::Range(int64_t{0}, int64_t{0xFFFFFFFE}));
  play->add_option("--settings,--file", options->run.settingsFile, SettingsFileHelp());
  play->add_flag("--virtual", options->run.useVirtual, InUserLanguage("Play on the virtual test output instead of ALSA's", "ALSA の代わりに試験用の仮想出力で再生"));
  play->add_flag("--trace", options->run.trace,
                 InUserLanguage("Print the diagnostic trace to standard error", "診断用のトレースを標準エラー出力に書く"));
  play->callback([options] { SetExitStatus(Play(*options)); });
}

}  // namespace talvinor::cli
