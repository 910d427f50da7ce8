#pragma once
#include <string>

namespace talvinor {

// A font as the skin names it: face, character cell height in pixels and
// weight. The toolkit maps the handset's Japanese faces to the IPA fonts.
struct FontSpec {
  std::wstring face;
  int height = 0;  // 0: the toolkit's default font
  bool bold = false;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

inline const wchar_t kFaceGothic[] = L"ＭＳ ゴシック";
inline const wchar_t kFacePGothic[] = L"ＭＳ Ｐゴシック";

}  // namespace talvinor
