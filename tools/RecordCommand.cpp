// talvinor-cli record: one recording with a scene of talvinor.ini, as the
// recorder page makes it.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <memory>
#include <string>

#include "audio/CRecWaveIn.h"
#include "codec/SpeexEncoder.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileEncoder.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "settings/ConfigScene.h"
#include "tools/CliCommands.h"
#include "tools/MasterSession.h"
#include "tools/RecordingBudget.h"

namespace talvinor::cli {
namespace {


struct RecordOptions {
  DeviceRunOptions run;
  int scene = -1;      // -1: the selected scene of the settings
  std::string device;   // number or ALSA name; empty: m_WaveInId
  double seconds = 0;  // 0: until Ctrl-C
  std::string folder;  // empty: the scene's folder from the settings
};

// The recorder's format line for a scene.
std::wstring FormatLine(const CONFIG_SCENE& scene) {
  wchar_t text[128];
  switch (scene.m_CodecMode) {
    case kCodecPcm:
      std::swprintf(text, 128, L"WAV %ukhz %ubit", scene.m_SampleRate / 1000, scene.m_SampleBits);
      break;
    case kCodecVorbis: {
      int whole = static_cast<int>(scene.m_RecOvQuality);
      std::swprintf(text, 128, L"Vorbis %ukhz %ubit Q%d.%d", scene.m_SampleRate / 1000, scene.m_SampleBits, whole,
                    static_cast<int>(scene.m_RecOvQuality * 10) % 10);
      break;
    }
    case kCodecSpeex:
      std::swprintf(text, 128, L"Speex %ukhz %ubit Q%u CQ%u", scene.m_SampleRate / 1000, scene.m_SampleBits,
                    scene.m_RecSpxQuality, scene.m_RecSpxComplexity);
      break;
    default:
      return InUserLanguage(L"Choose a recording format in the settings.", L"録音形式を設定してください。");
  }
  std::wstring line = text;
  if (scene.m_Cnannels == 1) line += InUserLanguage(L" mono", L" モノラル");
  if (scene.m_Cnannels == 2) line += InUserLanguage(L" stereo", L" ステレオ");
  return line;
}

// The scene's encoder with its format and codec settings, taking no more
// sound than `budget` allows; null for a codec the recorder does not know.
RefPtr<AudioEncoder> MakeEncoder(const CONFIG_SCENE& scene, const RefPtr<RecordingBudget>& budget) {
  RefPtr<AudioEncoder> encoder;
  switch (scene.m_CodecMode) {
    case kCodecPcm:
      encoder = Create<BudgetedEncoder<WaveFileEncoder>>(budget);
      break;
    case kCodecVorbis: {
      RefPtr<VorbisEncoder> vorbis = Create<BudgetedEncoder<VorbisEncoder>>(budget);
      vorbis->SetQuality(static_cast<float>(scene.m_RecOvQuality));
      encoder = vorbis;
      break;
    }
    case kCodecSpeex: {
      RefPtr<SpeexEncoder> speex = Create<BudgetedEncoder<SpeexEncoder>>(budget);
      SpeexSettings settings;
      settings.quality = static_cast<int32_t>(scene.m_RecSpxQuality);
      settings.complexity = static_cast<int32_t>(scene.m_RecSpxComplexity);
      settings.denoise = static_cast<int32_t>(scene.m_SpxDenoise);
      settings.vad = static_cast<int32_t>(scene.m_SpxVAD);
      settings.dtx = static_cast<int32_t>(scene.m_SpxDTX);
      speex->SetSpeexSettings(settings);
      encoder = speex;
      break;
    }
    default:
      return nullptr;
  }
  encoder->SetFormat(static_cast<uint16_t>(scene.m_Cnannels), scene.m_SampleRate,
                     static_cast<uint16_t>(scene.m_SampleBits));
  return encoder;
}

// The recorder page's message for how a recording ended.
void ReportEnd(StopReason reason) {
  switch (reason) {
    case StopReason::ByOwner: PrintLine(stdout, InUserLanguage(L"Recording ended.", L"録音を終了しました。")); return;
    case StopReason::FileOpen: PrintLine(stderr, InUserLanguage(L"The file cannot be opened.", L"ファイルを開けません。")); return;
    case StopReason::FileWrite:
    case StopReason::FileSeek: PrintLine(stderr, InUserLanguage(L"File access error.", L"ファイルアクセスエラーです。")); return;
    case StopReason::DeviceFailure: PrintLine(stderr, InUserLanguage(L"The recording device cannot be used.", L"録音デバイスが使用できません。")); return;
    default: PrintLine(stderr, InUserLanguage(L"An error occurred. (CODE:", L"エラーが発生しました。(CODE:") + std::to_wstring(StopCode(reason)) + L")"); return;
  }
}

// The recorder page's level meter as one line of text: -60 to 0 dBFS in 30
// cells, '#' up to the RMS level, '=' on to the peak, '|' at the peak held
// for 1.5 s, then both levels and "CLIP" (held as long) from -0.1 dBFS.
class TextMeter {
 public:
  std::wstring Line(const LevelReading& level, uint32_t now) {
    if (level.buffers != m_buffers) {
      m_buffers = level.buffers;
      m_peak = level.peakDb;
      m_rms = level.rmsDb;
      if (now - m_heldAt >= kHoldMs || m_peak >= m_held) {
        m_held = m_peak;
        m_heldAt = now;
      }
      if (m_peak >= -0.1f) {
        m_clipAt = now;
        m_clip = true;
      }
    }
    if (m_clip && now - m_clipAt >= kHoldMs) m_clip = false;
    std::wstring bar(kCells, L' ');
    const int rms = Cells(m_rms);
    const int peak = std::max(rms, Cells(m_peak));
    for (int i = 0; i < peak; ++i) bar[static_cast<size_t>(i)] = i < rms ? L'#' : L'=';
    if (const int held = Cells(m_held); held > 0) bar[static_cast<size_t>(held - 1)] = L'|';
    return L"[" + bar + L"] " + Db(m_rms) + L" RMS " + Db(m_peak) + L" peak" + (m_clip ? L" CLIP" : L"");
  }

 private:
  static constexpr int kCells = 30;
  static constexpr uint32_t kHoldMs = 1500;
  static int Cells(float db) {
    if (!(db > -60.0f)) return 0;
    return std::min(kCells, static_cast<int>((db + 60.0f) / 60.0f * kCells + 0.5f));
  }
  static std::wstring Db(float db) {
    wchar_t text[16];
    if (!(db > -60.0f)) return L"  -- dB";
    std::swprintf(text, 16, L"%5.1f dB", static_cast<double>(db));
    return text;
  }
  uint32_t m_buffers = 0;
  float m_peak = -200.0f;
  float m_rms = -200.0f;
  float m_held = -200.0f;
  uint32_t m_heldAt = 0;
  uint32_t m_clipAt = 0;
  bool m_clip = false;
};

int Record(const RecordOptions& options) {
  ApplyDeviceRunOptions(options.run);
  RefPtr<CONFIG> config;
  if (!LoadRunSettings(options.run.settingsFile, &config)) return 1;
  int sceneIndex = options.scene >= 0 ? options.scene : static_cast<int>(config->m_RecSceneSelect);
  if (sceneIndex < 0 || sceneIndex >= kSceneCount) {
    PrintLine(stderr, InUserLanguage(L"The recording scene is not valid.", L"録音シーンが無効です。"));
    return 1;
  }
  const CONFIG_SCENE& scene = *config->m_RecSceneList[sceneIndex];
  std::wstring folder = !options.folder.empty() ? Utf8ToWide(options.folder)
                        : scene.m_RecTelUse == 1 ? config->m_RecTelPath
                                                 : config->m_RecPath;
  // A folder text never ends in '/'.
  while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
  uint32_t attributes = 0;
  if (!GetFileAttributes(folder, &attributes) || !(attributes & kAttrDirectory)) {
    PrintLine(stderr, InUserLanguage(L"The recording folder does not exist. Check the settings.", L"録音フォルダが存在していません。設定を確認してください。"));
    return 1;
  }
  static const wchar_t* const kExtensions[] = {L".wav", L".ogg", L".spx"};
  RefPtr<RecordingBudget> budget = Create<RecordingBudget>();
  RefPtr<AudioEncoder> encoder = MakeEncoder(scene, budget);
  if (!encoder) {
    PrintLine(stderr, FormatLine(scene));
    return 1;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  wchar_t name[64];
  std::swprintf(name, 64, L"rz%02d%02d%02d_%02d%02d%02d%ls", local.tm_year % 100, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min, local.tm_sec, kExtensions[scene.m_CodecMode]);
  std::wstring path = JoinPath(folder, name);
  if (FileExists(path)) {
    PrintLine(stderr, InUserLanguage(L"A file of the recording's name already exists.", L"録音ファイル名が重複しました。"));
    return 1;
  }
  wchar_t date[64];
  std::swprintf(date, 64, L"%d/%d/%d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min, local.tm_sec);
  encoder->ClearTags();
  encoder->AddTag(L"RECORDER", L"TALVINOR");
  encoder->AddTag(L"RECORDDATE", date);

  PrintLine(stdout, InUserLanguage(L"Name: ", L"名前:") + std::wstring(name));
  PrintLine(stdout, scene.m_Name + L": " + FormatLine(scene));
  HeadlessMessageQueue window;
  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  master->SetNotify(window.Id(), kWmRecordNotify, 0);
  uint32_t device = 0;
  if (!ResolveDevice(options.device, true, config->m_WaveInId, &device)) return 2;
  if (!master->Setup(device, path, encoder) || !master->Start()) {
    ReportEnd(StopReason::SetupFailure);
    return static_cast<int>(StopReason::SetupFailure);
  }

  SessionHooks hooks;
  auto started = std::make_shared<bool>(false);
  hooks.onNotice = [started](MasterState now, MasterState before) {
    if (now == MasterState::Running) *started = true;
    if (now == MasterState::Running) {
      PrintLine(stdout, before == MasterState::Resuming ? InUserLanguage(L"Recording resumed.", L"録音を再開しました。") : InUserLanguage(L"Recording started.", L"録音を開始しました。"));
    } else if (now == MasterState::Paused) {
      PrintLine(stdout, InUserLanguage(L"Recording paused.", L"録音を一時停止しました。"));
    }
  };
  CRecWaveIn* recorder = master.Get();
  hooks.onSpace = [recorder] {
    if (recorder->IsState(MasterState::Running)) {
      if (!recorder->Pause()) PrintLine(stderr, InUserLanguage(L"Could not pause.", L"休止できませんでした。"));
    } else if (recorder->IsState(MasterState::Paused)) {
      if (!recorder->Resume()) PrintLine(stderr, InUserLanguage(L"Recording could not be resumed.", L"録音を再開できませんでした。"));
    } else {
      PrintLine(stderr, InUserLanguage(L"Could not pause or resume.", L"休止または再開ができませんでした。"));
    }
  };
  // --seconds counts recorded sound, not the clock: a device that delivers
  // faster than real time must not make the file longer.
  if (options.seconds > 0) {
    const uint32_t frameBytes = scene.m_Cnannels * (scene.m_SampleBits / 8);
    budget->SetLimit(static_cast<uint64_t>(options.seconds * scene.m_SampleRate + 0.5) * frameBytes, frameBytes);
  }
  hooks.finished = [budget] { return budget->Spent(); };
  auto meter = std::make_shared<TextMeter>();
  hooks.progress = [recorder, meter] {
    std::wstring state = recorder->IsState(MasterState::Paused) ? L"一時停止 " : L"録音中 ";
    return state + ClockText(recorder->GetPosition()) + L" " + meter->Line(recorder->GetInputLevel(), GetTickCount());
  };
  StopReason reason = RunSession(master.Get(), window, kWmRecordNotify, hooks);
  ReportEnd(reason);
  // The path only of a recording that ran: a start that failed wrote none.
  if (*started && FileExists(path)) PrintLine(stdout, path);
  return reason == StopReason::ByOwner ? 0 : static_cast<int>(reason);
}

}  // namespace

void RegisterRecordCommand(CLI::App& app) {
  auto options = std::make_shared<RecordOptions>();
  auto* record = app.add_subcommand(
      "record",
      InUserLanguage("Record with a scene of talvinor.ini into a new file named as the recorder names it (rz + date "
                     "and time); space pauses and resumes on a terminal, Ctrl-C stops. Prints the file's path last.",
                     "talvinor.ini のシーンで、レコーダと同じ名前 (rz + 日付と時刻) の新しいファイルに録音する。"
                     "端末ではスペースで一時停止と再開、Ctrl-C で停止。最後にファイルのパスを表示"));
  record->add_option("--scene", options->scene, InUserLanguage("Scene 0-7 (default: the selected scene)", "シーン 0-7 (省略時は選択中のシーン)"))->check(CLI::Range(0, 7));
  record->add_option("--device", options->device, InUserLanguage("Wave input device: its number or ALSA name (default: m_WaveInId)",
                                    "録音デバイス: 番号か ALSA の名前 (省略時は m_WaveInId)"));
  record->add_option("--seconds", options->seconds, InUserLanguage("Stop once this many seconds of sound are recorded (default: at Ctrl-C)",
                                    "この秒数の音を録音したら停止 (省略時は Ctrl-C まで)"))
      ->check(CLI::NonNegativeNumber);
  record->add_option("--folder", options->folder, InUserLanguage("Folder for the file (default: the scene's folder of the settings)",
                                    "ファイルを置くフォルダ (省略時は設定のフォルダ)"));
  record->add_option("--settings,--file", options->run.settingsFile, SettingsFileHelp());
  record->add_flag("--virtual", options->run.useVirtual, InUserLanguage("Record from the virtual test input instead of ALSA's", "ALSA の代わりに試験用の仮想入力から録音"));
  record->add_flag("--trace", options->run.trace,
                   InUserLanguage("Print the diagnostic trace to standard error", "診断用のトレースを標準エラー出力に書く"));
  record->callback([options] {
    SetExitStatus(Record(*options));
  });
}

}  // namespace talvinor::cli
