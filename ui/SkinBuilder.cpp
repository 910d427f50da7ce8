#include "ui/SkinBuilder.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "ui/PageLayout.h"
#include "ui/QtConversions.h"
#include "ui/SkinAtlas.h"
#include "ui/SkinResources.h"

namespace talvinor {

namespace {

// Control ids of the pages, as the pages use them.
constexpr int kRecStart = 1201, kRecPause = 1202, kRecStop = 1203, kRecElapsed = 1204, kRecFileName = 1205,
              kRecFormat = 1206, kRecScene = 1207, kRecMeter = 1208;
constexpr int kPlayPlay = 1101, kPlayPause = 1102, kPlayStop = 1103, kPlayView = 1104;
constexpr int kPlayFwd5 = 1111, kPlayFwd30 = 1112, kPlayFwd300 = 1113, kPlayBack5 = 1114, kPlayBack30 = 1115,
              kPlayBack300 = 1116;
constexpr int kPlayPosition = 1121, kPlayLength = 1122, kPlaySlash = 1123, kPlaySlider = 1124, kPlayFilter = 1125,
              kPlayInfo = 1131, kPlayList = 1141, kPlayRoots = 1142, kPlayFolder = 1143;
constexpr int kMemoText = 1301, kMemoButton = 1302;
constexpr int kManualText = 1501;

struct Placement {
  int id;
  Rect rect;  // quarter-VGA pixels; VGA doubles them
  int font;   // skin font, 0 for the default
};

// Recorder: scene, format, elapsed time, file name, the input level meter;
// the three buttons below.
constexpr Placement kRecorder[] = {
    {kRecScene, {10, 10, 220, 22}, 2},      {kRecFormat, {10, 38, 220, 16}, 3},
    {kRecElapsed, {10, 66, 220, 24}, 5},    {kRecFileName, {10, 100, 220, 16}, 4},
    {kRecMeter, {10, 126, 220, 40}, 3},
    {kRecStart, {10, 180, 64, 48}, 0},      {kRecPause, {88, 180, 64, 48}, 0},
    {kRecStop, {166, 180, 64, 48}, 0},
};

// Player: the rows shared by both view modes.
constexpr Placement kPlayerTop[] = {
    {kPlayPosition, {4, 3, 72, 16}, 1},   {kPlaySlash, {76, 3, 10, 16}, 1},
    {kPlayLength, {86, 3, 72, 16}, 1},    {kPlayFilter, {162, 1, 76, 20}, 2},
    {kPlaySlider, {0, 21, 240, 22}, 0},   {kPlayPlay, {2, 44, 42, 32}, 0},
    {kPlayPause, {45, 44, 42, 32}, 0},    {kPlayStop, {88, 44, 42, 32}, 0},
    {kPlayView, {131, 44, 42, 32}, 0},    {kPlayBack300, {176, 44, 20, 20}, 0},
    {kPlayBack30, {197, 44, 20, 20}, 0},  {kPlayBack5, {218, 44, 20, 20}, 0},
    {kPlayFwd5, {176, 66, 20, 20}, 0},    {kPlayFwd30, {197, 66, 20, 20}, 0},
    {kPlayFwd300, {218, 66, 20, 20}, 0},
};
// View mode 1: the folder row and the file list.
constexpr Placement kPlayerList[] = {
    {kPlayRoots, {2, 90, 60, 20}, 2},
    {kPlayFolder, {64, 90, 174, 20}, 3},
    {kPlayList, {0, 112, 240, 140}, 3},
};
// View mode 2: the information text.
constexpr Placement kPlayerInfo[] = {
    {kPlayInfo, {0, 90, 240, 162}, 3},
};

constexpr Placement kMemo[] = {
    {kMemoText, {6, 6, 228, 192}, 3},
    {kMemoButton, {50, 208, 140, 30}, 2},
};

constexpr Placement kManual[] = {
    {kManualText, {0, 0, 240, 252}, 6},
};

struct Caption {
  int id;
  const wchar_t* text;
};
constexpr Caption kCaptions[] = {
    {kRecStart, L"録音"},   {kRecPause, L"休止"},  {kRecStop, L"停止"},   {kPlayPlay, L"再生"},
    {kPlayPause, L"休止"},  {kPlayStop, L"停止"},  {kPlayView, L"画面"},  {kPlayBack300, L"<<<"},
    {kPlayBack30, L"<<"},   {kPlayBack5, L"<"},    {kPlayFwd5, L">"},     {kPlayFwd30, L">>"},
    {kPlayFwd300, L">>>"},
};

Rect Scale(const Rect& r, int s) { return {r.x * s, r.y * s, r.width * s, r.height * s}; }

template <size_t N>
void Place(PageLayout& layout, int viewMode, const Placement (&placements)[N], int scale) {
  for (const Placement& p : placements) {
    layout.SetRect(viewMode, p.id, Scale(p.rect, scale));
    if (p.font > 0) layout.SetControlFont(p.id, p.font);
  }
}

RefPtr<SkinImage> TextFace(const std::wstring& caption, int width, int height, int penWidth, const FontSpec& fontSpec,
                           ColorRef pen, ColorRef brush, ColorRef text) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  image.fill(ToQColor(brush));
  QPainter painter(&image);
  // The outline lies wholly inside the face.
  QPen outline(ToQColor(pen), penWidth);
  outline.setJoinStyle(Qt::MiterJoin);
  painter.setPen(outline);
  painter.setBrush(ToQColor(brush));
  const qreal inset = penWidth / 2.0;
  painter.drawRect(QRectF(inset, inset, image.width() - penWidth, image.height() - penWidth));
  QFont font = ToQFont(fontSpec);
  const QRect room(penWidth, penWidth, image.width() - 2 * penWidth, image.height() - 2 * penWidth);
  // Shrink the caption until it fits, so that no face clips its text.
  for (int size = font.pixelSize(); size > 6; --size) {
    font.setPixelSize(size);
    QFontMetrics metrics(font);
    // A pixel of air on each side keeps the smoothed edges off the outline.
    if (metrics.horizontalAdvance(ToQString(caption)) + 2 <= room.width() && metrics.height() <= room.height() + 2) break;
  }
  painter.setFont(font);
  painter.setPen(ToQColor(text));
  painter.drawText(room, Qt::AlignCenter, ToQString(caption));
  painter.end();
  return talvinor::Create<SkinImage>(image);
}

// Colours of the original image skin: light text on the dark panel, dark
// text on pale edits.
constexpr PageLayout::Colours kImageColours{0x00F4ECE0, 0x00402A12, 0x00281A10, 0x00FAF6F0};
constexpr PageLayout::Colours kSimpleColours{0x00000000, 0x00FFFFFF, 0x00000000, 0x00FFFFFF};

}  // namespace

RefPtr<ButtonFaces> SkinBuilder::TextFaces(const std::wstring& caption, int width, int height, int penWidth,
                                           const FontSpec& font) {
  return talvinor::Create<ButtonFaces>(TextFace(caption, width, height, penWidth, font, kNormalPen, kNormalBrush, kNormalText),
                             TextFace(caption, width, height, penWidth, font, kPressedPen, kPressedBrush, kPressedText),
                             TextFace(caption, width, height, penWidth, font, kDisabledPen, kDisabledBrush,
                                      kDisabledText));
}

void SkinBuilder::Build(SkinResources& skin) {
  const int scale = skin.Scale();
  const bool image = skin.EffectiveType() == SkinType::Image;

  RefPtr<PageLayout> recorder = PageLayout::Get(SkinPage::Recorder);
  RefPtr<PageLayout> player = PageLayout::Get(SkinPage::Player);
  RefPtr<PageLayout> memo = PageLayout::Get(SkinPage::Memo);
  RefPtr<PageLayout> manual = PageLayout::Get(SkinPage::Manual);
  RefPtr<PageLayout> settings = PageLayout::Get(SkinPage::Settings);
  for (PageLayout* layout : {recorder.Get(), player.Get(), memo.Get(), manual.Get(), settings.Get()}) layout->Clear();

  Place(*recorder, 1, kRecorder, scale);
  Place(*player, 1, kPlayerTop, scale);
  Place(*player, 1, kPlayerList, scale);
  Place(*player, 2, kPlayerTop, scale);
  Place(*player, 2, kPlayerInfo, scale);
  Place(*memo, 1, kMemo, scale);
  Place(*manual, 1, kManual, scale);
  // The three columns fit beside the list's scroll bar.
  player->SetMetric(SkinMetric::ListColumnName, 80 * scale);
  player->SetMetric(SkinMetric::ListColumnSize, 48 * scale);
  player->SetMetric(SkinMetric::ListColumnDate, 98 * scale);
  settings->SetMetric(SkinMetric::FormRowHeight, scale == 2 ? 36 : 20);
  settings->SetMetric(SkinMetric::FormLabelWidth, 88 * scale);
  settings->SetMetric(SkinMetric::FormMargin, 4 * scale);
  settings->SetMetric(SkinMetric::FormGroupGap, 6 * scale);

  // Button faces: cut from the bitmap, or drawn as text.
  for (const atlas::FaceSlot& slot : atlas::kFaces) {
    PageLayout& layout = slot.controlId >= 1200 ? *recorder : *player;
    Rect place;
    if (!layout.GetRect(slot.controlId, &place)) continue;
    RefPtr<ButtonFaces> faces;
    if (image) {
      const RefPtr<SkinImage>& bitmap = skin.Bitmap();
      faces = talvinor::Create<ButtonFaces>(bitmap->Cut(atlas::FaceRect(slot, 0, scale)),
                                  bitmap->Cut(atlas::FaceRect(slot, 1, scale)),
                                  bitmap->Cut(atlas::FaceRect(slot, 2, scale)));
    } else {
      std::wstring caption;
      for (const Caption& c : kCaptions)
        if (c.id == slot.controlId) caption = c.text;
      faces = TextFaces(caption, place.width, place.height, scale == 2 ? 4 : 2, skin.Font(5));
    }
    layout.SetFaces(slot.controlId, faces);
  }

  const PageLayout::Colours& colours = image ? kImageColours : kSimpleColours;
  RefPtr<SkinImage> background = image ? skin.Bitmap()->Cut(atlas::BackgroundRect(scale)) : nullptr;
  for (PageLayout* layout : {recorder.Get(), player.Get(), memo.Get(), settings.Get()}) {
    layout->SetColours(colours);
    layout->SetBackgroundImage(background);
  }
  // The manual is read on a plain page, pale under the image skin too.
  manual->SetColours(image ? PageLayout::Colours{0x00281A10, 0x00FAF6F0, 0x00281A10, 0x00FAF6F0} : kSimpleColours);

  if (image) {
    const RefPtr<SkinImage>& bitmap = skin.Bitmap();
    skin.m_tabFaces = talvinor::Create<ButtonFaces>(bitmap->Cut(atlas::TabRect(0, scale)), bitmap->Cut(atlas::TabRect(1, scale)),
                                          bitmap->Cut(atlas::TabRect(2, scale)));
    skin.m_tabText = kImageColours.text;
  } else {
    skin.m_tabFaces = nullptr;
    skin.m_tabText = 0x000000;
  }
}

}  // namespace talvinor
