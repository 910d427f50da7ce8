#pragma once
// Pages that record what the frame asks of them, and a frame made with them.
#include <QApplication>
#include <QTabBar>
#include <QTest>
#include <QWidget>

#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/FrameWindow.h"
#include "app/ProgramPages.h"
#include "command/Command.h"
#include "core/ProgramPaths.h"
#include "core/Singletons.h"
#include "support/TempFolder.h"
#include "support/UiWaitUntil.h"
#include "ui/Button.h"

namespace talvinor::testing {

// A name no other test or test run uses, for channels and locks.
inline std::string UniqueName(const std::string& what) {
  static std::atomic<int> counter{0};
  return "talvinor_" + what + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// A page that answers as told and records what it was asked.
class TestPage : public Page {
 public:
  TestPage(PageId id, std::vector<std::string>* log) : id(id), log(log) {}

  PageId id;
  std::vector<std::string>* log;  // shared by the pages of one frame: the order of calls
  bool mayLeave = true;
  bool failCreate = false;
  bool contributeMenu = false;
  bool consumeKeys = false;
  int controlCount = 0;  // tab-stop buttons made at creation (ids 2001...)
  Window* vetoFocus = nullptr;
  std::vector<LeaveReason> leaveAsked;
  std::vector<CommandKind> executed;
  std::vector<int> menuCommands;
  int activations = 0;
  int layouts = 0;
  std::vector<RefPtr<Button>> buttons;

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (message == kWmCreate) {
      if (failCreate) return -1;
      for (int i = 0; i < controlCount; ++i) {
        auto button = talvinor::Create<Button>();
        button->Create(L"B" + std::to_wstring(i), kWsChild | kWsVisible | kWsTabStop, {10, 10 + 30 * i, 60, 24}, this,
                       2001 + i);
        buttons.push_back(button);
      }
      return 0;
    }
    return Page::HandleMessage(message, wParam, lParam);
  }
  bool MayLeave(LeaveReason reason) override {
    leaveAsked.push_back(reason);
    return mayLeave;
  }
  bool ExecuteCommand(Command* command) override {
    executed.push_back(command->Kind());
    return false;
  }
  void OnActivate() override { ++activations; }
  bool ContributeToolsMenu(Menu* tools) override {
    if (!contributeMenu) return false;
    tools->AppendItem(40021, L"ページの項目");
    return true;
  }
  void OnLayout() override { ++layouts; }
  void OnMenuCommand(int commandId, int) override { menuCommands.push_back(commandId); }
  bool OnKeyNavigate(const WindowMessage&) override { return !consumeKeys; }
  bool OnFocusChild(Window* child) override { return child != vetoFocus; }
  void OnClose() override { log->push_back("close " + std::to_string(static_cast<int>(id))); }
};

// A frame with test pages in a program folder of its own, on a channel of
// its own. The quit requests are counted instead of ending the test's loop.
struct TestFrame {
  TempFolder folder;
  std::vector<std::string> log;
  std::array<RefPtr<TestPage>, kPageCount> pages;
  std::vector<int> quits;
  FrameWindow::Setup setup;
  RefPtr<FrameWindow> frame;
  std::function<void(TestPage&)> prepare;  // adjusts each page before creation
  bool realManual = false;                  // the program's manual page on the last tab

  TestFrame() {
    OverrideProgramFolder(folder.WPath());
    setup.channelName = UniqueName("frame");
    setup.sizeClass = 17;  // quarter VGA
    setup.quit = [this](int code) { quits.push_back(code); };
    setup.pages = [this](PageId id, const PageContext& context) -> RefPtr<Page> {
      log.push_back("make " + std::to_string(static_cast<int>(id)));
      if (realManual && id == PageId::Manual) return MakeProgramPage(id, context);
      auto page = Create<TestPage>(id, &log);
      if (prepare) prepare(*page);
      pages[static_cast<size_t>(id)] = page;
      return page;
    };
  }
  ~TestFrame() {
    if (frame && frame->IsCreated()) {
      frame->DestroyWindow();
      QApplication::processEvents();
    }
    frame = nullptr;
    ReleaseSingletons();
    OverrideProgramFolder(L"");
  }

  bool Make() {
    frame = Create<FrameWindow>(setup);
    if (!frame->CreateFrame()) return false;
    frame->Show(true);
    QApplication::processEvents();
    return true;
  }
  TestPage& At(PageId id) { return *pages[static_cast<size_t>(id)]; }
  QTabBar* Bar() const { return frame->Tabs()->Widget()->findChild<QTabBar*>(); }
  // Chooses a tab as the user does.
  void ChooseTab(int index) { Bar()->setCurrentIndex(index); }
  std::wstring Message() const { return frame->MessageArea()->ShownText(); }
  // Runs the commands as the queue does after a post.
  void Post(const std::wstring& text) {
    ASSERT_TRUE(PostCommand(frame->Queue(), text));
    frame->PostRunCommandQueue();
  }
};

}  // namespace talvinor::testing
