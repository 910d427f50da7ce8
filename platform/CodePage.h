#pragma once
#include <string>
#include <string_view>

namespace talvinor {

// The ANSI code page of stored text (settings, tags, call histories) is CP932.
// Like the handset's converters used without error flags, these never fail:
// writing turns a character CP932 cannot hold into '?', reading turns an
// invalid byte into U+30FB, so one stray byte never empties a whole text.
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view bytes);

// True for the CP932 lead bytes of double-byte characters (0x81-0x9F, 0xE0-0xFC).
bool IsAnsiLeadByte(unsigned char byte);

}  // namespace talvinor
