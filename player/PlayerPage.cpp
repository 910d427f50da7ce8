#include "player/PlayerPage.h"

#include <algorithm>
#include <cstdarg>
#include <cerrno>

#include "codec/CodecFactory.h"
#include "codec/ContentProbe.h"
#include "codec/PlaybackFilterChoice.h"
#include "command/Command.h"
#include "core/ProgramPaths.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "player/InformationText.h"
#include "player/PlayerMediaControls.h"
#include "player/RenameDialog.h"
#include "settings/ConfigStore.h"
#include "ui/MessageBox.h"
#include "ui/MessageFormat.h"
#include "ui/PageLayout.h"
#include "ui/SkinResources.h"

namespace talvinor {

namespace {

constexpr int kButtonIds[10] = {PlayerPage::kPlay,      PlayerPage::kPause,     PlayerPage::kStop,
                                PlayerPage::kSwitchView, PlayerPage::kForward5, PlayerPage::kForward30,
                                PlayerPage::kForward300, PlayerPage::kBack5,    PlayerPage::kBack30,
                                PlayerPage::kBack300};

// Skip offsets in seconds of the buttons 1111 to 1116 and the keys "4" to "9".
constexpr int kSkipSeconds[6] = {5, 30, 300, -5, -30, -300};

constexpr uint32_t kPauseWaitMs = 1000;
constexpr uint32_t kPausePollMs = 100;

bool IsFolder(const std::wstring& path) {
  uint32_t attributes = 0;
  return GetFileAttributes(path, &attributes) && (attributes & kAttrDirectory);
}

// A name that would leave the folder or cannot name a file in it.
bool IsUsableName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find(L'/') == std::wstring::npos &&
         name.find(L'\0') == std::wstring::npos;
}

}  // namespace

PlayerPage::PlayerPage(const PageContext& context, RefPtr<PowerKeeper> keeper)
    : m_master(context.playbackMaster ? context.playbackMaster : talvinor::Create<CRecWaveOut>()),
      m_keeper(keeper ? keeper : talvinor::Create<PowerKeeper>(0)) {}

PlayerPage::~PlayerPage() = default;

void PlayerPage::Notice(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = FormatMessageTextV(kMessageTextLimit, format, args);
  va_end(args);
  Trace("PlayerPage - %s\r\n", WideToUtf8(text).c_str());
  ShowMessageText(text, kNoticeColour);
  if (m_messageObserver) m_messageObserver(text, false);
}

void PlayerPage::Error(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring text = FormatMessageTextV(kMessageTextLimit, format, args);
  va_end(args);
  Trace("PlayerPage - error: %s\r\n", WideToUtf8(text).c_str());
  ShowMessageText(text, kErrorColour);
  if (m_messageObserver) m_messageObserver(text, true);
}

Button* PlayerPage::ButtonOf(int id) const {
  for (int i = 0; i < 10; ++i)
    if (kButtonIds[i] == id) return m_buttons[i].Get();
  return nullptr;
}

bool PlayerPage::CreateControls() {
  const uint32_t child = kWsChild | kWsVisible;
  for (int i = 0; i < 10; ++i) {
    m_buttons[i] = talvinor::Create<Button>();
    if (!m_buttons[i]->Create(L"", child | kWsTabStop | kBsOwnerDraw, {}, this, kButtonIds[i])) return false;
  }
  m_position = talvinor::Create<StaticText>();
  m_slash = talvinor::Create<StaticText>();
  m_length = talvinor::Create<StaticText>();
  if (!m_position->Create(L"00:00:00", child | kSsCenter | kSsCenterImage, {}, this, kPosition) ||
      !m_slash->Create(L"/", child | kSsCenter | kSsCenterImage, {}, this, kSlash) ||
      !m_length->Create(L"00:00:00", child | kSsCenter | kSsCenterImage, {}, this, kLength))
    return false;
  m_slider = talvinor::Create<SeekSlider>();
  if (!m_slider->Create(L"", child | kWsTabStop | kTbsNoTicks | kTbsFixedLength, {}, this, kSlider)) return false;
  m_slider->SetRange(0, 0, false);
  m_slider->SetPos(0);
  m_filter = talvinor::Create<ComboBox>();
  if (!m_filter->Create(L"", child | kWsTabStop | kCbsDropDownList, {}, this, kFilter)) return false;
  for (uint32_t i = 0; i < kFilterChoiceCount; ++i) m_filter->AddString(kFilterChoices[i].label, i);
  m_filter->SetCurSel(0);
  m_info = talvinor::Create<Edit>();
  if (!m_info->Create(L"", kWsChild | kWsTabStop | kWsVScroll | kEsMultiLine | kEsReadOnly | kEsAutoVScroll, {}, this,
                      kInformation))
    return false;
  m_list = talvinor::Create<FileListView>();
  if (!m_list->CreateList(this, {})) return false;
  m_roots = talvinor::Create<StorageRootCombo>();
  if (!m_roots->CreateButton(this, {})) return false;
  m_folderText = talvinor::Create<Edit>();
  if (!m_folderText->Create(L"", child | kEsReadOnly | kEsAutoHScroll, {}, this, kFolder)) return false;
  m_folderText->SetLimitText(260);

  m_contextMenu = talvinor::Create<Menu>();
  m_contextMenu->SetOwner(this);
  m_contextMenu->AppendItem(kMenuRename, L"ファイル名を変更");
  m_contextMenu->AppendItem(kMenuDelete, L"ファイルを削除");

  UpdateButtons(MasterState::Closed);
  // The recording folder, else the program folder.
  // An empty setting names no folder (it is not the root).
  std::wstring folder = GetConfig()->m_RecPath;
  if (folder.empty() || !m_list->SetFolder(folder)) {
    std::wstring program;
    if (GetProgramFolder(&program)) m_list->SetFolder(program);
  }
  UpdateFolderText();
  m_list->Refill();
  OnLayout();
  return true;
}

void PlayerPage::ApplyColumnWidths() {
  RefPtr<PageLayout> layout = PageLayout::Get(SkinPage::Player);
  const int name = layout->Metric(SkinMetric::ListColumnName);
  const int size = layout->Metric(SkinMetric::ListColumnSize);
  const int date = layout->Metric(SkinMetric::ListColumnDate);
  if (name > 0) m_list->SetColumnWidth(FileListView::kColumnName, name);
  if (size > 0) m_list->SetColumnWidth(FileListView::kColumnSize, size);
  if (date > 0) m_list->SetColumnWidth(FileListView::kColumnDate, date);
}

void PlayerPage::OnLayout() {
  if (!m_list) return;
  PageLayout::Get(SkinPage::Player)->Apply(this, m_viewMode);
  ApplyColumnWidths();
}

intptr_t PlayerPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmCreate:
      return CreateControls() ? 0 : -1;
    case kWmSize:
      OnLayout();
      return 0;
    case kWmCommand:
      OnCommand(static_cast<int>(LowWord(wParam)), static_cast<int>(HighWord(wParam)));
      return 0;
    case kWmNotify:
      return lParam ? OnNotify(*reinterpret_cast<const ControlNotify*>(lParam)) : 0;
    case kWmTimer:
      if (wParam == kTimerId) {
        m_keeper->Tick();
        UpdateTimeDisplay();
        return 0;
      }
      break;
    case kWmPlayNotify:
      OnStateNotice(LowWord(wParam), HighWord(wParam));
      return 0;
    default:
      break;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

void PlayerPage::OnCommand(int id, int code) {
  switch (id) {
    case kPlay:
    case kPause:
    case kStop:
    case kForward5:
    case kForward30:
    case kForward300:
    case kBack5:
    case kBack30:
    case kBack300:
      if (code != kBnClicked) return;
      if (id == kPlay) Play();
      if (id == kPause) PauseOrResume();
      if (id == kStop) Stop();
      if (id >= kForward5 && id <= kBack300) Skip(kSkipSeconds[id - kForward5]);
      FocusAfterButton();
      return;
    case kSwitchView:
      if (code == kBnClicked) SwitchViewMode();
      return;
    case kFilter:
      if (code == kCbnSelChange) ChangeFilter();
      return;
    case kRoots: {
      std::wstring folder;
      if (m_roots->DropDown(&folder)) OpenStorageRoot(folder);
      return;
    }
    case kMenuDelete:
    case kMenuRename:
    case kMenuShowAll:
    case kMenuSwitchView:
      OnMenuCommand(id, code);
      return;
    default:
      return;
  }
}

void PlayerPage::OnMenuCommand(int id, int) {
  switch (id) {
    case kMenuDelete: Delete(); return;
    case kMenuRename: Rename(); return;
    case kMenuShowAll: ToggleShowAllFiles(); return;
    case kMenuSwitchView: SwitchViewMode(); return;
    default: return;
  }
}

intptr_t PlayerPage::OnNotify(const ControlNotify& notify) {
  if (notify.controlId == kSlider) {
    switch (notify.code) {
      case kSeekDragBegin:
        if (m_master->IsState(MasterState::Running)) {
          if (m_master->Pause() && WaitPaused()) {
            m_resumeAfterDrag = true;
          } else {
            Error(L"休止できませんでした。");
          }
        }
        m_master->Seek(static_cast<uint32_t>(std::max(m_slider->GetPos(), 0)) * 10);
        UpdateTimeDisplay();
        return 0;
      case kSeekDragEnd:
        if (m_resumeAfterDrag) m_master->Resume();
        m_resumeAfterDrag = false;
        return 0;
      case kSeekPositionChanged:
        m_master->Seek(static_cast<uint32_t>(std::max(m_slider->GetPos(), 0)) * 10);
        UpdateTimeDisplay();
        return 0;
      default:
        return 0;
    }
  }
  if (notify.controlId == kList) {
    switch (notify.code) {
      case FileListView::kFolderChanged:
        UpdateFolderText();
        return 0;
      case kNmDblClk:
        m_list->OpenSelectedFolder();
        return 0;
      case kLvnColumnClick:
        m_list->SortByColumn(notify.subItem);
        return 0;
      case kGnContextMenu:
        if (notify.item != ListView::kNone) {
          m_list->SelectItem(notify.item);
          ShowContextMenu(notify.x, notify.y);
        }
        return 0;
      default:
        return 0;
    }
  }
  return 0;
}

void PlayerPage::ShowContextMenu(int x, int y) {
  const Rect place = m_list->GetRect();
  m_contextMenu->Track(this, place.x + x, place.y + y, true);
}

void PlayerPage::FocusAfterButton() {
  if (m_viewMode == 1) {
    m_list->SetFocus();
  } else {
    m_info->SetFocus();
  }
}

void PlayerPage::UpdateFolderText() {
  if (!m_folderText) return;
  const std::wstring& folder = m_list->CurrentFolder();
  m_folderText->SetText(FileListView::IsRootFolder(folder) ? std::wstring(kRootText) : folder);
}

bool PlayerPage::WaitPaused() { return m_master->WaitForState(MasterState::Paused, kPauseWaitMs, kPausePollMs); }

void PlayerPage::Play() { PlayFile(nullptr); }

void PlayerPage::PlayFile(const std::wstring* file) {
  Button* play = ButtonOf(kPlay);
  play->Enable(false);
  struct Reenable {
    Button* button;
    ~Reenable() { button->Enable(true); }
  } reenable{play};

  if (!m_master->IsState(MasterState::Closed) && !m_master->Close()) {
    Error(L"停止できません。");
    return;
  }
  std::wstring path;
  if (file) {
    path = *file;
  } else if (!m_list->GetSelectedPath(&path)) {
    Error(L"音声ファイルが選択されていません。");
    return;
  }
  m_master->SetNotify(Id(), kWmPlayNotify, 0);
  m_master->Seek(0);
  RefPtr<AudioSource> source = CreateFileSource(ProbeFileContent(path));
  if (!source) {
    Error(IsFolder(path) ? L"音声ファイルが選択されていません。" : L"再生できないファイル形式です。");
    return;
  }
  if (m_master->Setup(GetConfig()->m_WaveOutId, path, source)) {
    if (!m_master->Start()) Trace("PlayerPage::Play - the master did not start \"%s\"\r\n", WideToUtf8(path).c_str());
  } else {
    Trace("PlayerPage::Play - the master refused \"%s\"\r\n", WideToUtf8(path).c_str());
  }
}

void PlayerPage::PauseOrResume() {
  Button* pause = ButtonOf(kPause);
  if (m_master->IsState(MasterState::Running)) {
    if (m_master->Pause()) {
      pause->SetToggled(true);
    } else {
      pause->SetToggled(false);
      Error(L"休止できませんでした。");
    }
  } else if (m_master->IsState(MasterState::Paused)) {
    if (!m_master->Resume()) Error(L"再生を再開できませんでした。");
    pause->SetToggled(false);
  } else {
    Error(L"休止または再開ができませんでした。");
    pause->SetToggled(false);
  }
  pause->Redraw();
}

bool PlayerPage::PauseIfPlaying() {
  if (!m_master->IsState(MasterState::Running) || !m_master->Pause()) return false;
  ButtonOf(kPause)->SetToggled(true);
  return true;
}

bool PlayerPage::ResumeIfPaused() {
  if (!m_master->IsState(MasterState::Paused) || !m_master->Resume()) return false;
  ButtonOf(kPause)->SetToggled(false);
  return true;
}

void PlayerPage::Stop() {
  if (m_master->IsState(MasterState::Closed)) {
    Notice(L"既に停止しています。");
    return;
  }
  m_master->Close();
}

void PlayerPage::Skip(int seconds) { SkipMilliseconds(static_cast<int64_t>(seconds) * 1000); }

void PlayerPage::SkipMilliseconds(int64_t offset) {
  bool wasPlaying = false;
  if (m_master->IsState(MasterState::Running)) {
    if (!m_master->Pause() || !WaitPaused()) {
      Error(L"休止できませんでした。");
      return;
    }
    wasPlaying = true;
  }
  const int64_t length = m_master->GetLength();
  const int64_t target = static_cast<int64_t>(m_master->GetPosition()) + offset;
  bool beyondEnd = false;
  if (target < 1) {
    m_master->Seek(0);
  } else if (target > length) {
    // The last millisecond: the file stays paused at its end.
    m_master->Seek(static_cast<uint32_t>(std::max<int64_t>(length - 1, 0)));
    beyondEnd = true;
  } else {
    m_master->Seek(static_cast<uint32_t>(target));
  }
  if (wasPlaying && !beyondEnd) m_master->Resume();
  UpdateTimeDisplay();
}

void PlayerPage::UpdateTimeDisplay() {
  const uint32_t position = m_master->GetPosition();
  const int second = static_cast<int>(position / 1000);
  if (second != m_lastShownSecond) {
    m_lastShownSecond = second;
    m_position->SetText(FormatClock(position));
  }
  m_slider->SetPos(static_cast<int>(position / 10));
}

void PlayerPage::ChangeFilter() {
  const int selected = m_filter->GetCurSel();
  const intptr_t choice = selected == ComboBox::kNone ? 0 : m_filter->GetItemData(selected);
  if (!m_master->ClearFilters()) {
    Error(L"再生フィルタを変更できない状態です。");
    m_filter->SetCurSel(m_filter->FindItemData(m_filterChoice));
    return;
  }
  if (!ApplyFilterChoice(m_master.Get(), static_cast<FilterChoice>(choice))) {
    Error(L"再生フィルタを変更できない状態です。");
    m_filter->SetCurSel(m_filter->FindItemData(m_filterChoice));
    return;
  }
  m_filterChoice = static_cast<int>(choice);
}

void PlayerPage::SwitchViewMode() {
  Button* view = ButtonOf(kSwitchView);
  view->Enable(false);
  m_viewMode = m_viewMode == 1 ? 2 : 1;
  OnLayout();
  view->Enable(true);
  if (Host()) Host()->FocusDefaultControl();
}

void PlayerPage::UpdateButtons(MasterState state) {
  Button* pause = ButtonOf(kPause);
  Button* stop = ButtonOf(kStop);
  if (state == MasterState::Running) {
    stop->Enable(true);
    pause->Enable(true);
    pause->SetToggled(false);
  } else if (state == MasterState::Closed) {
    stop->Enable(false);
    pause->Enable(false);
    pause->SetToggled(false);
  } else if (state == MasterState::Paused) {
    stop->Enable(true);
    pause->Enable(true);
    pause->SetToggled(true);
  }
}

void PlayerPage::OnStateNotice(uint32_t newState, uint32_t oldState) {
  const MasterState now = static_cast<MasterState>(newState);
  UpdateButtons(now);
  if (Window* focused = Window::FocusedWindow(); focused && focused->Parent() == this &&
                                                  (!focused->IsEnabled() || !focused->IsVisible())) {
    if (Host()) Host()->FocusDefaultControl();
  }
  if (now == MasterState::Running) {
    m_stopMessageSuppressed = false;
    Notice(static_cast<MasterState>(oldState) == MasterState::Resuming ? L"再生を再開しました。"
                                                                            : L"再生を開始しました。");
    const uint32_t length = m_master->GetLength();
    m_length->SetText(FormatClock(length));
    m_slider->SetRange(0, static_cast<int>(length / 10), true);
    m_slider->SetPageSize(std::max<int>(static_cast<int>(length / 200), 1));
    ShowInformation();
    if (Host()) Host()->UpdateTitle();
    SetTimer(kTimerId, kTimerMs);
    m_timerRunning = true;
    m_keeper->Begin();
    m_keeperRunning = true;
  } else if (now == MasterState::Closed) {
    OnStopped();
  } else if (now == MasterState::Paused) {
    Notice(static_cast<MasterState>(oldState) == MasterState::EndPausing ? L"終わりまで再生しました。"
                                                                              : L"再生を一時停止しました。");
    KillTimer(kTimerId);
    m_timerRunning = false;
    if (!m_resumeAfterDrag) UpdateTimeDisplay();
  }
  if (m_media) m_media->OnPlaybackChanged();
  if (m_listener) m_listener();
}

std::wstring PlayerPage::StopMessage(StopReason reason, bool* error) {
  *error = true;
  switch (reason) {
    case StopReason::ByOwner:
      *error = false;
      return L"再生を停止しました。";
    case StopReason::EndOfStream:
      *error = false;
      return L"終わりまで再生しました。";
    case StopReason::FileOpen:
      return L"ファイルを開けません。";
    case StopReason::FileRead:
    case StopReason::FileSeek:
      return L"ファイルアクセスエラーです。";
    case StopReason::MalformedStream:
      return L"再生できないファイル形式です。";
    case StopReason::DeviceFailure:
      return L"再生デバイスが使用できません。";
    default:
      return FormatMessageText(L"エラーが発生しました。(CODE:%d)", static_cast<int>(StopCode(reason)));
  }
}

void PlayerPage::OnStopped() {
  if (!m_master->IsState(MasterState::Closed)) {
    // The notice of a run that Play closed to start the next one: the new
    // run's stop reason is not this run's, and its own notices follow.
    m_stopMessageSuppressed = false;
    return;
  }
  const StopReason reason = m_master->GetStopReason();
  bool error = false;
  const std::wstring text = StopMessage(reason, &error);
  if (error) {
    Error(L"%ls", text.c_str());
  } else if (!m_stopMessageSuppressed) {
    Notice(L"%ls", text.c_str());
  }
  m_stopMessageSuppressed = false;
  m_length->SetText(L"00:00:00");
  m_info->SetText(L"");
  m_slider->SetRange(0, 0, true);
  m_slider->SetPageSize(0);
  if (Host()) Host()->UpdateTitle();
  KillTimer(kTimerId);
  m_timerRunning = false;
  if (m_keeperRunning) {
    m_keeper->End();
    m_keeperRunning = false;
  }
  UpdateTimeDisplay();
}

void PlayerPage::ShowInformation() {
  InformationSource info;
  m_master->GetFileName(&info.path);
  RefPtr<AudioSource> source = m_master->GetSource();
  if (source && m_master->GetFormat(&info.format)) {
    info.hasFormat = true;
    info.sourceCode = source->GetTypeCode();
    info.lengthMs = m_master->GetLength();
  }
  if (source) info.tags = GetComponentTags(source.Get());
  m_info->SetText(BuildInformationText(info));
}

void PlayerPage::ToggleShowAllFiles() {
  m_showAll = !m_showAll;
  m_list->SetPattern(m_showAll ? L"" : FileListView::kDefaultPattern);
  std::wstring name;
  const bool hasName = m_list->GetSelectedName(&name);
  m_list->Refill(hasName ? &name : nullptr);
}

void PlayerPage::OpenStorageRoot(const std::wstring& folder) {
  if (!m_list->SetFolder(folder)) {
    Error(L"選択したフォルダは存在しません。");
    return;
  }
  m_list->Refill();
}

void PlayerPage::StopIfPlaying(const std::wstring& path) {
  if (m_master->IsState(MasterState::Closed)) return;
  std::wstring playing;
  m_master->GetFileName(&playing);
  if (playing != path) return;
  m_stopMessageSuppressed = true;
  m_master->Close();
}

bool PlayerPage::SelectedFile(const wchar_t* folderError, std::wstring* name, std::wstring* path) {
  if (!m_list->GetSelectedName(name) || !m_list->GetSelectedPath(path)) {
    Error(L"ファイルが選択されていません。");
    return false;
  }
  uint32_t attributes = 0;
  if (!GetFileAttributes(*path, &attributes) || (attributes & kAttrDirectory) || *name == FileListView::kUpName) {
    Error(L"%ls", folderError);
    return false;
  }
  return true;
}

void PlayerPage::Rename() {
  std::wstring name;
  std::wstring path;
  if (!SelectedFile(L"フォルダ名は変更できません。", &name, &path)) return;
  std::wstring newName;
  if (!RenameDialog::Ask(this, name, &newName)) return;
  if (newName == name) {
    Error(L"ファイル名に変更がありません。");
    return;
  }
  // A name with a separator would move the file into another folder, and
  // "." or ".." would name a folder: neither is a rename.
  if (!IsUsableName(newName)) {
    Error(L"名前を変更できませんでした。(%d)", EINVAL);
    return;
  }
  StopIfPlaying(path);
  const int error = MoveFileNoReplace(path, JoinPath(m_list->CurrentFolder(), newName));
  if (error != 0) {
    Error(L"名前を変更できませんでした。(%d)", error);
    return;
  }
  Notice(L"名前を %ls にしました。", newName.c_str());
  m_list->Refill(&newName);
}

void PlayerPage::Delete() {
  std::wstring name;
  std::wstring path;
  if (!SelectedFile(L"フォルダは削除できません。", &name, &path)) return;
  const WindowId owner = Host() ? Host()->FrameId() : Id();
  if (MessageBox::Show(owner, name + L" を削除します。\r\nよろしいですか？", L"TALVINOR",
                       kMbYesNo | kMbIconQuestion | kMbDefButton2) != kIdYes)
    return;
  StopIfPlaying(path);
  const int error = DeleteFile(path);
  if (error != 0) {
    Error(L"削除できませんでした。(%d)", error);
    return;
  }
  Notice(L"%ls を削除しました。", name.c_str());
  m_list->Refill();
}

int PlayerPage::NeighbourRow(int offset) const {
  const int count = m_list->GetItemCount();
  if (count == 0 || offset == 0) return ListView::kNone;
  const int selected = m_list->GetSelectedItem();
  const int step = offset > 0 ? 1 : -1;
  int item = selected == ListView::kNone ? (step > 0 ? -1 : count) : selected;
  for (int left = offset > 0 ? offset : -offset; left > 0;) {
    item += step;
    if (item < 0 || item >= count) return ListView::kNone;
    const std::wstring name = m_list->GetItemText(item, FileListView::kColumnName);
    if (name == FileListView::kUpName || IsFolder(JoinPath(m_list->CurrentFolder(), name))) continue;
    --left;
  }
  return item;
}

bool PlayerPage::HasNeighbour(int offset) const { return NeighbourRow(offset) != ListView::kNone; }

bool PlayerPage::PlayNeighbour(int offset) {
  const int item = NeighbourRow(offset);
  if (item == ListView::kNone) return false;
  m_list->SelectItem(item);
  m_list->EnsureVisible(item);
  Play();
  return true;
}

bool PlayerPage::StartMediaControls(const std::string& nameSuffix, std::string* error) {
  m_media = std::make_unique<PlayerMediaControls>(this);
  if (!m_media->Start(nameSuffix, error)) {
    m_media.reset();
    return false;
  }
  return true;
}

void PlayerPage::OnActivate() {
  std::wstring name;
  const bool hasName = m_list->GetSelectedName(&name);
  m_list->Refill(hasName ? &name : nullptr);
  if (m_viewMode != 1) {
    m_viewMode = 1;
    OnLayout();
  }
}

bool PlayerPage::MayLeave(LeaveReason) {
  if (!m_master->IsState(MasterState::Closed)) m_master->Close();
  return true;
}

bool PlayerPage::ExecuteCommand(Command* command) {
  if (!command) return false;
  if (command->IsKindOf(PlayCommand::kTypeCode)) {
    const std::wstring& src = static_cast<PlayCommand*>(command)->src;
    std::wstring selected;
    if (m_list->SelectPath(src)) {
      const int item = m_list->GetSelectedItem();
      if (item != ListView::kNone) m_list->EnsureVisible(item);
    }
    // The file itself is played even when the list does not show it (a
    // name the filter hides, a hidden file): never whatever row happens to
    // be selected instead.
    if (m_list->GetSelectedPath(&selected) && selected == src) {
      Play();
    } else if (FileExists(src)) {
      PlayFile(&src);
    } else {
      Error(L"ファイルを開けません。");
    }
    return true;
  }
  if (command->IsKindOf(StopCommand::kTypeCode)) {
    Stop();
    return true;
  }
  if (command->IsKindOf(PauseCommand::kTypeCode)) {
    if (!m_master->Pause()) Error(L"再生を休止できませんでした。");
    return true;
  }
  if (command->IsKindOf(RestartCommand::kTypeCode)) {
    if (!m_master->Resume()) Error(L"再生を再開できませんでした。");
    return true;
  }
  return false;
}

bool PlayerPage::ContributeToolsMenu(Menu* tools) {
  if (!tools) return false;
  tools->AppendItem(kMenuShowAll, L"全ファイル表示");
  tools->CheckItem(kMenuShowAll, m_showAll);
  tools->AppendItem(kMenuSwitchView, L"画面切り替え");
  RefPtr<Menu> file = tools->AppendPopup(L"ファイル");
  file->AppendItem(kMenuRename, L"ファイル名を変更");
  file->AppendItem(kMenuDelete, L"ファイルを削除");
  return true;
}

bool PlayerPage::OnKeyNavigate(const WindowMessage& key) {
  if (!m_list) return true;
  const bool listFocused = key.window == m_list->Id();
  const bool infoFocused = key.window == m_info->Id();
  if (key.wParam == kVkUp) {
    if (listFocused && m_list->GetSelectedItem() == 0) return false;
    if (infoFocused && m_info->IsCaretOnFirstLine()) return false;
    return true;
  }
  if (key.wParam == kVkDown) {
    if (listFocused && m_list->GetSelectedItem() == m_list->GetItemCount() - 1) return false;
    if (infoFocused && m_info->IsCaretOnLastLine()) return false;
    return true;
  }
  if (key.message != kWmKeyDown || (key.lParam & kKeyRepeatBit)) return true;
  switch (key.wParam) {
    case kVkReturn:
      if (!listFocused) return true;
      [[fallthrough]];
    case '1':
      if (!m_list->OpenSelectedFolder()) Play();
      return false;
    case '2':
      Stop();
      return false;
    case '3':
      PauseOrResume();
      return false;
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      Skip(kSkipSeconds[key.wParam - '4']);
      return false;
    case kVkF8:
    case kVkOem7:
      SwitchViewMode();
      return false;
    case kVkDelete:
      if (!listFocused) return true;
      Delete();
      return false;
    case kVkF2:
      if (!listFocused) return true;
      Rename();
      return false;
    default:
      return true;
  }
}

void PlayerPage::OnClose() {
  m_media.reset();
  KillTimer(kTimerId);
  m_timerRunning = false;
  m_listener = nullptr;
  if (m_master) {
    if (!m_master->IsState(MasterState::Closed)) m_master->Close();
    m_master->SetNotify(0, 0, 0);
  }
  if (m_keeperRunning) {
    m_keeper->End();
    m_keeperRunning = false;
  }
}

}  // namespace talvinor
