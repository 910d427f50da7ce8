#include "tools/MasterSession.h"

#include "core/ProgramPaths.h"
#include "platform/ConsoleInput.h"
#include "platform/Terminal.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "platform/wave/WaveAudio.h"
#include "settings/ConfigStore.h"
#include "settings/ConfigValidation.h"
#include "settings/WaveDeviceQuery.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {
constexpr uint32_t kTickMs = 100;
bool g_progressDrawn = false;  // the UI thread of the tool only

void PrintTrace(const char* line) { std::fputs(line, stderr); }

void ClearProgress() {
  if (!g_progressDrawn) return;
  std::fputs("\r\x1b[K", stderr);
  g_progressDrawn = false;
}
}  // namespace

void ApplyDeviceRunOptions(const DeviceRunOptions& options) {
  if (options.trace) SetTraceHook(&PrintTrace);
  SetWaveBackend(options.useVirtual ? WaveBackendKind::Virtual : WaveBackendKind::Alsa);
}

bool LoadRunSettings(const std::string& file, RefPtr<CONFIG>* config) {
  std::wstring path;
  if (!file.empty()) {
    path = Utf8ToWide(file);
  } else if (!GetSettingsPath(&path)) {
    PrintLine(stderr, InUserLanguage(L"talvinor-cli: the program folder cannot be found",
                                     L"talvinor-cli: プログラムのフォルダが見つかりません"));
    return false;
  }
  *config = Create<CONFIG>();
  std::wstring detail;
  ConfigLoadResult result = LoadConfigFile(path, config->Get(), &detail);
  if (result == ConfigLoadResult::Unreadable || result == ConfigLoadResult::Malformed) {
    PrintLine(stderr, InUserLanguage(L"The settings file could not be read. It may be damaged.",
                                     kSettingsLoadFailedMessage));
    PrintLine(stderr, path + L": " + detail);
    return false;
  }
  RefPtr<WaveDeviceQuery> devices = GetWaveDeviceQuery();
  ValidateConfig(config->Get(), devices.Get());
  FillPathDefaults(config->Get(), DefaultRecordingFolder());
  EnsureDefaultRecordingFolder(config->Get());
  return true;
}

bool ResolveDevice(const std::string& text, bool input, uint32_t fallback, uint32_t* id) {
  if (text.empty()) {
    *id = fallback;
    return true;
  }
  if (text.find_first_not_of("0123456789") == std::string::npos && text.size() <= 9) {
    *id = static_cast<uint32_t>(std::stoul(text));
    return true;
  }
  const std::wstring name = Utf8ToWide(text);
  const uint32_t count = input ? waveInGetNumDevs() : waveOutGetNumDevs();
  for (uint32_t i = 0; i < count; ++i) {
    std::wstring found;
    if (input) {
      WAVEINCAPS caps;
      if (waveInGetDevCaps(i, &caps) == MMSYSERR_NOERROR) found = caps.szPname;
    } else {
      WAVEOUTCAPS caps;
      if (waveOutGetDevCaps(i, &caps) == MMSYSERR_NOERROR) found = caps.szPname;
    }
    if (found == name) {
      *id = i;
      return true;
    }
  }
  PrintLine(stderr, Utf8ToWide(std::string("--device ") + text +
                               InUserLanguage(": no such device; 'talvinor-cli devices' lists them",
                                              ": そのようなデバイスはありません。'talvinor-cli devices' で一覧が見られます")));
  return false;
}

void PrintLine(std::FILE* stream, const std::wstring& text) {
  ClearProgress();
  std::string bytes = ToTerminal(text) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

std::wstring ClockText(uint32_t milliseconds) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%02u:%02u:%02u", milliseconds / 3600000, (milliseconds / 60000) % 60,
                (milliseconds / 1000) % 60);
  return text;
}

StopReason RunSession(Master* master, HeadlessMessageQueue& window, uint32_t message, const SessionHooks& hooks) {
  InterruptCatcher interrupt;
  KeyInput keys;
  const bool drawProgress = hooks.progress && IsTerminal(StandardStream::Error);
  bool closing = false;
  for (;;) {
    bool closed = false;
    while (auto notice = window.TakeMessage(message, 0)) {
      auto now = static_cast<MasterState>(notice->wParam & 0xFFFF);
      auto before = static_cast<MasterState>((notice->wParam >> 16) & 0xFFFF);
      if (hooks.onNotice) hooks.onNotice(now, before);
      if (now == MasterState::Closed) closed = true;
    }
    if (closed) break;
    // A run that ended without a Closed notice reaching us (it cannot be
    // posted once the window is gone) must not keep the tool waiting.
    if (closing && !master->IsRunning() && window.Pending() == 0) break;
    if (!closing && (interrupt.Requested() || (hooks.finished && hooks.finished()))) {
      closing = true;
      // Close waits for the run to end; its notices are taken next turn.
      master->Close();
      continue;
    }
    if (drawProgress && !closing) {
      std::string line = "\r" + ToTerminal(hooks.progress()) + "\x1b[K";
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
      g_progressDrawn = true;
    }
    int key = keys.Poll(kTickMs);
    if (key == ' ' && hooks.onSpace && !closing) hooks.onSpace();
  }
  ClearProgress();
  // The Closed notice comes just before the thread ends.
  master->Wait(5000);
  return master->GetStopReason();
}

}  // namespace talvinor::cli
