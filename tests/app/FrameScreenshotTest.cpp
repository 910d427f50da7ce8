// Pictures of the whole frame on each page, in both skin types and both
// sizes, saved into the build folder (screenshots/frame-*.png) for a person
// to look at; and what a picture can be checked for: the bundle's skin and
// manual are used, Japanese text is set in an IPA font, and the tab captions
// fit their tabs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QMenuBar>
#include <QPixmap>

#include "app/FrameTestSupport.h"
#include "command/CommandExecutor.h"
#include "settings/ConfigStore.h"
#include "ui/ManualPage.h"
#include "ui/SkinResources.h"

namespace talvinor {
namespace {

using testing::UniqueName;

struct Variant {
  int skinType;
  int sizeClass;
  const char* name;
};

bool IsIpaFont(const QFont& font) { return QFontInfo(font).family().contains("IPA"); }

class FrameScreenshot : public ::testing::TestWithParam<Variant> {};

TEST_P(FrameScreenshot, EveryPageOfTheFrame) {
  const Variant variant = GetParam();
  OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));
  GetConfig()->m_SkinTypeId = static_cast<uint32_t>(variant.skinType);
  FrameWindow::Setup setup;
  setup.channelName = UniqueName("shot");
  setup.sizeClass = variant.sizeClass;
  setup.quit = [](int) {};
  auto frame = Create<FrameWindow>(setup);
  ASSERT_TRUE(frame->CreateFrame());
  frame->Show(true);
  QApplication::processEvents();

  RefPtr<SkinResources> skin = SkinResources::Get();
  EXPECT_EQ(skin->EffectiveType(), SkinResources::TypeFromSetting(variant.skinType)) << "the bundle's skin bitmap";
  QWidget* window = frame->Widget()->window();
  QTabBar* bar = frame->Tabs()->Widget()->findChild<QTabBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(IsIpaFont(bar->font())) << QFontInfo(bar->font()).family().toStdString();
  EXPECT_TRUE(IsIpaFont(frame->MessageArea()->Widget()->font()));
  auto* menu = window->findChild<QMenuBar*>();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(IsIpaFont(menu->font()));
  const QFontMetrics metrics(bar->font());
  for (int i = 0; i < bar->count(); ++i)
    EXPECT_LE(metrics.horizontalAdvance(bar->tabText(i)), bar->tabRect(i).width()) << "tab " << i << " is clipped";

  QDir().mkpath(TALVINOR_SCREENSHOT_DIR);
  const char* pages[] = {"recorder", "player", "memo", "settings", "manual"};
  for (int i = 0; i < kPageCount; ++i) {
    frame->SelectPage(static_cast<PageId>(i));
    // A message as the area shows it, already faded to its background.
    frame->MessageArea()->ShowMessage(i % 2 ? kWindowShownNotice : kCommandSyntaxError,
                                      i % 2 ? Page::kNoticeColour : Page::kErrorColour, 1, 10000);
    EXPECT_TRUE(testing::WaitUntil(
        [&] { return frame->MessageArea()->CurrentBackground() == StatusLine::kWhite; }));
    QApplication::processEvents();
    const QImage shot = window->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    int width = 0;
    int height = 0;
    frame->GetClientSize(&width, &height);
    EXPECT_EQ(width, skin->FrameClientWidth());
    EXPECT_EQ(height, skin->FrameClientHeight());
    const QString file =
        QString("%1/frame-%2-%3-%4.png").arg(TALVINOR_SCREENSHOT_DIR, variant.name).arg(i).arg(pages[i]);
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
  }
  auto* manual = static_cast<ManualPage*>(frame->PageOf(PageId::Manual));
  EXPECT_EQ(manual->ShownDocument(), ManualPage::kShowManual) << "the bundle's manual.txt";
  EXPECT_TRUE(IsIpaFont(manual->TextView()->Widget()->font()));

  frame->DestroyWindow();
  QApplication::processEvents();
  frame = nullptr;
  ReleaseSingletons();
  OverrideProgramFolder(L"");
}

INSTANTIATE_TEST_SUITE_P(SkinsAndSizes, FrameScreenshot,
                         ::testing::Values(Variant{1, 17, "simple-qvga"}, Variant{1, 33, "simple-vga"},
                                           Variant{2, 17, "image-qvga"}, Variant{2, 33, "image-vga"}),
                         [](const ::testing::TestParamInfo<Variant>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace talvinor
