#include <gtest/gtest.h>

#include <filesystem>

#include "codec/WavBuilder.h"
#include "support/TempFolder.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;

bool NoPartFiles(const TempFolder& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    if (entry.path().string().find(".part") != std::string::npos) return false;
  }
  return true;
}

TEST(ConvertCliTest, ConvertsAFileWrittenByFfmpegWithItsListChunk) {
  TempFolder folder;
  // ffmpeg puts a LIST chunk between fmt and data.
  ASSERT_EQ(Shell(folder, "ffmpeg -v error -f lavfi -i sine=frequency=440:duration=2 -ac 2 -ar 44100 in.wav").status, 0);
  std::string in = ReadFile(folder.File("in.wav"));
  ASSERT_NE(in.find("LIST"), std::string::npos);
  CliRun run = Cli(folder, "convert in.wav out.wav");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("converted"), std::string::npos);
  ASSERT_EQ(Shell(folder, "ffmpeg -v error -i in.wav -f s16le in.raw && sox out.wav -t raw out.raw").status, 0);
  std::string pcm = ReadFile(folder.File("in.raw"));
  ASSERT_EQ(pcm.size(), 2u * 44100 * 4);
  EXPECT_TRUE(ReadFile(folder.File("out.raw")) == pcm);
  std::string out = ReadFile(folder.File("out.wav"));
  EXPECT_EQ(out.size(), 44 + pcm.size());
  EXPECT_EQ(Read32(out, 4), 36 + pcm.size());
  EXPECT_TRUE(NoPartFiles(folder));
}

TEST(ConvertCliTest, RefusesToReplaceWithoutForceAndReportsReasonsInWords) {
  TempFolder folder;
  WriteFile(folder.File("in.wav"), SimpleWav(Pcm(40000)));
  WriteFile(folder.File("out.wav"), "old");
  CliRun refused = Cli(folder, "convert in.wav out.wav");
  EXPECT_EQ(refused.status, 31);
  EXPECT_NE(refused.err.find("already exists; use --force"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(folder.File("out.wav")), "old");
  CliRun forced = Cli(folder, "convert in.wav out.wav --force");
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(ReadFile(folder.File("out.wav")).substr(44), Pcm(40000));

  CliRun missing = Cli(folder, "convert nothing.wav x.wav");
  EXPECT_EQ(missing.status, 31);
  EXPECT_NE(missing.err.find("cannot open the file"), std::string::npos) << missing.err;
  // Recognised by content but malformed: 81, and nothing is left behind.
  WriteFile(folder.File("bad.wav"), Riff(Chunk("fmt ", FmtBody(1, 8000, 16))) + std::string(80, '\0'));
  CliRun malformed = Cli(folder, "convert bad.wav x.wav");
  EXPECT_EQ(malformed.status, 81);
  EXPECT_NE(malformed.err.find("malformed"), std::string::npos) << malformed.err;
  EXPECT_FALSE(std::filesystem::exists(folder.File("x.wav")));
  EXPECT_TRUE(NoPartFiles(folder));
  CliRun noEncoder = Cli(folder, "convert in.wav x.mp3");
  EXPECT_EQ(noEncoder.status, 2);
  EXPECT_NE(noEncoder.err.find("no encoder"), std::string::npos);
}

}  // namespace
}  // namespace talvinor
