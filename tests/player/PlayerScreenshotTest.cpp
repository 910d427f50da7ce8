// Pictures of the player page in both skin types, both sizes and both view
// modes, with Japanese names in the list and a tagged Vorbis file playing,
// saved as screenshots/player-*.png for a person to look at; and what a
// picture can be checked for: every control lies inside the page and the
// labels' texts fit them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include <filesystem>

#include "PlayerPageTestSupport.h"
#include "support/ShellRun.h"

namespace talvinor {
namespace {

using testing::PlayerPageFixture;

struct Variant {
  int skinType;
  int sizeClass;
  const char* name;
};

class PlayerScreenshot : public ::testing::TestWithParam<Variant> {};

TEST_P(PlayerScreenshot, BothViewModesWhilePlayingATaggedFile) {
  const Variant variant = GetParam();
  PlayerPageFixture t(1.0, nullptr, Utf8ToWide(TALVINOR_BUNDLE_DIR), variant.skinType, variant.sizeClass);
  const std::string cli = TALVINOR_CLI;
  const testing::ShellRun made = testing::RunShell(
      t.files.Path(), "sox -n -r 16000 -c 1 -b 16 tone.wav synth 20 sine 440 && '" + cli +
                          "' convert tone.wav '会議の録音.ogg' --tag 'TITLE=会議の録音' --tag 'RECORDER=TALVINOR' "
                          "--tag 'RECORDDATE=2026/12/8 09:05:01' && '" + cli + "' convert tone.wav 'メモ.spx' && "
                          "mv tone.wav '電話 03-1234-5678.wav' && mkdir '古い録音'");
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_TRUE(t.Make());
  t.frame->Show(true);
  ASSERT_TRUE(t.PlayByButton(L"会議の録音.ogg"));
  ASSERT_TRUE(t.WaitUntil([&] { return t.page->Master()->GetPosition() > 1200; }));
  ASSERT_TRUE(t.page->PauseIfPlaying());
  ASSERT_TRUE(t.WaitForState(MasterState::Paused));
  ASSERT_TRUE(t.page->ResumeIfPaused());
  ASSERT_TRUE(t.WaitForState(MasterState::Running));
  QApplication::processEvents();

  int width = 0;
  int height = 0;
  t.page->GetClientSize(&width, &height);
  QDir().mkpath(TALVINOR_SCREENSHOT_DIR);
  for (int mode : {1, 2}) {
    if (t.page->ViewMode() != mode) t.page->SwitchViewMode();
    QApplication::processEvents();
    for (Window* child : t.page->Children()) {
      if (!child->IsVisible()) continue;
      const Rect r = child->GetRect();
      EXPECT_GE(r.x, 0) << child->ControlId();
      EXPECT_GE(r.y, 0) << child->ControlId();
      EXPECT_LE(r.x + r.width, width) << child->ControlId();
      EXPECT_LE(r.y + r.height, height) << child->ControlId();
      if (auto* label = qobject_cast<QLabel*>(child->Widget())) {
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), r.width) << child->ControlId() << " is clipped";
        EXPECT_LE(metrics.height(), r.height) << child->ControlId() << " is clipped";
      }
    }
    const QImage shot = t.page->Widget()->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QString file = QString("%1/player-%2-mode%3.png").arg(TALVINOR_SCREENSHOT_DIR, variant.name).arg(mode);
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
  }
  EXPECT_NE(t.page->Information()->GetText().find(L"TITLE=会議の録音"), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(SkinsAndSizes, PlayerScreenshot,
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
