#pragma once
#include <string>

#include "core/RefPtr.h"
#include "ui/ButtonFaces.h"
#include "ui/FontSpec.h"
#include "ui/UiTypes.h"

namespace talvinor {

class SkinResources;

// Fills the page layouts of a skin: the rectangles of every page's controls
// for the variant, the button faces of the skin type, fonts and colours.
class SkinBuilder {
 public:
  static void Build(SkinResources& skin);

  // The three text faces of the simple-text skin for a button of the given
  // size: outlined with a pen of `penWidth`, the caption fitted into the
  // face in `font` (made smaller when it would not fit).
  static RefPtr<ButtonFaces> TextFaces(const std::wstring& caption, int width, int height, int penWidth,
                                       const FontSpec& font);

  // Colours of the simple-text faces (COLORREF).
  static constexpr ColorRef kNormalPen = 0x00000000, kNormalBrush = 0x00FFFFFF, kNormalText = 0x00000000;
  static constexpr ColorRef kPressedPen = 0x00A00000, kPressedBrush = 0x00FF6060, kPressedText = 0x00FFFFFF;
  static constexpr ColorRef kDisabledPen = 0x00404040, kDisabledBrush = 0x00A0A0A0, kDisabledText = 0x00808080;
};

}  // namespace talvinor
