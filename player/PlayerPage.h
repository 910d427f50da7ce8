#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/CRecWaveOut.h"
#include "recorder/PowerKeeper.h"
#include "player/FileListView.h"
#include "player/StorageRootCombo.h"
#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Edit.h"
#include "ui/Menu.h"
#include "ui/Page.h"
#include "ui/PageContext.h"
#include "ui/SeekSlider.h"
#include "ui/StaticText.h"

namespace talvinor {

class PlayerMediaControls;

// What the page tells whoever follows its playback (the desktop's media
// controls) after every change of state.
using PlaybackListener = std::function<void()>;

// The player page ("プレイヤ"): a folder list to choose from, the buttons,
// keys and external commands that play, pause, skip, seek and stop through
// the playback master, the listening filters, and the information view with
// the format and tags of the file playing. The master's state notices drive
// everything shown; the page keeps no playback state of its own.
class PlayerPage : public Page {
  TALVINOR_CLASS_CODES(0x4610, 0x4100, 0x4000)

 public:
  static constexpr int kPlay = 1101, kPause = 1102, kStop = 1103, kSwitchView = 1104;
  static constexpr int kForward5 = 1111, kForward30 = 1112, kForward300 = 1113;
  static constexpr int kBack5 = 1114, kBack30 = 1115, kBack300 = 1116;
  static constexpr int kPosition = 1121, kLength = 1122, kSlash = 1123, kSlider = 1124, kFilter = 1125;
  static constexpr int kInformation = 1131, kList = FileListView::kControlId, kRoots = StorageRootCombo::kControlId,
                       kFolder = 1143;
  static constexpr int kMenuDelete = 40031, kMenuRename = 40032, kMenuShowAll = 40033, kMenuSwitchView = 40034;
  static constexpr uint32_t kTimerId = 1;
  static constexpr uint32_t kTimerMs = 100;
  static constexpr wchar_t kRootText[] = L"(ルートディレクトリです)";

  // The keeper defaults to one with flags 0: a player never switches the
  // display off.
  explicit PlayerPage(const PageContext& context, RefPtr<PowerKeeper> keeper = nullptr);
  ~PlayerPage() override;

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void OnActivate() override;
  bool MayLeave(LeaveReason reason) override;
  bool ExecuteCommand(Command* command) override;
  bool ContributeToolsMenu(Menu* tools) override;
  void OnLayout() override;
  void OnMenuCommand(int id, int notifyCode) override;
  bool OnKeyNavigate(const WindowMessage& key) override;
  void OnClose() override;

  // The page's operations, as the buttons, keys, menus and commands use them.
  void Play();
  void PauseOrResume();
  void Stop();
  void Skip(int seconds);
  // A skip by any offset, by the same rules.
  void SkipMilliseconds(int64_t offset);
  void SwitchViewMode();
  void ChangeFilter();
  void ToggleShowAllFiles();
  // The selected row's name and path when it is a file; otherwise says
  // so (`folderError` for a folder or the ".." row) and is false.
  bool SelectedFile(const wchar_t* folderError, std::wstring* name, std::wstring* path);
  void Rename();
  void Delete();
  // A folder chosen from the storage-root menu.
  void OpenStorageRoot(const std::wstring& folder);
  // Plays the file `offset` rows after (or before) the selected one,
  // skipping folders; false when there is none.
  bool PlayNeighbour(int offset);
  bool HasNeighbour(int offset) const;
  // Publishes the page to the desktop's media controls (MPRIS on the
  // session bus); false, traced, when that cannot be done.
  bool StartMediaControls(const std::string& nameSuffix = "", std::string* error = nullptr);
  PlayerMediaControls* MediaControls() const { return m_media.get(); }
  // Pause and resume for the external commands and the media controls.
  bool PauseIfPlaying();
  bool ResumeIfPaused();

  // The message of a stop reason; `*error` says whether it is shown as an
  // error (the others are the notices a rename or delete suppresses).
  static std::wstring StopMessage(StopReason reason, bool* error);

  int ViewMode() const { return m_viewMode; }
  bool ShowsAllFiles() const { return m_showAll; }
  int FilterChoiceShown() const { return m_filterChoice; }
  CRecWaveOut* Master() const { return m_master.Get(); }
  FileListView* List() const { return m_list.Get(); }
  StorageRootCombo* Roots() const { return m_roots.Get(); }
  Edit* Information() const { return m_info.Get(); }
  Edit* FolderText() const { return m_folderText.Get(); }
  StaticText* PositionText() const { return m_position.Get(); }
  StaticText* LengthText() const { return m_length.Get(); }
  SeekSlider* Slider() const { return m_slider.Get(); }
  ComboBox* FilterBox() const { return m_filter.Get(); }
  Button* ButtonOf(int id) const;
  Menu* ContextMenu() const { return m_contextMenu.Get(); }

  // Called after every state notice has been handled.
  void SetPlaybackListener(PlaybackListener listener) { m_listener = std::move(listener); }
  // Sees every message the page shows, after the message area (tests).
  using MessageObserver = std::function<void(const std::wstring& text, bool error)>;
  void SetMessageObserver(MessageObserver observer) { m_messageObserver = std::move(observer); }

 private:
  bool CreateControls();
  void Notice(const wchar_t* format, ...);
  void Error(const wchar_t* format, ...);
  // Plays `file`, or the list's selection when null.
  void PlayFile(const std::wstring* file);
  void OnCommand(int id, int code);
  intptr_t OnNotify(const ControlNotify& notify);
  void OnStateNotice(uint32_t newState, uint32_t oldState);
  void OnStopped();
  void UpdateButtons(MasterState state);
  void UpdateTimeDisplay();
  void UpdateFolderText();
  void ShowInformation();
  void FocusAfterButton();
  void ShowContextMenu(int x, int y);
  bool WaitPaused();
  int NeighbourRow(int offset) const;
  // Stops the playback of `path`, if it plays, without the stop message.
  void StopIfPlaying(const std::wstring& path);
  void ApplyColumnWidths();

  const RefPtr<CRecWaveOut> m_master;
  const RefPtr<PowerKeeper> m_keeper;
  RefPtr<Button> m_buttons[10];
  RefPtr<StaticText> m_position, m_length, m_slash;
  RefPtr<SeekSlider> m_slider;
  RefPtr<ComboBox> m_filter;
  RefPtr<Edit> m_info;
  RefPtr<FileListView> m_list;
  RefPtr<StorageRootCombo> m_roots;
  RefPtr<Edit> m_folderText;
  RefPtr<Menu> m_contextMenu;
  PlaybackListener m_listener;
  MessageObserver m_messageObserver;
  std::unique_ptr<PlayerMediaControls> m_media;

  int m_viewMode = 1;
  bool m_resumeAfterDrag = false;
  bool m_showAll = false;
  bool m_stopMessageSuppressed = false;
  int m_lastShownSecond = 0;
  int m_filterChoice = 0;
  bool m_timerRunning = false;
  bool m_keeperRunning = false;
};

}  // namespace talvinor
