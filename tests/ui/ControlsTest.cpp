#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Dialog.h"
#include "ui/Edit.h"
#include "ui/ListView.h"
#include "ui/SkinBuilder.h"
#include "ui/StaticText.h"
#include "ui/TabControl.h"
#include "ui/UiApplication.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::WaitUntil;

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = Create<RecordingWindow>();
    ASSERT_TRUE(page->Create(L"", kWsVisible, {0, 0, 240, 300}, nullptr, 0));
  }
  std::vector<WindowMessage> Commands() const { return page->Only(kWmCommand); }
  RefPtr<RecordingWindow> page;
};

TEST_F(ControlsTest, RefusedTabChangeKeepsTheOldTab) {
  RefPtr<TabControl> tabs = Create<TabControl>();
  ASSERT_TRUE(tabs->Create(L"", 0x54013002, {0, 0, 240, 300}, page.Get(), 1002));
  for (const wchar_t* text : {L"レコーダ", L"プレイヤ", L"伝言メモ", L"設定", L"説明"})
    tabs->InsertItem(tabs->GetItemCount(), text);
  EXPECT_EQ(tabs->GetCurSel(), 0);
  EXPECT_TRUE(page->notifications.empty());  // inserting is no choice

  auto* bar = tabs->Widget()->findChild<QTabBar*>();
  ASSERT_NE(bar, nullptr);
  // Tabs at the bottom: the pages get the area above the bar.
  const Rect pages = tabs->AdjustRect({0, 0, 240, 300});
  EXPECT_EQ(pages.y, 0);
  EXPECT_EQ(pages.height, 300 - tabs->BarHeight());
  EXPECT_EQ(bar->geometry().bottom(), 299);

  page->notifyAnswer = 1;  // the current page refuses to be left
  QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(1).center());
  EXPECT_EQ(tabs->GetCurSel(), 0);
  EXPECT_EQ(bar->currentIndex(), 0);
  ASSERT_EQ(page->notifications.size(), 1u);
  EXPECT_EQ(page->notifications[0].code, kTcnSelChanging);

  page->notifyAnswer = 0;
  QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(2).center());
  EXPECT_EQ(tabs->GetCurSel(), 2);
  ASSERT_EQ(page->notifications.size(), 3u);
  EXPECT_EQ(page->notifications[1].code, kTcnSelChanging);
  EXPECT_EQ(page->notifications[1].item, 0);  // asked while the old tab is current
  EXPECT_EQ(page->notifications[2].code, kTcnSelChange);
  EXPECT_EQ(page->notifications[2].item, 2);

  // Selecting by program tells nothing.
  EXPECT_EQ(tabs->SetCurSel(4), 2);
  EXPECT_EQ(tabs->GetCurSel(), 4);
  EXPECT_EQ(page->notifications.size(), 3u);
}

TEST_F(ControlsTest, DropDownListReportsOnlyTheUsersChoices) {
  RefPtr<ComboBox> box = Create<ComboBox>();
  ASSERT_TRUE(box->Create(L"", 0x54210403, {0, 0, 120, 22}, page.Get(), 1125));
  box->AddString(L"0.なし", 0);
  box->AddString(L"B1.音量ブースト", 1);
  box->AddString(L"N2.ノイズ除去強", 4);
  EXPECT_EQ(box->GetCurSel(), ComboBox::kNone);  // nothing selected until asked
  EXPECT_TRUE(box->SetCurSel(1));
  EXPECT_EQ(box->GetItemData(box->GetCurSel()), 1);
  EXPECT_EQ(box->FindItemData(4), 2);
  EXPECT_EQ(box->FindItemData(3), ComboBox::kNone);
  EXPECT_FALSE(box->SetCurSel(7));
  EXPECT_TRUE(Commands().empty());

  auto* combo = qobject_cast<QComboBox*>(box->Widget());
  emit combo->activated(2);  // the user picks from the list
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_EQ(Commands()[0].wParam, MakeWParam(1125, kCbnSelChange));
}

TEST_F(ControlsTest, EditReportsTypingButNotTheProgramsTexts) {
  RefPtr<Edit> edit = Create<Edit>();
  ASSERT_TRUE(edit->Create(L"", kWsChild | kWsVisible | kWsTabStop, {0, 0, 200, 22}, page.Get(), 1431));
  edit->SetLimitText(5);
  edit->SetText(L"/home");
  EXPECT_TRUE(Commands().empty());
  edit->SetText(L"");
  QTest::keyClicks(edit->Widget(), "abcdefg");
  EXPECT_EQ(edit->GetText(), L"abcde");
  EXPECT_FALSE(Commands().empty());
  EXPECT_EQ(Commands()[0].wParam, MakeWParam(1431, kEnChange));

  RefPtr<Edit> info = Create<Edit>();
  ASSERT_TRUE(info->Create(L"", kWsChild | kWsVisible | kWsVScroll | kEsMultiLine | kEsReadOnly,
                           {0, 30, 200, 100}, page.Get(), 1131));
  info->SetText(L"1行目\r\n2行目\r\n3行目");
  EXPECT_EQ(info->GetText(), L"1行目\n2行目\n3行目");
  EXPECT_EQ(info->GetLineCount(), 3);
  EXPECT_TRUE(info->IsCaretOnFirstLine());
  info->SetSelection(8, 8);
  EXPECT_EQ(info->GetCaretLine(), 2);
  EXPECT_TRUE(info->IsCaretOnLastLine());
}

TEST_F(ControlsTest, RadioButtonsOfAGroupExcludeEachOtherOnly) {
  auto make = [&](int id, uint32_t extra) {
    RefPtr<Button> b = Create<Button>();
    EXPECT_TRUE(b->Create(L"r", kWsChild | kWsVisible | kBsAutoRadioButton | extra, {0, 0, 80, 20}, page.Get(), id));
    return b;
  };
  RefPtr<Button> q1 = make(1413, kWsGroup), q2 = make(1414, 0), q3 = make(1415, 0);
  RefPtr<Button> p1 = make(1451, kWsGroup), p2 = make(1452, 0);
  q1->SetCheck(true);
  p1->SetCheck(true);
  q3->Click();
  EXPECT_FALSE(q1->GetCheck());
  EXPECT_FALSE(q2->GetCheck());
  EXPECT_TRUE(q3->GetCheck());
  EXPECT_TRUE(p1->GetCheck());  // the other group is untouched
  EXPECT_FALSE(p2->GetCheck());

  RefPtr<Button> check = Create<Button>();
  ASSERT_TRUE(check->Create(L"VAD", kWsChild | kWsVisible | kBsAutoCheckBox, {0, 0, 80, 20}, page.Get(), 1424));
  check->Click();
  EXPECT_TRUE(check->GetCheck());
  check->Click();
  EXPECT_FALSE(check->GetCheck());
}

TEST_F(ControlsTest, OwnerDrawnButtonPaintsTheFaceOfItsState) {
  RefPtr<ButtonFaces> faces = SkinBuilder::TextFaces(L"録音", 64, 48, 2, FontSpec{kFacePGothic, 14, true});
  RefPtr<Button> button = Create<Button>();
  ASSERT_TRUE(button->Create(L"", 0x5400000B, {0, 0, 64, 48}, page.Get(), 1201));
  button->SetFaces(faces);
  auto painted = [&] {
    const QImage image = button->Widget()->grab().toImage();
    const QColor c = image.pixelColor(4, 4);  // inside the outline, away from the caption
    return MakeRgb(c.red(), c.green(), c.blue());
  };
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Normal);
  EXPECT_EQ(painted(), SkinBuilder::kNormalBrush);
  button->SetToggled(true);  // the pause button while paused
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Pressed);
  EXPECT_EQ(painted(), SkinBuilder::kPressedBrush);
  button->Enable(false);  // disabled wins over toggled
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Disabled);
  EXPECT_EQ(painted(), SkinBuilder::kDisabledBrush);
  button->Enable(true);
  button->SetToggled(false);
  QTest::mousePress(button->Widget(), Qt::LeftButton);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Pressed);  // held down
  QTest::mouseRelease(button->Widget(), Qt::LeftButton);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Normal);
  EXPECT_EQ(Commands().size(), 1u);
}

TEST_F(ControlsTest, ListViewSortsByItsDataAndReportsTheUsersActions) {
  RefPtr<ListView> list = Create<ListView>();
  ASSERT_TRUE(list->Create(L"", 0x5601004D, {0, 0, 240, 200}, page.Get(), 1141));
  list->InsertColumn(0, L"", 0);
  list->InsertColumn(1, L"名前", 120);
  list->InsertColumn(2, L"サイズ", 60, kLvcFmtRight);
  EXPECT_EQ(list->GetColumnWidth(0), 0);
  EXPECT_EQ(list->GetColumnWidth(1), 120);
  const wchar_t* names[] = {L"b.ogg", L"..", L"a.wav"};
  for (int i = 0; i < 3; ++i) {
    const int row = list->InsertItem(i, L"", i);
    list->SetItemText(row, 1, names[i]);
  }
  list->SelectItem(2);
  EXPECT_EQ(list->GetSelectedItem(), 2);
  EXPECT_TRUE(page->notifications.empty());  // the program's selection

  // Sort by name through the rows' data.
  static std::vector<std::wstring> byData;
  byData = {L"b.ogg", L"..", L"a.wav"};
  list->SortItems([](intptr_t a, intptr_t b, intptr_t) { return byData[a].compare(byData[b]); }, 0);
  EXPECT_EQ(list->GetItemText(0, 1), L"..");
  EXPECT_EQ(list->GetItemText(1, 1), L"a.wav");
  EXPECT_EQ(list->GetItemText(2, 1), L"b.ogg");
  EXPECT_EQ(list->GetSelectedItem(), 1);  // the selection follows its row
  EXPECT_EQ(list->GetItemData(1), 2);

  auto* tree = qobject_cast<QTreeWidget*>(list->Widget());
  const QRect row0 = tree->visualItemRect(tree->topLevelItem(0));
  // A double tap as the platform delivers it: press, release, double click, release.
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(row0.center()), tree->viewport()->mapToGlobal(QPointF(row0.center())),
                      Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &event);
  }
  bool doubleTapped = false;
  for (const auto& n : page->notifications)
    if (n.code == kNmDblClk && n.item == 0) doubleTapped = true;
  EXPECT_TRUE(doubleTapped);
  const QPoint inControl = tree->viewport()->mapTo(tree, row0.center());
  EXPECT_EQ(list->HitTest(inControl.x(), inControl.y()), 0);
}

// A dialog that ends itself with a posted message, proving that posts are
// handled while it runs.
class EndingDialog : public Dialog {
 public:
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (message == kWmInitDialog) {
      label = talvinor::Create<StaticText>();
      label->Create(L"変換中", kWsChild | kWsVisible, {4, 4, 100, 20}, this, 1382);
      PostMessage(Id(), kWmConvertNotify, 5, 0);
      return 0;
    }
    if (message == kWmConvertNotify) {
      sawModal = UiApplication::IsModalDialogOpen();
      EndDialog(kIdOk);
      return 0;
    }
    return Dialog::HandleMessage(message, wParam, lParam);
  }
  RefPtr<StaticText> label;
  bool sawModal = false;
};

TEST_F(ControlsTest, ModalDialogRunsUntilEndedAndHandlesPostsMeanwhile) {
  RefPtr<EndingDialog> dialog = Create<EndingDialog>();
  EXPECT_EQ(dialog->DoModal(nullptr, L"TALVINOR", 121, 100), -1);
  EXPECT_EQ(dialog->DoModal(page.Get(), L"TALVINOR", 242, 200), kIdOk);
  EXPECT_TRUE(dialog->sawModal);
  EXPECT_FALSE(dialog->IsCreated());
  EXPECT_FALSE(dialog->label->IsCreated());
  EXPECT_FALSE(UiApplication::IsModalDialogOpen());

  // Escape is the cancel command; by default it ends the dialog.
  RefPtr<Dialog> plain = Create<Dialog>();
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal) QTest::keyClick(modal, Qt::Key_Escape);
  });
  EXPECT_EQ(plain->DoModal(page.Get(), L"TALVINOR", 100, 80), kIdCancel);
}

}  // namespace
}  // namespace talvinor
