#include "app/Application.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/ProgramPages.h"
#include "codec/RecordingRepair.h"
#include "command/CommandLine.h"
#include "platform/BundleLauncher.h"
#include "platform/TerminationSignals.h"
#include "core/Singletons.h"
#include "settings/WaveLayerDeviceQuery.h"
#include "platform/Clock.h"
#include "platform/power/DisplayPower.h"
#include "recorder/PowerKeeper.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/UserLanguage.h"
#include "platform/window/DisplayProbe.h"
#include "settings/ConfigStore.h"
#include "settings/ConfigValidation.h"
#include "ui/MessageBox.h"
#include "ui/UiApplication.h"

namespace talvinor {

namespace {

constexpr uint32_t kSendTimeoutMs = 1000;
constexpr uint32_t kForwardRetryMs = 50;

// TALVINOR_TRACE=1 writes the diagnostic trace lines to standard error.
void TraceToStandardError(const char* line) {
  size_t length = std::strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
  std::fprintf(stderr, "%.*s\n", static_cast<int>(length), line);
}

bool EnvironmentFlag(const char* name) {
  const char* value = std::getenv(name);
  return value && *value && std::strcmp(value, "0") != 0;
}

// TALVINOR_INSTANCE=<tag> runs an instance of its own, apart from the user's
// Talvinor: its lock and its command channel carry the tag. Tags are short
// names (letters, digits, '_' and '-'), as they become parts of file names.
bool InstanceTag(std::string* tag) {
  const char* value = std::getenv("TALVINOR_INSTANCE");
  if (!value || !*value) return false;
  std::string text(value);
  bool valid = text.size() <= 32;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    valid = valid && ok;
  }
  if (!valid) {
    std::fprintf(stderr,
                 "talvinor: TALVINOR_INSTANCE must be at most 32 letters, digits, '_' or '-'; "
                 "ignored, running as the usual instance\n");
    return false;
  }
  *tag = text;
  return true;
}

constexpr int kUsageStatus = 2;

const char* HelpText() {
  return InUserLanguage(
      "Usage: talvinor [OPTION]... [--] [COMMAND TEXT | FILE]\n"
      "Talvinor: a voice recorder and audio player (WAV, Ogg Vorbis, Ogg Speex) with a Japanese window.\n"
      "\n"
      "With no arguments the window opens, or the running Talvinor comes to the front.\n"
      "A command text steers the running Talvinor (or the one this start opens):\n"
      "  talvinor /cmd:rec /toggle:1 /scene:1     start recording with scene 1; the same again stops\n"
      "  talvinor \"/cmd:rec /toggle:1 /scene:1\"   the same, given as one argument\n"
      "  talvinor /cmd:play \"/src:/home/me/a b.ogg\"  play that file\n"
      "  talvinor /cmd:stop                       stop; also /cmd:pause, /cmd:restart, /cmd:exit,\n"
      "                                           /cmd:hidewindow, /cmd:openwindow, /cmd:savememo\n"
      "Any other argument is a file to play:  talvinor ~/Music/a.ogg\n"
      "\n"
      "Options:\n"
      "  -h, --help     print this help and exit\n"
      "  -V, --version  print the version and exit\n"
      "  --             end of the options: what follows is a command text or a file,\n"
      "                 even when it starts with '-'\n"
      "\n"
      "Only one Talvinor runs per user: a second start hands its arguments to the\n"
      "running one and ends without a window (it needs no display for that).\n"
      "The settings are kept in talvinor.ini beside the program, or in\n"
      "$XDG_CONFIG_HOME/talvinor/ when the program's folder cannot be written.\n"
      "\n"
      "Environment:\n"
      "  TALVINOR_INSTANCE=NAME  run an instance of its own, apart from the usual one\n"
      "  TALVINOR_TRACE=1        write the diagnostic trace to standard error\n"
      "\n"
      "Exit status: 0 when the window was closed or the arguments were handed over;\n"
      "1 when there is no display to open the window on; 2 for an unknown option.\n"
      "talvinor-cli does the same from scripts (talvinor-cli send) and more.\n",
      "使い方: talvinor [オプション]... [--] [コマンド文 | ファイル]\n"
      "Talvinor: 日本語のウィンドウで使う録音・再生ソフト (WAV, Ogg Vorbis, Ogg Speex)。\n"
      "\n"
      "引数なしでウィンドウを開きます。既に動いていればそのウィンドウを前面に出します。\n"
      "コマンド文は動いている Talvinor (またはこの起動で開くもの) を操作します:\n"
      "  talvinor /cmd:rec /toggle:1 /scene:1     シーン1で録音開始、もう一度で停止\n"
      "  talvinor \"/cmd:rec /toggle:1 /scene:1\"   一つの引数で渡しても同じ\n"
      "  talvinor /cmd:play \"/src:/home/me/a b.ogg\"  そのファイルを再生\n"
      "  talvinor /cmd:stop                       停止。ほかに /cmd:pause, /cmd:restart, /cmd:exit,\n"
      "                                           /cmd:hidewindow, /cmd:openwindow, /cmd:savememo\n"
      "それ以外の引数は再生するファイルです:  talvinor ~/Music/a.ogg\n"
      "\n"
      "オプション:\n"
      "  -h, --help     この説明を表示して終了\n"
      "  -V, --version  バージョンを表示して終了\n"
      "  --             オプションの終わり: 以降は '-' で始まっていても\n"
      "                 コマンド文かファイル\n"
      "\n"
      "Talvinor は一人のユーザにつき一つだけ動きます。二度目の起動は引数を\n"
      "動いている Talvinor に渡し、ウィンドウを出さずに終わります (画面は不要)。\n"
      "設定はプログラムの横の talvinor.ini に、プログラムのフォルダに書き込めない\n"
      "ときは $XDG_CONFIG_HOME/talvinor/ に保存されます。\n"
      "\n"
      "環境変数:\n"
      "  TALVINOR_INSTANCE=NAME  通常のものとは別のインスタンスとして動かす\n"
      "  TALVINOR_TRACE=1        診断用のトレースを標準エラー出力に書く\n"
      "\n"
      "終了コード: ウィンドウを閉じたか引数を渡し終えたとき 0、ウィンドウを開く\n"
      "画面がないとき 1、知らないオプションのとき 2。\n"
      "スクリプトからは talvinor-cli (talvinor-cli send など) が使えます。\n");
}

// What the program's own options ask for. Options come before the command
// text or file; "--" ends them, so a file whose name starts with '-' can
// still be played.
enum class OptionsResult { Run, Help, Version, Unknown };

OptionsResult ReadOptions(int argc, char** argv, std::vector<std::wstring>* arguments, std::string* unknown) {
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (options && word == "--") {
      options = false;
      continue;
    }
    if (options && word.size() > 1 && word[0] == '-') {
      if (word == "--help" || word == "-h") return OptionsResult::Help;
      if (word == "--version" || word == "-V") return OptionsResult::Version;
      *unknown = word;
      return OptionsResult::Unknown;
    }
    arguments->push_back(Utf8ToWide(word));
  }
  return OptionsResult::Run;
}

// Why the window cannot be shown, or empty when a display is there: no
// display named at all, or an X display that does not answer (the toolkit
// would abort the process on it). A platform the user chose other than X
// (offscreen, vnc, ...) is taken as it is.
std::string DisplayProblem() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool x11Chosen = platform && std::strcmp(platform, "xcb") == 0;
  if (platform && *platform && !x11Chosen) return std::string();
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!(x11 && *x11)) {
    if (!x11Chosen && wayland && *wayland) return std::string();
    return InUserLanguage("no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).",
                          "画面がありません (DISPLAY も WAYLAND_DISPLAY も設定されていません)。");
  }
  if (!XDisplayAnswers(x11)) {
    return std::string(InUserLanguage("the display ", "画面 ")) + x11 +
           InUserLanguage(" cannot be reached (no X server answers there).", " に接続できません (X サーバが応答しません)。");
  }
  return std::string();
}

const char* DisplayAdvice() {
  return InUserLanguage(
      "Start Talvinor from a desktop session, or run it under a virtual display:\n"
      "  xvfb-run -a talvinor        (xvfb-run comes with the package xvfb)\n"
      "or without any screen:  QT_QPA_PLATFORM=offscreen talvinor",
      "デスクトップのセッションから起動するか、仮想画面の上で動かしてください:\n"
      "  xvfb-run -a talvinor        (xvfb-run はパッケージ xvfb にあります)\n"
      "画面なしで動かすには:  QT_QPA_PLATFORM=offscreen talvinor");
}

std::wstring CurrentFolder() {
  std::error_code error;
  std::filesystem::path here = std::filesystem::current_path(error);
  return error ? std::wstring() : Utf8ToWide(here.string());
}

}  // namespace

Application::Application(ApplicationOptions options) : m_options(std::move(options)) {
  FrameWindow::Setup setup;
  setup.pages = m_options.pages;
  setup.channelName = m_options.channelName;
  setup.sizeClass = m_options.sizeClass;
  setup.quit = m_options.quit;
  // The menu's "画面消灯" switches the display off through the power layer.
  setup.displayOff = m_options.displayOff ? m_options.displayOff : [] { return SwitchDisplayOff(); };
  m_frame = talvinor::Create<FrameWindow>(std::move(setup));
}

Application::~Application() { Teardown(); }

bool Application::Init(const std::wstring& commandLine) {
  if (m_state != StartState::NotStarted) {
    Trace("Application::Init - already initialised\r\n");
    return false;
  }
  m_commandLine = commandLine;
  switch (m_lock.Acquire(m_options.instanceKey)) {
    case InstanceLockResult::Acquired:
      m_state = StartState::FirstInstance;
      return true;
    case InstanceLockResult::HeldElsewhere:
      if (OnOtherInstance() != 0) {
        m_state = StartState::FirstInstance;
        return true;
      }
      m_state = StartState::Forwarded;
      return false;
    case InstanceLockResult::Failed:
      // Without the key this start cannot tell; the channel will: a running
      // instance keeps it, and its start then reports the failure.
      Trace("Application::Init - no single-instance key; starting anyway\r\n");
      m_state = StartState::FirstInstance;
      return true;
  }
  return false;
}

int Application::OnOtherInstance() {
  const uint32_t start = GetTickCount();
  for (;;) {
    m_forwardResult = SendCommandText(m_commandLine, m_options.channelName, kSendTimeoutMs);
    Trace("Application::OnOtherInstance - %s\r\n", DescribeSendResult(m_forwardResult));
    if (m_forwardResult != ChannelSendResult::NotOpen) return 0;
    // No channel yet (the running instance is still starting) or no more
    // (it is closing): try again for a while, and take over the key if the
    // other instance ends meanwhile.
    if (TicksSince(start, GetTickCount()) >= m_options.forwardWaitMs) return 0;
    if (m_lock.Acquire(m_options.instanceKey) == InstanceLockResult::Acquired) {
      Trace("Application::OnOtherInstance - the other instance has ended; starting instead\r\n");
      return 1;
    }
    Sleep(kForwardRetryMs);
  }
}

void Application::LoadSettings() {
  if (!LoadConfig()) {
    MessageBox::Show(0, kSettingsLoadFailedMessage, kTitle, kMbIconExclamation);
  }
  if (m_options.devices) {
    SetWaveDeviceQuery(m_options.devices);
  } else {
    InstallWaveDeviceQuery();
  }
  ValidateConfig();
  FillPathDefaults();
  EnsureDefaultRecordingFolder(GetConfig().Get());
}

std::string Application::MediaControlsSuffix() const {
  if (m_options.instanceKey == kFrameClassName) return "";
  // An MPRIS name element takes letters, digits and '_' only.
  std::string suffix = ".instance_";
  for (char c : m_options.instanceKey) suffix += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return suffix;
}

bool Application::Start() {
  if (m_state != StartState::FirstInstance || !m_frame || m_frame->IsCreated()) return false;
  LoadSettings();
  // Suspend time-outs that a run killed between its start and its end left
  // switched off are put back before anything records again.
  if (m_options.restorePowerTimeouts) PowerKeeper::RestoreAfterUnfinishedRun();

  // One master of each kind for the whole run, made before the frame makes
  // its pages, which are given them; every recording, playback and
  // conversion reuses its own.
  m_recordingMaster = talvinor::Create<CRecWaveIn>();
  m_playbackMaster = talvinor::Create<CRecWaveOut>();
  m_conversionMaster = talvinor::Create<ConvertMaster>();

  m_frame->SetCommandLine(m_commandLine);
  m_frame->SetMasters(m_recordingMaster, m_playbackMaster, m_conversionMaster);
  if (!m_frame->CreateFrame()) return false;
  if (m_options.mediaControls) StartDesktopMediaControls(m_frame->PageOf(PageId::Player), MediaControlsSuffix());
  // A logout's SIGTERM (and Ctrl-C, a closed terminal) closes the window as
  // the exit command does.
  const WindowId frame = m_frame->Id();
  SetTerminationHandler([frame](int number) {
    PostMessage(frame, kWmTerminationSignal, static_cast<uintptr_t>(number), 0);
  });
  m_frame->Show(true);
  if (m_options.recoverRecordings) RecoverRecordings();
  UiApplication::SetKeyHook([this](const WindowMessage& key) { return PreTranslate(key); });
  m_keyHookInstalled = true;
  return true;
}

void Application::RecoverRecordings() {
  RefPtr<CONFIG> config = GetConfig();
  const std::vector<RecoveredRecording> repaired =
      RepairUnfinishedRecordings({config->m_RecPath, config->m_RecTelPath, config->m_MemoPath});
  if (repaired.empty()) return;
  const std::wstring& path = repaired.back().path;
  const std::wstring name = path.substr(path.rfind(L'/') + 1);
  if (repaired.size() == 1) {
    m_frame->ShowNotice(L"中断された録音を修復しました: " + name);
  } else {
    m_frame->ShowNotice(L"中断された録音を" + std::to_wstring(repaired.size()) + L"件修復しました: " + name + L" ほか");
  }
}

int Application::Run(UiApplication& ui) { return ui.Run(); }

bool Application::PreTranslate(const WindowMessage& message) { return m_frame && m_frame->PreTranslateKey(message); }

void Application::Teardown() {
  // Closing already: a further signal changes nothing.
  if (m_state == StartState::FirstInstance) SetTerminationHandler(nullptr);
  if (m_keyHookInstalled) {
    UiApplication::SetKeyHook(nullptr);
    m_keyHookInstalled = false;
  }
  if (m_frame) {
    // A loop that ended some other way still closes the pages in order.
    if (m_frame->IsCreated()) m_frame->CloseProgram();
    m_frame = nullptr;
  }
  // The pages have stopped their runs on closing; a run still going ends here.
  for (Master* master : {static_cast<Master*>(m_recordingMaster.Get()), static_cast<Master*>(m_playbackMaster.Get()),
                         static_cast<Master*>(m_conversionMaster.Get())}) {
    if (master && !master->IsState(MasterState::Closed)) master->Close();
  }
  m_recordingMaster = nullptr;
  m_playbackMaster = nullptr;
  m_conversionMaster = nullptr;
  if (m_state == StartState::FirstInstance) {
    ReleaseSingletons();
    SetWaveDeviceQuery(nullptr);
  }
  m_lock.Release();
}

int Application::Main(int argc, char** argv) {
  if (EnvironmentFlag("TALVINOR_TRACE")) SetTraceHook(&TraceToStandardError);
  ApplicationOptions options;
  std::string tag;
  if (InstanceTag(&tag)) {
    options.instanceKey += "_" + tag;
    options.channelName += "_" + tag;
  }

  // The options first: asking for help or the version never reaches a
  // running instance and needs no display.
  std::vector<std::wstring> arguments;
  std::string unknown;
  switch (ReadOptions(argc, argv, &arguments, &unknown)) {
    case OptionsResult::Help:
      std::fputs(HelpText(), stdout);
      return 0;
    case OptionsResult::Version:
      std::printf("talvinor %s\n", TALVINOR_VERSION);
      return 0;
    case OptionsResult::Unknown:
      std::fprintf(stderr, InUserLanguage("talvinor: unknown option '%s'\nTry 'talvinor --help' for more information.\n",
                                          "talvinor: '%s' というオプションはありません\n詳しくは 'talvinor --help' を見てください。\n"),
                   unknown.c_str());
      return kUsageStatus;
    case OptionsResult::Run:
      break;
  }
  const std::wstring commandLine = CommandLine::ToCommandText(arguments, CurrentFolder());

  RefPtr<Application> app = talvinor::Create<Application>(std::move(options));
  if (!app->Init(commandLine)) {
    // A second start ends without a window; one whose text did not arrive
    // says so and ends with status 1, so that a launcher or script learns it.
    int code = 0;
    if (app->State() == StartState::Forwarded && app->ForwardResult() != ChannelSendResult::Sent) {
      std::fprintf(stderr,
                   InUserLanguage("talvinor: the running Talvinor did not take the command text: %s\n",
                                  "talvinor: 動いている Talvinor がコマンド文を受け取りませんでした: %s\n"),
                   DescribeSendResult(app->ForwardResult()));
      code = 1;
    }
    app->Teardown();
    return code;
  }

  // A bundle moved as a whole keeps a launcher that starts it.
  RefreshOwnBundleLauncher();

  // Before Qt starts its threads, so that every thread leaves the signals
  // to the watch.
  StartTerminationWatch();

  const std::string problem = DisplayProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "talvinor: %s\n%s\n", problem.c_str(), DisplayAdvice());
    app->Teardown();
    return 1;
  }
  // Qt sees no arguments of ours: they are the command text, and one that
  // starts with '-' must not be taken for a Qt option.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  UiApplication ui(qtArgc, qtArgv);
  int code = 0;
  if (app->Start()) code = app->Run(ui);
  app->Teardown();
  Trace("Application - ended (%d)\r\n", code);
  return code;
}

}  // namespace talvinor
