#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <thread>

#include "UiTestSupport.h"
#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/MenuBar.h"
#include "ui/UiApplication.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::WaitUntil;

RefPtr<RecordingWindow> TopLevel() {
  RefPtr<RecordingWindow> window = Create<RecordingWindow>();
  EXPECT_TRUE(window->Create(L"TALVINOR", kWsVisible, {0, 0, 240, 300}, nullptr, 0));
  return window;
}

TEST(Window, PostsFromOtherThreadsArriveInOrderOnTheUiThread) {
  RefPtr<RecordingWindow> window = TopLevel();
  const WindowId id = window->Id();
  std::thread poster([id] {
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(PostMessage(id, kWmApp + 8, static_cast<uintptr_t>(i), -i));
  });
  poster.join();
  ASSERT_TRUE(WaitUntil([&] { return window->Only(kWmApp + 8).size() == 200; }));
  const auto got = window->Only(kWmApp + 8);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(got[static_cast<size_t>(i)].wParam, static_cast<uintptr_t>(i));
    EXPECT_EQ(got[static_cast<size_t>(i)].lParam, -i);
  }
}

TEST(Window, PostsToAClosedWindowAreDroppedEvenWhenAlreadyQueued) {
  RefPtr<RecordingWindow> window = TopLevel();
  const WindowId id = window->Id();
  ASSERT_TRUE(PostMessage(id, kWmRunCommandQueue, 0, 0));  // queued, not yet handled
  window->DestroyWindow();
  EXPECT_FALSE(window->IsCreated());
  EXPECT_FALSE(PostMessage(id, kWmRunCommandQueue, 0, 0));
  EXPECT_FALSE(IsWindow(id));
  UiApplication::ProcessEvents();
  EXPECT_TRUE(window->Only(kWmRunCommandQueue).empty());
  EXPECT_EQ(window->Only(kWmDestroy).size(), 1u);

  // A poster racing the close never reaches freed memory.
  RefPtr<RecordingWindow> raced = TopLevel();
  std::atomic<bool> stop{false};
  const WindowId racedId = raced->Id();
  std::thread poster([&] {
    while (!stop) PostMessage(racedId, kWmPaint, 0, 0);
  });
  ASSERT_TRUE(WaitUntil([&] { return !raced->Only(kWmPaint).empty(); }));
  raced = nullptr;  // the last reference destroys the window
  UiApplication::ProcessEvents();
  stop = true;
  poster.join();
  EXPECT_FALSE(IsWindow(racedId));
}

TEST(Window, WidgetDeletedByQtClearsTheBinding) {
  RefPtr<RecordingWindow> parent = TopLevel();
  RefPtr<RecordingWindow> child = Create<RecordingWindow>();
  ASSERT_TRUE(child->Create(L"", kWsChild | kWsVisible, {0, 0, 10, 10}, parent.Get(), 5));
  const WindowId childId = child->Id();
  delete parent->Widget()->window();  // Qt takes the whole tree down
  EXPECT_FALSE(parent->IsCreated());
  EXPECT_FALSE(child->IsCreated());
  EXPECT_FALSE(PostMessage(childId, kWmPaint, 0, 0));
}

TEST(Window, TimersTickWithTheirIdAndAreReplacedAndKilled) {
  RefPtr<RecordingWindow> window = TopLevel();
  ASSERT_TRUE(window->SetTimer(1, 10));
  ASSERT_TRUE(window->SetTimer(7, 10));
  ASSERT_TRUE(WaitUntil([&] {
    bool one = false, seven = false;
    for (const auto& m : window->Only(kWmTimer)) {
      one |= m.wParam == 1;
      seven |= m.wParam == 7;
    }
    return one && seven;
  }));
  // The same id replaces its timer; killing it stops the ticks.
  ASSERT_TRUE(window->SetTimer(1, 60000));
  EXPECT_TRUE(window->KillTimer(7));
  EXPECT_FALSE(window->KillTimer(7));
  window->messages.clear();
  QTest::qWait(60);
  EXPECT_TRUE(window->Only(kWmTimer).empty());
}

TEST(Window, CreateAnsweredWithMinusOneFailsAndLeavesNoWindow) {
  RefPtr<RecordingWindow> window = Create<RecordingWindow>();
  window->createAnswer = -1;
  EXPECT_FALSE(window->Create(L"", 0, {0, 0, 10, 10}, nullptr, 0));
  EXPECT_FALSE(window->IsCreated());
  EXPECT_EQ(window->Only(kWmDestroy).size(), 1u);
}

TEST(Window, CloseRequestIsTheWindowsDecision) {
  RefPtr<RecordingWindow> window = TopLevel();
  window->refuseClose = true;
  window->Widget()->window()->close();
  EXPECT_TRUE(window->IsCreated());
  EXPECT_EQ(window->Only(kWmClose).size(), 1u);
  window->refuseClose = false;
  window->Widget()->window()->close();
  EXPECT_FALSE(window->IsCreated());  // the default handling destroys it
}

TEST(Window, ControlsAndMenusSendCommandsToTheirOwner) {
  RefPtr<RecordingWindow> frame = TopLevel();
  RefPtr<Button> button = Create<Button>();
  ASSERT_TRUE(button->Create(L"OK", kWsChild | kWsVisible | kWsTabStop, {4, 4, 60, 24}, frame.Get(), 1302));
  QTest::mouseClick(button->Widget(), Qt::LeftButton);
  auto commands = frame->Only(kWmCommand);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(LowWord(commands[0].wParam), 1302u);
  EXPECT_EQ(HighWord(commands[0].wParam), static_cast<uint32_t>(kBnClicked));
  EXPECT_EQ(static_cast<WindowId>(commands[0].lParam), button->Id());

  RefPtr<MenuBar> bar = Create<MenuBar>();
  ASSERT_TRUE(bar->Create(frame.Get()));
  bar->AppendItem(40001, L"終了");
  RefPtr<Menu> tools = bar->AppendPopup(L"ツール");
  tools->AppendItem(40010, L"画面消灯");
  EXPECT_TRUE(bar->Invoke(40010));
  EXPECT_TRUE(bar->Invoke(40001));
  EXPECT_FALSE(bar->Invoke(40099));
  commands = frame->Only(kWmCommand);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[1].wParam, MakeWParam(40010, 0));
  EXPECT_EQ(commands[2].wParam, MakeWParam(40001, 0));

  // Rebuilding a popup: cleared, then refilled.
  tools->Clear();
  EXPECT_EQ(tools->ItemCount(), 0);
  tools->AppendItem(40051, L"説明書");
  tools->AppendSeparator();
  tools->AppendItem(40010, L"画面消灯");
  EXPECT_EQ(tools->ItemCount(), 3);
  EXPECT_EQ(tools->ItemId(2), 40010);
}

TEST(Window, ChildrenComeInCreationOrderAndDieWithTheirParent) {
  RefPtr<RecordingWindow> frame = TopLevel();
  RefPtr<RecordingWindow> page = Create<RecordingWindow>();
  ASSERT_TRUE(page->Create(L"", kWsChild | kWsVisible, {0, 0, 240, 200}, frame.Get(), 0));
  RefPtr<Button> a = Create<Button>();
  RefPtr<Button> b = Create<Button>();
  ASSERT_TRUE(b->Create(L"b", kWsChild | kWsVisible, {0, 0, 10, 10}, page.Get(), 2));
  ASSERT_TRUE(a->Create(L"a", kWsChild | kWsVisible | kWsTabStop, {0, 0, 10, 10}, page.Get(), 1));
  a->Widget()->raise();  // z-order changes do not reorder the children
  const auto children = page->Children();
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0], b.Get());
  EXPECT_EQ(children[1], a.Get());
  EXPECT_EQ(page->Child(1), a.Get());
  EXPECT_EQ(a->Parent(), page.Get());
  EXPECT_TRUE(a->HasStyle(kWsTabStop));

  const WindowId buttonId = a->Id();
  page->DestroyWindow();
  EXPECT_FALSE(a->IsCreated());
  EXPECT_FALSE(IsWindow(buttonId));
}

TEST(Window, KeyHookSeesKeysFirstWithTheFocusedWindow) {
  RefPtr<RecordingWindow> frame = TopLevel();
  RefPtr<Button> button = Create<Button>();
  ASSERT_TRUE(button->Create(L"x", kWsChild | kWsVisible | kWsTabStop, {0, 0, 40, 20}, frame.Get(), 9));
  frame->Widget()->window()->activateWindow();
  button->SetFocus();
  ASSERT_TRUE(WaitUntil([&] { return button->HasFocus(); }));
  std::vector<WindowMessage> keys;
  UiApplication::SetKeyHook([&](const WindowMessage& key) {
    keys.push_back(key);
    return key.wParam == kVkSpace;  // consume space: the button must not click
  });
  QTest::keyClick(button->Widget(), Qt::Key_2);
  QTest::keyClick(button->Widget(), Qt::Key_Space);
  QTest::keyPress(button->Widget(), Qt::Key_Up, Qt::NoModifier);
  UiApplication::SetKeyHook(nullptr);
  ASSERT_GE(keys.size(), 5u);
  EXPECT_EQ(keys[0].message, kWmKeyDown);
  EXPECT_EQ(keys[0].wParam, 0x32u);
  EXPECT_EQ(keys[0].window, button->Id());
  EXPECT_EQ(keys[0].lParam & kKeyRepeatBit, 0);
  EXPECT_EQ(keys[1].message, kWmKeyUp);
  EXPECT_EQ(keys.back().wParam, kVkUp);
  EXPECT_TRUE(frame->Only(kWmCommand).empty());
}

}  // namespace
}  // namespace talvinor
