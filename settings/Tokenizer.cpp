#include "settings/Tokenizer.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace talvinor {

namespace {

constexpr uint64_t kMaxInteger = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

bool IsBlankOrLineEnd(wchar_t c) { return c == L'\t' || c == L'\n' || c == L'\r' || c == L' ' || c == 0x3000; }

// Negation and bitwise not wrap like the handset's 32-bit arithmetic would,
// instead of overflowing (C++20 makes the conversion back modular).
int64_t WrappingNegate(int64_t v) { return static_cast<int64_t>(0ull - static_cast<uint64_t>(v)); }

}  // namespace

Tokenizer::Tokenizer(std::wstring_view text, uint32_t options)
    : m_table(CharacterClassTable::Get()), m_text(text.substr(0, text.find(L'\0'))), m_options(options) {}

bool Tokenizer::Fail(TokenError error) {
  m_error = error;
  m_errorPos = m_pos;
  return false;
}

bool Tokenizer::LooksAt(std::wstring_view word) const {
  return m_text.compare(m_pos, word.size(), word) == 0 && m_pos + word.size() <= m_text.size();
}

bool Tokenizer::SkipComment() {
  if ((m_options & kTokenizerNoComments) || Peek() != L'/') return false;
  if (Peek(1) == L'/') {
    size_t end = m_text.find_first_of(L"\r\n", m_pos + 2);
    SetPosition(end == std::wstring::npos ? m_text.size() : end);
    return true;
  }
  if (Peek(1) == L'*') {
    size_t end = m_text.find(L"*/", m_pos + 2);
    SetPosition(end == std::wstring::npos ? m_text.size() : end + 2);
    return true;
  }
  return false;
}

void Tokenizer::SkipBlanks() {
  while (!AtEnd()) {
    if (IsBlankOrLineEnd(Peek())) {
      ++m_pos;
    } else if (!SkipComment()) {
      return;
    }
  }
}

bool Tokenizer::Accept(wchar_t c) {
  if (AtEnd() || Peek() != c) return false;
  ++m_pos;
  return true;
}

bool Tokenizer::Expect(wchar_t c) {
  if (Accept(c)) return true;
  return Fail(AtEnd() ? TokenError::EndOfText : TokenError::UnexpectedCharacter);
}

bool Tokenizer::ReadName(std::wstring* name) {
  if (AtEnd()) return Fail(TokenError::EndOfText);
  if (!HasClass(Peek(), kClassNameStart)) return Fail(TokenError::UnexpectedCharacter);
  size_t start = m_pos++;
  while (!AtEnd() && HasClass(Peek(), kClassNameFollow)) ++m_pos;
  name->assign(m_text, start, m_pos - start);
  return true;
}

bool Tokenizer::ReadDigits(uint32_t digitClass, unsigned base, uint64_t* value, size_t* count) {
  *value = 0;
  *count = 0;
  while (!AtEnd() && HasClass(Peek(), digitClass)) {
    wchar_t c = Peek();
    unsigned digit = (c >= L'0' && c <= L'9') ? c - L'0' : (c | 0x20) - L'a' + 10;
    if (*value > (kMaxInteger - digit) / base) return Fail(TokenError::NumberTooLarge);
    *value = *value * base + digit;
    ++*count;
    ++m_pos;
  }
  return true;
}

bool Tokenizer::CheckNumberEnd() {
  wchar_t c = Peek();
  if (AtEnd()) return true;
  if (HasClass(c, kClassHex) || c == L'.') return Fail(TokenError::BadNumber);
  if ((m_options & kTokenizerStrictNumbers) && HasClass(c, kClassNameFollow)) return Fail(TokenError::BadNumber);
  return true;
}

bool Tokenizer::ReadNumber(TokenNumber* number) {
  *number = TokenNumber{};
  if (AtEnd()) return Fail(TokenError::EndOfText);
  wchar_t c = Peek();
  if (!HasClass(c, kClassDecimal) && c != L'.') return Fail(TokenError::UnexpectedCharacter);
  size_t start = m_pos;

  if (c == L'0') {
    wchar_t prefix = Peek(1) | 0x20;  // lower case for letters; digits stay apart
    uint32_t digitClass = 0;
    unsigned base = 0;
    if (prefix == L'b') {
      digitClass = kClassBinary, base = 2;
    } else if (prefix == L'o') {
      digitClass = kClassOctal, base = 8;
    } else if (prefix == L'x') {
      digitClass = kClassHex, base = 16;
    }
    uint64_t value = 0;
    size_t count = 0;
    if (base != 0) {
      m_pos += 2;
      if (!ReadDigits(digitClass, base, &value, &count)) return false;
      if (count == 0) return Fail(TokenError::BadNumber);
    } else if (HasClass(Peek(1), kClassDecimal)) {
      // A leading zero means octal; a following 8 or 9 then ends the number
      // and the end check rejects it.
      ++m_pos;
      if (!ReadDigits(kClassOctal, 8, &value, &count)) return false;
    }
    if (m_pos != start) {
      number->integer = static_cast<int64_t>(value);
      number->fraction = static_cast<double>(value);
      return CheckNumberEnd();
    }
  }

  // Decimal, with an optional fraction after '.'.
  std::string digits;
  while (!AtEnd() && HasClass(Peek(), kClassDecimal)) digits += static_cast<char>(m_text[m_pos++]);
  size_t integerDigits = digits.size();
  bool isFraction = false;
  if (Peek() == L'.' && !AtEnd()) {
    isFraction = true;
    ++m_pos;
    digits += '.';
    while (!AtEnd() && HasClass(Peek(), kClassDecimal)) digits += static_cast<char>(m_text[m_pos++]);
  }
  if (digits.size() - (isFraction ? 1 : 0) == 0) {
    m_pos = start;
    return Fail(TokenError::BadNumber);
  }
  if (!isFraction) {
    uint64_t value = 0;
    for (char d : digits) {
      unsigned digit = d - '0';
      if (value > (kMaxInteger - digit) / 10) {
        m_pos = start;
        return Fail(TokenError::NumberTooLarge);
      }
      value = value * 10 + digit;
    }
    number->integer = static_cast<int64_t>(value);
    number->fraction = static_cast<double>(value);
    return CheckNumberEnd();
  }
  if (integerDigits == 0) digits.insert(digits.begin(), '0');
  if (digits.back() == '.') digits += '0';
  double value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size() || !(value < 9.0e18)) {
    m_pos = start;
    return Fail(TokenError::NumberTooLarge);
  }
  number->isFraction = true;
  number->fraction = value;
  number->integer = static_cast<int64_t>(std::trunc(value));
  return CheckNumberEnd();
}

bool Tokenizer::ReadText(std::wstring* text) {
  text->clear();
  if (AtEnd()) return Fail(TokenError::EndOfText);
  if (Peek() != L'"') return Fail(TokenError::UnexpectedCharacter);
  ++m_pos;
  const bool escapes = (m_options & kTokenizerPlainBackslash) == 0;
  for (;;) {
    if (AtEnd()) return Fail(TokenError::UnterminatedText);
    wchar_t c = Peek();
    if (c == L'\r' || c == L'\n') return Fail(TokenError::UnterminatedText);
    if (c == L'"') {
      ++m_pos;
      return true;
    }
    if (c != L'\\' || !escapes) {
      *text += c;
      ++m_pos;
      continue;
    }
    wchar_t next = Peek(1);
    switch (next) {
      case L'"': case L'\'': case L'\\': *text += next; m_pos += 2; continue;
      case L'n': *text += L'\n'; m_pos += 2; continue;
      case L'r': *text += L'\r'; m_pos += 2; continue;
      case L't': *text += L'\t'; m_pos += 2; continue;
      default: break;
    }
    if (m_pos + 1 >= m_text.size()) {
      ++m_pos;
      return Fail(TokenError::UnterminatedText);
    }
    if (!(m_options & kTokenizerTolerateUnknownEscape)) return Fail(TokenError::UnknownEscape);
    // Tolerated: the backslash stays an ordinary character; whatever follows
    // is read on its own (so a line end after it still ends the text badly).
    *text += c;
    ++m_pos;
  }
}

bool Tokenizer::ReadValue(Token* token) {
  token->kind = TokenKind::None;
  token->text.clear();
  token->number = TokenNumber{};
  token->position = m_pos;
  if (AtEnd()) return Fail(TokenError::EndOfText);
  wchar_t c = Peek();
  if (HasClass(c, kClassNameStart)) {
    if (!ReadName(&token->text)) return false;
    token->kind = TokenKind::Symbol;
    return true;
  }
  if (c == L'"') {
    if (!ReadText(&token->text)) return false;
    token->kind = TokenKind::Text;
    return true;
  }
  size_t opStart = m_pos;
  while (!AtEnd() && HasClass(Peek(), kClassUnary)) {
    if (m_pos > opStart && m_text[m_pos - 1] == Peek()) return Fail(TokenError::RepeatedOperator);
    ++m_pos;
  }
  size_t opEnd = m_pos;
  if (AtEnd()) return Fail(TokenError::EndOfText);
  if (!HasClass(Peek(), kClassDecimal) && Peek() != L'.') return Fail(TokenError::UnexpectedCharacter);
  TokenNumber& n = token->number;
  if (!ReadNumber(&n)) return false;
  // Operators apply from the one nearest the number outwards.
  for (size_t i = opEnd; i > opStart; --i) {
    switch (m_text[i - 1]) {
      case L'-':
        n.integer = WrappingNegate(n.integer);
        n.fraction = -n.fraction;
        break;
      case L'!':
        n.integer = (n.isFraction ? n.fraction == 0 : n.integer == 0) ? 1 : 0;
        n.isFraction = false;
        n.fraction = static_cast<double>(n.integer);
        break;
      case L'~':
        n.integer = ~n.integer;
        n.isFraction = false;
        n.fraction = static_cast<double>(n.integer);
        break;
      default:  // '+'
        break;
    }
  }
  token->kind = TokenKind::Number;
  return true;
}

bool Tokenizer::SkipStatement() {
  int depth = 0;
  for (;;) {
    SkipBlanks();
    if (AtEnd()) return Fail(TokenError::EndOfText);
    wchar_t c = Peek();
    if (c == L'"') {
      std::wstring ignored;
      if (!ReadText(&ignored)) return false;
      continue;
    }
    if (c == L'{') {
      ++depth;
    } else if (c == L'}') {
      if (depth == 0) return Fail(TokenError::UnbalancedBrace);
      if (--depth == 0) {
        ++m_pos;
        return true;
      }
    }
    ++m_pos;
  }
}

void Tokenizer::LineAndColumn(size_t position, size_t* line, size_t* column) const {
  *line = 1;
  size_t lineStart = 0;
  size_t end = position < m_text.size() ? position : m_text.size();
  for (size_t i = 0; i < end; ++i) {
    if (m_text[i] == L'\n') {
      ++*line;
      lineStart = i + 1;
    }
  }
  *column = end - lineStart + 1;
}

}  // namespace talvinor
