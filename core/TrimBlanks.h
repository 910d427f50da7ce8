#pragma once
#include <string>

namespace talvinor {

// Removes leading and trailing blanks: TAB, SPACE and IDEOGRAPHIC SPACE (U+3000),
// exactly these three. Inner blanks stay.
void TrimBlanks(std::wstring& text);
void TrimBlanks(std::string& text);  // TAB and SPACE only (no U+3000 in 8-bit text)

inline bool IsBlank(wchar_t c) { return c == L'\t' || c == L' ' || c == 0x3000; }

}  // namespace talvinor
