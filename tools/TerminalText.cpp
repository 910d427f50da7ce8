#include "tools/TerminalText.h"

#include <climits>
#include <cstdlib>
#include <cwchar>

#include "platform/Unicode.h"

namespace talvinor::cli {

std::string ToTerminal(const std::wstring& text) {
  if (MB_CUR_MAX == 1) return WideToUtf8(text);
  std::string out;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (wchar_t c : text) {
    size_t n = std::wcrtomb(buffer, c, &state);
    if (n == static_cast<size_t>(-1)) {
      out += '?';
      state = std::mbstate_t{};
    } else {
      out.append(buffer, n);
    }
  }
  return out;
}

std::wstring FromTerminal(const std::string& bytes) {
  if (MB_CUR_MAX == 1) return Utf8ToWide(bytes);
  std::wstring text;
  std::mbstate_t state{};
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while (p < end) {
    wchar_t c = 0;
    size_t n = std::mbrtowc(&c, p, static_cast<size_t>(end - p), &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
      c = 0xFFFD;
      n = 1;
      state = std::mbstate_t{};
    } else if (n == 0) {
      n = 1;
    }
    text += c;
    p += n;
  }
  return text;
}

}  // namespace talvinor::cli

namespace talvinor::cli {

void PrintUtf8(std::FILE* stream, const std::string& text) {
  std::string bytes = ToTerminal(Utf8ToWide(text)) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

}  // namespace talvinor::cli
