#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "settings/Config.h"
#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Edit.h"
#include "ui/Page.h"
#include "ui/SceneFormat.h"
#include "ui/StaticText.h"

class QScrollArea;
class QWidget;

namespace talvinor {

// The settings page ("設定"): a tall scrolling form of ten groups through
// which the user edits a working copy of the settings, the eight recording
// scenes included. Nothing reaches the live settings until the user leaves
// the page and agrees to apply. The page also writes and removes the
// recording-starter launcher.
class SettingsPage : public Page {
  TALVINOR_CLASS_CODES(0x4700, 0x4100, 0x4000)

 public:
  enum ControlIds {
    kScene = 1411, kCodec, kHigh, kMiddle, kLow, kCustom, kFormat, kQualityLabel, kVorbisQuality,
    kSpeexQuality, kComplexityLabel, kComplexity, kDenoise, kVad, kDtx, kCallScene,
    kRecFolder = 1431, kRecFolderButton, kCallFolder, kCallFolderButton,
    kMemoFolder = 1441, kMemoFolderButton, kMemoQuality = 1443,
    kInputDevice = 1448, kOutputDevice,
    kNoPrevention = 1451, kCounterReset, kDummyKey, kPowerSwitch, kScreenOffAtStart, kAutoScreenOff,
    kScreenOffInterval,
    kQueryClose = 1461, kQueryChange, kQueryStop, kQueryPause,
    kDialKey = 1471, kTelStart, kTelStop, kTelInfoInName, kTelInfoInTag,
    kSkin = 1481, kSkinNote,
    kCreateLauncher = 1491, kRemoveLauncher,
  };
  static constexpr const wchar_t* kLauncherName = L"TALVINOR STARTER";
  static constexpr const char* kLauncherArguments = "/cmd:rec /toggle:1 /scene:1";
  static constexpr const wchar_t* kLeaveQuestion = L"設定が変更されています。\r\n適用してよろしいですか？";
  static constexpr const wchar_t* kApplied = L"変更した設定を適用しました。";
  static constexpr const wchar_t* kSaveFailed =
      L"設定ファイルに保存できませんでした。変更はこの実行中だけ有効です。";
  static constexpr const wchar_t* kReverted = L"設定を元に戻しました。";
  static constexpr const wchar_t* kAskFailed = L"設定の問い合わせで失敗しました。";

  // Drops the folder menu down under `anchor` with the working copy's
  // folders; the chosen folder, or false when dismissed.
  using FolderMenu = std::function<bool(Window* anchor, RefPtr<CONFIG> working, std::wstring* folder)>;
  void SetFolderMenu(FolderMenu menu) { m_folderMenu = std::move(menu); }

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void OnActivate() override;
  bool MayLeave(LeaveReason reason) override;
  void OnLayout() override;
  bool OnKeyNavigate(const WindowMessage& key) override;

  // The working copy, the scene being edited and whether anything changed.
  CONFIG* Working() const { return m_working.Get(); }
  CONFIG_SCENE* EditedScene() const;
  bool IsChanged() const { return m_changed; }
  // The launcher's path in the applications folder (UTF-8; empty when
  // there is no such folder).
  static std::string LauncherPath();
  void CreateLauncher();
  void RemoveLauncher();

  // The page's controls, for tests.
  Window* Control(int id) const;
  ComboBox* List(int id) const;
  Button* ButtonOf(int id) const;
  // How far the form is scrolled, and its full height.
  int ScrollOffset() const;
  int FormHeight() const { return m_formHeight; }
  // Scrolls so that `control` is wholly in view.
  void ScrollIntoView(Window* control);

  // The scrolled form the controls sit on.
  QWidget* ClientWidget() const override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  enum class RowKind {
    GroupStart,    // a: the group frame
    Full,          // a: one control across the row
    Labelled,      // a: caption, b: control beside it
    FolderButton,  // a: edit, b: its folder button
    TwoButtons,    // a and b side by side
    GroupEnd,
  };
  struct Row {
    RowKind kind;
    int a = 0;
    int b = 0;
  };
  bool CreateControls();
  template <typename T>
  T* Add(const std::wstring& text, uint32_t style, int id);
  void LoadWorkingCopy();
  void FillDevices();
  void ShowConfig();
  void ShowScene();
  void FillFormatList();
  void OnCommand(int id, int code);
  void ChooseFolder(int button);
  void Changed() { m_changed = true; }
  uint32_t InputCapabilities() const;
  void Lay();
  int FitCaption(Window* control, int width);
  static int WidestItem(Window* control);
  std::vector<Window*> FocusOrder() const;

  RefPtr<CONFIG> m_working;
  int m_sceneIndex = 0;
  bool m_changed = false;
  bool m_filling = false;  // the program fills controls: no change
  std::vector<FormatChoice> m_offered;
  std::vector<RefPtr<Window>> m_controls;  // every control, in form order
  std::map<int, std::wstring> m_captions;  // check box and radio captions before any line breaks
  std::vector<Row> m_rows;                 // the form's rows, top to bottom
  FolderMenu m_folderMenu;
  int m_formHeight = 0;
  QWidget* m_content = nullptr;  // the scrolled form, owned by the page's widget
  QScrollArea* m_scroll = nullptr;
};

}  // namespace talvinor
