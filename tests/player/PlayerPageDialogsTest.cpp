// The page's popups and dialog as a person uses them: the list's context
// menu, the storage-root menu, the header and the double tap, and the real
// name dialog of the rename.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "PlayerPageTestSupport.h"
#include "player/RenameDialog.h"

namespace talvinor {
namespace {

using testing::PlayerPageFixture;

// Runs `act` once `ready` holds, looking every 10 ms without blocking the
// nested loops of menus and dialogs.
void WhenReady(std::function<QWidget*()> ready, std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, ready, act] {
    QWidget* widget = ready();
    if (!widget) return;
    timer->stop();
    timer->deleteLater();
    act(widget);
  });
  timer->start();
}

// Once the popup menu is up, chooses its item number `downs` (separators not counted).
void ChooseFromPopup(int downs) {
  WhenReady(
      []() -> QWidget* {
        for (QWidget* w : QApplication::topLevelWidgets())
          if (qobject_cast<QMenu*>(w) && w->isVisible()) return w;
        return nullptr;
      },
            [downs](QWidget* widget) {
              auto* menu = static_cast<QMenu*>(widget);
              QList<QAction*> items;
              for (QAction* a : menu->actions())
                if (!a->isSeparator()) items.push_back(a);
              if (downs < items.size()) menu->setActiveAction(items[downs]);
              QTest::keyClick(menu, Qt::Key_Return);
            });
}

// Once the name dialog is up, types `name` over the old one and presses the button captioned `button`.
void AnswerNameDialog(const QString& name, const QString& button, QString* oldShown, QString* label) {
  WhenReady([] { return QApplication::activeModalWidget(); },
            [=](QWidget* dialog) {
              auto* edit = dialog->findChild<QLineEdit*>();
              if (!edit) return;
              *oldShown = edit->selectedText();
              for (QWidget* w : dialog->findChildren<QWidget*>())
                if (w->property("text").isValid() && w->property("text").toString().startsWith(QStringLiteral("変更前")))
                  *label = w->property("text").toString();
              edit->setText(name);
              for (auto* b : dialog->findChildren<QAbstractButton*>())
                if (b->text() == button) b->click();
            });
}

TEST(PlayerPageDialogsTest, ContextMenuOnARowRenamesThroughTheNameDialog) {
  PlayerPageFixture t;
  t.WriteWav("before.wav", 100);
  ASSERT_TRUE(t.Make());
  t.frame->Show(true);
  t.Select(L"before.wav");
  const int row = t.page->List()->GetSelectedItem();
  QString oldShown, label;
  AnswerNameDialog(QStringLiteral("　after.wav "), QStringLiteral("OK"), &oldShown, &label);
  ChooseFromPopup(0);  // "ファイル名を変更"
  ControlNotify hold{.from = t.page->List()->Id(), .controlId = PlayerPage::kList, .code = kGnContextMenu, .item = row,
                     .x = 20, .y = 20};
  t.page->HandleMessage(kWmNotify, PlayerPage::kList, reinterpret_cast<intptr_t>(&hold));
  QApplication::processEvents();
  EXPECT_EQ(oldShown, QStringLiteral("before.wav"));
  EXPECT_EQ(label, QStringLiteral("変更前の名前\nbefore.wav"));
  EXPECT_TRUE(std::filesystem::exists(t.files.File("after.wav")));
  EXPECT_TRUE(t.HasMessage(L"名前を after.wav にしました。"));

  // Cancel leaves the file alone; a hold on empty space opens nothing.
  t.Select(L"after.wav");
  AnswerNameDialog(QStringLiteral("other.wav"), QStringLiteral("キャンセル"), &oldShown, &label);
  t.page->Rename();
  EXPECT_TRUE(std::filesystem::exists(t.files.File("after.wav")));
  ControlNotify empty{.from = t.page->List()->Id(), .controlId = PlayerPage::kList, .code = kGnContextMenu,
                      .item = ListView::kNone};
  t.page->HandleMessage(kWmNotify, PlayerPage::kList, reinterpret_cast<intptr_t>(&empty));
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST(PlayerPageDialogsTest, StorageRootMenuOpensTheChosenFolder) {
  PlayerPageFixture t;
  std::filesystem::create_directories(t.files.File("memo"));
  GetConfig()->m_MemoPath = t.files.WFile(L"memo");
  GetConfig()->m_RecTelPath = t.files.WFile(L"no-such-folder");
  ASSERT_TRUE(t.Make());
  t.frame->Show(true);
  ChooseFromPopup(2);  // "伝言メモ保存フォルダ"
  t.page->Roots()->Click();
  QApplication::processEvents();
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WFile(L"memo"));
  EXPECT_EQ(t.page->FolderText()->GetText(), t.files.WFile(L"memo"));
  ChooseFromPopup(1);  // "通話録音保存フォルダ", which is missing
  t.page->Roots()->Click();
  QApplication::processEvents();
  EXPECT_TRUE(t.IsError(L"選択したフォルダは存在しません。"));
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WFile(L"memo"));
}

TEST(PlayerPageDialogsTest, HeaderTapsSortAndDoubleTapsOpenFoldersOnly) {
  PlayerPageFixture t;
  std::filesystem::create_directories(t.files.File("inner"));
  t.WriteWav("a.wav", 100);
  t.WriteWav("b.wav", 100);
  ASSERT_TRUE(t.Make());
  ControlNotify header{.controlId = PlayerPage::kList, .code = kLvnColumnClick, .subItem = FileListView::kColumnName};
  // The list is sorted by name already: a tap on it turns it descending.
  t.page->HandleMessage(kWmNotify, PlayerPage::kList, reinterpret_cast<intptr_t>(&header));
  EXPECT_EQ(t.page->List()->GetItemText(0, FileListView::kColumnName), L"b.wav");
  t.page->HandleMessage(kWmNotify, PlayerPage::kList, reinterpret_cast<intptr_t>(&header));
  EXPECT_EQ(t.page->List()->GetItemText(0, FileListView::kColumnName), L"..");

  t.Select(L"a.wav");
  ControlNotify twice{.controlId = PlayerPage::kList, .code = kNmDblClk, .item = t.page->List()->GetSelectedItem()};
  t.page->HandleMessage(kWmNotify, PlayerPage::kList, reinterpret_cast<intptr_t>(&twice));
  EXPECT_TRUE(t.page->Master()->IsState(MasterState::Closed)) << "a double tap on a file does not play it";
  t.Select(L"inner");
  twice.item = t.page->List()->GetSelectedItem();
  t.page->HandleMessage(kWmNotify, PlayerPage::kList, reinterpret_cast<intptr_t>(&twice));
  EXPECT_EQ(t.page->List()->CurrentFolder(), t.files.WFile(L"inner"));
}

}  // namespace
}  // namespace talvinor
