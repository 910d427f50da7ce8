#include "ui/MessageFormat.h"

#include <cwchar>
#include <vector>

namespace talvinor {

std::wstring FormatMessageTextV(size_t limit, const wchar_t* format, va_list args) {
  if (!format) return {};
  // vswprintf reports -1 both for a short buffer and for a bad format, so
  // grow the buffer a few times before taking the failure as the format's.
  std::vector<wchar_t> buffer(limit + 1);
  for (int attempt = 0; attempt < 6; ++attempt) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0) {
      std::wstring text(buffer.data(), static_cast<size_t>(n));
      if (text.size() > limit) text.resize(limit);
      return text;
    }
    buffer.resize(buffer.size() * 4);
  }
  std::wstring text(format);
  if (text.size() > limit) text.resize(limit);
  return text;
}

std::wstring FormatMessageText(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatMessageTextV(kMessageTextLimit, format, args);
  va_end(args);
  return text;
}

}  // namespace talvinor
