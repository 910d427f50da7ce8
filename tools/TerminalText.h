#pragma once
#include <cstdio>
#include <string>

namespace talvinor::cli {

// Program text in the terminal's encoding: the locale's multibyte form, or
// UTF-8 when the locale has none (the "C" locale of scripts and CI). A
// character the locale cannot show becomes '?'.
std::string ToTerminal(const std::wstring& text);

// An argument in the terminal's encoding as program text; a byte that does
// not decode becomes U+FFFD.
std::wstring FromTerminal(const std::string& bytes);

}  // namespace talvinor::cli

namespace talvinor::cli {

// One line of UTF-8 program text (a line end is added) in the terminal's
// encoding, flushed.
void PrintUtf8(std::FILE* stream, const std::string& text);

}  // namespace talvinor::cli
