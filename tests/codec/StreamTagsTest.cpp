#include <gtest/gtest.h>

#include "codec/StreamTags.h"
#include "codec/WavBuilder.h"

namespace talvinor {
namespace {

using testing::Read32;

TEST(StreamTagsTest, TheSpeexCommentPacketStoresEachTagAsCountedCp932Text) {
  std::vector<uint8_t> packet =
      BuildSpeexCommentPacket({{L"RECORDER", L"TALVINOR"}, {L"TELNAME", L"山田"}, {L"", L"x"}});
  std::string bytes(packet.begin(), packet.end());
  // 山田 in CP932.
  const std::string name = "TELNAME=\x8e\x52\x93\x63";
  std::string expected;
  testing::Append32(expected, 39);
  expected += "Xiph.Org libSpeex. Ny-LOB Speex Helper.";
  testing::Append32(expected, 3);
  testing::Append32(expected, 17);
  expected += "RECORDER=TALVINOR";
  testing::Append32(expected, static_cast<uint32_t>(name.size()));
  expected += name;
  testing::Append32(expected, 2);
  expected += "=x";
  EXPECT_EQ(bytes, expected);

  AnsiTagList entries;
  ASSERT_TRUE(ParseSpeexCommentPacket(packet.data(), packet.size(), &entries));
  const AnsiTagList read = {{"Comment", "Xiph.Org libSpeex. Ny-LOB Speex Helper."},
                            {"RECORDER", "TALVINOR"},
                            {"TELNAME", "\x8e\x52\x93\x63"},
                            {"", "x"}};
  EXPECT_EQ(entries, read);
  // Any cut of the packet runs a length past its end: nothing is kept.
  for (size_t size = 0; size < packet.size(); ++size) {
    AnsiTagList partial = {{"left", "alone"}};
    EXPECT_FALSE(ParseSpeexCommentPacket(packet.data(), size, &partial)) << size;
    EXPECT_EQ(partial.size(), 1u);
  }
}

TEST(StreamTagsTest, EntriesShowAsNameEqualsValueWhicheverWayTheyWereStored) {
  EXPECT_EQ(FormatTagForDisplay(L"RECORDER", L"TALVINOR"), L"RECORDER=TALVINOR");
  EXPECT_EQ(FormatTagForDisplay(L"", L"RECORDER=TALVINOR"), L"RECORDER=TALVINOR");
  EXPECT_EQ(FormatTagForDisplay(L"NOEQUALS", L""), L"NOEQUALS");
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 1;
  EXPECT_EQ(FormatTagDate(t), L"2024/3/7 09:05:01");
}

}  // namespace
}  // namespace talvinor
