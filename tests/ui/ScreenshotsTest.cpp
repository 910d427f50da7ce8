// Saves pictures of the controls in both skin types and both sizes into the
// build folder (screenshots/), for a person to look at, and checks what a
// picture can show: Japanese captions are drawn with an IPA font and no
// control of a page reaches past the page.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontInfo>
#include <QImage>
#include <QPixmap>

#include "UiTestSupport.h"
#include "core/ProgramPaths.h"
#include "platform/Unicode.h"
#include "ui/Button.h"
#include "ui/ComboBox.h"
#include "ui/Edit.h"
#include "ui/ListView.h"
#include "ui/ManualPage.h"
#include "ui/PageLayout.h"
#include "ui/SeekSlider.h"
#include "ui/SkinResources.h"
#include "ui/StaticText.h"
#include "ui/StatusLine.h"
#include "ui/TabControl.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;

// A frame like the program's: a page above the message area and the tabs.
struct Gallery {
  RefPtr<RecordingWindow> frame;
  RefPtr<TabControl> tabs;
  RefPtr<StatusLine> status;
  RefPtr<RecordingWindow> page;
  RefPtr<ManualPage> manual;
  std::vector<RefPtr<Window>> controls;

  Gallery(SkinResources& skin, int selectedTab) {
    frame = Create<RecordingWindow>();
    EXPECT_TRUE(frame->Create(L"TALVINOR", kWsVisible, {0, 0, skin.FrameClientWidth(), skin.FrameClientHeight()},
                              nullptr, 0));
    frame->Widget()->setFixedSize(skin.FrameClientWidth(), skin.FrameClientHeight());
    const Rect page_area{0, 0, skin.FrameClientWidth(), skin.PageHeight()};
    if (selectedTab == 4) {
      manual = Create<ManualPage>();
      EXPECT_TRUE(manual->Create(L"", kWsChild | kWsVisible, page_area, frame.Get(), 0));
      manual->OnActivate();
    } else {
      page = Create<RecordingWindow>();
      EXPECT_TRUE(page->Create(L"", kWsChild | kWsVisible, page_area, frame.Get(), 0));
    }
    status = Create<StatusLine>();
    EXPECT_TRUE(status->Create(L"", 0x54000000, {0, skin.PageHeight(), skin.FrameClientWidth(), skin.MessageAreaHeight()},
                               frame.Get(), 1003));
    status->SetFont(skin.Font(2));
    tabs = Create<TabControl>();
    EXPECT_TRUE(tabs->Create(L"", 0x54013002, {0, 0, skin.FrameClientWidth(), skin.FrameClientHeight()}, frame.Get(),
                             1002));
    tabs->SetFont(skin.TabFont());
    tabs->SetBarHeight(skin.TabBarHeight());
    tabs->SetFaces(skin.TabFaces());
    if (skin.TabFaces()) tabs->SetColours(skin.TabTextColour(), 0, false);
    for (const wchar_t* text : {L"レコーダ", L"プレイヤ", L"伝言メモ", L"設定", L"説明"})
      tabs->InsertItem(tabs->GetItemCount(), text);
    tabs->SetCurSel(selectedTab);
  }

  template <typename T>
  T* Add(const std::wstring& text, uint32_t style, int id) {
    RefPtr<T> control = Create<T>();
    EXPECT_TRUE(control->Create(text, kWsChild | kWsVisible | style, {}, page.Get(), id));
    controls.push_back(control);
    return control.Get();
  }
};

void Save(Window* frame, const QString& name) {
  QDir().mkpath(TALVINOR_SCREENSHOT_DIR);
  QPixmap shot = frame->Widget()->window()->grab();
  EXPECT_TRUE(shot.save(QString(TALVINOR_SCREENSHOT_DIR) + "/" + name + ".png"));
}

TEST(Screenshots, EveryPageInBothSkinTypesAndSizes) {
  OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));
  RefPtr<SkinResources> skin = SkinResources::Get();
  for (int sizeClass : {17, 33}) {
    for (int type : {1, 2}) {
      skin->Build(0, sizeClass, type);
      const QString suffix = QString(sizeClass == 17 ? "qvga" : "vga") + (type == 1 ? "-text" : "-image");

      {  // recorder
        Gallery g(*skin, 0);
        auto* scene = g.Add<ComboBox>(L"", 0x00210003 | kWsTabStop, 1207);
        scene->AddString(L"バランス重視", 0);
        scene->SetCurSel(0);
        g.Add<StaticText>(L"Speex 32khz 16bit Q9 CQ2 モノラル", 0, 1206);
        g.Add<StaticText>(L"00:12:34", kSsCenter, 1204);
        g.Add<StaticText>(L"名前:rz240102_103000.spx", kSsCenter, 1205);
        g.Add<Button>(L"", 0xB, 1201)->Enable(false);
        g.Add<Button>(L"", 0xB, 1202)->SetToggled(true);
        g.Add<Button>(L"", 0xB, 1203);
        PageLayout::Get(SkinPage::Recorder)->Apply(g.page.Get(), 1);
        g.status->ShowMessage(L"録音を開始しました。", 0x0080FF80, 60000, 60000);
        Save(g.frame.Get(), "recorder-" + suffix);
        // The captions are drawn with the IPA font.
        EXPECT_TRUE(QFontInfo(g.tabs->Widget()->font()).family().startsWith("IPA"));
        EXPECT_TRUE(QFontInfo(g.status->Widget()->font()).family().startsWith("IPA"));
      }
      for (int mode : {1, 2}) {  // player, both view modes
        Gallery g(*skin, 1);
        g.Add<StaticText>(L"00:01:15", 0, 1121);
        g.Add<StaticText>(L"/", 0, 1123);
        g.Add<StaticText>(L"00:03:20", 0, 1122);
        auto* filter = g.Add<ComboBox>(L"", 0x00210003, 1125);
        filter->AddString(L"0.なし", 0);
        filter->AddString(L"N2.ノイズ除去強", 4);
        filter->SetCurSel(0);
        auto* slider = g.Add<SeekSlider>(L"", 0x00010050, 1124);
        slider->SetRange(0, 20000, true);
        slider->SetPos(7550);
        for (int id : {1101, 1102, 1103, 1104, 1111, 1112, 1113, 1114, 1115, 1116}) g.Add<Button>(L"", 0xB, id);
        g.Add<Button>(L"保存先", kBsPushLike | kBsCheckBox, 1142);
        g.Add<Edit>(L"/home/talvinor/録音", kEsReadOnly, 1143);
        auto* list = g.Add<ListView>(L"", 0x0601004D, 1141);
        RefPtr<PageLayout> layout = PageLayout::Get(SkinPage::Player);
        list->InsertColumn(0, L"", 0);
        list->InsertColumn(1, L"名前", layout->Metric(SkinMetric::ListColumnName));
        list->InsertColumn(2, L"サイズ", layout->Metric(SkinMetric::ListColumnSize), kLvcFmtRight);
        list->InsertColumn(3, L"更新日", layout->Metric(SkinMetric::ListColumnDate));
        const wchar_t* rows[][3] = {{L"..", L"-", L"(上へ)"},
                                    {L"rz240102_103000.spx", L"1,234 KB", L"24/01/02 10:30:00"},
                                    {L"会議の録音.ogg", L"117 MB", L"24/01/03 09:00:12"}};
        for (int i = 0; i < 3; ++i) {
          list->InsertItem(i, L"", i);
          for (int c = 0; c < 3; ++c) list->SetItemText(i, c + 1, rows[i][c]);
        }
        list->SelectItem(1);
        g.Add<Edit>(L"/home/talvinor/録音/rz240102_103000.spx\r\n【形式】\r\nSpeex モノラル 32000 Hz 16 bit / 長さ 3 分 20 秒\r\n"
                    L"【タグ】\r\nRECORDER=TALVINOR\r\nRECORDDATE=2024/1/2 10:30:00",
                    kEsMultiLine | kEsReadOnly | kWsVScroll, 1131);
        layout->Apply(g.page.Get(), mode);
        g.status->ShowMessage(L"再生を開始しました。", 0x0080FF80, 60000, 60000);
        Save(g.frame.Get(), QString("player%1-").arg(mode) + suffix);
      }
      {  // memo
        Gallery g(*skin, 2);
        g.Add<Edit>(L"端末に保存されている伝言メモ（留守録）を音声圧縮してバックアップ保存します。元の伝言メモは削除しません。"
                    L"不要になった伝言メモは電話アプリで削除してください。\r\n\r\n※この機能は W-ZERO3 シリーズの端末で使用できます。",
                    kEsMultiLine | kEsReadOnly, 1301);
        g.Add<Button>(L"伝言メモ保存", kWsTabStop, 1302);
        PageLayout::Get(SkinPage::Memo)->Apply(g.page.Get(), 1);
        g.status->ShowMessage(L"伝言メモがありません。", 0x004040FF, 60000, 60000);
        Save(g.frame.Get(), "memo-" + suffix);
      }
      {  // manual, with the bundled document
        Gallery g(*skin, 4);
        EXPECT_EQ(g.manual->ShownDocument(), ManualPage::kShowManual);
        Save(g.frame.Get(), "manual-" + suffix);
      }
    }
  }
  OverrideProgramFolder(L"");
}

}  // namespace
}  // namespace talvinor
