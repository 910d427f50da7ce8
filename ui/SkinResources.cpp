#include "ui/SkinResources.h"

#include <QImage>

#include "core/ProgramPaths.h"
#include "core/Singletons.h"
#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "ui/QtConversions.h"
#include "ui/SkinBuilder.h"

namespace talvinor {

int SkinResources::SizeClass(int w, int h) {
  if (w == h) {
    if (w >= 640) return 35;
    if (w >= 480) return 34;
    if (w >= 320) return 19;
    if (w >= 240) return 18;
    return 0;
  }
  if (h < w) {
    if (w >= 800 && h >= 480) return 48;
    if (h >= 480 && w >= 640) return 32;
    if (w >= 320 && h >= 240) return 16;
    return 0;
  }
  if (w >= 480 && h >= 800) return 49;
  if (w >= 480 && h >= 640) return 33;
  if (w >= 240 && h >= 320) return 17;
  return 0;
}

SkinVariant SkinResources::VariantFor(int sizeClass) {
  return ((sizeClass >> 4) & 0x3F) > 1 ? SkinVariant::Vga : SkinVariant::QuarterVga;
}

SkinType SkinResources::TypeFromSetting(int skinTypeId) {
  return skinTypeId == 1 ? SkinType::SimpleText : SkinType::Image;
}

bool SkinResources::BitmapPath(SkinVariant variant, std::wstring* path) {
  std::wstring folder;
  if (!GetProgramFolder(&folder)) return false;
  *path = JoinPath(JoinPath(folder, L"skin"), variant == SkinVariant::Vga ? L"w01vga.BMP" : L"w01qvga.BMP");
  return true;
}

RefPtr<SkinResources> SkinResources::Get() { return GetOrCreateSingleton<SkinResources>(SingletonSlot::SkinResources); }

const FontSpec& SkinResources::Font(int number) const {
  if (number < 1 || number > 6) number = 2;
  return m_fonts[static_cast<size_t>(number - 1)];
}

const FontSpec& SkinResources::TabFont() const { return m_tabFont; }

bool SkinResources::LoadBitmap() {
  // Loaded once per run and variant; a failed load is tried again at the
  // next build.
  if (m_bitmap && m_bitmapVariant == m_variant) return true;
  m_bitmap = nullptr;
  std::wstring path;
  if (!BitmapPath(m_variant, &path)) {
    Trace("SkinResources::LoadBitmap - the program folder is unknown\r\n");
    return false;
  }
  QImage image;
  if (!image.load(ToQString(path))) {
    Trace("SkinResources::LoadBitmap - cannot load \"%s\"\r\n", WideToUtf8(path).c_str());
    return false;
  }
  m_bitmap = talvinor::Create<SkinImage>(image.convertToFormat(QImage::Format_RGB32));
  m_bitmapVariant = m_variant;
  return true;
}

void SkinResources::Build(WindowId frame, int sizeClass, int skinTypeId) {
  m_frame = frame;
  m_variant = VariantFor(sizeClass);
  m_requested = TypeFromSetting(skinTypeId);
  const bool vga = m_variant == SkinVariant::Vga;
  // Fonts 1 to 6 of the skin; font 4 of the VGA variant follows font 2.
  m_fonts = {{
      {kFaceGothic, vga ? 20 : 12, true},
      {kFacePGothic, vga ? 20 : 12, false},
      {kFaceGothic, vga ? 14 : 10, false},
      {kFacePGothic, vga ? 18 : 12, false},
      {kFacePGothic, vga ? 20 : 14, true},
      {kFaceGothic, vga ? 20 : 12, false},
  }};
  m_tabFont = {kFacePGothic, vga ? 18 : 11, false};
  m_effective = m_requested == SkinType::Image && LoadBitmap() ? SkinType::Image : SkinType::SimpleText;
  SkinBuilder::Build(*this);
  m_built = true;
}

}  // namespace talvinor
