#include <gtest/gtest.h>

#include <QTest>

#include "UiTestSupport.h"
#include "ui/SeekSlider.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;

class SeekSliderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = Create<RecordingWindow>();
    ASSERT_TRUE(page->Create(L"", kWsVisible, {0, 0, 240, 60}, nullptr, 0));
    slider = Create<SeekSlider>();
    ASSERT_TRUE(slider->Create(L"", 0x54010050, {0, 10, 222, 22}, page.Get(), 1124));
    slider->SetRange(0, 1000, true);
  }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const auto& n : page->notifications) {
      EXPECT_EQ(n.controlId, 1124);
      codes.push_back(n.code);
    }
    return codes;
  }
  RefPtr<RecordingWindow> page;
  RefPtr<SeekSlider> slider;
};

TEST_F(SeekSliderTest, TapJumpsStraightToTheTappedPlace) {
  // 222 pixels wide: the track is 200 pixels from x = 10.
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 11));
  EXPECT_EQ(slider->GetPos(), 0);
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(110, 11));
  EXPECT_EQ(slider->GetPos(), 500);
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(210, 11));
  EXPECT_EQ(slider->GetPos(), 1000);
  // Left of the track and past its end stay inside the range.
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 11));
  EXPECT_EQ(slider->GetPos(), 0);
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(221, 11));
  EXPECT_EQ(slider->GetPos(), 1000);
}

TEST_F(SeekSliderTest, OneDragReportsBeginChangesEndInOrder) {
  QWidget* w = slider->Widget();
  QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(30, 11));
  EXPECT_EQ(slider->DragState(), SeekDrag::Dragging);
  EXPECT_EQ(slider->GetPos(), 100);
  QTest::mouseMove(w, QPoint(70, 11));
  EXPECT_EQ(slider->GetPos(), 300);
  QTest::mouseMove(w, QPoint(90, 11));
  QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(90, 11));
  EXPECT_EQ(slider->DragState(), SeekDrag::Idle);
  EXPECT_EQ(slider->GetPos(), 400);
  EXPECT_EQ(Codes(), (std::vector<int>{kSeekDragBegin, kSeekPositionChanged, kSeekPositionChanged, kSeekDragEnd}));

  // Moves without a drag report nothing; a hidden slider ends its drag.
  page->notifications.clear();
  QTest::mouseMove(w, QPoint(100, 11));
  EXPECT_TRUE(Codes().empty());
  QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(30, 11));
  slider->Show(false);
  EXPECT_EQ(Codes(), (std::vector<int>{kSeekDragBegin, kSeekDragEnd}));
  EXPECT_EQ(slider->DragState(), SeekDrag::Idle);
}

TEST_F(SeekSliderTest, NarrowSliderAndLongRangesStaySound) {
  // A track no wider than its margins has nowhere to tap: the formula would
  // divide by zero (22) or flip its sign (below 22).
  EXPECT_EQ(SeekSlider::PositionForTap(15, 22, 0, 1000), 0);
  EXPECT_EQ(SeekSlider::PositionForTap(15, 12, 0, 1000), 0);
  slider->Move({0, 10, 22, 22});
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(15, 11));
  EXPECT_EQ(slider->GetPos(), 0);
  // Ten hours in 10 ms units across a wide slider: 3 600 000 x 1 500 does not
  // fit 32 bits.
  EXPECT_EQ(SeekSlider::PositionForTap(1510, 1522, 0, 3600000), 3600000);
  EXPECT_EQ(SeekSlider::PositionForTap(760, 1522, 0, 3600000), 1800000);
  // A range that does not start at 0 is offset by its start.
  EXPECT_EQ(SeekSlider::PositionForTap(110, 222, 100, 300), 200);
  // An empty range (no file) keeps the start.
  EXPECT_EQ(SeekSlider::PositionForTap(110, 222, 0, 0), 0);
}

TEST_F(SeekSliderTest, DisabledSliderIgnoresThePen) {
  slider->Enable(false);
  QTest::mouseClick(slider->Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(110, 11));
  EXPECT_EQ(slider->GetPos(), 0);
  EXPECT_TRUE(Codes().empty());
}

}  // namespace
}  // namespace talvinor
