#include <gtest/gtest.h>

#include "platform/Unicode.h"

namespace talvinor {
namespace {

TEST(Unicode, Utf16AndUtf8RoundTripWithSurrogatesAndRejectBrokenInput) {
  std::wstring text = L"a録\U0001F600";
  std::u16string u16 = WideToUtf16(text);
  EXPECT_EQ(u16.size(), 4u);
  EXPECT_EQ(Utf16ToWide(u16), text);
  EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
  EXPECT_EQ(Utf8ToWide("a\xC3"), L"a\uFFFD");
  EXPECT_EQ(Utf16ToWide(std::u16string(1, char16_t(0xD800))), L"\uFFFD");
}

}  // namespace
}  // namespace talvinor
