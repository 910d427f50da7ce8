#include "player/InformationText.h"

#include <gtest/gtest.h>

namespace talvinor {
namespace {

InformationSource Source(uint16_t channels, uint32_t lengthMs) {
  InformationSource s;
  s.path = L"/rec/a.spx";
  s.hasFormat = true;
  s.sourceCode = 0x20025;
  s.format.channels = channels;
  s.format.samplesPerSec = 16000;
  s.format.bitsPerSample = 16;
  s.lengthMs = lengthMs;
  return s;
}

TEST(InformationTextTest, LengthPartsAppearOnlyWhenTheyAreNotZero) {
  EXPECT_EQ(BuildInformationText(Source(3, 3723450)),
            L"/rec/a.spx\r\n【形式】\r\nSpeex チャンネル数 3 16000 Hz 16 bit / 長さ 1 時間 2 分 3 秒 45\r\n"
            L"【タグ】\r\n（タグはありません）");
  // Whole hours: the minutes part is there (the total minutes are not 0), hundredths are not.
  EXPECT_NE(BuildInformationText(Source(2, 7200000)).find(L"ステレオ 16000 Hz 16 bit / 長さ 2 時間 0 分 0 秒\r\n"),
            std::wstring::npos);
  EXPECT_NE(BuildInformationText(Source(1, 999)).find(L"モノラル 16000 Hz 16 bit / 長さ 0 秒 99\r\n"),
            std::wstring::npos);
}

TEST(InformationTextTest, TagsInStoredOrderAndNoFormatWithoutOne) {
  InformationSource s;
  s.path = L"/rec/b.ogg";
  s.tags = {{L"", L"TITLE=会議"}, {L"TELNO", L"0312345678"}, {L"EMPTY", L""}, {L"", L""}};
  EXPECT_EQ(BuildInformationText(s), L"/rec/b.ogg\r\n【タグ】\r\nTITLE=会議\r\nTELNO=0312345678\r\nEMPTY\r\n\r\n");
  EXPECT_EQ(FormatClock(75500), L"00:01:15");
  EXPECT_EQ(FormatClock(3600000u * 100 + 61000), L"100:01:01");
}

}  // namespace
}  // namespace talvinor
