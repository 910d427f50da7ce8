#include <gtest/gtest.h>

#include "settings/Tokenizer.h"

namespace talvinor {
namespace {

RefPtr<Tokenizer> Make(const wchar_t* text, uint32_t options = kSettingsTokenizerOptions) {
  return Create<Tokenizer>(std::wstring_view(text), options);
}

Token ReadOk(const wchar_t* text, uint32_t options = kSettingsTokenizerOptions) {
  auto t = Make(text, options);
  Token token;
  EXPECT_TRUE(t->ReadValue(&token)) << "error " << static_cast<int>(t->LastError());
  return token;
}

TokenError ReadError(const wchar_t* text, uint32_t options = kSettingsTokenizerOptions) {
  auto t = Make(text, options);
  Token token;
  EXPECT_FALSE(t->ReadValue(&token));
  return t->LastError();
}

TEST(Tokenizer, NumberFormsReadInTheirBase) {
  EXPECT_EQ(ReadOk(L"0x1F;").number.integer, 31);
  EXPECT_EQ(ReadOk(L"0X1f;").number.integer, 31);
  EXPECT_EQ(ReadOk(L"017;").number.integer, 15);
  EXPECT_EQ(ReadOk(L"0o17;").number.integer, 15);
  EXPECT_EQ(ReadOk(L"0b101;").number.integer, 5);
  EXPECT_EQ(ReadOk(L"0;").number.integer, 0);
  EXPECT_EQ(ReadOk(L"44100;").number.integer, 44100);
  Token fraction = ReadOk(L"0.45;");
  EXPECT_TRUE(fraction.number.isFraction);
  EXPECT_DOUBLE_EQ(fraction.number.fraction, 0.45);
  EXPECT_EQ(fraction.number.integer, 0);
  EXPECT_DOUBLE_EQ(ReadOk(L".5;").number.fraction, 0.5);
  EXPECT_DOUBLE_EQ(ReadOk(L"7.;").number.fraction, 7.0);
  EXPECT_EQ(ReadOk(L"-2.9;").number.integer, -2);
  EXPECT_EQ(ReadOk(L"9223372036854775807;").number.integer, INT64_MAX);
}

TEST(Tokenizer, MalformedNumbersFail) {
  EXPECT_EQ(ReadError(L"0x;"), TokenError::BadNumber);
  EXPECT_EQ(ReadError(L"0b2;"), TokenError::BadNumber);
  EXPECT_EQ(ReadError(L"09;"), TokenError::BadNumber);   // octal then a stray 9
  EXPECT_EQ(ReadError(L"12a;"), TokenError::BadNumber);  // hex digit after a decimal
  EXPECT_EQ(ReadError(L"1.5.3;"), TokenError::BadNumber);
  EXPECT_EQ(ReadError(L"1e5;"), TokenError::BadNumber);
  EXPECT_EQ(ReadError(L".;"), TokenError::BadNumber);
  EXPECT_EQ(ReadError(L"9223372036854775808;"), TokenError::NumberTooLarge);
  EXPECT_EQ(ReadError(L"0xFFFFFFFFFFFFFFFFF;"), TokenError::NumberTooLarge);
  // A name character that is no hex digit ends the number; only the strict check refuses it.
  EXPECT_EQ(ReadOk(L"12g").number.integer, 12);
  EXPECT_EQ(ReadError(L"12g", kTokenizerStrictNumbers), TokenError::BadNumber);
}

TEST(Tokenizer, UnaryOperatorsApplyFromTheNumberOutwards) {
  EXPECT_EQ(ReadOk(L"-5").number.integer, -5);
  EXPECT_EQ(ReadOk(L"+5").number.integer, 5);
  EXPECT_EQ(ReadOk(L"!0").number.integer, 1);
  EXPECT_EQ(ReadOk(L"!7").number.integer, 0);
  EXPECT_EQ(ReadOk(L"~0").number.integer, -1);
  EXPECT_EQ(ReadOk(L"-~0").number.integer, 1);   // ~0 = -1, then negated
  EXPECT_EQ(ReadOk(L"~-1").number.integer, 0);   // -1, then inverted
  EXPECT_EQ(ReadOk(L"!-0.5").number.integer, 0);
  EXPECT_EQ(ReadOk(L"-~9223372036854775807").number.integer, INT64_MIN);  // wraps, no overflow
  EXPECT_EQ(ReadError(L"--5"), TokenError::RepeatedOperator);
  EXPECT_EQ(ReadOk(L"-+-5").number.integer, 5);
  EXPECT_EQ(ReadError(L"-x"), TokenError::UnexpectedCharacter);
  EXPECT_EQ(ReadError(L"-"), TokenError::EndOfText);
}

TEST(Tokenizer, TextEscapesResolveAndBadTextsFail) {
  Token t = ReadOk(LR"("a\\b\"c\'d\ne\rf\tg";)");
  EXPECT_EQ(t.kind, TokenKind::Text);
  EXPECT_EQ(t.text, L"a\\b\"c'd\ne\rf\tg");
  EXPECT_EQ(ReadOk(L"\"通話録音\"").text, L"通話録音");
  EXPECT_EQ(ReadError(L"\"abc"), TokenError::UnterminatedText);
  EXPECT_EQ(ReadError(L"\"ab\ncd\""), TokenError::UnterminatedText);
  EXPECT_EQ(ReadError(L"\"ab\rcd\""), TokenError::UnterminatedText);
  EXPECT_EQ(ReadError(L"\"ab\\"), TokenError::UnterminatedText);
  // Unknown escapes: refused by default, kept literally when tolerated.
  EXPECT_EQ(ReadError(L"\"a\\qb\"", 0), TokenError::UnknownEscape);
  EXPECT_EQ(ReadOk(L"\"a\\qb\"").text, L"a\\qb");
  // The command language's options: backslash is ordinary, so paths read as typed.
  EXPECT_EQ(ReadOk(L"\"C:\\dir\\\"", kCommandTokenizerOptions).text, L"C:\\dir\\");
}

TEST(Tokenizer, SymbolsAndNames) {
  Token t = ReadOk(L"m_Name2;");
  EXPECT_EQ(t.kind, TokenKind::Symbol);
  EXPECT_EQ(t.text, L"m_Name2");
  EXPECT_EQ(ReadError(L";"), TokenError::UnexpectedCharacter);
  EXPECT_EQ(ReadError(L""), TokenError::EndOfText);
  auto tok = Make(L"2abc");
  std::wstring name;
  EXPECT_FALSE(tok->ReadName(&name));
}

TEST(Tokenizer, BlanksAndCommentsAreSkippedUnlessCommentsAreOff) {
  auto t = Make(L" \t\r\n\x3000// line\r\n/* block\r\n spanning */ x");
  t->SkipBlanks();
  EXPECT_EQ(t->Peek(), L'x');
  auto unclosed = Make(L"  /* never closed");
  unclosed->SkipBlanks();
  EXPECT_TRUE(unclosed->AtEnd());
  auto control = Make(L" \x01x");
  control->SkipBlanks();
  EXPECT_EQ(control->Peek(), 0x01);
  auto plain = Make(L" // not a comment", kCommandTokenizerOptions);
  plain->SkipBlanks();
  EXPECT_EQ(plain->Peek(), L'/');
}

TEST(Tokenizer, TextEndsAtTheFirstZeroCharacter) {
  std::wstring text = L"abc";
  text += L'\0';
  text += L"def";
  auto t = Create<Tokenizer>(std::wstring_view(text), kSettingsTokenizerOptions);
  EXPECT_EQ(t->Text(), L"abc");
}

TEST(Tokenizer, SkipStatementHonoursTextsAndComments) {
  auto t = Make(L"other a=1; { \"}\" /* } */ { x } // }\r\n } after");
  EXPECT_TRUE(t->SkipStatement());
  t->SkipBlanks();
  EXPECT_TRUE(t->LooksAt(L"after"));
  EXPECT_FALSE(Make(L"other } {")->SkipStatement());
  auto open = Make(L"other { { }");
  EXPECT_FALSE(open->SkipStatement());
  EXPECT_EQ(open->LastError(), TokenError::EndOfText);
  EXPECT_FALSE(Make(L"other; no braces at all")->SkipStatement());
}

TEST(Tokenizer, ErrorsReportLineAndColumn) {
  auto t = Make(L"a\r\nbc\r\n  ?");
  size_t line = 0, column = 0;
  t->LineAndColumn(9, &line, &column);  // the "?"
  EXPECT_EQ(line, 3u);
  EXPECT_EQ(column, 3u);
}

}  // namespace
}  // namespace talvinor
