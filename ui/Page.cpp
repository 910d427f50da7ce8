#include "ui/Page.h"

#include <cstdarg>

#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "ui/MessageFormat.h"
#include "ui/StatusLine.h"

namespace talvinor {

void Page::ShowMessageText(const std::wstring& text, ColorRef colour) {
  StatusLine* area = m_host ? m_host->MessageArea() : nullptr;
  if (!area) {
    Trace("Page message (no message area): %s\r\n", WideToUtf8(text).c_str());
    return;
  }
  area->ShowMessage(text, colour);
}

void Page::ShowNotice(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatMessageTextV(kMessageTextLimit, format, args);
  va_end(args);
  ShowMessageText(text, kNoticeColour);
}

void Page::ShowError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatMessageTextV(kMessageTextLimit, format, args);
  va_end(args);
  ShowMessageText(text, kErrorColour);
}

}  // namespace talvinor
