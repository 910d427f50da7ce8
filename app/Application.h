#pragma once
#include <cstdint>
#include <string>

#include "audio/CRecWaveIn.h"
#include "audio/CRecWaveOut.h"
#include "audio/ConvertMaster.h"
#include "command/ChannelBlock.h"
#include "command/CommandClient.h"
#include "app/FrameWindow.h"
#include "platform/ipc/InstanceLock.h"
#include "settings/WaveDeviceQuery.h"

namespace talvinor {

class UiApplication;

// The program's single-instance key: the frame's window class.
inline constexpr const char* kFrameClassName = "TALVINOR_FRAME_WINDOW_CLASS";

// Where the application's instance lives and how it behaves; the defaults
// are the program's. Tests and a second, separate instance use their own
// names so that they never meet the user's running Talvinor.
struct ApplicationOptions {
  std::string instanceKey = kFrameClassName;      // the single-instance lock's name
  std::string channelName = kCommandChannelName;  // the command channel's base name
  int sizeClass = -1;                             // the skin's size class; -1: from the screen
  FrameWindow::PageFactory pages;                 // null: the program's pages
  std::function<void(int)> quit;                  // null: end the event loop
  RefPtr<WaveDeviceQuery> devices;                // null: the wave layer's devices (for the repairs)
  std::function<bool()> displayOff;               // the menu's display off; null: the power layer's
  // Puts back the suspend time-outs a killed run left switched off (tests
  // that must not touch the user's registry turn it off).
  bool restorePowerTimeouts = true;
  // How long a second start keeps trying to reach a running instance whose
  // channel is not open (it is starting up or closing down).
  uint32_t forwardWaitMs = 3000;
  // Publish the player to the desktop's media controls (MPRIS); an
  // instance with a key of its own does so under a name of its own.
  bool mediaControls = true;
  // Repair the recordings a crash, a kill or a full disk left unfinished in
  // the recording, call-recording and memo folders, once at start-up.
  bool recoverRecordings = true;
};

// How the start-up ended before the event loop.
enum class StartState {
  NotStarted,     // Init not called yet
  FirstInstance,  // Init succeeded: this process is the running instance
  Forwarded,      // another instance runs; the command line went to it
  Refused,        // a second Init
};

// The application object: one per process. It keeps the single-instance
// lock, the masters of the engine for the whole run, and the frame window;
// it forwards a second start's command line to the running instance; it
// loads and repairs the settings; and it tears the singletons down in their
// fixed order.
class Application : public RefObject {
  TALVINOR_CLASS_CODES(0x1011)

 public:
  static constexpr const wchar_t* kTitle = L"TALVINOR";

  explicit Application(ApplicationOptions options = {});

  // Takes the single-instance key. When another instance holds it, hands it
  // the command line (OnOtherInstance) and fails; a second call fails too.
  bool Init(const std::wstring& commandLine);
  // 0 to end this start, non-zero to go on as the running instance (the
  // other one ended meanwhile). Sends the command line as a second start does.
  virtual int OnOtherInstance();

  // Loads, repairs and fills the settings (a damaged file is reported and
  // the defaults are used), makes the masters and the frame and shows it.
  // False when the frame could not be made. Needs the Qt application.
  bool Start();
  // The event loop; returns its exit code.
  int Run(UiApplication& ui);
  // Every key of the program's windows passes here first; true consumes it.
  bool PreTranslate(const WindowMessage& message);
  // Repairs unfinished recordings in the settings' folders and says so.
  void RecoverRecordings();
  // Releases the frame, the masters and the singletons, in that order, and
  // gives up the single-instance key. Safe to call more than once.
  void Teardown();

  StartState State() const { return m_state; }
  // How the forwarding of a second start went.
  ChannelSendResult ForwardResult() const { return m_forwardResult; }
  const std::wstring& CommandLineText() const { return m_commandLine; }
  FrameWindow* Frame() const { return m_frame.Get(); }
  // The engine's masters, made once by Start and kept until Teardown; every
  // recording, playback and conversion reuses its own.
  RefPtr<CRecWaveIn> RecordingMaster() const { return m_recordingMaster; }
  RefPtr<CRecWaveOut> PlaybackMaster() const { return m_playbackMaster; }
  RefPtr<ConvertMaster> ConversionMaster() const { return m_conversionMaster; }

  // The whole program: the command line from `argv`, a second start's
  // forwarding, the display check, the window and its loop, the teardown.
  // The result is the process's exit code.
  static int Main(int argc, char** argv);

 protected:
  ~Application() override;

 private:
  // The MPRIS name suffix of this instance ("" for the program's own key).
  std::string MediaControlsSuffix() const;
  void LoadSettings();

  ApplicationOptions m_options;
  StartState m_state = StartState::NotStarted;
  std::wstring m_commandLine;
  InstanceLock m_lock;
  ChannelSendResult m_forwardResult = ChannelSendResult::NotOpen;
  RefPtr<FrameWindow> m_frame;
  RefPtr<CRecWaveIn> m_recordingMaster;
  RefPtr<CRecWaveOut> m_playbackMaster;
  RefPtr<ConvertMaster> m_conversionMaster;
  bool m_keyHookInstalled = false;
};

}  // namespace talvinor
