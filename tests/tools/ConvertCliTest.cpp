#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "codec/WavBuilder.h"
#include "support/Subprocess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
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
  EXPECT_EQ(missing.err, "convert: nothing.wav: does not exist (reason 31)\n");
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

// Each cause of a file that cannot be read is named, not a list of all four.
TEST(ConvertCliTest, SaysWhyASourceCannotBeOpenedAndBlamesTheDestinationForItsOwnProblems) {
  TempFolder folder;
  WriteFile(folder.File("in.wav"), SimpleWav(Pcm(4000)));
  std::filesystem::create_directory(folder.File("folder.wav"));
  CliRun directory = Cli(folder, "convert folder.wav x.wav");
  EXPECT_EQ(directory.status, 31);
  EXPECT_EQ(directory.err, "convert: folder.wav: is a folder, not a file (reason 31)\n");
  // Larger than 4 GiB: a sparse file costs nothing.
  WriteFile(folder.File("huge.wav"), "RIFF");
  ASSERT_EQ(::truncate(folder.File("huge.wav").c_str(), 0x100000010ll), 0);
  CliRun huge = Cli(folder, "convert huge.wav x.wav");
  EXPECT_EQ(huge.status, 31);
  EXPECT_EQ(huge.err, "convert: huge.wav: is 4 GiB or larger, which Talvinor cannot read (reason 31)\n");
  if (::geteuid() != 0) {  // root reads every file
    WriteFile(folder.File("secret.wav"), SimpleWav(Pcm(4000)));
    ::chmod(folder.File("secret.wav").c_str(), 0);
    CliRun secret = Cli(folder, "convert secret.wav x.wav");
    EXPECT_EQ(secret.status, 31);
    EXPECT_EQ(secret.err, "convert: secret.wav: access is not permitted (reason 31)\n");
  }

  // A destination folder that does not exist is the destination's problem.
  CliRun noFolder = Cli(folder, "convert in.wav nowhere/out.wav");
  EXPECT_EQ(noFolder.status, 31);
  EXPECT_EQ(noFolder.err, "convert: nowhere/out.wav: its folder nowhere does not exist (reason 31)\n");
  CliRun notFolder = Cli(folder, "convert in.wav in.wav/out.wav");
  EXPECT_EQ(notFolder.status, 31);
  EXPECT_EQ(notFolder.err, "convert: in.wav/out.wav: its folder in.wav is not a folder (reason 31)\n");
  // Read-only: /proc takes no new files, even from root.
  CliRun readOnly = Cli(folder, "convert in.wav /proc/out.wav");
  EXPECT_EQ(readOnly.status, 31);
  EXPECT_EQ(readOnly.err.rfind("convert: /proc/out.wav: ", 0), 0u) << readOnly.err;
  EXPECT_TRUE(NoPartFiles(folder));

  // The same in Japanese.
  CliRun japanese = Shell(folder, "LC_ALL=ja_JP.UTF-8 " + ShellQuote(TALVINOR_CLI_PATH) + " convert nothing.wav x.wav");
  EXPECT_EQ(japanese.status, 31);
  EXPECT_EQ(japanese.err, "convert: nothing.wav: ありません (理由 31)\n");
}

TEST(ConvertCliTest, OgaIsAnOggVorbisDestination) {
  TempFolder folder;
  WriteFile(folder.File("in.wav"), SimpleWav(Pcm(16000)));
  CliRun run = Cli(folder, "convert in.wav out.oga");
  ASSERT_EQ(run.status, 0) << run.err;
  std::string out = ReadFile(folder.File("out.oga"));
  EXPECT_EQ(out.substr(0, 4), "OggS");
  EXPECT_NE(out.find("vorbis"), std::string::npos);
  EXPECT_EQ(Shell(folder, "oggdec -Q -o back.wav out.oga").status, 0);
}

// Interrupted, the conversion stops through its master, and neither the
// destination nor its .part stays.
TEST(ConvertCliTest, SigintAndSigtermStopTheConversionAndLeaveNoPartFile) {
  TempFolder folder;
  // Long enough at Speex's slowest settings to be caught in the middle.
  ASSERT_EQ(Shell(folder, "sox -n -r 32000 -b 16 -c 1 long.wav synth 300 sine 300-3000").status, 0);
  for (int signal : {SIGINT, SIGTERM}) {
    Subprocess cli({"/usr/bin/env", "LC_ALL=C.UTF-8", TALVINOR_CLI_PATH, "convert", "long.wav", "out.spx",
                    "--speex-quality", "10", "--complexity", "10", "--denoise"},
                   folder.Path());
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(folder.File("out.spx.part")); }, 30000));
    cli.Signal(signal);
    EXPECT_EQ(cli.Wait(60000), 128 + signal) << cli.Errors();
    EXPECT_EQ(cli.Errors(), "convert: out.spx: interrupted; nothing was written\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.spx")));
    EXPECT_TRUE(NoPartFiles(folder));
  }
}

}  // namespace
}  // namespace talvinor
