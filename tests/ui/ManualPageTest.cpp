#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "UiTestSupport.h"
#include "core/ProgramPaths.h"
#include "platform/CodePage.h"
#include "support/TempFolder.h"
#include "ui/ManualPage.h"
#include "ui/Menu.h"
#include "ui/StatusLine.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::TempFolder;

class FakeHost : public PageHost {
 public:
  StatusLine* MessageArea() override { return nullptr; }
  void UpdateTitle() override {}
  void FocusDefaultControl() override {}
  WindowId FrameId() const override { return 0; }
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void WriteCp932(const std::string& path, const std::wstring& text) { WriteBytes(path, WideToAnsi(text)); }

class ManualPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OverrideProgramFolder(folder.WPath());
    frame = Create<RecordingWindow>();
    ASSERT_TRUE(frame->Create(L"TALVINOR", kWsVisible, {0, 0, 240, 300}, nullptr, 0));
    page = Create<ManualPage>();
    page->SetHost(&host);
    ASSERT_TRUE(page->Create(L"", kWsChild | kWsVisible, {0, 0, 240, 252}, frame.Get(), 0));
    ASSERT_NE(page->TextView(), nullptr);
  }
  void TearDown() override { OverrideProgramFolder(L""); }
  std::wstring Shown() const { return page->TextView()->GetText(); }

  TempFolder folder;
  FakeHost host;
  RefPtr<RecordingWindow> frame;
  RefPtr<ManualPage> page;
};

TEST_F(ManualPageTest, ShowsTheManualFirstAndReadsADocumentOnlyWhenItChanges) {
  WriteCp932(folder.File("manual.txt"), L"説明書の本文");
  WriteCp932(folder.File("mancmd.txt"), L"コマンド説明書");
  page->OnActivate();
  EXPECT_EQ(page->ShownDocument(), ManualPage::kShowManual);
  EXPECT_EQ(Shown(), L"説明書の本文");

  // Choosing the same document again does not read the file again.
  WriteCp932(folder.File("manual.txt"), L"書き換えた本文");
  page->OnMenuCommand(ManualPage::kShowManual, 0);
  page->OnActivate();
  EXPECT_EQ(Shown(), L"説明書の本文");

  // The menu's commands arrive as WM_COMMAND too.
  page->HandleMessage(kWmCommand, MakeWParam(ManualPage::kShowCommands, 0), 0);
  EXPECT_EQ(page->ShownDocument(), ManualPage::kShowCommands);
  EXPECT_EQ(Shown(), L"コマンド説明書");
  page->OnMenuCommand(ManualPage::kShowManual, 0);
  EXPECT_EQ(Shown(), L"書き換えた本文");
}

TEST_F(ManualPageTest, MissingDocumentShowsTheNoticeAndIsTriedAgain) {
  WriteCp932(folder.File("manual.txt"), L"説明書");
  page->OnActivate();
  EXPECT_FALSE(page->ShowDocument(ManualPage::kShowReadme));
  EXPECT_EQ(Shown(), ManualPage::kUnreadable);
  WriteCp932(folder.File("readme.txt"), L"はじめに");
  EXPECT_TRUE(page->ShowDocument(ManualPage::kShowReadme));
  EXPECT_EQ(Shown(), L"はじめに");

  // After a failure the document shown before is not taken as still shown:
  // choosing it again shows it instead of leaving the notice up.
  std::filesystem::remove(folder.File("readme.txt"));
  page->OnMenuCommand(ManualPage::kShowManual, 0);
  EXPECT_FALSE(page->ShowDocument(ManualPage::kShowReadme));
  EXPECT_EQ(Shown(), ManualPage::kUnreadable);
  EXPECT_TRUE(page->ShowDocument(ManualPage::kShowManual));
  EXPECT_EQ(Shown(), L"説明書");
  // Commands that are not documents change nothing.
  EXPECT_FALSE(page->ShowDocument(40055));
  EXPECT_EQ(Shown(), L"説明書");
}

TEST_F(ManualPageTest, FileWithoutATrailingZeroShowsItsLastCharacter) {
  // Ends in a double-byte character, then in a single byte.
  WriteCp932(folder.File("mankey.txt"), L"キー操作\r\n最後の行は終");
  EXPECT_TRUE(page->ShowDocument(ManualPage::kShowKeys));
  EXPECT_EQ(Shown(), L"キー操作\n最後の行は終");
  std::wstring text;
  WriteBytes(folder.File("one.txt"), "Z");
  ASSERT_TRUE(ManualPage::ReadDocument(folder.WFile(L"one.txt"), &text));
  EXPECT_EQ(text, L"Z");
  // A trailing zero byte ends the text without adding anything; so does one
  // in the middle, as the text view would.
  WriteBytes(folder.File("zero.txt"), std::string("ab\0cd", 5));
  ASSERT_TRUE(ManualPage::ReadDocument(folder.WFile(L"zero.txt"), &text));
  EXPECT_EQ(text, L"ab");
  // An empty file is a document with no text.
  WriteBytes(folder.File("empty.txt"), "");
  ASSERT_TRUE(ManualPage::ReadDocument(folder.WFile(L"empty.txt"), &text));
  EXPECT_EQ(text, L"");
  // A stray byte does not empty the document.
  WriteBytes(folder.File("stray.txt"), WideToAnsi(L"前後") + "\x81");
  ASSERT_TRUE(ManualPage::ReadDocument(folder.WFile(L"stray.txt"), &text));
  EXPECT_EQ(text.substr(0, 2), L"前後");
  EXPECT_EQ(text.size(), 3u);
}

TEST_F(ManualPageTest, ContributesItsFourDocumentsToTheToolsMenu) {
  RefPtr<Menu> tools = Create<Menu>();
  EXPECT_TRUE(page->ContributeToolsMenu(tools.Get()));
  ASSERT_EQ(tools->ItemCount(), 4);
  EXPECT_EQ(tools->ItemId(0), 40051);
  EXPECT_EQ(tools->ItemText(0), L"説明書");
  EXPECT_EQ(tools->ItemText(1), L"キー操作説明書");
  EXPECT_EQ(tools->ItemText(2), L"コマンド説明書");
  EXPECT_EQ(tools->ItemId(3), 40054);
  EXPECT_EQ(tools->ItemText(3), L"READMEの参照");
  // Chosen from the menu, the document appears.
  WriteCp932(folder.File("readme.txt"), L"README");
  tools->SetOwner(page.Get());
  EXPECT_TRUE(tools->Invoke(40054));
  EXPECT_EQ(Shown(), L"README");
}

TEST_F(ManualPageTest, TextFillsThePageAndKeepsTheFocusAtItsEnds) {
  page->Move({0, 0, 200, 150});
  EXPECT_EQ(page->TextView()->GetRect(), (Rect{0, 0, 200, 150}));
  page->Move({0, 0, 0, 0});
  EXPECT_EQ(page->TextView()->GetRect(), (Rect{0, 0, 0, 0}));
  page->Move({0, 0, 240, 252});

  WriteCp932(folder.File("manual.txt"), L"一行目\r\n二行目\r\n三行目");
  page->OnActivate();
  Edit* text = page->TextView();
  auto key = [&](uint32_t vk, uint32_t message = kWmKeyDown) {
    return page->OnKeyNavigate(WindowMessage{text->Id(), message, vk, 1});
  };
  // Caret on the first line: Up is swallowed, down and up alike; Down is not.
  EXPECT_FALSE(key(kVkUp));
  EXPECT_FALSE(key(kVkUp, kWmKeyUp));
  EXPECT_TRUE(key(kVkDown));
  text->SetSelection(12, 12);  // the last line
  EXPECT_FALSE(key(kVkDown));
  EXPECT_FALSE(key(kVkDown, kWmKeyUp));
  EXPECT_TRUE(key(kVkUp));
  // Keys meant for other windows are not the page's business.
  EXPECT_TRUE(page->OnKeyNavigate(WindowMessage{frame->Id(), kWmKeyDown, kVkDown, 1}));
}

}  // namespace
}  // namespace talvinor
