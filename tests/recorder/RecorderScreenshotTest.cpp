// Pictures of the recorder page in both skin types and both sizes, idle and
// recording with the meter moving, saved into the build folder
// (screenshots/recorder-*.png) for a person to look at; and what a picture
// can be checked for: the labels' texts fit them, the controls do not
// overlap, and Japanese text is set in an IPA font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include "app/FrameTestSupport.h"
#include "platform/wave/VirtualWaveBackend.h"
#include "platform/wave/WaveAudio.h"
#include "recorder/RecorderPage.h"
#include "settings/ConfigStore.h"
#include "support/TempFolder.h"
#include "support/UiWaitUntil.h"
#include "ui/SkinResources.h"

namespace talvinor {
namespace {

struct Variant {
  int skinType;
  int sizeClass;
  const char* name;
};

class RecorderScreenshot : public ::testing::TestWithParam<Variant> {};

bool Overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

TEST_P(RecorderScreenshot, IdleAndRecordingWithTheMeter) {
  const Variant variant = GetParam();
  SetWaveBackend(WaveBackendKind::Virtual);
  VirtualWaveDevice input;
  input.signal = VirtualSignal::Sine;
  input.amplitude = 0.7;
  input.frequency = 700;
  VirtualWaveBackend::Instance().SetDevices(WaveDirection::Input, {input});
  testing::TempFolder recordings;
  RefPtr<CONFIG> config = GetConfig();
  RefPtr<CONFIG> saved = config->Clone();
  OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));
  config->m_SkinTypeId = static_cast<uint32_t>(variant.skinType);
  config->m_RecPath = recordings.WPath();
  config->m_RecSceneSelect = 1;
  config->m_SusPrvMode = 0;
  config->m_RecJustScrOff = 0;
  CONFIG_SCENE& scene = *config->m_RecSceneList[1];
  scene.m_Name = L"会議・講演（長時間）";
  scene.m_CodecMode = kCodecSpeex;
  scene.m_Cnannels = 2;
  scene.m_SampleRate = 44100;
  scene.m_SampleBits = 16;
  scene.m_RecSpxQuality = 10;
  scene.m_RecSpxComplexity = 10;
  scene.m_RecTelUse = 0;

  RefPtr<CRecWaveIn> master = Create<CRecWaveIn>();
  RefPtr<RecorderPage> page;
  FrameWindow::Setup setup;
  setup.channelName = testing::UniqueName("recshot");
  setup.sizeClass = variant.sizeClass;
  setup.quit = [](int) {};
  setup.pages = [&](PageId id, const PageContext& context) -> RefPtr<Page> {
    if (id != PageId::Recorder) return MakeProgramPage(id, context);
    page = Create<RecorderPage>(master);
    return page;
  };
  auto frame = Create<FrameWindow>(setup);
  frame->SetMasters(master, nullptr, nullptr);
  ASSERT_TRUE(frame->CreateFrame());
  frame->Show(true);
  QApplication::processEvents();
  ASSERT_TRUE(page);
  QWidget* window = frame->Widget()->window();
  QDir().mkpath(TALVINOR_SCREENSHOT_DIR);

  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    // Every label's text fits its label.
    for (StaticText* label : {page->ElapsedLabel(), page->FileNameLabel(), page->FormatLabel()}) {
      auto* widget = qobject_cast<QLabel*>(label->Widget());
      ASSERT_NE(widget, nullptr);
      const QFontMetrics metrics(widget->font());
      EXPECT_LE(metrics.horizontalAdvance(widget->text()), widget->width()) << widget->text().toStdString();
      EXPECT_LE(metrics.height(), widget->height()) << widget->text().toStdString();
      if (!widget->text().isEmpty()) {
        EXPECT_TRUE(QFontInfo(widget->font()).family().contains("IPA")) << QFontInfo(widget->font()).family().toStdString();
      }
    }
    // No two controls overlap, and each lies inside the page.
    std::vector<Window*> controls = page->Children();
    int width = 0;
    int height = 0;
    page->GetClientSize(&width, &height);
    for (size_t i = 0; i < controls.size(); ++i) {
      const Rect a = controls[i]->GetRect();
      EXPECT_GE(a.x, 0);
      EXPECT_GE(a.y, 0);
      EXPECT_LE(a.x + a.width, width) << controls[i]->ControlId();
      EXPECT_LE(a.y + a.height, height) << controls[i]->ControlId();
      for (size_t j = i + 1; j < controls.size(); ++j)
        EXPECT_FALSE(Overlap(a, controls[j]->GetRect())) << controls[i]->ControlId() << " and " << controls[j]->ControlId();
    }
  };
  auto shoot = [&](const char* when) {
    QApplication::processEvents();
    const QImage shot = window->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QString file = QString("%1/recorder-%2-%3.png").arg(TALVINOR_SCREENSHOT_DIR, variant.name, when);
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
  };

  check("idle");
  shoot("idle");

  ASSERT_TRUE(page->StartRecording(0));
  ASSERT_TRUE(testing::WaitUntil([&] { return page->Meter()->PeakDb() > -20.0f; }));
  ASSERT_TRUE(testing::WaitUntil([&] { return master->GetPosition() >= 1000; }));
  ASSERT_TRUE(testing::WaitUntil([&] { return page->ElapsedLabel()->GetText() != L"00:00:00"; }));
  check("recording");
  shoot("recording");

  page->StopRecording(false);
  ASSERT_TRUE(testing::WaitUntil([&] { return master->IsState(MasterState::Closed); }));
  QApplication::processEvents();
  frame->DestroyWindow();
  QApplication::processEvents();
  frame = nullptr;
  page = nullptr;
  ReleaseSingletons();
  OverrideProgramFolder(L"");
  GetConfig()->CopyFrom(*saved);
  VirtualWaveBackend::Instance().ResetToDefaults();
}

INSTANTIATE_TEST_SUITE_P(SkinsAndSizes, RecorderScreenshot,
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
