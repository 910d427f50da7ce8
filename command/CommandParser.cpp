#include "command/CommandParser.h"

#include "settings/Tokenizer.h"

namespace talvinor {

namespace {

bool ReadValue(Tokenizer& t, AttributeValue* value, uint32_t* error) {
  wchar_t c = t.Peek();
  if (t.AtEnd()) {
    *error = static_cast<uint32_t>(TokenError::EndOfText);
    return false;
  }
  if (t.HasClass(c, kClassNameStart)) {
    value->kind = AttributeKind::Text;
    if (t.ReadName(&value->text)) return true;
  } else if (c == L'"') {
    value->kind = AttributeKind::Text;
    if (t.ReadText(&value->text)) return true;
  } else if (t.HasClass(c, kClassDecimal) || c == L'.') {
    // Signs and the other unary operators are not allowed here, so the
    // number is read directly rather than as a general value.
    TokenNumber number;
    if (t.ReadNumber(&number)) {
      value->kind = number.isFraction ? AttributeKind::Fraction : AttributeKind::Integer;
      value->integer = number.integer;
      value->fraction = number.fraction;
      return true;
    }
  } else {
    *error = static_cast<uint32_t>(CommandTextError::BadValue);
    return false;
  }
  *error = static_cast<uint32_t>(t.LastError());
  return false;
}

}  // namespace

bool CommandParser::Parse(std::wstring_view text, AttributeList* list, uint32_t* error) {
  list->Clear();
  *error = 0;
  Tokenizer t(text, kCommandTokenizerOptions);
  size_t first = t.Text().find(L'/');
  if (first == std::wstring::npos) return true;
  t.SetPosition(first);
  auto fail = [&](uint32_t code) {
    *error = code;
    list->Clear();
    return false;
  };
  for (;;) {
    t.SkipBlanks();
    if (t.AtEnd()) return true;
    if (!t.Accept(L'/')) return fail(static_cast<uint32_t>(CommandTextError::ExpectedSlash));
    std::wstring name;
    if (!t.ReadName(&name)) return fail(static_cast<uint32_t>(CommandTextError::MissingName));
    for (wchar_t& c : name)
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    t.SkipBlanks();
    if (!t.Accept(L':')) return fail(static_cast<uint32_t>(CommandTextError::MissingColon));
    t.SkipBlanks();
    AttributeValue value;
    uint32_t valueError = 0;
    if (!ReadValue(t, &value, &valueError)) return fail(valueError);
    if (!list->Add(std::move(name), std::move(value))) return fail(static_cast<uint32_t>(CommandTextError::RepeatedName));
  }
}

}  // namespace talvinor
