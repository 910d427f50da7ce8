#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "support/ScriptedMessageBox.h"
#include "ui/MessageBox.h"
#include "ui/UiApplication.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;

TEST(MessageBox, ScriptedAnswererRecordsEachBoxAndAnswersInTurn) {
  testing::ScriptedMessageBox script({kIdNo, kIdYes});
  EXPECT_EQ(MessageBox::Show(0x100, L"録音を停止します。\r\nよろしいですか？", L"TALVINOR", 0x124), kIdNo);
  EXPECT_EQ(MessageBox::Show(0x100, L"二つ目", L"TALVINOR", 0x124), kIdYes);
  EXPECT_EQ(MessageBox::Show(0x100, L"三つ目", L"TALVINOR", 0x30), kIdOk);  // script used up: OK
  ASSERT_EQ(script.Requests().size(), 3u);
  EXPECT_EQ(script.Requests()[0].text, L"録音を停止します。\r\nよろしいですか？");
  EXPECT_EQ(script.Requests()[0].caption, L"TALVINOR");
  EXPECT_EQ(script.Requests()[0].flags, 0x124u);
  EXPECT_EQ(script.Requests()[0].owner, 0x100u);
  EXPECT_EQ(script.Texts(), (std::vector<std::wstring>{L"録音を停止します。\r\nよろしいですか？", L"二つ目", L"三つ目"}));
}

// Looks at the box Qt shows, then presses one of its buttons.
struct BoxInspection {
  QStringList buttons;
  QString defaultButton;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QString title;
};

int ShowAndPress(uint32_t flags, const QString& press, BoxInspection* seen, WindowId owner = 0) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    for (QAbstractButton* b : box->buttons()) seen->buttons << b->text();
    seen->defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
    seen->icon = box->icon();
    seen->text = box->text();
    seen->title = box->windowTitle();
    if (press == "Escape") {
      QTest::keyClick(box, Qt::Key_Escape);
      return;
    }
    for (QAbstractButton* b : box->buttons())
      if (b->text() == press) b->click();
  });
  return MessageBox::Show(owner, L"設定が変更されています。\r\n適用してよろしいですか？", L"TALVINOR", flags);
}

TEST(MessageBox, QtBoxHasJapaneseButtonsTheFlagsIconAndDefault) {
  RefPtr<RecordingWindow> frame = Create<RecordingWindow>();
  ASSERT_TRUE(frame->Create(L"TALVINOR", kWsVisible, {0, 0, 240, 300}, nullptr, 0));

  BoxInspection yesNo;
  EXPECT_EQ(ShowAndPress(0x124, "はい", &yesNo, frame->Id()), kIdYes);
  EXPECT_EQ(yesNo.buttons.size(), 2);
  EXPECT_TRUE(yesNo.buttons.contains("はい"));
  EXPECT_TRUE(yesNo.buttons.contains("いいえ"));
  EXPECT_EQ(yesNo.defaultButton, "いいえ");
  EXPECT_EQ(yesNo.icon, QMessageBox::Question);
  EXPECT_EQ(yesNo.title, "TALVINOR");
  EXPECT_EQ(yesNo.text, "設定が変更されています。\n適用してよろしいですか？");

  BoxInspection cancel;
  EXPECT_EQ(ShowAndPress(0x3 | 0x20 | 0x200, "Escape", &cancel), kIdCancel);
  EXPECT_EQ(cancel.buttons.size(), 3);
  EXPECT_TRUE(cancel.buttons.contains("キャンセル"));
  EXPECT_EQ(cancel.defaultButton, "キャンセル");

  BoxInspection warning;
  EXPECT_EQ(ShowAndPress(0x30, "OK", &warning), kIdOk);
  EXPECT_EQ(warning.buttons, QStringList{"OK"});
  EXPECT_EQ(warning.icon, QMessageBox::Warning);

  BoxInspection noByEscape;
  EXPECT_EQ(ShowAndPress(0x4, "Escape", &noByEscape), kIdNo);
  EXPECT_EQ(noByEscape.defaultButton, "はい");
  EXPECT_FALSE(UiApplication::IsModalDialogOpen());
}

}  // namespace
}  // namespace talvinor
