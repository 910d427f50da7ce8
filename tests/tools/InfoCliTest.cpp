#include <gtest/gtest.h>

#include <filesystem>

#include "codec/WavBuilder.h"
#include "support/TempFolder.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;

TEST(InfoCliTest, PrintsThePlayersInformationText) {
  TempFolder folder;
  // 75.5 s of 8000 Hz 16-bit mono.
  WriteFile(folder.File("a.wav"), SimpleWav(Pcm(8000 * 2 * 755 / 10), 1, 8000, 16));
  CliRun run = Cli(folder, "info a.wav");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "a.wav\n【形式】\nRaw PCM モノラル 8000 Hz 16 bit / 長さ 1 分 15 秒 50\n【タグ】\n（タグはありません）\n");

  // 1 h 1 min 1 s of 8000 Hz 8-bit stereo, kept sparse.
  WriteFile(folder.File("long.wav"), SimpleWav("", 2, 8000, 8));
  std::string header = ReadFile(folder.File("long.wav"));
  header.replace(40, 4, std::string("\x80\xCC\x7D\x03", 4));  // 3661 s x 16000 bytes
  WriteFile(folder.File("long.wav"), header);
  std::filesystem::resize_file(folder.File("long.wav"), 44 + 3661ull * 16000);
  run = Cli(folder, "info long.wav");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Raw PCM ステレオ 8000 Hz 8 bit / 長さ 1 時間 1 分 1 秒\n"), std::string::npos) << run.out;

  WriteFile(folder.File("notes.txt"), std::string(100, 'n'));
  run = Cli(folder, "info notes.txt");
  EXPECT_EQ(run.status, 81);
  run = Cli(folder, "info missing.wav");
  EXPECT_EQ(run.status, 31);
}

}  // namespace
}  // namespace talvinor
