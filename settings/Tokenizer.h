#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/RefPtr.h"
#include "settings/CharacterClassTable.h"

namespace talvinor {

// Option bits of a tokenizer.
enum TokenizerOption : uint32_t {
  kTokenizerNoComments = 0x1,              // "//" and "/*" are ordinary characters
  kTokenizerPlainBackslash = 0x2,          // backslash is ordinary inside quoted texts
  kTokenizerTolerateUnknownEscape = 0x4,   // "\q" keeps both characters instead of failing
  kTokenizerStrictNumbers = 0x8,           // a number may not be followed by a name character
};

// The option sets of the program's two parsers.
inline constexpr uint32_t kSettingsTokenizerOptions = kTokenizerTolerateUnknownEscape;             // 4
inline constexpr uint32_t kCommandTokenizerOptions = kTokenizerNoComments | kTokenizerPlainBackslash;  // 3

// Why a read failed. The numbers are stable and show in diagnostics.
enum class TokenError : int {
  None = 0,
  EndOfText = 1,            // the text ended where something was required
  UnexpectedCharacter = 2,  // no value, name or expected character here
  UnterminatedText = 3,     // CR, LF or the end of the text before the closing quote
  UnknownEscape = 4,        // backslash followed by something other than " ' \ n r t
  BadNumber = 5,            // a prefix without digits, or a hex digit or '.' right after a number
  RepeatedOperator = 6,     // the same unary operator twice in a row
  NumberTooLarge = 7,       // does not fit 64 bits
  UnbalancedBrace = 8,      // a '}' before any '{', or the text ends inside a brace block
};

// A number as read: an integer, or a fraction when it had a decimal point.
struct TokenNumber {
  bool isFraction = false;
  int64_t integer = 0;  // the value; for a fraction, truncated toward zero
  double fraction = 0;  // the value as a double (also set for integers)
};

enum class TokenKind {
  None,    // nothing read yet
  Symbol,  // a name used as a value
  Number,  // see `number`
  Text,    // a quoted text, escapes resolved, in `text`
};

struct Token {
  TokenKind kind = TokenKind::None;
  std::wstring text;  // the symbol's name or the text's value
  TokenNumber number;
  size_t position = 0;  // where the token started in the text
};

// Reads names, numbers, quoted texts and blanks from one wide text. The
// settings parser and the command parser share it, each with its own options.
//
// Nothing skips blanks implicitly: callers call SkipBlanks() where blanks may
// stand. Every Read* reads at the current position, advances past what it
// read on success and, on failure, leaves the position at the offending
// character and records LastError()/ErrorPosition().
//
// The text ends at its first zero character, as the stored text is a
// zero-terminated string.
class Tokenizer : public RefObject {
  TALVINOR_CLASS_CODES(0x18120)

 public:
  Tokenizer(std::wstring_view text, uint32_t options);

  uint32_t Options() const { return m_options; }
  const std::wstring& Text() const { return m_text; }
  size_t Position() const { return m_pos; }
  void SetPosition(size_t position) { m_pos = position < m_text.size() ? position : m_text.size(); }
  bool AtEnd() const { return m_pos >= m_text.size(); }
  // The character at the position (+ offset); 0 past the end.
  wchar_t Peek(size_t offset = 0) const {
    return m_pos + offset < m_text.size() ? m_text[m_pos + offset] : L'\0';
  }
  void Advance(size_t count = 1) { SetPosition(m_pos + count); }

  uint32_t ClassOf(wchar_t c) const { return m_table->ClassOf(c); }
  bool HasClass(wchar_t c, uint32_t bits) const { return m_table->Has(c, bits); }

  // True when the text continues with `word` exactly at the position.
  bool LooksAt(std::wstring_view word) const;
  // Skips TAB, LF, CR, SPACE, U+3000 and (unless kTokenizerNoComments) "//"
  // comments up to the next CR or LF and "/* */" comments (an unclosed one
  // runs to the end). Stops at any other character, including other controls.
  void SkipBlanks();
  // When the character at the position is `c`, steps over it and returns true.
  bool Accept(wchar_t c);
  // Like Accept, but a mismatch is an error (EndOfText or UnexpectedCharacter).
  bool Expect(wchar_t c);

  // A name: one character of class kClassNameStart, then kClassNameFollow.
  bool ReadName(std::wstring* name);
  // A value: a symbol (name), a number with optional unary operators, or a
  // quoted text.
  bool ReadValue(Token* token);
  // A number: "0b" binary, "0o" octal, "0x" hex, "0" + digit octal, otherwise
  // decimal with an optional fraction. No operators.
  bool ReadNumber(TokenNumber* number);
  // A quoted text starting at the opening double quote.
  bool ReadText(std::wstring* text);
  // Skips a statement up to and including its first balanced brace block;
  // braces inside quoted texts and comments do not count.
  bool SkipStatement();

  TokenError LastError() const { return m_error; }
  size_t ErrorPosition() const { return m_errorPos; }
  // 1-based line and column of a position, for messages.
  void LineAndColumn(size_t position, size_t* line, size_t* column) const;

  // Records a failure at the current position; returns false.
  bool Fail(TokenError error);

 private:
  bool SkipComment();
  bool ReadDigits(uint32_t digitClass, unsigned base, uint64_t* value, size_t* count);
  bool CheckNumberEnd();

  RefPtr<CharacterClassTable> m_table;
  std::wstring m_text;
  uint32_t m_options;
  size_t m_pos = 0;
  TokenError m_error = TokenError::None;
  size_t m_errorPos = 0;
};

}  // namespace talvinor
