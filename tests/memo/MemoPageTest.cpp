// The memo page in a frame: the backup started by its button, its keys and
// the save-memo command, the question, the dialog's progress and endings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cmath>
#include <filesystem>

#include "app/FrameTestSupport.h"
#include "codec/WavBuilder.h"
#include "command/CommandExecutor.h"
#include "memo/MemoBackupDialog.h"
#include "memo/MemoPage.h"
#include "settings/ConfigStore.h"
#include "support/ScriptedMessageBox.h"
#include "ui/SkinResources.h"

namespace talvinor {
namespace {

using testing::ScriptedMessageBox;
using testing::TestFrame;
namespace fs = std::filesystem;

std::string Tone(uint32_t rate, double seconds) {
  std::string pcm;
  const uint32_t frames = static_cast<uint32_t>(rate * seconds);
  for (uint32_t i = 0; i < frames; ++i)
    testing::Append16(pcm, static_cast<uint16_t>(static_cast<int16_t>(9000 * std::sin(0.05 * i))));
  return pcm;
}

struct MemoFrame {
  explicit MemoFrame(int sizeClass = 17) {
    t.setup.sizeClass = sizeClass;
    auto made = t.setup.pages;
    t.setup.pages = [this, made](PageId id, const PageContext& context) -> RefPtr<Page> {
      if (id != PageId::Memo) return made(id, context);
      page = Create<MemoPage>(master);
      return page;
    };
    fs::create_directories(t.folder.File("phone"));
    fs::create_directories(t.folder.File("memo"));
    RefPtr<CONFIG> config = GetConfig();
    config->m_MemoSrcPath = t.folder.WPath() + L"/phone/";
    config->m_MemoSrcFile = L"shrec%d.wav";
    config->m_MemoSrcFirst = 1;
    config->m_MemoSrcLast = 5;
    config->m_MemoPath = t.folder.WFile(L"memo");
    config->m_MemoTelInfoInTag = 0;
  }
  ~MemoFrame() {
    master->Close();
    master->Wait(5000);
  }
  bool Make() {
    if (!t.Make()) return false;
    t.frame->SelectPage(PageId::Memo);
    return true;
  }
  void PutMessage(int slot, int minute, const std::string& bytes) {
    const std::string path = t.folder.File("phone/shrec" + std::to_string(slot) + ".wav");
    testing::WriteFile(path, bytes);
    std::tm local{};
    local.tm_year = 124;
    local.tm_mon = 0;
    local.tm_mday = 2;
    local.tm_hour = 10;
    local.tm_min = minute;
    local.tm_isdst = -1;
    struct utimbuf times {};
    times.actime = times.modtime = std::mktime(&local);
    ::utime(path.c_str(), &times);
  }
  std::string Memo(int minute) const {
    char name[32];
    std::snprintf(name, sizeof name, "memo/rm240102_10%02d00.ogg", minute);
    return t.folder.File(name);
  }
  std::wstring Shown() const { return t.frame->MessageArea()->ShownText(); }

  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  RefPtr<MemoPage> page;
  TestFrame t;
};

TEST(MemoPage, ShowsItsDescriptionAndButton) {
  MemoFrame m;
  ASSERT_TRUE(m.Make());
  ASSERT_NE(m.page->Description(), nullptr);
  EXPECT_EQ(m.page->Description()->ControlId(), 1301);
  EXPECT_EQ(m.page->Description()->GetText().substr(0, 12), L"端末に保存されている伝言");
  EXPECT_EQ(m.page->SaveButton()->ControlId(), 1302);
  EXPECT_EQ(m.page->SaveButton()->GetText(), L"伝言メモ保存");
  EXPECT_TRUE(m.page->SaveButton()->IsVisible());
}

TEST(MemoPage, ButtonBacksUpAfterTheQuestionAndTheDialogClosesByItself) {
  MemoFrame m;
  ASSERT_TRUE(m.Make());
  m.PutMessage(2, 1, testing::SimpleWav(Tone(8000, 0.5), 1, 8000, 16));
  ScriptedMessageBox box({kIdYes});
  bool disabledMeanwhile = false;
  m.page->SetDialogHook([&](MemoBackupDialog*) { disabledMeanwhile = !m.page->SaveButton()->IsEnabled(); });
  QTest::mouseClick(m.page->SaveButton()->Widget(), Qt::LeftButton);
  EXPECT_TRUE(testing::WaitUntil([&] { return fs::exists(m.Memo(1)); }));
  EXPECT_TRUE(disabledMeanwhile);
  ASSERT_EQ(box.Requests().size(), 1u);
  EXPECT_EQ(box.Requests()[0].caption, L"TALVINOR");
  EXPECT_EQ(box.Requests()[0].flags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(box.Requests()[0].text.substr(0, 19), L"1 件の伝言メモをバックアップします。");
  EXPECT_EQ(m.Shown(), L"バックアップが完了しました。");
  EXPECT_TRUE(m.page->SaveButton()->IsEnabled());
  EXPECT_FALSE(m.page->IsBackupRunning());
}

TEST(MemoPage, NoMeansNothingIsWritten) {
  MemoFrame m;
  ASSERT_TRUE(m.Make());
  m.PutMessage(1, 3, testing::SimpleWav(Tone(8000, 0.2), 1, 8000, 16));
  ScriptedMessageBox box({kIdNo});
  EXPECT_FALSE(m.page->RunBackup());
  EXPECT_EQ(box.Requests().size(), 1u);
  EXPECT_TRUE(fs::is_empty(m.t.folder.File("memo")));
}

TEST(MemoPage, EnterOneAndTheSaveMemoCommandStartTheBackup) {
  MemoFrame m;
  ASSERT_TRUE(m.Make());
  ScriptedMessageBox box;
  WindowMessage key{m.page->SaveButton()->Id(), kWmKeyDown, '1', 0};
  EXPECT_FALSE(m.page->OnKeyNavigate(key));
  EXPECT_EQ(m.Shown(), L"伝言メモがありません。");
  key.lParam = kKeyRepeatBit;
  EXPECT_TRUE(m.page->OnKeyNavigate(key)) << "an auto-repeated key starts nothing";
  key = {m.page->SaveButton()->Id(), kWmKeyDown, kVkReturn, 0};
  m.PutMessage(1, 4, testing::SimpleWav(Tone(8000, 0.2), 1, 8000, 16));
  box.Add(kIdNo);
  EXPECT_FALSE(m.page->OnKeyNavigate(key));
  EXPECT_EQ(box.Requests().size(), 1u);
  SaveMemoCommand command;
  box.Add(kIdNo);
  EXPECT_TRUE(m.page->ExecuteCommand(&command));
  EXPECT_EQ(box.Requests().size(), 2u);
  key.wParam = '2';
  EXPECT_TRUE(m.page->OnKeyNavigate(key));
  EXPECT_EQ(box.Requests().size(), 2u);
}

TEST(MemoPage, MissingFolderIsReportedAsAnError) {
  MemoFrame m;
  GetConfig()->m_MemoPath = m.t.folder.WFile(L"nowhere");
  ASSERT_TRUE(m.Make());
  ScriptedMessageBox box;
  EXPECT_FALSE(m.page->RunBackup());
  EXPECT_TRUE(box.Requests().empty());
  EXPECT_EQ(m.Shown(), L"伝言メモの保存先フォルダが存在しません。設定を確認してください。");
  EXPECT_EQ(m.t.frame->MessageArea()->CurrentBackground() != 0, true);
}

TEST(MemoPage, AFailureKeepsTheDialogOpenWithClose) {
  MemoFrame m;
  ASSERT_TRUE(m.Make());
  m.PutMessage(1, 5, "RIFF\x04\0\0\0WAVE");
  m.PutMessage(2, 6, testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16));
  ScriptedMessageBox box({kIdYes});
  std::wstring buttonText;
  std::wstring progressText;
  int low = -1, high = -1;
  // Held here, not by itself: RunBackup returns only after the dialog.
  std::function<void()> poll;
  m.page->SetDialogHook([&](MemoBackupDialog* dialog) {
    poll = [&, dialog] {
      if (dialog->AbortButton() && dialog->AbortButton()->GetText() == MemoBackupDialog::kCloseText) {
        buttonText = dialog->AbortButton()->GetText();
        progressText = dialog->Text()->GetText();
        dialog->Progress()->GetRange(&low, &high);
        QTest::mouseClick(dialog->AbortButton()->Widget(), Qt::LeftButton);
        return;
      }
      QTimer::singleShot(10, poll);
    };
    QTimer::singleShot(10, poll);
  });
  EXPECT_TRUE(m.page->RunBackup());
  EXPECT_EQ(buttonText, L"閉じる");
  EXPECT_EQ(progressText, L"2 / 2 : 失敗 1 件");
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 200);
  EXPECT_EQ(m.Shown(), L"バックアップが終了しました。エラーがあります。");
  EXPECT_TRUE(fs::exists(m.Memo(6)));
  EXPECT_FALSE(fs::exists(m.Memo(5)));
}

TEST(MemoPage, ClosingTheProgramDuringABackupLeavesNoHalfWrittenFile) {
  MemoFrame m;
  ASSERT_TRUE(m.Make());
  m.PutMessage(1, 9, testing::SimpleWav(Tone(44100, 240), 1, 44100, 16));
  ScriptedMessageBox box({kIdYes});
  m.page->SetDialogHook([&](MemoBackupDialog*) {
    QTimer::singleShot(30, [&] { m.t.frame->CloseProgram(); });
  });
  m.page->RunBackup();
  EXPECT_FALSE(fs::exists(m.Memo(9)));
  EXPECT_FALSE(fs::exists(m.t.folder.File("memo/rmogg.tmp")));
  EXPECT_TRUE(m.master->IsState(MasterState::Closed));
}

struct Variant {
  int skinType;
  int sizeClass;
  const char* name;
};

class MemoScreenshot : public ::testing::TestWithParam<Variant> {};

// The dialog during a backup, in each skin and size, saved for a person to
// look at; the sixth abort then ends it at once.
TEST_P(MemoScreenshot, DialogDuringABackup) {
  const Variant variant = GetParam();
  MemoFrame m(variant.sizeClass);
  OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));
  GetConfig()->m_SkinTypeId = static_cast<uint32_t>(variant.skinType);
  ASSERT_TRUE(m.Make());
  m.PutMessage(1, 7, testing::SimpleWav(Tone(44100, 240), 1, 44100, 16));
  m.PutMessage(2, 8, testing::SimpleWav(Tone(8000, 1), 1, 8000, 16));
  ScriptedMessageBox box({kIdYes});
  QDir().mkpath(TALVINOR_SCREENSHOT_DIR);
  const QString prefix = QString(TALVINOR_SCREENSHOT_DIR "/memo-") + variant.name;
  bool shot = false;
  // Held here, not by itself: RunBackup returns only after the dialog.
  std::function<void()> poll;
  m.page->SetDialogHook([&](MemoBackupDialog* dialog) {
    poll = [&, dialog] {
      if (dialog->Progress() && dialog->Progress()->GetPos() > 0 && dialog->Job()->GetCounts().done == 0) {
        QApplication::processEvents();
        shot = dialog->Widget()->grab().toImage().save(prefix + "-dialog.png");
        m.t.frame->Widget()->window()->grab().toImage().save(prefix + "-page.png");
        for (int i = 0; i < 6; ++i) QTest::mouseClick(dialog->AbortButton()->Widget(), Qt::LeftButton);
        return;
      }
      QTimer::singleShot(20, poll);
    };
    QTimer::singleShot(20, poll);
  });
  m.page->RunBackup();
  EXPECT_TRUE(shot);
  EXPECT_EQ(m.Shown(), L"安全に強制中断しました。");
  EXPECT_FALSE(fs::exists(m.Memo(7)));
  EXPECT_FALSE(fs::exists(m.t.folder.File("memo/rmogg.tmp")));
}

INSTANTIATE_TEST_SUITE_P(SkinsAndSizes, MemoScreenshot,
                         ::testing::Values(Variant{2, 17, "image-qvga"}, Variant{2, 33, "image-vga"},
                                           Variant{1, 17, "text-qvga"}, Variant{1, 33, "text-vga"}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace talvinor
