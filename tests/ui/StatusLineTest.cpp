#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/Clock.h"
#include "ui/StatusLine.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::WaitUntil;

constexpr ColorRef kNotice = 0x0080FF80;
constexpr ColorRef kError = 0x004040FF;

class StatusLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = Create<RecordingWindow>();
    ASSERT_TRUE(frame->Create(L"", kWsVisible, {0, 0, 240, 40}, nullptr, 0));
    line = Create<StatusLine>();
    ASSERT_TRUE(line->Create(L"通常", kWsChild | kWsVisible, {0, 0, 240, 18}, frame.Get(), 1003));
  }
  // The colour the widget paints at its right edge (no text there).
  ColorRef Painted() {
    QImage image = line->Widget()->grab().toImage();
    return MakeRgb(image.pixelColor(image.width() - 2, image.height() / 2).red(),
                   image.pixelColor(image.width() - 2, image.height() / 2).green(),
                   image.pixelColor(image.width() - 2, image.height() / 2).blue());
  }
  RefPtr<RecordingWindow> frame;
  RefPtr<StatusLine> line;
};

TEST_F(StatusLineTest, MessageFadesFromItsFlashColourAndTheNormalTextReturns) {
  EXPECT_EQ(line->ShownText(), L"通常");
  EXPECT_EQ(line->CurrentBackground(), StatusLine::kWhite);

  const uint32_t start = GetTickCount();
  line->ShowMessage(L"録音を開始しました。", kNotice, 300, 700);
  EXPECT_EQ(line->Shown(), StatusShown::Message);
  EXPECT_EQ(line->ShownText(), L"録音を開始しました。");
  EXPECT_EQ(line->CurrentBackground(), kNotice);
  EXPECT_EQ(Painted(), kNotice);

  // Part way: between the two colours (green is full in both; red rises).
  ASSERT_TRUE(WaitUntil([&] {
    const ColorRef c = line->CurrentBackground();
    return c != kNotice && c != StatusLine::kWhite;
  }));
  // Faded out, the message is still there until its time is up.
  ASSERT_TRUE(WaitUntil([&] { return line->CurrentBackground() == StatusLine::kWhite; }));
  if (TicksSince(start, GetTickCount()) < 650) {
    EXPECT_EQ(line->Shown(), StatusShown::Message);
  }
  ASSERT_TRUE(WaitUntil([&] { return line->Shown() == StatusShown::Normal; }));
  EXPECT_GE(TicksSince(start, GetTickCount()), 700u);
  EXPECT_EQ(line->ShownText(), L"通常");
  ASSERT_TRUE(WaitUntil([&] { return Painted() == StatusLine::kWhite; }));
  EXPECT_FALSE(line->IsWorkerRunning());
}

TEST_F(StatusLineTest, SecondMessageStartsAtItsOwnColourAndRestartsTheTime) {
  line->ShowMessage(L"一つ目", kNotice, 2000, 600);
  ASSERT_TRUE(WaitUntil([&] { return line->CurrentBackground() != kNotice; }));
  const uint32_t second = GetTickCount();
  line->ShowMessage(L"二つ目", kError, 2000, 600);
  EXPECT_EQ(line->CurrentBackground(), kError);
  EXPECT_EQ(line->ShownText(), L"二つ目");
  // The first message's worker is gone: nothing restores the normal text
  // before the second message's own time.
  ASSERT_TRUE(WaitUntil([&] { return line->Shown() == StatusShown::Normal; }));
  EXPECT_GE(TicksSince(second, GetTickCount()), 600u);
  EXPECT_EQ(line->ShownText(), L"通常");
}

TEST_F(StatusLineTest, NormalTextStopsAMessageAtOnce) {
  line->ShowMessage(L"エラーが発生しました。(CODE:10)", kError, 3000, 10000);
  EXPECT_TRUE(line->IsWorkerRunning());
  EXPECT_EQ(line->FadeTime(), 3000u);
  EXPECT_EQ(line->DisplayTime(), 10000u);
  line->SetNormalText(L"待機中");
  EXPECT_FALSE(line->IsWorkerRunning());
  EXPECT_EQ(line->Shown(), StatusShown::Normal);
  EXPECT_EQ(line->ShownText(), L"待機中");
  EXPECT_EQ(line->CurrentBackground(), StatusLine::kWhite);
}

TEST_F(StatusLineTest, FrameDefaultsAreThreeAndTenSeconds) {
  line->ShowMessage(L"x", kNotice);
  EXPECT_EQ(line->FadeTime(), 3000u);
  EXPECT_EQ(line->DisplayTime(), 10000u);
  // Destroying the control with a running worker stops it.
  line->DestroyWindow();
  EXPECT_FALSE(line->IsWorkerRunning());
}

TEST_F(StatusLineTest, ZeroFadeTimeShowsTheNormalBackgroundWithoutDividing) {
  line->ShowMessage(L"x", kError, 0, 100);
  ASSERT_TRUE(WaitUntil([&] { return line->CurrentBackground() == StatusLine::kWhite; }));
  ASSERT_TRUE(WaitUntil([&] { return line->Shown() == StatusShown::Normal; }));
}

TEST_F(StatusLineTest, BlendWeightsRunFromNormalToFlash) {
  EXPECT_EQ(StatusLine::Blend(0xFFFFFF, kError, 256), kError);
  EXPECT_EQ(StatusLine::Blend(0xFFFFFF, kError, 0), 0xFFFFFFu);
  // Half way per channel: red 255, green (255 + 64) / 2, blue (255 + 64) / 2.
  EXPECT_EQ(StatusLine::Blend(0xFFFFFF, kError, 128), MakeRgb(255, 159, 159));
}

}  // namespace
}  // namespace talvinor
