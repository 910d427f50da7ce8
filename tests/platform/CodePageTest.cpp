#include <gtest/gtest.h>

#include "platform/CodePage.h"

namespace talvinor {
namespace {

TEST(CodePage, JapaneseRoundTripsThroughCp932Bytes) {
  std::wstring text = L"通話録音 <未使用> ｶﾗｵｹ ①～";  // includes CP932-only characters
  std::string bytes = WideToAnsi(text);
  EXPECT_EQ(bytes.substr(0, 4), "\x92\xCA\x98\x62");  // 通話
  EXPECT_EQ(AnsiToWide(bytes), text);
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarksAndInvalidBytesBecomeDots) {
  EXPECT_EQ(WideToAnsi(L"a\U0001F600b\u00E9c"), "a?b?c");
  // A lone trail byte range value and a truncated lead byte at the end.
  std::wstring read = AnsiToWide(std::string("ab\xA0x\x82", 5));
  EXPECT_EQ(read, L"ab\u30FBx\u30FB");
}

TEST(CodePage, LeadByteTableMatchesCp932Ranges) {
  int count = 0;
  for (int b = 0; b < 256; ++b) count += IsAnsiLeadByte(static_cast<unsigned char>(b));
  EXPECT_EQ(count, (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1));
  EXPECT_TRUE(IsAnsiLeadByte(0x81));
  EXPECT_FALSE(IsAnsiLeadByte(0xA0));
  EXPECT_FALSE(IsAnsiLeadByte(0xFD));
}

}  // namespace
}  // namespace talvinor
