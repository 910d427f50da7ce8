#include "core/TrimBlanks.h"

namespace talvinor {

namespace {
template <typename String, typename IsBlankFn>
void Trim(String& text, IsBlankFn isBlank) {
  size_t end = text.size();
  while (end > 0 && isBlank(text[end - 1])) --end;
  text.erase(end);
  size_t begin = 0;
  while (begin < text.size() && isBlank(text[begin])) ++begin;
  text.erase(0, begin);
}
}  // namespace

void TrimBlanks(std::wstring& text) { Trim(text, [](wchar_t c) { return IsBlank(c); }); }

void TrimBlanks(std::string& text) { Trim(text, [](char c) { return c == '\t' || c == ' '; }); }

}  // namespace talvinor
