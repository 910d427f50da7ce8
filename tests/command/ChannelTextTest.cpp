#include <gtest/gtest.h>

#include "command/ChannelText.h"

namespace talvinor {
namespace {

TEST(ChannelText, IsUtf16LittleEndianWithItsTerminator) {
  EXPECT_EQ(ChannelText::Encode(L""), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(ChannelText::Encode(L"a録"), (std::vector<uint8_t>{'a', 0, 0x32, 0x93, 0, 0}));
  EXPECT_EQ(ChannelText::Encode(std::wstring(1, L'\U0001F3B5')).size(), 6u) << "a surrogate pair";
  EXPECT_EQ(ChannelText::Decode(ChannelText::Encode(L"/cmd:play /src:\"\U0001F3B5\"")), L"/cmd:play /src:\"\U0001F3B5\"");
  EXPECT_EQ(ChannelText::Decode({'a', 0, 0, 0, 'b', 0}), L"a") << "stops at the first zero";
  EXPECT_EQ(ChannelText::Decode({'a', 0, 'b'}), L"a") << "an odd byte is ignored";
}

}  // namespace
}  // namespace talvinor
