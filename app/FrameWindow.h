#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/FocusWalker.h"
#include "app/FrameChannel.h"
#include "app/FrameMenu.h"
#include "audio/Master.h"
#include "command/ChannelBlock.h"
#include "command/CommandHost.h"
#include "command/CommandQueue.h"
#include "ui/Menu.h"
#include "ui/MenuBar.h"
#include "ui/Page.h"
#include "ui/PageContext.h"
#include "ui/StatusLine.h"
#include "ui/TabControl.h"

namespace talvinor {

inline constexpr int kPageCount = 5;

// The program's only top-level window: the menu bar, the five pages above
// the message area and the tab bar at the bottom. It owns the external
// command queue and its end of the command channel, makes the pages with
// their context, switches pages, routes menu commands and keys, keeps the
// title in step with the recorder and player, and closes the program in
// order. The menu (FrameMenu), the key navigation (FocusWalker) and the
// channel's server (FrameChannel) are its parts.
class FrameWindow : public Window, public PageHost, public CommandHost {
  TALVINOR_CLASS_CODES(0x10001003, 0x4000)

 public:
  static constexpr int kTabControlId = 1002;
  static constexpr int kMessageAreaId = 1003;
  static constexpr int kMenuExit = FrameMenu::kExit;
  static constexpr int kMenuDisplayOff = FrameMenu::kDisplayOff;
  static constexpr int kFirstPageMenu = 40020;
  static constexpr int kLastPageMenu = 40090;
  static constexpr const wchar_t* kTitle = L"TALVINOR";
  static constexpr const wchar_t* kDisplayOffUnsupported = L"この端末で画面消灯を制御できません。";

  // Makes the page of a tab with what pages are given; null when it cannot
  // be made.
  using PageFactory = std::function<RefPtr<Page>(PageId, const PageContext&)>;

  struct Setup {
    PageFactory pages;             // null: the program's own pages (MakeProgramPage)
    std::wstring commandLine;      // executed once the frame is up
    std::string channelName = kCommandChannelName;
    int sizeClass = -1;            // the skin's size class; -1: from the screen
    std::function<bool()> displayOff;  // switches the display off; null: not possible here
    std::function<void(int)> quit;     // ends the event loop; null: UiApplication::Quit
    std::string registryFolder;        // the phone's registry; empty: the user's own
    // The screen's size, which the skin follows when sizeClass is -1; null:
    // the primary screen's.
    std::function<bool(int*, int*)> screenSize;
  };

  explicit FrameWindow(Setup setup);

  // Makes the window (hidden; the caller shows it). False when a page or the
  // window could not be made; nothing is left over then.
  bool CreateFrame();
  void SetCommandLine(const std::wstring& commandLine) { m_setup.commandLine = commandLine; }
  // The engine's masters, given to the pages when they are made; the
  // recording and playback masters are also what the title reports. Set
  // before CreateFrame.
  void SetMasters(RefPtr<CRecWaveIn> recording, RefPtr<CRecWaveOut> playback, RefPtr<ConvertMaster> conversion);
  // The masters whose runs the title reports ("録音中", "再生中").
  void SetActivitySources(RefPtr<Master> recording, RefPtr<Master> playback);

  const wchar_t* ClassName() const override { return L"TALVINOR_FRAME_WINDOW_CLASS"; }
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  // Makes the page of the selected tab current.
  void SwitchToSelectedPage();
  // The frame's key handling: the current page sees the key first; then Up
  // and Down walk the page's controls (wrapping through the tab bar) and '0'
  // goes to the tab bar. True when the key was consumed.
  bool PreTranslateKey(const WindowMessage& key);

  // PageHost
  StatusLine* MessageArea() override { return m_messageArea.Get(); }
  void UpdateTitle() override;
  void FocusDefaultControl() override;
  WindowId FrameId() const override { return Id(); }

  // CommandHost
  bool IsEnabled() override;
  CommandPage* CurrentPage() override { return m_current.Get(); }
  PageId SelectedPage() override;
  void SelectPage(PageId page) override;
  void CloseProgram() override;
  void HideWindow() override;
  void BringToForeground() override;
  void ShowNotice(const std::wstring& text) override;
  void ShowError(const std::wstring& text) override;
  void PostRunCommandQueue() override;

  Page* PageOf(PageId page) const { return m_pages[static_cast<size_t>(page)].Get(); }
  Page* Current() const { return m_current.Get(); }
  TabControl* Tabs() const { return m_tabs.Get(); }
  MenuBar* Bar() const { return m_menu.Bar(); }
  Menu* ToolsMenu() const { return m_menu.Tools(); }
  CommandQueue* Queue() const { return m_queue.Get(); }
  bool IsServerRunning() const { return m_channel.IsRunning(); }
  bool IsClosing() const { return m_closing; }

  // The tab caption of a page.
  static const wchar_t* TabText(PageId page);

 protected:
  ~FrameWindow() override;

 private:
  intptr_t OnCreate();
  bool CreatePages();
  bool CreateTabs();
  bool ScreenSize(int* width, int* height) const;
  void OnCommand(int id, int notifyCode);
  intptr_t OnNotify(const ControlNotify& notify);
  void OnCloseRequest();
  // SIGTERM, SIGINT or SIGHUP: the program closes in order.
  void OnTerminationSignal(int signalNumber);
  void Layout();
  bool BelongsToFrame(Window* window) const;
  void StartCommandServer();
  void ShowMessage(const std::wstring& text, ColorRef colour, const char* kind);

  Setup m_setup;
  FrameMenu m_menu;
  FocusWalker m_focus{this};
  FrameChannel m_channel;
  PageContext m_context;  // what the pages are made with; cleared once they are closed
  RefPtr<CommandQueue> m_queue;
  RefPtr<TabControl> m_tabs;
  RefPtr<StatusLine> m_messageArea;
  std::array<RefPtr<Page>, kPageCount> m_pages;  // by PageId
  std::array<int, kPageCount> m_tabIndex{};       // tab of each page, as inserted
  RefPtr<Page> m_current;
  RefPtr<Master> m_recording;
  RefPtr<Master> m_playback;
  int m_clientWidth = -1;   // last laid-out client size
  int m_clientHeight = -1;
  int m_sizeClass = 0;      // the skin's size class in use
  bool m_created = false;  // creation finished; cleared when the window goes
  bool m_closing = false;
};

}  // namespace talvinor
