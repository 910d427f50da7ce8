#include "recorder/RecorderPage.h"

#include <algorithm>
#include <cwchar>

#include "codec/StreamTags.h"
#include "command/Command.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "recorder/SceneRecording.h"
#include "settings/ConfigStore.h"
#include "ui/MessageBox.h"
#include "ui/PageLayout.h"
#include "ui/SkinResources.h"

namespace talvinor {

namespace {

constexpr uint32_t kOwnerDrawButton = kWsChild | kWsVisible | kWsTabStop | kBsOwnerDraw;
constexpr uint32_t kConfirmFlags = kMbYesNo | kMbIconQuestion | kMbDefButton2;  // 0x124
constexpr uint32_t kDirectoryAttribute = 0x10;

std::wstring FormatCode(StopReason reason) {
  wchar_t text[96];
  std::swprintf(text, 96, RecorderPage::kErrorCode, static_cast<int>(StopCode(reason)));
  return text;
}

std::wstring ElapsedText(uint32_t ms) {
  wchar_t text[32];
  // Hours are not limited to 24 (nor to two digits).
  std::swprintf(text, 32, L"%02u:%02u:%02u", ms / 3600000u, (ms / 60000u) % 60u, (ms / 1000u) % 60u);
  return text;
}

}  // namespace

RecorderPage::RecorderPage(RefPtr<CRecWaveIn> master, RefPtr<PowerKeeper> keeper)
    : m_master(master ? std::move(master) : talvinor::Create<CRecWaveIn>()),
      m_keeper(keeper ? std::move(keeper) : talvinor::Create<PowerKeeper>(kPowerKeeperDisplaySwitching)),
      m_renameWithCallInfo([](CRecWaveIn&, Page&) { return false; }) {}

RecorderPage::~RecorderPage() = default;

bool RecorderPage::CreateControls() {
  m_start = talvinor::Create<Button>();
  m_pause = talvinor::Create<Button>();
  m_stop = talvinor::Create<Button>();
  m_elapsed = talvinor::Create<StaticText>();
  m_fileName = talvinor::Create<StaticText>();
  m_format = talvinor::Create<StaticText>();
  m_scenes = talvinor::Create<ComboBox>();
  m_meter = talvinor::Create<LevelMeter>();
  // The scene list comes first for the keys' focus walk, then the buttons.
  const bool made =
      m_scenes->Create(L"", kWsChild | kWsVisible | kWsTabStop | kWsVScroll | kCbsDropDownList, {10, 10, 220, 22},
                       this, kSceneId) &&
      m_format->Create(L"", kWsChild | kWsVisible | kSsLeft, {10, 38, 220, 16}, this, kFormatId) &&
      m_elapsed->Create(kInitialElapsed, kWsChild | kWsVisible | kSsCenter, {10, 66, 220, 24}, this, kElapsedId) &&
      m_fileName->Create(L"", kWsChild | kWsVisible | kSsCenter, {10, 100, 220, 16}, this, kFileNameId) &&
      m_meter->Create(L"", kWsChild | kWsVisible, {10, 126, 220, 40}, this, kMeterId) &&
      m_start->Create(L"録音", kOwnerDrawButton, {10, 180, 64, 48}, this, kStartId) &&
      m_pause->Create(L"休止", kOwnerDrawButton, {88, 180, 64, 48}, this, kPauseId) &&
      m_stop->Create(L"停止", kOwnerDrawButton, {166, 180, 64, 48}, this, kStopId);
  if (!made) {
    Trace("RecorderPage::OnCreate - a control could not be made\r\n");
    return false;
  }
  OnLayout();
  FollowState(m_master->GetState());
  return true;
}

intptr_t RecorderPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmCreate:
      return CreateControls() ? 0 : -1;
    case kWmSize:
      OnLayout();
      return 0;
    case kWmCommand:
      OnCommand(static_cast<int>(LowWord(wParam)), static_cast<int>(HighWord(wParam)));
      return 0;
    case kWmTimer:
      if (wParam == kRefreshTimer) {
        OnTimer();
      } else if (wParam == kCallStartTimer) {
        StartWaitedCall();
      } else if (wParam == kCallRenameTimer) {
        RenameWaitedCall();
      }
      return 0;
    case kStateNotice:
      OnStateNotice(static_cast<MasterState>(LowWord(wParam)), static_cast<MasterState>(HighWord(wParam)));
      return 0;
    default:
      break;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

void RecorderPage::OnCommand(int id, int code) {
  CatchUp();
  switch (id) {
    case kStartId:
      if (code == kBnClicked) StartRecording(0);
      break;
    case kPauseId:
      if (code == kBnClicked) TogglePause();
      break;
    case kStopId:
      if (code == kBnClicked) StopRecording(true);
      break;
    case kSceneId:
      if (code == kCbnSelChange) UpdateFormatLine();
      break;
    default:
      break;
  }
}

void RecorderPage::OnActivate() {
  CatchUp();
  FillSceneList();
  UpdateFormatLine();
}

void RecorderPage::OnLayout() {
  RefPtr<SkinResources> skin = SkinResources::Get();
  if (!skin->IsBuilt()) return;
  RefPtr<PageLayout> layout = PageLayout::Get(SkinPage::Recorder);
  layout->Apply(this);
  if (m_meter) {
    // The scale in the labels' colour over the edits' pale ground.
    const PageLayout::Colours& colours = layout->GetColours();
    m_meter->SetColours(colours.text, colours.editBackground, false);
    if (layout->ControlFont(kMeterId) == 0) m_meter->SetFont(skin->Font(3));
  }
}

bool RecorderPage::OnKeyNavigate(const WindowMessage& key) {
  const bool ours = key.wParam == '1' || key.wParam == '2' || key.wParam == '3' ||
                    (key.wParam == kVkReturn && !(m_scenes && m_scenes->HasFocus()));
  if (!ours) return true;
  // Acted on when pressed, not when repeated or released.
  if (key.message == kWmKeyDown && (key.lParam & kKeyRepeatBit) == 0) {
    CatchUp();
    switch (key.wParam) {
      case '1':
      case kVkReturn: StartRecording(0); break;
      case '2': StopRecording(true); break;
      case '3': TogglePause(); break;
      default: break;
    }
  }
  return false;
}

void RecorderPage::FillSceneList() {
  if (!m_scenes) return;
  RefPtr<CONFIG> config = GetConfig();
  m_scenes->ResetContent();
  for (int i = 0; i < kSceneCount; ++i) {
    const RefPtr<CONFIG_SCENE>& scene = config->m_RecSceneList[static_cast<size_t>(i)];
    m_scenes->AddString(scene ? scene->m_Name : std::wstring(), i);
  }
  m_scenes->SetCurSel(static_cast<int>(config->m_RecSceneSelect));
}

void RecorderPage::UpdateFormatLine() {
  if (!m_scenes || !m_format) return;
  const int selected = m_scenes->GetCurSel();
  if (selected == ComboBox::kNone) return;
  const intptr_t index = m_scenes->GetItemData(selected);
  if (index < 0 || index >= kSceneCount) return;
  RefPtr<CONFIG_SCENE> scene = GetConfig()->m_RecSceneList[static_cast<size_t>(index)];
  if (scene) m_format->SetText(SceneFormatLine(*scene));
}

bool RecorderPage::StartRecording(uint32_t call) {
  CatchUp();
  if (!IsClosed()) {
    Tell(kNoticeColour, kAlreadyRecording);
    return false;
  }
  RefPtr<CONFIG> config = GetConfig();
  const int selected = m_scenes ? m_scenes->GetCurSel() : ComboBox::kNone;
  const intptr_t index = selected == ComboBox::kNone ? -1 : m_scenes->GetItemData(selected);
  RefPtr<CONFIG_SCENE> scene =
      index >= 0 && index < kSceneCount ? config->m_RecSceneList[static_cast<size_t>(index)] : nullptr;
  if (!scene) {
    Tell(kNoticeColour, kInvalidScene);
    return false;
  }
  const std::wstring folder = scene->m_RecTelUse == 1 ? config->m_RecTelPath : config->m_RecPath;
  uint32_t attributes = 0;
  if (!GetFileAttributes(folder, &attributes) || (attributes & kDirectoryAttribute) == 0) {
    Tell(kErrorColour, kNoFolder);
    return false;
  }
  const std::tm local = LocalNow();
  const wchar_t* extension = SceneFileExtension(*scene);
  if (!extension) return false;  // a scene without a codec starts nothing and says nothing
  const std::wstring name = RecordingFileName(local, extension);
  const std::wstring path = JoinPath(folder, name);
  if (FileExists(path)) {
    Tell(kErrorColour, kDuplicateName);
    return false;
  }
  if (m_fileName) m_fileName->SetText(kFileNamePrefix + name);

  RefPtr<AudioEncoder> encoder = CreateSceneEncoder(*scene);
  if (!encoder) return false;
  encoder->ClearTags();
  encoder->AddTag(kTagRecorder, kProgramTagValue);
  encoder->AddTag(kTagRecordDate, FormatTagDate(local));

  m_master->SetNotify(Id(), kStateNotice, 0);
  if (!m_master->Setup(config->m_WaveInId, path, encoder)) return false;
  if (call != 0 && config->m_RecTelDelay > 0) {
    // The call's sound path needs a moment; the master starts when the wait
    // is over (or as soon as the page is asked anything else).
    m_startWaiting = true;
    m_waitingCall = call;
    SetTimer(kCallStartTimer, config->m_RecTelDelay);
    return true;
  }
  m_call = m_master->Start() ? call : 0;
  return true;
}

void RecorderPage::StartWaitedCall() {
  KillTimer(kCallStartTimer);
  if (!m_startWaiting) return;
  m_startWaiting = false;
  m_call = m_master->Start() ? m_waitingCall : 0;
  m_waitingCall = 0;
}

void RecorderPage::RenameWaitedCall() {
  KillTimer(kCallRenameTimer);
  if (!m_renameWaiting) return;
  m_renameWaiting = false;
  // The hook for the call information: the recording keeps its plain name
  // unless the hook renames it.
  if (m_renameWithCallInfo) m_renameWithCallInfo(*m_master, *this);
  m_call = 0;
}

void RecorderPage::CatchUp() {
  if (m_startWaiting) StartWaitedCall();
  if (m_renameWaiting) RenameWaitedCall();
}

bool RecorderPage::TogglePause() {
  CatchUp();
  bool done = false;
  if (m_master->IsState(MasterState::Running)) {
    if (GetConfig()->m_QueryRecPause == 1 && !Confirm(kAskPause)) return false;
    done = m_master->Pause();
    if (!done) Tell(kErrorColour, kPauseFailed);
    if (m_pause) m_pause->SetToggled(done);
  } else if (m_master->IsState(MasterState::Paused)) {
    done = m_master->Resume();
    if (!done) Tell(kErrorColour, kResumeFailed);
    if (m_pause) m_pause->SetToggled(false);
  } else {
    Tell(kErrorColour, kPauseResumeFailed);
    if (m_pause) m_pause->SetToggled(false);
  }
  return done;
}

bool RecorderPage::StopRecording(bool ask) {
  CatchUp();
  if (IsClosed()) {
    Tell(kNoticeColour, kAlreadyStopped);
    return false;
  }
  if (ask && GetConfig()->m_QueryRecStop == 1 && !Confirm(kAskStop)) return false;
  return m_master->Close();
}

void RecorderPage::FollowState(MasterState state) {
  if (!m_start) return;
  switch (state) {
    case MasterState::Running:
    case MasterState::Paused:
      m_start->Enable(false);
      m_stop->Enable(true);
      m_pause->Enable(true);
      m_pause->SetToggled(state == MasterState::Paused);
      m_scenes->Enable(false);
      break;
    case MasterState::Closed:
      m_start->Enable(true);
      m_scenes->Enable(true);
      m_stop->Enable(false);
      m_pause->Enable(false);
      m_pause->SetToggled(false);
      break;
    default:
      break;
  }
}

void RecorderPage::OnStateNotice(MasterState now, MasterState before) {
  FollowState(now);
  PageHost* host = Host();
  switch (now) {
    case MasterState::Running:
      Tell(kNoticeColour, before == MasterState::Resuming ? kResumed : kStarted);
      if (before != MasterState::Resuming) {
        // A new recording: its meter starts from silence.
        m_lastMeterReading = 0;
        if (m_meter) m_meter->Clear();
      }
      if (host) host->UpdateTitle();
      SetTimer(kRefreshTimer, kRefreshMs);
      m_keeper->Begin();
      break;
    case MasterState::Closed: {
      const StopReason reason = m_master->GetStopReason();
      switch (reason) {
        case StopReason::ByOwner: Tell(kNoticeColour, kEnded); break;
        case StopReason::FileOpen: Tell(kErrorColour, kCannotOpenFile); break;
        case StopReason::FileWrite:
        case StopReason::FileSeek: Tell(kErrorColour, kFileAccessError); break;
        case StopReason::DeviceFailure: Tell(kErrorColour, kDeviceUnavailable); break;
        default: Tell(kErrorColour, FormatCode(reason)); break;
      }
      if (host) host->UpdateTitle();
      KillTimer(kRefreshTimer);
      m_keeper->End();
      if (m_meter) m_meter->Clear();
      RefPtr<CONFIG> config = GetConfig();
      if (m_call != 0 && config->m_TelInfoInName == 1) {
        // The phone writes its call history after the call: the rename waits.
        m_renameWaiting = true;
        if (config->m_RecTelInfoDelay > 0) {
          SetTimer(kCallRenameTimer, config->m_RecTelInfoDelay);
        } else {
          RenameWaitedCall();
        }
        break;
      }
      m_call = 0;
      break;
    }
    case MasterState::Paused:
      Tell(kNoticeColour, kPaused);
      if (host) host->UpdateTitle();
      KillTimer(kRefreshTimer);
      break;
    default:
      // The title follows every notice.
      if (host) host->UpdateTitle();
      break;
  }
}

void RecorderPage::OnTimer() {
  m_keeper->Tick();
  if (IsClosed()) return;
  const uint32_t position = m_position ? m_position() : m_master->GetPosition();
  if (position / 1000 != m_lastSecond) {
    m_lastSecond = position / 1000;
    if (m_elapsed) m_elapsed->SetText(ElapsedText(position));
  }
  if (m_meter) {
    const LevelReading level = m_master->GetInputLevel();
    if (level.buffers != m_lastMeterReading) {
      m_lastMeterReading = level.buffers;
      m_meter->SetLevels(level.peakDb, level.rmsDb, Now());
    } else {
      m_meter->Advance(Now());
    }
  }
}

bool RecorderPage::MayLeave(LeaveReason reason) {
  CatchUp();
  if (IsClosed()) return true;
  RefPtr<CONFIG> config = GetConfig();
  switch (reason) {
    case LeaveReason::CommandSwitch:
      Tell(kErrorColour, kNoCommandSwitch);
      return false;
    case LeaveReason::UserSwitch:
      if (config->m_QueryRecChange == 1 && !Confirm(kAskLeaveForSwitch)) return false;
      break;
    case LeaveReason::MenuExit:
      if (config->m_QueryRecClose == 1 && !Confirm(kAskLeaveForClose)) return false;
      break;
    case LeaveReason::CommandExit:
      break;
  }
  m_master->Close();
  return true;
}

bool RecorderPage::ExecuteCommand(Command* command) {
  if (!command) return false;
  CatchUp();
  switch (command->Kind()) {
    case CommandKind::Rec:
      ExecuteRec(static_cast<const RecCommand&>(*command));
      return true;
    case CommandKind::Stop:
      if (IsClosed()) {
        Tell(kNoticeColour, kAlreadyStopped);
      } else {
        m_master->Close();
      }
      m_toggle = false;
      return true;
    case CommandKind::Pause:
      if (!m_master->Pause()) Tell(kErrorColour, kCommandPauseFailed);
      return true;
    case CommandKind::Restart:
      if (!m_master->Resume()) Tell(kErrorColour, kResumeFailed);
      return true;
    default:
      return false;
  }
}

void RecorderPage::ExecuteRec(const RecCommand& command) {
  if (command.toggle == 1 && m_toggle && !IsClosed()) {
    StopRecording(false);
    m_toggle = false;
    return;
  }
  m_toggle = command.toggle == 1;
  if (m_scenes) {
    const int item = m_scenes->FindItemData(command.scene);
    if (item != ComboBox::kNone) m_scenes->SetCurSel(item);
  }
  UpdateFormatLine();
  StartRecording(static_cast<uint32_t>(command.tel));
}

void RecorderPage::OnClose() {
  // A start still waiting is not begun now that the program closes; a
  // finished call recording is still renamed.
  KillTimer(kCallStartTimer);
  m_startWaiting = false;
  if (m_renameWaiting) RenameWaitedCall();
  KillTimer(kRefreshTimer);
  m_master->SetNotify(0, 0, 0);
  if (!IsClosed()) m_master->Close();
  m_keeper->End();
}

void RecorderPage::Tell(ColorRef colour, const std::wstring& text) {
  Trace("RecorderPage - %s: %s\r\n", colour == kErrorColour ? "error" : "notice", WideToUtf8(text).c_str());
  ShowMessageText(text, colour);
}

bool RecorderPage::Confirm(const wchar_t* text) {
  PageHost* host = Host();
  return MessageBox::Show(host ? host->FrameId() : 0, text, kCaption, kConfirmFlags) == kIdYes;
}

bool RecorderPage::IsClosed() const { return m_master->IsState(MasterState::Closed); }

std::tm RecorderPage::LocalNow() const {
  if (m_clock) return m_clock();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

uint32_t RecorderPage::Now() const { return m_ticks ? m_ticks() : GetTickCount(); }

}  // namespace talvinor
