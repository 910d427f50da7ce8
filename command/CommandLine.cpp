#include "command/CommandLine.h"

#include "core/TrimBlanks.h"
#include "settings/Tokenizer.h"

namespace talvinor {

namespace {

bool IsBlankOrLineEnd(wchar_t c) { return c == L'\t' || c == L'\n' || c == L'\r' || c == L' ' || c == 0x3000; }

// Whether `value` reads back, whole, as one value of a command text.
bool ReadsBackAsValue(const std::wstring& value) {
  if (value.empty()) return false;
  Tokenizer t(value, kCommandTokenizerOptions);
  if (t.Text().size() != value.size()) return false;  // an embedded zero would cut it
  wchar_t c = t.Peek();
  bool ok = false;
  if (t.HasClass(c, kClassNameStart)) {
    std::wstring name;
    ok = t.ReadName(&name);
  } else if (t.HasClass(c, kClassDecimal) || c == L'.') {
    TokenNumber number;
    ok = t.ReadNumber(&number);
  } else if (c == L'"') {
    std::wstring text;
    ok = t.ReadText(&text);
  }
  return ok && t.AtEnd();
}

// Splits "/name:value" (no blanks) into its parts.
bool SplitAttributeArgument(const std::wstring& argument, std::wstring* head, std::wstring* value) {
  if (argument.size() < 3 || argument[0] != L'/') return false;
  Tokenizer t(argument, kCommandTokenizerOptions);
  t.Advance();
  std::wstring name;
  if (!t.ReadName(&name) || !t.Accept(L':')) return false;
  *head = argument.substr(0, t.Position());
  *value = argument.substr(t.Position());
  return true;
}

// Whether `value` holds, after a blank, a further "/name" and ':' (blanks
// allowed before the ':'): the argument was a whole command text given as
// one word ("/cmd:rec /toggle:1 /scene:1"), already in the form the parser
// reads, and quoting it would hide its other attributes.
bool HoldsFurtherAttributes(const std::wstring& value) {
  Tokenizer t(value, kCommandTokenizerOptions);
  const size_t size = t.Text().size();
  for (size_t i = 1; i < size; ++i) {
    if (value[i] != L'/' || !IsBlankOrLineEnd(value[i - 1])) continue;
    t.SetPosition(i + 1);
    std::wstring name;
    if (!t.ReadName(&name)) continue;
    while (!t.AtEnd() && IsBlankOrLineEnd(t.Peek())) t.Advance();
    if (t.Peek() == L':') return true;
  }
  return false;
}

}  // namespace

bool CommandLine::IsCommandText(const std::wstring& text) {
  size_t slash = text.find(L'/');
  if (slash == std::wstring::npos) return false;
  Tokenizer t(text, kCommandTokenizerOptions);
  if (slash >= t.Text().size()) return false;
  t.SetPosition(slash + 1);
  std::wstring name;
  if (!t.ReadName(&name)) return false;
  while (!t.AtEnd() && IsBlankOrLineEnd(t.Peek())) t.Advance();
  return t.Peek() == L':';
}

std::wstring CommandLine::Join(const std::vector<std::wstring>& arguments) {
  std::wstring text;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (i > 0) text += L' ';
    std::wstring head, value;
    if (SplitAttributeArgument(argument, &head, &value) && !ReadsBackAsValue(value) &&
        !HoldsFurtherAttributes(value) && value.find_first_of(L"\"\r\n") == std::wstring::npos &&
        value.find(L'\0') == std::wstring::npos) {
      text += head + L"\"" + value + L"\"";
    } else {
      text += argument;
    }
  }
  return text;
}

std::wstring CommandLine::ToCommandText(const std::vector<std::wstring>& arguments,
                                        const std::wstring& currentFolder) {
  std::wstring text = Join(arguments);
  std::wstring trimmed = text;
  TrimBlanks(trimmed);
  if (trimmed.empty() || IsCommandText(text) || text[0] == L'/' || currentFolder.empty()) return text;
  return currentFolder.back() == L'/' ? currentFolder + text : currentFolder + L"/" + text;
}

}  // namespace talvinor
