#include "app/FrameWindow.h"

#include <algorithm>

#include "app/ProgramPages.h"
#include "command/CommandExecutor.h"
#include "core/Singletons.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/registry/Registry.h"
#include "recorder/CallRecording.h"
#include "settings/ConfigStore.h"
#include "ui/MessageFormat.h"
#include "ui/SkinResources.h"
#include "ui/UiApplication.h"

namespace talvinor {

namespace {

struct TabEntry {
  PageId page;
  const wchar_t* text;
};
// The tabs, in their order.
constexpr TabEntry kTabs[kPageCount] = {
    {PageId::Recorder, L"レコーダ"}, {PageId::Player, L"プレイヤ"}, {PageId::Memo, L"伝言メモ"},
    {PageId::Settings, L"設定"},     {PageId::Manual, L"説明"},
};

// The pages are made, and closed, in this order.
constexpr PageId kPageOrder[kPageCount] = {PageId::Player, PageId::Recorder, PageId::Memo, PageId::Settings,
                                           PageId::Manual};

constexpr const wchar_t* kTitleRecording = L"録音中 ";
constexpr const wchar_t* kTitlePlaying = L"再生中 ";
constexpr const wchar_t* kTitleWaitingForCalls = L"通話待ち ";

size_t Slot(PageId page) { return static_cast<size_t>(page); }

bool IsBusy(Master* master) { return master && !master->IsState(MasterState::Closed); }

}  // namespace

FrameWindow::FrameWindow(Setup setup) : m_setup(std::move(setup)), m_channel(m_setup.channelName) {
  m_tabIndex.fill(-1);
}

// A frame released without its orderly close still leaves no channel thread
// running: FrameChannel stops its server when it goes.
FrameWindow::~FrameWindow() = default;

const wchar_t* FrameWindow::TabText(PageId page) {
  for (const TabEntry& tab : kTabs)
    if (tab.page == page) return tab.text;
  return L"";
}

void FrameWindow::SetMasters(RefPtr<CRecWaveIn> recording, RefPtr<CRecWaveOut> playback,
                             RefPtr<ConvertMaster> conversion) {
  SetActivitySources(recording, playback);
  m_context.recordingMaster = std::move(recording);
  m_context.playbackMaster = std::move(playback);
  m_context.conversionMaster = std::move(conversion);
}

void FrameWindow::SetActivitySources(RefPtr<Master> recording, RefPtr<Master> playback) {
  m_recording = std::move(recording);
  m_playback = std::move(playback);
}

bool FrameWindow::CreateFrame() {
  // Hidden until the caller shows it; the size follows from the skin once it
  // is built during creation.
  if (!Create(kTitle, 0, {}, nullptr, 0)) {
    Trace("FrameWindow::CreateFrame - the frame could not be created\r\n");
    return false;
  }
  return true;
}

intptr_t FrameWindow::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmCreate:
      return OnCreate();
    case kWmDestroy:
      m_channel.Stop();
      m_menu.Destroy();
      if (GetMainWindowHandle() == Id()) SetMainWindowHandle(0);
      // A frame whose creation failed ends nothing: the caller decides.
      if (!m_created) return 0;
      m_created = false;
      Trace("FrameWindow - destroyed\r\n");
      if (m_setup.quit) {
        m_setup.quit(0);
      } else {
        UiApplication::Quit(0);
      }
      return 0;
    case kWmSize: {
      const int width = static_cast<int>(lParam & 0xFFFF);
      const int height = static_cast<int>((lParam >> 16) & 0xFFFF);
      if (width != m_clientWidth || height != m_clientHeight) Layout();
      return 0;
    }
    case kWmClose:
      OnCloseRequest();
      return 0;
    case kWmNotify:
      if (lParam != 0) return OnNotify(*reinterpret_cast<const ControlNotify*>(lParam));
      return 0;
    case kWmCommand:
      OnCommand(static_cast<int>(LowWord(wParam)), static_cast<int>(HighWord(wParam)));
      return 0;
    case kWmRunCommandQueue:
      if (!m_closing) CommandExecutor::RunQueue(this, m_queue.Get());
      return 0;
    case kWmTakeChannelMessage:
      if (!m_closing && m_channel.Server()) {
        CommandExecutor::TakeChannelMessage(this, m_channel.Server(), m_queue.Get());
      }
      return 0;
    case kWmFrameQuery:
      return 1;
    case kWmTerminationSignal:
      OnTerminationSignal(static_cast<int>(wParam));
      return 0;
    default:
      return Window::HandleMessage(message, wParam, lParam);
  }
}

intptr_t FrameWindow::OnCreate() {
  m_queue = talvinor::Create<CommandQueue>();
  m_context.host = this;
  m_context.commands = m_queue;
  SetColours(0x000000, 0xFFFFFF, true);

  // A frame without a menu bar still works.
  m_menu.Create(this);

  // The skin, for the screen's size class and the chosen skin type.
  RefPtr<CONFIG> config = GetConfig();
  m_sizeClass = m_setup.sizeClass;
  if (m_sizeClass < 0) {
    int width = 0;
    int height = 0;
    m_sizeClass = ScreenSize(&width, &height) ? SkinResources::SizeClass(width, height) : 0;
  }
  RefPtr<SkinResources> skin = SkinResources::Get();
  skin->Build(Id(), m_sizeClass, static_cast<int>(config->m_SkinTypeId));
  m_menu.SetFont(skin->Font(2));

  // The pages, then the tab bar over them and the message area.
  if (!CreatePages() || !CreateTabs()) return -1;
  m_messageArea = talvinor::Create<StatusLine>();
  if (!m_messageArea->Create(L"", kWsChild | kWsVisible, {}, this, kMessageAreaId)) return -1;
  m_messageArea->SetFont(skin->Font(2));

  // The client area the skin was drawn for, and the menu bar above it.
  Resize(skin->FrameClientWidth(), skin->FrameClientHeight() + m_menu.Height());

  SwitchToSelectedPage();
  UpdateTitle();

  // Message boxes belong to the frame from now on.
  SetMainWindowHandle(Id());

  // The program's own command line, before the channel opens. A start with
  // a text that names no command says so, as the channel does.
  if (!m_setup.commandLine.empty()) {
    if (PostCommand(m_queue.Get(), m_setup.commandLine)) {
      PostRunCommandQueue();
    } else {
      ShowError(kCommandSyntaxError);
    }
  }

  // The channel for the commands of later starts.
  StartCommandServer();

  // The keys start on the tab bar.
  m_tabs->SetFocus();
  m_created = true;
  Trace("FrameWindow::OnCreate - ready\r\n");
  return 0;
}

bool FrameWindow::CreatePages() {
  RefPtr<SkinResources> skin = SkinResources::Get();
  const Rect area{0, 0, skin->FrameClientWidth(), skin->PageHeight()};
  for (PageId id : kPageOrder) {
    RefPtr<Page> page = m_setup.pages ? m_setup.pages(id, m_context) : MakeProgramPage(id, m_context);
    if (!page) {
      Trace("FrameWindow::CreatePages - page %d could not be made\r\n", static_cast<int>(id));
      return false;
    }
    page->SetHost(this);
    if (!page->Create(L"", kWsChild | kWsClipSiblings, area, this, 0)) {
      Trace("FrameWindow::CreatePages - page %d could not be created\r\n", static_cast<int>(id));
      page->SetHost(nullptr);
      return false;
    }
    m_pages[Slot(id)] = page;
  }
  return true;
}

bool FrameWindow::CreateTabs() {
  RefPtr<SkinResources> skin = SkinResources::Get();
  m_tabs = talvinor::Create<TabControl>();
  const uint32_t style = kWsChild | kWsVisible | kWsClipSiblings | kWsTabStop | kTcsBottom;
  if (!m_tabs->Create(L"", style, {0, 0, skin->FrameClientWidth(), skin->FrameClientHeight()}, this,
                      kTabControlId)) {
    return false;
  }
  m_tabs->SetFont(skin->TabFont());
  m_tabs->SetBarHeight(skin->TabBarHeight());
  if (skin->TabFaces()) {
    m_tabs->SetFaces(skin->TabFaces());
    m_tabs->SetColours(skin->TabTextColour(), 0xFFFFFF, false);
  }
  for (int i = 0; i < kPageCount; ++i) {
    m_tabIndex[Slot(kTabs[i].page)] = m_tabs->InsertItem(i, kTabs[i].text);
  }
  return true;
}

bool FrameWindow::ScreenSize(int* width, int* height) const {
  return m_setup.screenSize ? m_setup.screenSize(width, height) : UiApplication::GetScreenSize(width, height);
}

void FrameWindow::Layout() {
  if (!IsCreated() || !m_tabs) return;
  RefPtr<SkinResources> skin = SkinResources::Get();
  // The skin follows the screen: a changed size class (another screen)
  // rebuilds it first, as the menu's, the tab bar's and the message area's
  // heights come from it; geometry taken before would leave a band of bare
  // frame.
  if (m_setup.sizeClass < 0) {
    int screenWidth = 0;
    int screenHeight = 0;
    if (ScreenSize(&screenWidth, &screenHeight)) {
      const int sizeClass = SkinResources::SizeClass(screenWidth, screenHeight);
      if (sizeClass != m_sizeClass) {
        m_sizeClass = sizeClass;
        skin->Build(Id(), m_sizeClass, static_cast<int>(GetConfig()->m_SkinTypeId));
        m_tabs->SetFont(skin->TabFont());
        m_tabs->SetBarHeight(skin->TabBarHeight());
        m_tabs->SetFaces(skin->TabFaces());
        if (m_messageArea) m_messageArea->SetFont(skin->Font(2));
        m_menu.SetFont(skin->Font(2));
      }
    }
  }
  int width = 0;
  int height = 0;
  GetClientSize(&width, &height);
  m_clientWidth = width;
  m_clientHeight = height;
  // The tab control governs the whole client area; the bar sits at its
  // bottom, the page and the message area above it.
  const Rect client{0, 0, width, height};
  m_tabs->Move(client);
  const Rect display = m_tabs->AdjustRect(client);
  const int messageHeight = std::min(skin->MessageAreaHeight(), display.height);
  const Rect pageArea{display.x, display.y, display.width, display.height - messageHeight};
  if (m_current) m_current->Move(pageArea);
  for (const RefPtr<Page>& page : m_pages)
    if (page) page->OnLayout();
  if (m_messageArea) m_messageArea->Move({display.x, display.y + pageArea.height, display.width, messageHeight});
}

void FrameWindow::SwitchToSelectedPage() {
  if (!m_tabs) return;
  const PageId selected = SelectedPage();
  RefPtr<Page> page = m_pages[Slot(selected)];
  if (!page || page == m_current) return;
  if (m_current) m_current->Show(false);
  m_current = page;
  page->Show(true);
  Layout();
  // Input methods need no switching here: keys reach the pages directly.
  // The phone software may reset its dial-key status; each page switch sets
  // it back. Nothing is shown either way.
  if (GetConfig()->m_DialKey == 1) {
    Registry registry = m_setup.registryFolder.empty() ? Registry::ForUser() : Registry(m_setup.registryFolder);
    EnsureDialKeyStatus(registry);
  }
  Trace("FrameWindow::SwitchToSelectedPage - %s\r\n", WideToUtf8(TabText(selected)).c_str());
  page->OnActivate();
  m_menu.RebuildTools(page.Get());
}

PageId FrameWindow::SelectedPage() {
  const int selected = m_tabs ? m_tabs->GetCurSel() : TabControl::kNone;
  for (const TabEntry& tab : kTabs)
    if (m_tabIndex[Slot(tab.page)] == selected) return tab.page;
  return PageId::Recorder;
}

void FrameWindow::SelectPage(PageId page) {
  if (!m_tabs || m_tabIndex[Slot(page)] < 0) return;
  m_tabs->SetCurSel(m_tabIndex[Slot(page)]);
  SwitchToSelectedPage();
}

intptr_t FrameWindow::OnNotify(const ControlNotify& notify) {
  if (notify.controlId != kTabControlId) return 0;
  if (notify.code == kTcnSelChanging) {
    // A page that may not be left keeps its tab.
    return m_current && !m_current->MayLeave(LeaveReason::UserSwitch) ? 1 : 0;
  }
  if (notify.code == kTcnSelChange) SwitchToSelectedPage();
  return 0;
}

void FrameWindow::OnCommand(int id, int notifyCode) {
  if (id == kMenuExit) {
    OnCloseRequest();
  } else if (id == kMenuDisplayOff) {
    if (!m_setup.displayOff || !m_setup.displayOff()) ShowError(kDisplayOffUnsupported);
  } else if (id >= kFirstPageMenu && id <= kLastPageMenu) {
    if (m_current) m_current->OnMenuCommand(id, notifyCode);
  }
}

void FrameWindow::OnCloseRequest() {
  if (m_closing) return;
  if (m_current && !m_current->MayLeave(LeaveReason::MenuExit)) {
    Trace("FrameWindow - close refused by the page\r\n");
    return;
  }
  CloseProgram();
}

void FrameWindow::OnTerminationSignal(int signalNumber) {
  if (m_closing || !IsCreated()) return;
  // A box waiting for an answer is cancelled first; the close comes once its
  // nested loop has returned, so no page is closed under an open dialog.
  if (UiApplication::IsModalDialogOpen()) {
    Trace("FrameWindow - signal %d: cancelling the open dialog first\r\n", signalNumber);
    UiApplication::CloseModalDialogs();
    PostMessage(Id(), kWmTerminationSignal, static_cast<uintptr_t>(signalNumber), 0);
    return;
  }
  // As the exit command closes, without questions: a recording or a
  // conversion is stopped by its page, so its file is final.
  Trace("FrameWindow - signal %d: closing\r\n", signalNumber);
  CloseProgram();
}

void FrameWindow::CloseProgram() {
  if (m_closing || !IsCreated()) return;
  m_closing = true;
  Trace("FrameWindow::CloseProgram\r\n");
  for (PageId id : kPageOrder)
    if (Page* page = PageOf(id)) page->OnClose();
  m_channel.Stop();
  // Commands still queued have nothing left to act on.
  if (m_queue)
    while (PopCommand(m_queue.Get())) {
    }
  // The closed pages make no more runs; the application closes the masters.
  m_context = PageContext{};
  m_recording = nullptr;
  m_playback = nullptr;
  RefPtr<Window> keep(this);
  DestroyWindow();
}

void FrameWindow::StartCommandServer() {
  if (m_channel.Start(Id(), this)) Trace("FrameWindow - command server started\r\n");
}

void FrameWindow::UpdateTitle() {
  std::wstring title;
  if (IsBusy(m_recording.Get())) {
    title = kTitleRecording;
  } else if (IsBusy(m_playback.Get())) {
    title = kTitlePlaying;
  } else if (GetConfig()->m_RecTelStart == 1) {
    title = kTitleWaitingForCalls;
  }
  title += kTitle;
  if (title != GetText()) SetText(title);
}

void FrameWindow::FocusDefaultControl() {
  if (m_tabs) m_tabs->SetFocus();
}

bool FrameWindow::IsEnabled() {
  // A modal dialog or message box over the frame stands for a disabled frame.
  return IsCreated() && !UiApplication::IsModalDialogOpen();
}

void FrameWindow::HideWindow() {
  // To the back of the desktop's windows, still shown, as on the handset.
  Trace("FrameWindow::HideWindow\r\n");
  SendToBack();
}

void FrameWindow::BringToForeground() {
  Trace("FrameWindow::BringToForeground\r\n");
  BringToFront();
}

void FrameWindow::ShowMessage(const std::wstring& text, ColorRef colour, const char* kind) {
  std::wstring shown = text.size() > kMessageTextLimit ? text.substr(0, kMessageTextLimit) : text;
  Trace("FrameWindow::%s - %s\r\n", kind, WideToUtf8(shown).c_str());
  if (m_messageArea && m_messageArea->IsCreated()) m_messageArea->ShowMessage(shown, colour);
}

void FrameWindow::ShowNotice(const std::wstring& text) { ShowMessage(text, Page::kNoticeColour, "ShowNotice"); }

void FrameWindow::ShowError(const std::wstring& text) { ShowMessage(text, Page::kErrorColour, "ShowError"); }

void FrameWindow::PostRunCommandQueue() { PostMessage(Id(), kWmRunCommandQueue, 0, 0); }

bool FrameWindow::BelongsToFrame(Window* window) const {
  for (Window* w = window; w; w = w->Parent())
    if (w == this) return true;
  return false;
}

bool FrameWindow::PreTranslateKey(const WindowMessage& key) {
  if (!IsCreated() || m_closing || !m_current) return false;
  if (key.message != kWmKeyDown && key.message != kWmKeyUp) return false;
  // Keys of a dialog or message box over the frame are theirs.
  if (!BelongsToFrame(Window::FromId(key.window))) return false;
  RefPtr<Page> page = m_current;
  return m_focus.HandleKey(page.Get(), key);
}

}  // namespace talvinor
