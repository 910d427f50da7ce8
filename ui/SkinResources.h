#pragma once
#include <array>
#include <string>

#include "core/RefPtr.h"
#include "ui/ButtonFaces.h"
#include "ui/FontSpec.h"
#include "ui/SkinImage.h"
#include "ui/UiTypes.h"

namespace talvinor {

// The two resolution variants of the skin.
enum class SkinVariant {
  QuarterVga,  // 240 x 320 class screens
  Vga,         // 480 x 640 class screens and larger
};

// The two skin types (the values of m_SkinTypeId).
enum class SkinType {
  SimpleText = 1,  // system colours and text captions
  Image = 2,       // faces cut from the skin bitmap
};

// The shared font and bitmap set of the skin (singleton slot 6), built by
// the frame for the screen's size class and the chosen skin type, together
// with every page's layout (PageLayout). UI thread only.
class SkinResources : public RefObject {
 public:
  // The size class of a w x h screen (0, 16 to 19, 32 to 35, 48, 49).
  static int SizeClass(int width, int height);
  // Bits 4 to 9 of the class above 1 select VGA.
  static SkinVariant VariantFor(int sizeClass);
  // 1 is simple text; every other value the image skin.
  static SkinType TypeFromSetting(int skinTypeId);
  // Program folder + "/skin/w01qvga.BMP" or "/skin/w01vga.BMP"; false when
  // the program folder is unknown.
  static bool BitmapPath(SkinVariant variant, std::wstring* path);

  static RefPtr<SkinResources> Get();

  // Creates the fonts, loads the bitmap for the image skin when it is not
  // loaded yet (falling back to the simple-text drawing when it cannot be
  // loaded) and fills every page's layout. `frame` is kept for reference.
  void Build(WindowId frame, int sizeClass, int skinTypeId);
  bool IsBuilt() const { return m_built; }

  SkinVariant Variant() const { return m_variant; }
  int Scale() const { return m_variant == SkinVariant::Vga ? 2 : 1; }
  SkinType RequestedType() const { return m_requested; }
  // What is drawn: the image skin only when its bitmap loaded.
  SkinType EffectiveType() const { return m_effective; }
  WindowId Frame() const { return m_frame; }

  // Fonts 1 to 6; out of range gives font 2.
  const FontSpec& Font(int number) const;
  // The font of the tab captions.
  const FontSpec& TabFont() const;
  // The bitmap, once loaded for the image skin (null when it failed).
  const RefPtr<SkinImage>& Bitmap() const { return m_bitmap; }
  // Tab faces of the image skin; null for simple text.
  const RefPtr<ButtonFaces>& TabFaces() const { return m_tabFaces; }

  // The frame's client area: pages above, then the message area, then the tab bar.
  int FrameClientWidth() const { return 240 * Scale(); }
  int FrameClientHeight() const { return PageHeight() + MessageAreaHeight() + TabBarHeight(); }
  int PageHeight() const { return 252 * Scale(); }
  int MessageAreaHeight() const { return m_variant == SkinVariant::Vga ? 30 : 17; }
  int TabBarHeight() const { return m_variant == SkinVariant::Vga ? 44 : 24; }
  // Colours of the frame's tab bar captions (image skin) and message area.
  ColorRef TabTextColour() const { return m_tabText; }

 private:
  friend class SkinBuilder;
  bool LoadBitmap();

  bool m_built = false;
  WindowId m_frame = 0;
  SkinVariant m_variant = SkinVariant::QuarterVga;
  SkinType m_requested = SkinType::Image;
  SkinType m_effective = SkinType::SimpleText;
  std::array<FontSpec, 6> m_fonts;
  FontSpec m_tabFont;
  RefPtr<SkinImage> m_bitmap;
  SkinVariant m_bitmapVariant = SkinVariant::QuarterVga;  // what m_bitmap was loaded for
  RefPtr<ButtonFaces> m_tabFaces;
  ColorRef m_tabText = 0x000000;
};

}  // namespace talvinor
