#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>

#include <filesystem>

#include "UiTestSupport.h"
#include "core/ProgramPaths.h"
#include "support/TempFolder.h"
#include "ui/Edit.h"
#include "ui/ListView.h"
#include "ui/PageLayout.h"
#include "ui/QtConversions.h"
#include "ui/SkinAtlas.h"
#include "ui/SkinBuilder.h"
#include "ui/SkinResources.h"
#include "ui/StaticText.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::TempFolder;

// Puts the program folder somewhere for one test.
class ProgramFolderAt {
 public:
  explicit ProgramFolderAt(const std::string& folder) { OverrideProgramFolder(Utf8ToWide(folder)); }
  ~ProgramFolderAt() { OverrideProgramFolder(L""); }
};

bool SameImage(const SkinImage& a, const SkinImage& b) {
  return a.Image().convertToFormat(QImage::Format_RGB32) == b.Image().convertToFormat(QImage::Format_RGB32);
}

TEST(Skin, SizeClassesFollowTheScreensShapeAndSize) {
  struct Case {
    int w, h, sizeClass;
    SkinVariant variant;
  };
  const Case cases[] = {
      {640, 640, 35, SkinVariant::Vga},        {480, 480, 34, SkinVariant::Vga},
      {320, 320, 19, SkinVariant::QuarterVga}, {240, 240, 18, SkinVariant::QuarterVga},
      {200, 200, 0, SkinVariant::QuarterVga},  {800, 480, 48, SkinVariant::Vga},
      {1920, 1080, 48, SkinVariant::Vga},      {640, 480, 32, SkinVariant::Vga},
      {799, 600, 32, SkinVariant::Vga},        {320, 240, 16, SkinVariant::QuarterVga},
      {800, 479, 16, SkinVariant::QuarterVga}, {300, 200, 0, SkinVariant::QuarterVga},
      {480, 800, 49, SkinVariant::Vga},        {480, 640, 33, SkinVariant::Vga},
      {240, 320, 17, SkinVariant::QuarterVga}, {479, 900, 17, SkinVariant::QuarterVga},
      {200, 400, 0, SkinVariant::QuarterVga},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    EXPECT_EQ(SkinResources::SizeClass(c.w, c.h), c.sizeClass);
    EXPECT_EQ(SkinResources::VariantFor(c.sizeClass), c.variant);
  }
  EXPECT_EQ(SkinResources::TypeFromSetting(1), SkinType::SimpleText);
  for (int stored : {2, 0, 3, -1, 99}) EXPECT_EQ(SkinResources::TypeFromSetting(stored), SkinType::Image);
}

TEST(Skin, FontsAreTheTablesWithTheIpaSubstitutes) {
  RefPtr<SkinResources> skin = SkinResources::Get();
  skin->Build(0, 17, 1);
  EXPECT_EQ(skin->Font(1), (FontSpec{kFaceGothic, 12, true}));
  EXPECT_EQ(skin->Font(2), (FontSpec{kFacePGothic, 12, false}));
  EXPECT_EQ(skin->Font(3), (FontSpec{kFaceGothic, 10, false}));
  EXPECT_EQ(skin->Font(5), (FontSpec{kFacePGothic, 14, true}));
  EXPECT_EQ(skin->Font(6), (FontSpec{kFaceGothic, 12, false}));
  skin->Build(0, 33, 1);
  EXPECT_EQ(skin->Font(1), (FontSpec{kFaceGothic, 20, true}));
  EXPECT_EQ(skin->Font(3), (FontSpec{kFaceGothic, 14, false}));
  EXPECT_EQ(skin->Font(5), (FontSpec{kFacePGothic, 20, true}));
  EXPECT_EQ(QFontInfo(ToQFont(skin->Font(1))).family(), "IPAGothic");
  EXPECT_EQ(QFontInfo(ToQFont(skin->Font(2))).family(), "IPAPGothic");
  EXPECT_EQ(QFontInfo(ToQFont(skin->Font(1))).pixelSize(), 20);
  // A font named by the handset's face alone finds the IPA font too.
  EXPECT_EQ(QFontInfo(QFont(ToQString(kFaceGothic))).family(), "IPAGothic");
}

TEST(Skin, ImageSkinCutsItsFacesFromTheBundledBitmap) {
  ProgramFolderAt bundle(TALVINOR_BUNDLE_DIR);
  RefPtr<SkinResources> skin = SkinResources::Get();
  for (int sizeClass : {17, 33}) {
    SCOPED_TRACE(sizeClass);
    skin->Build(0, sizeClass, 2);
    ASSERT_EQ(skin->EffectiveType(), SkinType::Image);
    const int scale = skin->Scale();
    ASSERT_TRUE(skin->Bitmap());
    EXPECT_EQ(skin->Bitmap()->Width(), atlas::kWidth * scale);
    EXPECT_EQ(skin->Bitmap()->Height(), atlas::kHeight * scale);
    RefPtr<PageLayout> player = PageLayout::Get(SkinPage::Player);
    // The first small face of the quarter-VGA skin is the 20 x 20 square at (270, 301).
    RefPtr<SkinImage> expected = skin->Bitmap()->Cut({270 * scale, 301 * scale, 20 * scale, 20 * scale});
    ASSERT_TRUE(player->Faces(1116));
    EXPECT_TRUE(SameImage(*player->Faces(1116)->Face(ButtonFace::Normal), *expected));
    RefPtr<PageLayout> recorder = PageLayout::Get(SkinPage::Recorder);
    const atlas::FaceSlot stop = atlas::kFaces[2];
    EXPECT_TRUE(SameImage(*recorder->Faces(1203)->Face(ButtonFace::Disabled),
                          *skin->Bitmap()->Cut(atlas::FaceRect(stop, 2, scale))));
    // The three faces differ, and each fits its button.
    const auto& faces = *recorder->Faces(1201);
    EXPECT_FALSE(SameImage(*faces.Face(ButtonFace::Normal), *faces.Face(ButtonFace::Pressed)));
    EXPECT_FALSE(SameImage(*faces.Face(ButtonFace::Normal), *faces.Face(ButtonFace::Disabled)));
    Rect place;
    ASSERT_TRUE(recorder->GetRect(1201, &place));
    EXPECT_EQ(faces.Face(ButtonFace::Normal)->Width(), place.width);
    EXPECT_EQ(faces.Face(ButtonFace::Normal)->Height(), place.height);
    EXPECT_TRUE(skin->TabFaces());
    EXPECT_TRUE(recorder->BackgroundImage());
  }
}

TEST(Skin, MissingBitmapFallsBackToTextFacesAndIsTriedAgain) {
  TempFolder folder;
  ProgramFolderAt empty(folder.Path());
  RefPtr<SkinResources> skin = SkinResources::Get();
  skin->Build(0, 17, 2);
  EXPECT_EQ(skin->RequestedType(), SkinType::Image);
  EXPECT_EQ(skin->EffectiveType(), SkinType::SimpleText);
  EXPECT_FALSE(skin->TabFaces());
  RefPtr<PageLayout> recorder = PageLayout::Get(SkinPage::Recorder);
  ASSERT_TRUE(recorder->Faces(1201));
  const SkinImage& normal = *recorder->Faces(1201)->Face(ButtonFace::Normal);
  // Outlined in black with a pen of 2, white inside.
  EXPECT_EQ(normal.PixelAt(0, 0), SkinBuilder::kNormalPen);
  EXPECT_EQ(normal.PixelAt(1, 1), SkinBuilder::kNormalPen);
  EXPECT_EQ(normal.PixelAt(3, 3), SkinBuilder::kNormalBrush);
  EXPECT_EQ(recorder->Faces(1202)->Face(ButtonFace::Pressed)->PixelAt(3, 3), SkinBuilder::kPressedBrush);
  EXPECT_EQ(recorder->Faces(1202)->Face(ButtonFace::Pressed)->PixelAt(0, 0), SkinBuilder::kPressedPen);
  EXPECT_EQ(recorder->Faces(1203)->Face(ButtonFace::Disabled)->PixelAt(3, 3), SkinBuilder::kDisabledBrush);

  // The bitmap arrives: the next build loads it, and later builds reuse it.
  std::filesystem::create_directories(folder.File("skin"));
  std::filesystem::copy_file(std::string(TALVINOR_BUNDLE_DIR) + "/skin/w01qvga.BMP", folder.File("skin/w01qvga.BMP"));
  skin->Build(0, 17, 2);
  EXPECT_EQ(skin->EffectiveType(), SkinType::Image);
  SkinImage* loaded = skin->Bitmap().Get();
  std::filesystem::remove(folder.File("skin/w01qvga.BMP"));
  skin->Build(0, 17, 2);
  EXPECT_EQ(skin->EffectiveType(), SkinType::Image);
  EXPECT_EQ(skin->Bitmap().Get(), loaded);
}

TEST(Skin, TextFacesFitTheirCaptionsWithoutClipping) {
  // The widest caption on the smallest button: "<<<" on 20 x 20.
  RefPtr<ButtonFaces> faces = SkinBuilder::TextFaces(L"<<<", 20, 20, 2, FontSpec{kFacePGothic, 14, true});
  const SkinImage& face = *faces->Face(ButtonFace::Normal);
  // The caption's ink stays inside the outline: columns 2 and 17 are clear.
  for (int y = 2; y < 18; ++y) {
    EXPECT_EQ(face.PixelAt(2, y), SkinBuilder::kNormalBrush) << y;
    EXPECT_EQ(face.PixelAt(17, y), SkinBuilder::kNormalBrush) << y;
  }
  bool ink = false;
  for (int x = 3; x < 17; ++x)
    for (int y = 3; y < 17; ++y) ink |= face.PixelAt(x, y) != SkinBuilder::kNormalBrush;
  EXPECT_TRUE(ink);
}

TEST(Skin, LayoutPlacesThePlayersControlsPerViewMode) {
  RefPtr<SkinResources> skin = SkinResources::Get();
  skin->Build(0, 17, 1);
  RefPtr<RecordingWindow> page = Create<RecordingWindow>();
  ASSERT_TRUE(page->Create(L"", kWsVisible, {0, 0, 240, 252}, nullptr, 0));
  RefPtr<StaticText> position = Create<StaticText>();
  ASSERT_TRUE(position->Create(L"00:00:00", kWsChild | kWsVisible, {}, page.Get(), 1121));
  RefPtr<ListView> list = Create<ListView>();
  ASSERT_TRUE(list->Create(L"", kWsChild | kWsVisible, {}, page.Get(), 1141));
  RefPtr<Edit> info = Create<Edit>();
  ASSERT_TRUE(info->Create(L"", kWsChild | kWsVisible | kEsMultiLine, {}, page.Get(), 1131));

  RefPtr<PageLayout> layout = PageLayout::Get(SkinPage::Player);
  layout->Apply(page.Get(), 1);
  EXPECT_TRUE(list->IsVisible());
  EXPECT_FALSE(info->IsVisible());
  Rect expected;
  ASSERT_TRUE(layout->GetRect(1141, &expected, 1));
  EXPECT_EQ(list->GetRect(), expected);
  EXPECT_EQ(position->GetFont(), skin->Font(1));
  layout->Apply(page.Get(), 2);
  EXPECT_FALSE(list->IsVisible());
  EXPECT_TRUE(info->IsVisible());
  EXPECT_TRUE(position->IsVisible());

  // Every control of every page lies inside the page in both variants.
  for (int sizeClass : {17, 33}) {
    skin->Build(0, sizeClass, 1);
    for (SkinPage p : {SkinPage::Recorder, SkinPage::Player, SkinPage::Memo, SkinPage::Manual}) {
      for (int mode : {1, 2}) {
        for (int id = 1100; id < 1600; ++id) {
          Rect r;
          if (!PageLayout::Get(p)->GetRect(id, &r, mode)) continue;
          EXPECT_GE(r.x, 0) << id;
          EXPECT_GE(r.y, 0) << id;
          EXPECT_LE(r.x + r.width, skin->FrameClientWidth()) << id;
          EXPECT_LE(r.y + r.height, skin->PageHeight()) << id;
        }
      }
    }
  }
}

}  // namespace
}  // namespace talvinor
