#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace talvinor {

// Program text is std::wstring (UTF-32 on Linux). File names cross to the
// kernel as UTF-8, and the command channel carries UTF-16LE. Invalid input
// never throws: bad sequences become U+FFFD.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view bytes);

// UTF-16 code units (surrogate pairs for characters above U+FFFF).
std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view units);

}  // namespace talvinor
