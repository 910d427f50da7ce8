// The frame tiles its client area at any size: the page on top, the message
// area under it and the tab bar at the bottom, with no band of bare frame
// between them, also after the screen (and so the skin) has changed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTabBar>
#include <QWidget>

#include "app/FrameTestSupport.h"
#include "ui/QtConversions.h"
#include "ui/SkinResources.h"
#include "ui/StatusLine.h"
#include "ui/TabControl.h"

namespace talvinor {
namespace {

using testing::TestFrame;
using testing::TestPage;

const ColorRef kPageColour = MakeRgb(0x80, 0x40, 0xC0);  // nothing else in the frame is this colour
constexpr QRgb kFrameBackground = 0xFFFFFFFF;  // the frame's own plain background

// Checks the tiling of the frame's client area as it stands; `what` names the
// case in failures.
void ExpectTiled(TestFrame& t, const std::string& what) {
  SCOPED_TRACE(what);
  FrameWindow* frame = t.frame.Get();
  int width = 0;
  int height = 0;
  frame->GetClientSize(&width, &height);
  const Rect page = frame->Current()->GetRect();
  const Rect message = frame->MessageArea()->GetRect();
  const QRect bar = t.Bar()->geometry();
  const Rect tabs = frame->Tabs()->GetRect();
  RefPtr<SkinResources> skin = SkinResources::Get();

  EXPECT_EQ(tabs.x, 0);
  EXPECT_EQ(tabs.y, 0);
  EXPECT_EQ(tabs.width, width);
  EXPECT_EQ(tabs.height, height);
  EXPECT_EQ(bar.height(), std::min(skin->TabBarHeight(), height));
  EXPECT_EQ(bar.bottom() + 1, height) << "the bar sits at the bottom";
  EXPECT_EQ(bar.width(), width);
  EXPECT_EQ(page.x, 0);
  EXPECT_EQ(page.y, 0);
  EXPECT_EQ(page.width, width);
  EXPECT_EQ(message.x, 0);
  EXPECT_EQ(message.width, width);
  EXPECT_EQ(page.y + page.height, message.y) << "the message area right under the page";
  EXPECT_EQ(message.y + message.height, bar.top()) << "the tab bar right under the message area";
  EXPECT_EQ(message.height, std::min(skin->MessageAreaHeight(), height - bar.height()));

  // What is drawn: the page's own colour everywhere above the bar but in
  // the message area (which is white like the bare frame, so its place is
  // what the geometry above checks).
  const QImage shot = frame->ClientWidget()->grab().toImage();
  ASSERT_EQ(shot.width(), width);
  ASSERT_EQ(shot.height(), height);
  const QRgb pageColour = ToQColor(kPageColour).rgb();
  int bare = 0;
  int foreign = 0;
  for (int y = 0; y < bar.top(); ++y) {
    if (y >= message.y && y < message.y + message.height) continue;
    for (int x = 0; x < width; ++x) {
      const QRgb pixel = shot.pixel(x, y);
      if (pixel == kFrameBackground) ++bare;
      if (pixel != pageColour) ++foreign;
    }
  }
  EXPECT_EQ(bare, 0) << "pixels of bare frame above the tab bar";
  EXPECT_EQ(foreign, 0) << "pixels there not of the page";
}

// Resizes the frame so that its client gets about `width` x `height` and
// checks the tiling at once (the resize is handled as it happens) and once
// what it set off (a menu bar of another font, say) has settled.
void ResizeAndCheck(TestFrame& t, int width, int height, const std::string& what) {
  FrameWindow* frame = t.frame.Get();
  int clientWidth = 0;
  int clientHeight = 0;
  frame->GetClientSize(&clientWidth, &clientHeight);
  const Rect outer = frame->GetRect();
  // The menu bar and any frame around the client keep their size.
  frame->Resize(width + outer.width - clientWidth, height + outer.height - clientHeight);
  ExpectTiled(t, what + ", as resized");
  QApplication::processEvents();
  QApplication::processEvents();
  ExpectTiled(t, what + ", settled");
}

TEST(FrameLayout, PageMessageAreaAndTabBarTileTheClientAtAnySizeAndAfterTheScreenChanges) {
  TestFrame t;
  // Landscape VGA first, then a quarter-VGA screen: the skin shrinks its bar
  // and message area while the frame is laid out.
  int screenWidth = 640;
  int screenHeight = 480;
  t.setup.sizeClass = -1;
  t.setup.screenSize = [&](int* width, int* height) {
    *width = screenWidth;
    *height = screenHeight;
    return true;
  };
  ASSERT_TRUE(t.Make());
  for (RefPtr<TestPage>& page : t.pages) page->SetColours(0x000000, kPageColour, true);
  QApplication::processEvents();
  const int vgaWidth = SkinResources::Get()->FrameClientWidth();
  const int vgaHeight = SkinResources::Get()->FrameClientHeight();
  ExpectTiled(t, "as created");

  // Odd sizes, smaller and larger than the skin was drawn for, one of them
  // only a pixel off the last.
  for (auto [width, height] : {std::pair{vgaWidth, vgaHeight}, {241, 319}, {vgaWidth + 1, vgaHeight - 1},
                               {1023, 767}, {vgaWidth, vgaHeight}, {150, 97}}) {
    ResizeAndCheck(t, width, height, std::to_string(width) + "x" + std::to_string(height));
  }

  screenWidth = 320;
  screenHeight = 240;
  const int vgaBar = SkinResources::Get()->TabBarHeight();
  ResizeAndCheck(t, 317, 233, "after the screen shrank");
  ASSERT_LT(SkinResources::Get()->TabBarHeight(), vgaBar) << "the skin follows the smaller screen";
  screenWidth = 800;
  screenHeight = 600;
  ResizeAndCheck(t, 799, 601, "after the screen grew");

  // Another page, laid out at the size the frame has now.
  t.ChooseTab(2);
  QApplication::processEvents();
  ExpectTiled(t, "on another page");
}

}  // namespace
}  // namespace talvinor
