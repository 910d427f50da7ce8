// Pictures of the settings form scrolled from top to bottom in both skin
// types and both sizes (screenshots/settings-*-N.png), and what a picture
// can be checked for: each caption fits its control, rows never overlap and
// every control lies inside the form's width.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include "app/FrameTestSupport.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveBackend.h"
#include "settings/ConfigStore.h"
#include "ui/QtConversions.h"
#include "ui/SettingsPage.h"
#include "ui/SkinResources.h"

namespace talvinor {
namespace {

struct Variant {
  int skinType;
  int sizeClass;
  const char* name;
};

class SettingsScreenshot : public ::testing::TestWithParam<Variant> {};

bool Overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

TEST_P(SettingsScreenshot, TheWholeFormScrolledThrough) {
  const Variant variant = GetParam();
  SetWaveBackend(WaveBackendKind::Virtual);
  VirtualWaveDevice input;
  input.name = L"Virtual microphone";
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  RefPtr<CONFIG> saved = GetConfig()->Clone();
  OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));
  GetConfig()->m_SkinTypeId = static_cast<uint32_t>(variant.skinType);
  GetConfig()->m_RecSceneList[0]->m_CodecMode = kCodecSpeex;  // the most controls

  FrameWindow::Setup setup;
  setup.channelName = testing::UniqueName("setshot");
  setup.sizeClass = variant.sizeClass;
  setup.quit = [](int) {};
  setup.pages = MakeProgramPage;
  auto frame = Create<FrameWindow>(setup);
  ASSERT_TRUE(frame->CreateFrame());
  frame->Show(true);
  frame->SelectPage(PageId::Settings);
  QApplication::processEvents();
  auto* page = static_cast<SettingsPage*>(frame->Current());
  ASSERT_TRUE(page && page->IsKindOf(SettingsPage::kTypeCode));
  QWidget* window = frame->Widget()->window();
  QDir().mkpath(TALVINOR_SCREENSHOT_DIR);

  int pageWidth = 0;
  int pageHeight = 0;
  page->GetClientSize(&pageWidth, &pageHeight);
  const int formWidth = page->ClientWidget()->width();
  EXPECT_LE(formWidth, pageWidth);
  std::vector<Window*> rows;
  for (Window* control : page->Children()) {
    if (control->Widget()->isHidden()) continue;
    const Rect a = control->GetRect();
    EXPECT_GE(a.x, 0);
    EXPECT_LE(a.x + a.width, formWidth) << control->ControlId();
    // A caption that does not fit is cut off: labels, check boxes, radio buttons.
    QString text;
    int room = a.width;
    if (auto* label = qobject_cast<QLabel*>(control->Widget())) {
      text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control->Widget());
               button && control->ControlId() > 1410) {
      text = button->text();
      room -= button->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4;
    }
    const QFontMetrics metrics(control->Widget()->font());
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), room) << line.toStdString();
    EXPECT_LE(static_cast<int>(lines.size()) * metrics.lineSpacing(), a.height + 2) << text.toStdString();
    if (control->ControlId() > 1410) rows.push_back(control);  // not the group frames
  }
  for (size_t i = 0; i < rows.size(); ++i)
    for (size_t j = i + 1; j < rows.size(); ++j)
      EXPECT_FALSE(Overlap(rows[i]->GetRect(), rows[j]->GetRect()))
          << rows[i]->ControlId() << " and " << rows[j]->ControlId();

  auto* scroll = page->Widget()->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  QScrollBar* bar = scroll->verticalScrollBar();
  int shot = 0;
  for (int offset = 0;; offset += scroll->viewport()->height() * 3 / 4) {
    bar->setValue(offset);
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QString file = QString("%1/settings-%2-%3.png").arg(TALVINOR_SCREENSHOT_DIR, variant.name).arg(++shot);
    EXPECT_TRUE(image.save(file)) << file.toStdString();
    if (bar->value() >= bar->maximum()) break;
  }
  EXPECT_GE(shot, 4) << "the form is several screens tall";

  frame->DestroyWindow();
  QApplication::processEvents();
  frame = nullptr;
  ReleaseSingletons();
  OverrideProgramFolder(L"");
  GetConfig()->CopyFrom(*saved);
  VirtualWaveBackend::Instance().ResetToDefaults();
}

INSTANTIATE_TEST_SUITE_P(SkinsAndSizes, SettingsScreenshot,
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
