#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "audio/CRecWaveIn.h"
#include "core/RefPtr.h"
#include "recorder/PowerKeeper.h"
#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/LevelMeter.h"
#include "ui/Page.h"
#include "ui/StaticText.h"

namespace talvinor {

class RecCommand;

// The recorder page ("レコーダ"): one of the eight scenes of the settings is
// chosen and recorded with the program's recording master, from the page's
// buttons, its keys (1 start, 2 stop, 3 pause and resume, Enter start) and
// the external rec, stop, pause and restart commands. The page follows the
// master's state notices: controls, status texts, the elapsed time, a live
// input level meter, the frame's title, and the power keeper that keeps the
// machine awake (and the display dark when so set) while it records.
//
// A call recording (a rec command with a call value) waits m_RecTelDelay
// before its master starts, and m_RecTelInfoDelay after its end before the
// file is renamed with the caller's details. Both waits run on timers, so
// the window keeps answering; whatever the page is asked to do meanwhile
// first carries out the step that is waiting, so every step happens in the
// same order as if the page had waited on the spot.
class RecorderPage : public Page {
 public:
  static constexpr int kStartId = 1201;
  static constexpr int kPauseId = 1202;
  static constexpr int kStopId = 1203;
  static constexpr int kElapsedId = 1204;
  static constexpr int kFileNameId = 1205;
  static constexpr int kFormatId = 1206;
  static constexpr int kSceneId = 1207;
  static constexpr int kMeterId = 1208;
  static constexpr uint32_t kStateNotice = 0x8008;  // the recording master's state notices
  static constexpr uint32_t kRefreshTimer = 1;
  static constexpr uint32_t kRefreshMs = 100;
  static constexpr uint32_t kCallStartTimer = 2;   // m_RecTelDelay before a call recording starts
  static constexpr uint32_t kCallRenameTimer = 3;  // m_RecTelInfoDelay before its file is renamed

  static constexpr const wchar_t* kAlreadyRecording = L"既に録音を行っています。";
  static constexpr const wchar_t* kInvalidScene = L"録音シーンが無効です。";
  static constexpr const wchar_t* kNoFolder = L"録音フォルダが存在していません。設定を確認してください。";
  static constexpr const wchar_t* kDuplicateName = L"録音ファイル名が重複しました。";
  static constexpr const wchar_t* kFileNamePrefix = L"名前:";
  static constexpr const wchar_t* kAskPause = L"録音を一時停止します。\r\nよろしいですか？";
  static constexpr const wchar_t* kPauseFailed = L"休止できませんでした。";
  static constexpr const wchar_t* kResumeFailed = L"録音を再開できませんでした。";
  static constexpr const wchar_t* kPauseResumeFailed = L"休止または再開ができませんでした。";
  static constexpr const wchar_t* kAlreadyStopped = L"既に停止しています。";
  static constexpr const wchar_t* kAskStop = L"録音を停止します。\r\nよろしいですか？";
  static constexpr const wchar_t* kResumed = L"録音を再開しました。";
  static constexpr const wchar_t* kStarted = L"録音を開始しました。";
  static constexpr const wchar_t* kEnded = L"録音を終了しました。";
  static constexpr const wchar_t* kCannotOpenFile = L"ファイルを開けません。";
  static constexpr const wchar_t* kFileAccessError = L"ファイルアクセスエラーです。";
  static constexpr const wchar_t* kDeviceUnavailable = L"録音デバイスが使用できません。";
  static constexpr const wchar_t* kErrorCode = L"エラーが発生しました。(CODE:%d)";
  static constexpr const wchar_t* kPaused = L"録音を一時停止しました。";
  static constexpr const wchar_t* kNoCommandSwitch = L"外部コマンドは録音中に機能を変更できません。";
  static constexpr const wchar_t* kAskLeaveForSwitch = L"機能を切り替えるため録音を終了します。\r\nよろしいですか？";
  static constexpr const wchar_t* kAskLeaveForClose =
      L"アプリケーションを終了するため録音を終了します。\r\nよろしいですか？";
  static constexpr const wchar_t* kCommandPauseFailed = L"録音を休止できませんでした。";
  static constexpr const wchar_t* kInitialElapsed = L"00:00:00";
  static constexpr const wchar_t* kCaption = L"TALVINOR";

  // Renames a finished call recording with the caller's details (the
  // master still names its file); true when the file was renamed.
  using CallInfoRename = std::function<bool(CRecWaveIn& master, Page& page)>;
  // The local time a recording is named and dated after.
  using LocalClock = std::function<std::tm()>;
  // Milliseconds recorded, for the elapsed-time label.
  using PositionSource = std::function<uint32_t()>;
  // GetTickCount values, for the meter's hold times.
  using TickSource = std::function<uint32_t()>;

  // `master`: the program's recording master, kept for the page's life.
  // `keeper`: null makes the page's own, allowed to switch the display.
  explicit RecorderPage(RefPtr<CRecWaveIn> master, RefPtr<PowerKeeper> keeper = nullptr);

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void OnActivate() override;
  bool MayLeave(LeaveReason reason) override;
  bool ExecuteCommand(Command* command) override;
  void OnLayout() override;
  bool OnKeyNavigate(const WindowMessage& key) override;
  void OnClose() override;

  // Starts a recording with the selected scene; `call` is the call value
  // of a call recording (0 otherwise). False, with its text, when it could
  // not be started; what happens afterwards arrives as state notices.
  bool StartRecording(uint32_t call);
  // Pauses a running recording or resumes a paused one.
  bool TogglePause();
  // Stops the recording, asking first when `ask` and m_QueryRecStop say so.
  bool StopRecording(bool ask);
  // The master's state notice.
  void OnStateNotice(MasterState now, MasterState before);
  // The refresh timer: the keeper's tick, the elapsed time and the meter.
  void OnTimer();
  // The selected scene's format into the format label.
  void UpdateFormatLine();
  // The eight scenes into the list, m_RecSceneSelect selected.
  void FillSceneList();

  // Where the waiting steps of a call recording stand.
  bool IsCallStartWaiting() const { return m_startWaiting; }
  bool IsCallRenameWaiting() const { return m_renameWaiting; }
  uint32_t CallValue() const { return m_call; }
  bool IsToggleRecording() const { return m_toggle; }

  // The hook for renaming a call recording; by default there is nothing to
  // rename with, and the file keeps its name.
  void SetCallInfoRename(CallInfoRename rename) { m_renameWithCallInfo = std::move(rename); }
  void SetLocalClock(LocalClock clock) { m_clock = std::move(clock); }
  void SetPositionSource(PositionSource position) { m_position = std::move(position); }
  void SetTickSource(TickSource ticks) { m_ticks = std::move(ticks); }

  Button* StartButton() const { return m_start.Get(); }
  Button* PauseButton() const { return m_pause.Get(); }
  Button* StopButton() const { return m_stop.Get(); }
  StaticText* ElapsedLabel() const { return m_elapsed.Get(); }
  StaticText* FileNameLabel() const { return m_fileName.Get(); }
  StaticText* FormatLabel() const { return m_format.Get(); }
  ComboBox* SceneList() const { return m_scenes.Get(); }
  LevelMeter* Meter() const { return m_meter.Get(); }
  CRecWaveIn* Master() const { return m_master.Get(); }
  PowerKeeper* Keeper() const { return m_keeper.Get(); }

 protected:
  ~RecorderPage() override;

 private:
  bool CreateControls();
  void OnCommand(int id, int code);
  void ExecuteRec(const RecCommand& command);
  // The controls as the master's state asks.
  void FollowState(MasterState state);
  void StartWaitedCall();
  void RenameWaitedCall();
  // Carries out a call recording's waiting step now, before anything else
  // the page is asked to do.
  void CatchUp();
  bool Confirm(const wchar_t* text);
  // A status text in the frame's message area (and the trace).
  void Tell(ColorRef colour, const std::wstring& text);
  bool IsClosed() const;
  std::tm LocalNow() const;
  uint32_t Now() const;

  const RefPtr<CRecWaveIn> m_master;
  const RefPtr<PowerKeeper> m_keeper;
  RefPtr<Button> m_start;
  RefPtr<Button> m_pause;
  RefPtr<Button> m_stop;
  RefPtr<StaticText> m_elapsed;
  RefPtr<StaticText> m_fileName;
  RefPtr<StaticText> m_format;
  RefPtr<ComboBox> m_scenes;
  RefPtr<LevelMeter> m_meter;
  uint32_t m_lastSecond = 0;   // the elapsed second shown last
  uint32_t m_lastMeterReading = 0;  // the master's count of measured buffers when the meter was fed last
  bool m_toggle = false;       // the running recording was started by a toggling rec command
  uint32_t m_call = 0;         // the call value of the running call recording, 0 otherwise
  bool m_startWaiting = false;  // a call recording's master is set up and waits for its start
  uint32_t m_waitingCall = 0;   // the call value of the waiting start
  bool m_renameWaiting = false;  // a finished call recording waits for its rename
  CallInfoRename m_renameWithCallInfo;
  LocalClock m_clock;
  PositionSource m_position;
  TickSource m_ticks;
};

}  // namespace talvinor
