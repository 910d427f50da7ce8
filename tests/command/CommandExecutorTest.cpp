#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command/ChannelText.h"
#include "command/CommandExecutor.h"

namespace talvinor {
namespace {

// A page that records what the executor asked of it.
class FakePage : public CommandPage {
 public:
  FakePage(std::vector<std::wstring>* log, std::wstring name) : m_log(log), m_name(std::move(name)) {}
  bool MayLeave(LeaveReason reason) override {
    m_log->push_back(m_name + L".MayLeave(" + std::to_wstring(static_cast<int>(reason)) + L")");
    return mayLeave;
  }
  bool ExecuteCommand(Command* command) override {
    m_log->push_back(m_name + L".Execute(" + command->Name() + L")");
    return true;
  }
  bool mayLeave = true;

 private:
  std::vector<std::wstring>* m_log;
  std::wstring m_name;
};

// A frame with five pages and a log of everything done to it.
class FakeFrame : public CommandHost {
 public:
  FakeFrame()
      : pages{FakePage(&log, L"recorder"), FakePage(&log, L"player"), FakePage(&log, L"memo"),
              FakePage(&log, L"settings"), FakePage(&log, L"manual")} {}

  bool IsEnabled() override { return enabled; }
  CommandPage* CurrentPage() override { return hasCurrent ? &pages[static_cast<int>(selected)] : nullptr; }
  PageId SelectedPage() override { return selected; }
  void SelectPage(PageId page) override {
    log.push_back(L"frame.Select(" + std::to_wstring(static_cast<int>(page)) + L")");
    selected = page;
    hasCurrent = true;
  }
  void CloseProgram() override { log.push_back(L"frame.Close"); }
  void HideWindow() override { log.push_back(L"frame.Hide"); }
  void BringToForeground() override { log.push_back(L"frame.Foreground"); }
  void ShowNotice(const std::wstring& text) override { log.push_back(L"notice:" + text); }
  void ShowError(const std::wstring& text) override { log.push_back(L"error:" + text); }
  void PostRunCommandQueue() override { log.push_back(L"frame.Post0x8001"); }

  FakePage& Page(PageId id) { return pages[static_cast<int>(id)]; }

  std::vector<std::wstring> log;
  FakePage pages[5];
  PageId selected = PageId::Player;
  bool hasCurrent = true;
  bool enabled = true;
};

using Log = std::vector<std::wstring>;
const std::wstring kRefused = std::wstring(L"notice:") + kCommandRefusedNotice;

void RunTexts(FakeFrame* frame, std::initializer_list<const wchar_t*> texts) {
  RefPtr<CommandQueue> queue = Create<CommandQueue>();
  for (const wchar_t* text : texts) ASSERT_TRUE(PostCommand(queue.Get(), text)) << text;
  CommandExecutor::RunQueue(frame, queue.Get());
  EXPECT_EQ(queue->Count(), 0u);
}

TEST(CommandExecutor, PageCommandsSwitchToTheirPageWhenTheCurrentOneAgrees) {
  FakeFrame frame;
  RunTexts(&frame, {L"/cmd:rec /scene:1", L"/cmd:rec", L"/cmd:savememo", L"/cmd:play /src:\"a\""});
  EXPECT_EQ(frame.log, (Log{L"player.MayLeave(3)", L"frame.Select(0)", L"recorder.Execute(rec)",
                            L"recorder.Execute(rec)",  // already there: nobody is asked
                            L"recorder.MayLeave(3)", L"frame.Select(2)", L"memo.Execute(savememo)",
                            L"memo.MayLeave(3)", L"frame.Select(1)", L"player.Execute(play)"}));
}

TEST(CommandExecutor, ARefusedSwitchIsNoticedAndTheCurrentPageStillGetsTheCommand) {
  FakeFrame frame;
  frame.selected = PageId::Recorder;
  frame.Page(PageId::Recorder).mayLeave = false;
  RunTexts(&frame, {L"/cmd:play /src:\"a\""});
  EXPECT_EQ(frame.log, (Log{L"recorder.MayLeave(3)", kRefused, L"recorder.Execute(play)"}));
}

TEST(CommandExecutor, WithoutACurrentPageTheTargetIsSelectedWithoutAsking) {
  FakeFrame frame;
  frame.hasCurrent = false;
  RunTexts(&frame, {L"/cmd:stop", L"/cmd:rec"});
  EXPECT_EQ(frame.log, (Log{L"frame.Select(0)", L"recorder.Execute(rec)"}));
}

TEST(CommandExecutor, TransportCommandsGoToTheCurrentPageOnly) {
  FakeFrame frame;
  frame.selected = PageId::Settings;
  RunTexts(&frame, {L"/cmd:stop", L"/cmd:pause", L"/cmd:restart"});
  EXPECT_EQ(frame.log, (Log{L"settings.Execute(stop)", L"settings.Execute(pause)", L"settings.Execute(restart)"}));
}

TEST(CommandExecutor, WindowCommands) {
  FakeFrame frame;
  RunTexts(&frame, {L"/cmd:hidewindow", L"/cmd:openwindow"});
  EXPECT_EQ(frame.log, (Log{L"frame.Hide", L"frame.Foreground", std::wstring(L"notice:") + kWindowShownNotice}));
}

TEST(CommandExecutor, ADisabledFrameRefusesEveryCommand) {
  FakeFrame frame;
  frame.enabled = false;
  RunTexts(&frame, {L"/cmd:rec", L"/cmd:exit", L"/cmd:openwindow"});
  EXPECT_EQ(frame.log, (Log{kRefused, kRefused, kRefused}));
}

TEST(CommandExecutor, ExitAsksThePageAndDropsWhatFollowsOnceClosed) {
  FakeFrame frame;
  frame.Page(PageId::Player).mayLeave = false;
  RunTexts(&frame, {L"/cmd:exit", L"/cmd:stop"});
  EXPECT_EQ(frame.log, (Log{L"player.MayLeave(4)", L"player.Execute(stop)"}));

  frame.log.clear();
  frame.Page(PageId::Player).mayLeave = true;
  RunTexts(&frame, {L"/cmd:exit", L"/cmd:stop"});
  EXPECT_EQ(frame.log, (Log{L"player.MayLeave(4)", L"frame.Close"}));

  frame.log.clear();
  frame.hasCurrent = false;
  RunTexts(&frame, {L"/cmd:exit"});
  EXPECT_EQ(frame.log, (Log{L"frame.Close"}));
}

TEST(CommandExecutor, ChannelMessagesAreTrimmedThenPostedOrRefused) {
  FakeFrame frame;
  RefPtr<CommandQueue> queue = Create<CommandQueue>();
  CommandExecutor::HandleChannelMessage(&frame, queue.Get(), ChannelText::Encode(L""));
  CommandExecutor::HandleChannelMessage(&frame, queue.Get(), ChannelText::Encode(L" \t\x3000"));
  CommandExecutor::HandleChannelMessage(&frame, queue.Get(), ChannelText::Encode(L"\x3000/cmd:stop\t"));
  CommandExecutor::HandleChannelMessage(&frame, queue.Get(), ChannelText::Encode(L"/cmd:rec /scene:-2"));
  CommandExecutor::HandleChannelMessage(&frame, queue.Get(), {});
  EXPECT_EQ(frame.log, (Log{L"frame.Foreground", L"frame.Foreground", L"frame.Post0x8001",
                            std::wstring(L"error:") + kCommandSyntaxError, L"frame.Foreground"}));
  ASSERT_EQ(queue->Count(), 1u);
  EXPECT_EQ(PopCommand(queue.Get())->Kind(), CommandKind::Stop);
}

}  // namespace
}  // namespace talvinor
