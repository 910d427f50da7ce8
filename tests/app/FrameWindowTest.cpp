#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <fstream>

#include "app/FrameTestSupport.h"
#include "audio/Master.h"
#include "command/CommandClient.h"
#include "command/CommandExecutor.h"
#include "settings/ConfigStore.h"
#include "support/TraceCapture.h"
#include "ui/Dialog.h"
#include "ui/ManualPage.h"
#include "ui/SkinResources.h"
#include "ui/UiApplication.h"

namespace talvinor {
namespace {

using testing::TestFrame;
using testing::TestPage;
using testing::TraceCapture;
using testing::WaitUntil;

std::vector<int> MenuIds(Menu* menu) {
  std::vector<int> ids;
  for (int i = 0; i < menu->ItemCount(); ++i) ids.push_back(menu->ItemId(i));
  return ids;
}

Rect Geometry(Window* window) { return window->GetRect(); }

TEST(FrameWindow, BuildsItsPagesTabsAndMessageAreaInOrder) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  FrameWindow& frame = *t.frame;

  // Pages are made player first, and each knows its frame.
  EXPECT_EQ(t.log, (std::vector<std::string>{"make 1", "make 0", "make 2", "make 3", "make 4"}));
  for (const auto& page : t.pages) EXPECT_EQ(page->Host(), static_cast<PageHost*>(&frame));

  TabControl* tabs = frame.Tabs();
  ASSERT_EQ(tabs->GetItemCount(), kPageCount);
  EXPECT_EQ(tabs->GetItemText(0), L"レコーダ");
  EXPECT_EQ(tabs->GetItemText(1), L"プレイヤ");
  EXPECT_EQ(tabs->GetItemText(2), L"伝言メモ");
  EXPECT_EQ(tabs->GetItemText(3), L"設定");
  EXPECT_EQ(tabs->GetItemText(4), L"説明");
  EXPECT_EQ(frame.ControlId(), 0);
  EXPECT_EQ(tabs->ControlId(), FrameWindow::kTabControlId);
  EXPECT_EQ(frame.MessageArea()->ControlId(), FrameWindow::kMessageAreaId);

  // The first tab's page is current and the only one shown; it was told.
  EXPECT_EQ(frame.Current(), frame.PageOf(PageId::Recorder));
  EXPECT_EQ(t.At(PageId::Recorder).activations, 1);
  for (PageId id : {PageId::Player, PageId::Memo, PageId::Settings, PageId::Manual})
    EXPECT_FALSE(frame.PageOf(id)->IsVisible());
  EXPECT_TRUE(frame.PageOf(PageId::Recorder)->IsVisible());

  // Top to bottom: the page, the message area, the tab bar, filling the
  // client area the skin was drawn for without overlapping.
  RefPtr<SkinResources> skin = SkinResources::Get();
  int width = 0;
  int height = 0;
  frame.GetClientSize(&width, &height);
  EXPECT_EQ(width, skin->FrameClientWidth());
  EXPECT_EQ(height, skin->FrameClientHeight());
  const Rect page = Geometry(frame.Current());
  const Rect message = Geometry(frame.MessageArea());
  const Rect pages = tabs->AdjustRect({0, 0, width, height});
  EXPECT_EQ(page.y, 0);
  EXPECT_EQ(page.height, skin->PageHeight());
  EXPECT_EQ(message.y, page.y + page.height);
  EXPECT_EQ(message.height, skin->MessageAreaHeight());
  EXPECT_EQ(message.y + message.height, pages.y + pages.height) << "the tab bar starts below the message area";
  EXPECT_EQ(height - (pages.y + pages.height), skin->TabBarHeight());

  // The menu: "終了", and the tools popup with the frame's own item.
  ASSERT_NE(frame.ToolsMenu(), nullptr);
  EXPECT_EQ(MenuIds(frame.ToolsMenu()), std::vector<int>{FrameWindow::kMenuDisplayOff});
  EXPECT_EQ(frame.ToolsMenu()->ItemText(0), L"画面消灯");
  EXPECT_EQ(frame.GetText(), L"TALVINOR");
  EXPECT_EQ(GetMainWindowHandle(), frame.Id());
  EXPECT_EQ(Window::SendMessage(frame.Id(), kWmFrameQuery, 0, 0), 1);
  EXPECT_TRUE(frame.IsServerRunning());
}

TEST(FrameWindow, APageThatCannotBeMadeAbortsTheFrame) {
  for (bool failCreate : {false, true}) {
    TestFrame t;
    t.setup.pages = [&](PageId id, const PageContext&) -> RefPtr<Page> {
      if (id != PageId::Memo) return Create<TestPage>(id, &t.log);
      if (!failCreate) return nullptr;  // no object at all
      auto page = Create<TestPage>(id, &t.log);
      page->failCreate = true;  // an object whose window fails
      return page;
    };
    EXPECT_FALSE(t.Make()) << failCreate;
    EXPECT_FALSE(t.frame->IsCreated());
    EXPECT_FALSE(t.frame->IsServerRunning());
    EXPECT_TRUE(t.quits.empty()) << "a frame that never came up ends no loop";
  }
}

TEST(FrameWindow, ChoosingATabAsksThePageAndARefusalKeepsTheOldTab) {
  TestFrame t;
  t.prepare = [](TestPage& page) { page.contributeMenu = page.id == PageId::Player; };
  ASSERT_TRUE(t.Make());
  TestPage& recorder = t.At(PageId::Recorder);
  TestPage& player = t.At(PageId::Player);

  recorder.mayLeave = false;
  t.ChooseTab(1);
  EXPECT_EQ(recorder.leaveAsked, std::vector<LeaveReason>{LeaveReason::UserSwitch});
  EXPECT_EQ(t.frame->Tabs()->GetCurSel(), 0);
  EXPECT_EQ(t.Bar()->currentIndex(), 0);
  EXPECT_EQ(t.frame->Current(), &recorder);
  EXPECT_EQ(player.activations, 0);

  recorder.mayLeave = true;
  t.ChooseTab(1);
  EXPECT_EQ(t.frame->Current(), &player);
  EXPECT_EQ(t.frame->SelectedPage(), PageId::Player);
  EXPECT_TRUE(player.IsVisible());
  EXPECT_FALSE(recorder.IsVisible());
  EXPECT_EQ(player.activations, 1);
  EXPECT_GT(player.layouts, 0);
  EXPECT_EQ(Geometry(&player).height, SkinResources::Get()->PageHeight()) << "the new page fills the page area";
  // The page's own tools come first, then a separator and the frame's item.
  EXPECT_EQ(MenuIds(t.frame->ToolsMenu()), (std::vector<int>{40021, 0, FrameWindow::kMenuDisplayOff}));

  // Its items reach it through the frame; other pages' ranges do not.
  EXPECT_TRUE(t.frame->ToolsMenu()->Invoke(40021));
  EXPECT_EQ(player.menuCommands, std::vector<int>{40021});

  // Back to a page without tools: the popup is rebuilt, not appended to.
  t.ChooseTab(0);
  EXPECT_EQ(MenuIds(t.frame->ToolsMenu()), std::vector<int>{FrameWindow::kMenuDisplayOff});
  EXPECT_EQ(recorder.activations, 2);
}

TEST(FrameWindow, TheManualTabOffersItsDocumentsThroughTheToolsMenu) {
  TestFrame t;
  t.realManual = true;
  std::ofstream(t.folder.File("mankey.txt"), std::ios::binary) << "keys\r\nlast";
  ASSERT_TRUE(t.Make());
  t.ChooseTab(4);
  auto* manual = static_cast<ManualPage*>(t.frame->PageOf(PageId::Manual));
  ASSERT_EQ(t.frame->Current(), manual);
  EXPECT_EQ(MenuIds(t.frame->ToolsMenu()),
            (std::vector<int>{ManualPage::kShowManual, ManualPage::kShowKeys, ManualPage::kShowCommands,
                              ManualPage::kShowReadme, 0, FrameWindow::kMenuDisplayOff}));
  ASSERT_TRUE(t.frame->ToolsMenu()->Invoke(ManualPage::kShowKeys));
  EXPECT_EQ(manual->ShownDocument(), ManualPage::kShowKeys);
  EXPECT_EQ(manual->TextView()->GetText(), L"keys\nlast");
}

TEST(FrameWindow, CloseIsRefusedWhileThePageMayNotBeLeft) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  TestPage& recorder = t.At(PageId::Recorder);
  recorder.mayLeave = false;

  // The window's close button and the menu's "終了" ask the same question.
  t.frame->Widget()->window()->close();
  ASSERT_TRUE(t.frame->Bar()->Invoke(FrameWindow::kMenuExit));
  QApplication::processEvents();
  EXPECT_EQ(recorder.leaveAsked, (std::vector<LeaveReason>{LeaveReason::MenuExit, LeaveReason::MenuExit}));
  EXPECT_TRUE(t.frame->IsCreated());
  EXPECT_TRUE(t.frame->Widget()->window()->isVisible());
  EXPECT_TRUE(t.quits.empty());
  EXPECT_EQ(std::count_if(t.log.begin(), t.log.end(), [](const std::string& l) { return l.rfind("close", 0) == 0; }), 0);

  recorder.mayLeave = true;
  const std::string channel = t.setup.channelName;
  t.log.clear();
  t.frame->Widget()->window()->close();
  QApplication::processEvents();
  EXPECT_FALSE(t.frame->IsCreated());
  EXPECT_EQ(t.log, (std::vector<std::string>{"close 1", "close 0", "close 2", "close 3", "close 4"}));
  EXPECT_EQ(t.quits, std::vector<int>{0});
  EXPECT_EQ(GetMainWindowHandle(), 0u);
  // The channel went with the frame.
  EXPECT_EQ(SendCommandText(L"/cmd:stop", channel, 100), ChannelSendResult::NotOpen);
}

TEST(FrameWindow, ExitCommandClosesUnlessThePageRefusesAndDropsWhatFollows) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  TestPage& recorder = t.At(PageId::Recorder);

  recorder.mayLeave = false;
  t.Post(L"/cmd:exit");
  ASSERT_TRUE(WaitUntil([&] { return !recorder.leaveAsked.empty(); }));
  EXPECT_EQ(recorder.leaveAsked, std::vector<LeaveReason>{LeaveReason::CommandExit});
  QApplication::processEvents();
  EXPECT_TRUE(t.frame->IsCreated());

  recorder.mayLeave = true;
  ASSERT_TRUE(PostCommand(t.frame->Queue(), L"/cmd:exit"));
  ASSERT_TRUE(PostCommand(t.frame->Queue(), L"/cmd:stop"));
  t.frame->PostRunCommandQueue();
  ASSERT_TRUE(WaitUntil([&] { return !t.frame->IsCreated(); }));
  EXPECT_EQ(t.quits, std::vector<int>{0});
  EXPECT_TRUE(recorder.executed.empty()) << "the stop after the exit reached a closed page";
}

TEST(FrameWindow, RecPlayAndSaveMemoTakeTheFrameToTheirPage) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  TestPage& recorder = t.At(PageId::Recorder);
  TestPage& player = t.At(PageId::Player);
  TestPage& memo = t.At(PageId::Memo);

  t.Post(L"/cmd:play /src:\"/tmp/a.ogg\"");
  ASSERT_TRUE(WaitUntil([&] { return !player.executed.empty(); }));
  EXPECT_EQ(recorder.leaveAsked, std::vector<LeaveReason>{LeaveReason::CommandSwitch});
  EXPECT_EQ(t.frame->Current(), &player);
  EXPECT_EQ(t.frame->Tabs()->GetCurSel(), 1);
  EXPECT_EQ(t.Bar()->currentIndex(), 1) << "the tab shows the page the command chose";
  EXPECT_EQ(player.executed, std::vector<CommandKind>{CommandKind::Play});

  // A page that may not be left keeps the frame and still gets the command.
  player.mayLeave = false;
  t.Post(L"/cmd:savememo");
  ASSERT_TRUE(WaitUntil([&] { return player.executed.size() == 2; }));
  EXPECT_EQ(t.frame->Current(), &player);
  EXPECT_EQ(player.executed.back(), CommandKind::SaveMemo);
  EXPECT_TRUE(memo.executed.empty());
  EXPECT_EQ(t.Message(), kCommandRefusedNotice);

  // stop, pause and restart go to whatever page is current.
  t.Post(L"/cmd:stop");
  t.Post(L"/cmd:pause");
  t.Post(L"/cmd:restart");
  ASSERT_TRUE(WaitUntil([&] { return player.executed.size() == 5; }));
  EXPECT_EQ(t.frame->Current(), &player);

  player.mayLeave = true;
  t.Post(L"/cmd:rec /scene:2");
  ASSERT_TRUE(WaitUntil([&] { return !recorder.executed.empty(); }));
  EXPECT_EQ(t.frame->Current(), &recorder);
}

TEST(FrameWindow, HideAndOpenWindowCommandsMoveTheFrameAndSaySo) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  TraceCapture trace;
  t.Post(L"/cmd:hidewindow");
  ASSERT_TRUE(WaitUntil([&] { return trace.Contains("FrameWindow::HideWindow"); }));
  // Behind the other windows, but not gone: the handset shows it again at once.
  EXPECT_TRUE(t.frame->Widget()->window()->isVisible());
  EXPECT_TRUE(t.frame->IsCreated());

  t.Post(L"/cmd:openwindow");
  ASSERT_TRUE(WaitUntil([&] { return t.Message() == kWindowShownNotice; }));
  EXPECT_TRUE(trace.Contains("FrameWindow::BringToForeground"));
  EXPECT_TRUE(t.frame->Widget()->window()->isVisible());
  EXPECT_EQ(t.frame->MessageArea()->Shown(), StatusShown::Message);
}

// A dialog that, once open, has an exit command sent to the frame and then
// closes itself; the frame handles the command before the dialog's message.
class CommandDuringDialog : public Dialog {
 public:
  explicit CommandDuringDialog(FrameWindow* frame) : m_frame(frame) {}
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (message == kWmInitDialog) {
      PostCommand(m_frame->Queue(), L"/cmd:exit");
      m_frame->PostRunCommandQueue();
      PostMessage(Id(), kWmApp + 0x40, 0, 0);
      return 0;
    }
    if (message == kWmApp + 0x40) {
      modalSeen = UiApplication::IsModalDialogOpen();
      EndDialog(kIdOk);
      return 0;
    }
    return Dialog::HandleMessage(message, wParam, lParam);
  }
  bool modalSeen = false;

 private:
  FrameWindow* m_frame;
};

TEST(FrameWindow, CommandsAreRefusedWhileAModalDialogIsOpen) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  auto dialog = Create<CommandDuringDialog>(t.frame.Get());
  EXPECT_EQ(dialog->DoModal(t.frame.Get(), L"確認", 200, 100), kIdOk);
  EXPECT_TRUE(dialog->modalSeen);
  EXPECT_TRUE(t.frame->IsCreated()) << "the exit command ran behind the dialog";
  EXPECT_TRUE(t.At(PageId::Recorder).leaveAsked.empty());
  EXPECT_EQ(t.Message(), kCommandRefusedNotice);
  EXPECT_EQ(t.frame->Queue()->Count(), 0u) << "a refused command is dropped";

  // Once the dialog is gone the frame obeys again.
  t.Post(L"/cmd:exit");
  EXPECT_TRUE(WaitUntil([&] { return !t.frame->IsCreated(); }));
}

TEST(FrameWindow, TextsFromTheChannelAreExecutedOrReported) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  TraceCapture trace;
  TestPage& player = t.At(PageId::Player);

  ASSERT_EQ(SendCommandText(L"/cmd:play /src:\"C:\\My Documents\\a.ogg\"", t.setup.channelName),
            ChannelSendResult::Sent);
  ASSERT_TRUE(WaitUntil([&] { return !player.executed.empty(); }));
  EXPECT_EQ(t.frame->Current(), &player);

  // Blanks only: the frame comes to the front, nothing else happens.
  ASSERT_EQ(SendCommandText(L" \t　", t.setup.channelName), ChannelSendResult::Sent);
  ASSERT_TRUE(WaitUntil([&] { return trace.Contains("FrameWindow::BringToForeground"); }));
  EXPECT_EQ(player.executed.size(), 1u);
  EXPECT_TRUE(t.Message().empty());

  ASSERT_EQ(SendCommandText(L"/cmd:rec /cmd:stop", t.setup.channelName), ChannelSendResult::Sent);
  ASSERT_TRUE(WaitUntil([&] { return t.Message() == kCommandSyntaxError; }));
  EXPECT_TRUE(trace.Contains("FrameWindow::ShowError - 外部コマンドは記述誤りにより実行できません。"));
  EXPECT_EQ(player.executed.size(), 1u);
}

TEST(FrameWindow, TheProgramsOwnCommandLineRunsOnceTheFrameIsUp) {
  {
    TestFrame t;
    t.setup.commandLine = L"/cmd:play /src:\"/tmp/first.ogg\"";
    ASSERT_TRUE(t.Make());
    ASSERT_TRUE(WaitUntil([&] { return !t.At(PageId::Player).executed.empty(); }));
    EXPECT_EQ(t.frame->Current(), t.frame->PageOf(PageId::Player));
  }
  {
    TestFrame t;
    t.setup.commandLine = L"/cmd:record";
    ASSERT_TRUE(t.Make());
    EXPECT_EQ(t.Message(), kCommandSyntaxError);
  }
  {
    TestFrame t;  // no command line: nothing to say
    ASSERT_TRUE(t.Make());
    QApplication::processEvents();
    EXPECT_TRUE(t.Message().empty());
    EXPECT_EQ(t.frame->Queue()->Count(), 0u);
  }
}

TEST(FrameWindow, AChannelThatCannotOpenIsReportedAndTheFrameRunsOn) {
  TestFrame t;
  auto other = Create<CommandServer>(t.setup.channelName);
  ASSERT_TRUE(other->StartServer());
  ASSERT_TRUE(t.Make());
  EXPECT_FALSE(t.frame->IsServerRunning());
  EXPECT_EQ(t.Message(), kCommandServerStartError);
  t.ChooseTab(2);
  EXPECT_EQ(t.frame->Current(), t.frame->PageOf(PageId::Memo));
  other->StopServer();
}

// A master that only holds a state, for the title.
class StateOnlyMaster : public Master {
 public:
  StepResult Step(MasterState) override { return StepResult::Finished; }
};

TEST(FrameWindow, TheTitleSaysWhatTheProgramIsDoing) {
  TestFrame t;
  ASSERT_TRUE(t.Make());
  auto recording = Create<StateOnlyMaster>();
  auto playback = Create<StateOnlyMaster>();
  t.frame->SetActivitySources(recording, playback);

  GetConfig()->m_RecTelStart = 1;
  t.frame->UpdateTitle();
  EXPECT_EQ(t.frame->GetText(), L"通話待ち TALVINOR");
  playback->SetState(MasterState::Running);
  t.frame->UpdateTitle();
  EXPECT_EQ(t.frame->GetText(), L"再生中 TALVINOR");
  recording->SetState(MasterState::Paused);
  t.frame->UpdateTitle();
  EXPECT_EQ(t.frame->GetText(), L"録音中 TALVINOR") << "recording wins over playback";
  recording->SetState(MasterState::Closed);
  playback->SetState(MasterState::Closed);
  GetConfig()->m_RecTelStart = 0;
  t.frame->UpdateTitle();
  EXPECT_EQ(t.frame->GetText(), L"TALVINOR");
}

TEST(FrameWindow, ScreenOffReportsWhenTheDisplayCannotBeSwitched) {
  {
    TestFrame t;
    ASSERT_TRUE(t.Make());
    ASSERT_TRUE(t.frame->ToolsMenu()->Invoke(FrameWindow::kMenuDisplayOff));
    EXPECT_EQ(t.Message(), L"この端末で画面消灯を制御できません。");
  }
  {
    TestFrame t;
    int calls = 0;
    t.setup.displayOff = [&] { return ++calls > 0; };
    ASSERT_TRUE(t.Make());
    ASSERT_TRUE(t.frame->ToolsMenu()->Invoke(FrameWindow::kMenuDisplayOff));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(t.Message().empty());
  }
}

WindowMessage Key(Window* focused, uint32_t key, bool repeat = false, bool up = false) {
  return {focused ? focused->Id() : 0, up ? kWmKeyUp : kWmKeyDown, key, repeat ? kKeyRepeatBit : 0};
}

TEST(FrameWindow, UpAndDownWalkThePageControlsThroughTheTabBar) {
  TestFrame t;
  t.prepare = [](TestPage& page) { page.controlCount = 4; };
  ASSERT_TRUE(t.Make());
  FrameWindow& frame = *t.frame;
  QApplication::setActiveWindow(frame.Widget()->window());
  TestPage& page = t.At(PageId::Recorder);
  page.buttons[1]->Enable(false);
  page.vetoFocus = page.buttons[2].Get();
  auto focused = [] { return Window::FocusedWindow(); };
  auto press = [&](uint32_t key, bool repeat = false) { return frame.PreTranslateKey(Key(focused(), key, repeat)); };

  frame.FocusDefaultControl();
  ASSERT_TRUE(WaitUntil([&] { return focused() == frame.Tabs(); }));
  // Down: the first control, then past the disabled and the vetoed ones to
  // the last, then round to the tab bar.
  EXPECT_TRUE(press(kVkDown));
  EXPECT_EQ(focused(), page.buttons[0].Get());
  EXPECT_TRUE(press(kVkDown));
  EXPECT_EQ(focused(), page.buttons[3].Get());
  EXPECT_TRUE(press(kVkDown));
  EXPECT_EQ(focused(), frame.Tabs());
  // Up from the tab bar: the last control, then back.
  EXPECT_TRUE(press(kVkUp));
  EXPECT_EQ(focused(), page.buttons[3].Get());
  EXPECT_TRUE(press(kVkUp));
  EXPECT_EQ(focused(), page.buttons[0].Get());

  // '0' goes to the tab bar, but not when the key repeats.
  EXPECT_FALSE(press('0', true));
  EXPECT_EQ(focused(), page.buttons[0].Get());
  EXPECT_TRUE(press('0'));
  EXPECT_EQ(focused(), frame.Tabs());
  // Key releases and other keys are left to the controls.
  EXPECT_FALSE(frame.PreTranslateKey(Key(focused(), kVkDown, false, true)));
  EXPECT_FALSE(press(kVkLeft));

  // A page that takes the key itself keeps the focus where it is.
  page.consumeKeys = true;
  EXPECT_TRUE(press(kVkDown));
  EXPECT_EQ(focused(), frame.Tabs());
  page.consumeKeys = false;

  // Keys of windows outside the frame are none of its business.
  auto stranger = Create<Window>();
  ASSERT_TRUE(stranger->Create(L"", 0, {0, 0, 50, 50}, nullptr, 0));
  EXPECT_FALSE(frame.PreTranslateKey(Key(stranger.Get(), kVkDown)));
  EXPECT_EQ(focused(), frame.Tabs());
}

TEST(FrameWindow, KeysReachTheFrameThroughTheApplicationsHook) {
  TestFrame t;
  t.prepare = [](TestPage& page) { page.controlCount = 2; };
  ASSERT_TRUE(t.Make());
  FrameWindow* frame = t.frame.Get();
  UiApplication::SetKeyHook([frame](const WindowMessage& key) { return frame->PreTranslateKey(key); });
  QApplication::setActiveWindow(frame->Widget()->window());
  frame->FocusDefaultControl();
  ASSERT_TRUE(WaitUntil([&] { return Window::FocusedWindow() == frame->Tabs(); }));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(Window::FocusedWindow(), t.At(PageId::Recorder).buttons[0].Get());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_0);
  EXPECT_EQ(Window::FocusedWindow(), frame->Tabs());
  UiApplication::SetKeyHook(nullptr);
}

}  // namespace
}  // namespace talvinor
