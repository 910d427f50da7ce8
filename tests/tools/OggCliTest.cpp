#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>

#include "codec/OggTestSupport.h"
#include "platform/CodePage.h"
#include "support/TempFolder.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;

TEST(OggCliTest, ConvertWritesOggAndSpxWithTheGivenSettingsAndTagsAndReadsThemBack) {
  TempFolder folder;
  std::filesystem::copy_file(SpeechWav(16000, 1, 2.0), folder.File("speech.wav"));

  CliRun run = Cli(folder, "convert speech.wav tagged.ogg --quality 0.5 --tag 'TITLE=会議' --tag ARTIST=me");
  ASSERT_EQ(run.status, 0) << run.err;
  std::string listed = RunOutput("vorbiscomment -l -R " + Quote(folder.File("tagged.ogg")));
  EXPECT_EQ(listed, "TITLE=" + WideToAnsi(L"会議") + "\nARTIST=me\n");
  run = Cli(folder, "info tagged.ogg");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("【タグ】\nTITLE=会議\nARTIST=me\n"), std::string::npos) << run.out;

  // Without --tag, the conversion tags; the Speex settings reach the file.
  ASSERT_EQ(Cli(folder, "convert speech.wav plain.spx").status, 0);
  run = Cli(folder, "convert speech.wav tuned.spx --speex-quality 3 --complexity 4 --denoise --vad --dtx");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_LT(std::filesystem::file_size(folder.File("tuned.spx")), std::filesystem::file_size(folder.File("plain.spx")));
  // Noise removal delays the granule positions by one frame.
  std::vector<OggPageInfo> plainPages, tunedPages;
  ReadOgg(ReadFile(folder.File("plain.spx")), &plainPages, nullptr);
  ReadOgg(ReadFile(folder.File("tuned.spx")), &tunedPages, nullptr);
  EXPECT_EQ(plainPages.back().granule - tunedPages.back().granule, 320);
  run = Cli(folder, "info tuned.spx");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string tags = "【タグ】\nComment=Xiph.Org libSpeex. Ny-LOB Speex Helper.\nCONVERTER=TALVINOR\nCONVERTDATE=";
  size_t at = run.out.find(tags);
  ASSERT_NE(at, std::string::npos) << run.out;
  // "2024/3/7 09:05:01": year, month and day unpadded, the time padded.
  int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
  char tail = 0;
  EXPECT_EQ(std::sscanf(run.out.c_str() + at + tags.size(), "%4d/%2d/%2d %2d:%2d:%2d%c", &year, &month, &day, &hour,
                        &minute, &second, &tail),
            7);
  EXPECT_GE(year, 2024);
  EXPECT_EQ(tail, '\n');

  // Every direction between the three types.
  for (const char* step : {"tuned.spx a.ogg", "a.ogg b.spx", "b.spx c.wav", "tagged.ogg d.wav"}) {
    SCOPED_TRACE(step);
    run = Cli(folder, std::string("convert ") + step);
    EXPECT_EQ(run.status, 0) << run.err;
  }
  PcmData back;
  ASSERT_TRUE(ReadWav(folder.File("c.wav"), &back));
  EXPECT_EQ(back.rate, 16000u);
  EXPECT_NEAR(static_cast<double>(back.Frames()), 32000.0, 1000.0);
}

TEST(OggCliTest, SettingsOfAnotherCodecAndMalformedTagsAreRefusedAndWriteNothing) {
  TempFolder folder;
  std::filesystem::copy_file(SpeechWav(8000, 1, 1.0), folder.File("speech.wav"));
  const char* refused[] = {
      "convert speech.wav a.spx --quality 0.5",
      "convert speech.wav a.ogg --denoise",
      "convert speech.wav a.ogg --speex-quality 3",
      "convert speech.wav a.wav --tag A=b",
      "convert speech.wav a.ogg --tag NOEQUALS",
      "convert speech.wav a.ogg --tag =value",
      "convert speech.wav a.ogg --quality 1.5",
      "convert speech.wav a.spx --speex-quality 11",
      "convert speech.wav a.spx --complexity 0",
  };
  for (const char* arguments : refused) {
    SCOPED_TRACE(arguments);
    CliRun run = Cli(folder, arguments);
    EXPECT_NE(run.status, 0);
    EXPECT_FALSE(run.err.empty());
  }
  for (const char* name : {"a.spx", "a.ogg", "a.wav"}) EXPECT_FALSE(std::filesystem::exists(folder.File(name)));
}

}  // namespace
}  // namespace talvinor
