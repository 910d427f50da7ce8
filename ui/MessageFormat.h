#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace talvinor {

// Messages for the message area are formatted printf-style and cut to at most
// this many characters. Wide strings are passed with %ls (on Linux %s in a
// wide format means a narrow string).
inline constexpr size_t kMessageTextLimit = 256;

// The whole formatted text, cut at `limit` characters; a format the C
// library rejects (a bad conversion, an unconvertible narrow string) yields
// the format itself, so the user still sees the message.
std::wstring FormatMessageTextV(size_t limit, const wchar_t* format, va_list args);
std::wstring FormatMessageText(const wchar_t* format, ...);

}  // namespace talvinor
