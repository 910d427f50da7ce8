#pragma once
#include <cstdio>
#include <string>

namespace talvinor::testing {

// The texts of the load run: each names its sender and number and carries a
// filler of varying length derived from both, so that a garbled, cut or
// mixed-up text is recognised by rebuilding it from its own name.
inline std::wstring LoadText(int sender, int number) {
  std::wstring text = L"/cmd:play /src:\"s" + std::to_wstring(sender) + L"-n" + std::to_wstring(number) + L"-";
  int length = (sender * 37 + number * 11) % 400;
  for (int i = 0; i < length; ++i) text += static_cast<wchar_t>(i % 3 == 0 ? L'あ' + (i + sender) % 80 : L'a' + (i + number) % 26);
  return text + L"\"";
}

// Reads sender and number back from a received text; false when the text is
// not exactly what LoadText makes for them.
inline bool ParseLoadText(const std::wstring& text, int* sender, int* number) {
  if (std::swscanf(text.c_str(), L"/cmd:play /src:\"s%d-n%d-", sender, number) != 2) return false;
  if (*sender < 0 || *sender > 1000 || *number < 0 || *number > 100000) return false;
  return text == LoadText(*sender, *number);
}

}  // namespace talvinor::testing
