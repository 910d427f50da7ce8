// What a user's machine does to recordings and inputs, done to talvinor-cli:
// kill -9 in mid-recording, a file-size limit standing in for a full disk,
// FIFOs and unplayable headers as inputs, inputs from which nothing decodes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "codec/WavBuilder.h"
#include "platform/CodePage.h"
#include "settings/Config.h"
#include "settings/SettingsFormat.h"
#include "support/Subprocess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;

constexpr uint32_t kRate = 16000;
const char* const kExtensions[] = {".wav", ".ogg", ".spx"};

// A settings file whose selected scene records `codec` at 16 kHz mono.
std::string WriteSettings(const TempFolder& folder, uint32_t codec) {
  RefPtr<CONFIG> config = Create<CONFIG>();
  CONFIG_SCENE& scene = *config->m_RecSceneList[3];
  scene.m_CodecMode = codec;
  scene.m_QualityMode = 0;
  scene.m_Cnannels = 1;
  scene.m_SampleBits = 16;
  scene.m_SampleRate = kRate;
  config->m_RecSceneSelect = 3;
  const std::string path = folder.File("talvinor.ini");
  WriteFile(path, WideToAnsi(SettingsText(*config)));
  return path;
}

// The only recording in `folder`, or "".
std::string FindRecording(const std::string& folder, const char* extension) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("rz", 0) == 0 && entry.path().extension() == extension) return entry.path().string();
  }
  return "";
}

std::string FindRecording(const TempFolder& folder, const char* extension) {
  return FindRecording(folder.Path(), extension);
}

uint64_t Le(const std::string& s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
  return v;
}

// Seconds of sound the file on disk already holds for a player: a WAV's
// length, an Ogg stream's last page's granule position.
double SecondsOnDisk(const std::string& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.rfind("RIFF", 0) == 0) return bytes.size() < 44 ? 0 : (bytes.size() - 44) / 2.0 / kRate;
  for (size_t at = bytes.rfind("OggS"); at != std::string::npos && at > 0; at = bytes.rfind("OggS", at - 1)) {
    if (at + 14 > bytes.size()) continue;
    const int64_t granule = static_cast<int64_t>(Le(bytes, at + 6, 8));
    if (granule > 0) return static_cast<double>(granule) / kRate;
  }
  return 0;
}

// Seconds of sound a peer decodes: ffmpeg's real decode, not a header.
double PeerSeconds(const TempFolder& folder, const std::string& path) {
  CliRun run = Shell(folder, "ffmpeg -v error -i '" + path + "' -f s16le -ac 1 -ar 16000 - | wc -c");
  return std::atof(run.out.c_str()) / 2 / kRate;
}

// The peer of each codec accepts the file.
bool PeerDecodes(const TempFolder& folder, uint32_t codec, const std::string& path) {
  const std::string file = "'" + path + "'";
  switch (codec) {
    case 0: return Shell(folder, "sox " + file + " -n").status == 0;
    case 1: return Shell(folder, "oggdec -Q -o /dev/null " + file).status == 0;
    default: return Shell(folder, "speexdec " + file + " /dev/null").status == 0;
  }
}

class KilledRecordingTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(KilledRecordingTest, ARecordingKilledInMidRunIsRepairedAndPlaysUpToItsLastSecond) {
  const uint32_t codec = GetParam();
  for (double seconds : {1.0, 3.0, 6.0}) {
    SCOPED_TRACE(std::to_string(seconds) + " s");
    TempFolder folder;
    const std::string settings = WriteSettings(folder, codec);
    Subprocess record({TALVINOR_CLI_PATH, "record", "--virtual", "--folder", folder.Path(), "--settings", settings},
                      folder.Path());
    ASSERT_TRUE(record.Started());
    std::string path;
    ASSERT_TRUE(WaitUntil([&] { return !(path = FindRecording(folder, kExtensions[codec])).empty(); }, 10000));
    // Killed once the file holds that much sound for a player: the crash
    // may cost only what came after.
    ASSERT_TRUE(WaitUntil([&] { return SecondsOnDisk(path) >= seconds; }, 30000)) << SecondsOnDisk(path);
    if (codec == 0) {
      // The header itself is kept up to date while recording.
      auto headerSeconds = [&] {
        const std::string head = ReadFile(path).substr(0, 44);
        const uint64_t data = head.size() == 44 ? Le(head, 40, 4) : 0x7FFFFFFF;
        return data == 0x7FFFFFFF ? -1.0 : data / 2.0 / kRate;
      };
      EXPECT_TRUE(WaitUntil([&] { return headerSeconds() >= seconds - 1.1; }, 10000)) << headerSeconds();
    }
    ASSERT_EQ(::kill(record.Pid(), SIGKILL), 0);
    record.Wait(10000);

    CliRun repair = Cli(folder, "repair '" + path + "'");
    ASSERT_EQ(repair.status, 0) << repair.out << repair.err;
    EXPECT_TRUE(PeerDecodes(folder, codec, path));
    EXPECT_GE(PeerSeconds(folder, path), seconds - 1.1);
    if (codec == 0) {
      const std::string bytes = ReadFile(path);
      EXPECT_EQ(Le(bytes, 40, 4), (bytes.size() - 44) / 2 * 2) << "the header's length";
      EXPECT_EQ(Le(bytes, 4, 4), Le(bytes, 40, 4) + 36);
    }
    // A second pass finds it complete and leaves it byte for byte.
    const std::string repaired = ReadFile(path);
    CliRun again = Cli(folder, "repair '" + path + "'");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("complete, not changed"), std::string::npos) << again.out;
    EXPECT_TRUE(ReadFile(path) == repaired);
  }
}

TEST_P(KilledRecordingTest, AFullDiskEndsTheRecordingWith32AndLeavesAPlayableFile) {
  const uint32_t codec = GetParam();
  TempFolder folder;
  const std::string settings = WriteSettings(folder, codec);
  // A file-size limit fails the write as a full disk does (SIGXFSZ ignored,
  // so the write returns an error instead of killing the process).
  const int limit = codec == 0 ? 64 * 1024 : 12 * 1024;
  // In Japanese, to check the program's own message.
  CliRun run = Shell(folder, "trap '' XFSZ; LC_ALL=ja_JP.UTF-8 prlimit --fsize=" + std::to_string(limit) + " '" TALVINOR_CLI_PATH
                                 "' record --virtual --folder . --settings '" + settings + "'");
  EXPECT_EQ(run.status, 32) << run.out << run.err;
  EXPECT_NE(run.err.find("ファイルアクセスエラーです。"), std::string::npos) << run.err;
  const std::string path = FindRecording(folder, kExtensions[codec]);
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(PeerDecodes(folder, codec, path));
  EXPECT_GT(PeerSeconds(folder, path), 0.5);
  // Nothing left for a repair to do: the program made it final itself.
  CliRun check = Cli(folder, "repair --check '" + path + "'");
  EXPECT_NE(check.out.find("complete, not changed"), std::string::npos) << check.out << check.err;
  if (codec == 0) {
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(Le(bytes, 40, 4), (bytes.size() - 44) / 2 * 2);
  }
}

TEST_P(KilledRecordingTest, ARealFullDiskEndsTheRecordingWith32AndLeavesAFileValidUpToTheFailure) {
  const uint32_t codec = GetParam();
  TempFolder folder;
  const std::string settings = WriteSettings(folder, codec);
  // A small tmpfs of its own, mounted in a private mount namespace so that
  // it goes with the shell; the file is copied out before that.
  std::filesystem::create_directory(folder.File("disk"));
  std::filesystem::create_directory(folder.File("kept"));
  CliRun probe = Shell(folder, "unshare -m sh -c 'mount -t tmpfs -o size=4k tmpfs disk' 2>&1");
  if (probe.status != 0) GTEST_SKIP() << "mounting a tmpfs is not permitted here: " << probe.out << probe.err;
  const int size = codec == 0 ? 64 * 1024 : 12 * 1024;
  CliRun run = Shell(folder, "unshare -m sh -c 'mount -t tmpfs -o size=" + std::to_string(size) +
                                 " tmpfs disk || exit 99; LC_ALL=ja_JP.UTF-8 \"$0\" record --virtual --folder disk "
                                 "--settings \"$1\"; status=$?; cp disk/rz* kept/; exit $status' " +
                                 ShellQuote(TALVINOR_CLI_PATH) + " " + ShellQuote(settings));
  ASSERT_NE(run.status, 99) << run.err;
  EXPECT_EQ(run.status, 32) << run.out << run.err;
  EXPECT_NE(run.err.find("ファイルアクセスエラーです。"), std::string::npos) << run.err;
  const std::string path = FindRecording(folder.File("kept"), kExtensions[codec]);
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(PeerDecodes(folder, codec, path));
  if (codec == 0) {
    // Nearly all the disk holds sound a peer decodes: the file is good up
    // to where the disk filled.
    EXPECT_GT(PeerSeconds(folder, path), (size - 8192) / (2.0 * kRate));
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(Le(bytes, 40, 4), (bytes.size() - 44) / 2 * 2) << "the header's data size";
    EXPECT_EQ(Le(bytes, 4, 4), Le(bytes, 40, 4) + 36);
  } else {
    EXPECT_GT(PeerSeconds(folder, path), 0.5);
  }
  CliRun check = Cli(folder, "repair --check '" + path + "'");
  EXPECT_NE(check.out.find("complete, not changed"), std::string::npos) << check.out << check.err;
}

INSTANTIATE_TEST_SUITE_P(Codecs, KilledRecordingTest, ::testing::Values(0u, 1u, 2u),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return std::string(info.param == 0 ? "Wave" : info.param == 1 ? "Vorbis" : "Speex");
                         });

TEST(InputSafetyCliTest, AFifoAsASoundFileOrAsTheSettingsIsRefusedWithoutWaiting) {
  TempFolder folder;
  ASSERT_EQ(::mkfifo(folder.File("fifo.wav").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(folder.File("talvinor.ini").c_str(), 0600), 0);
  CliRun convert = Cli(folder, "convert fifo.wav out.wav");
  EXPECT_EQ(convert.status, 31) << convert.err;
  EXPECT_FALSE(std::filesystem::exists(folder.File("out.wav")));
  CliRun info = Cli(folder, "info fifo.wav");
  EXPECT_NE(info.status, 0);
  CliRun check = Cli(folder, "settings check --file talvinor.ini");
  EXPECT_EQ(check.status, 1) << check.out << check.err;
  CliRun repair = Cli(folder, "repair fifo.wav");
  EXPECT_EQ(repair.status, 1);
  EXPECT_NE(repair.err.find("not a regular file"), std::string::npos) << repair.err;
}

TEST(InputSafetyCliTest, InputsFromWhichNothingDecodesWriteNothingAndExit81) {
  TempFolder folder;
  // Unplayable headers: a rate of 0 Hz and 13-bit samples.
  WriteFile(folder.File("zero.wav"), Riff(Chunk("fmt ", FmtBody(1, 0, 16)) + Chunk("data", Pcm(4000))));
  WriteFile(folder.File("odd.wav"), Riff(Chunk("fmt ", FmtBody(1, 8000, 13)) + Chunk("data", Pcm(4000))));
  // A provisional WAV with no sound, and a Vorbis stream of headers alone.
  WriteFile(folder.File("empty.wav"), Riff(Chunk("fmt ", FmtBody(1, 8000, 16)) + Chunk("data", "", 0x7FFFFFFF), 0x7FFFFFFF));
  ASSERT_EQ(Shell(folder, "sox -n -r 8000 -c 1 -b 16 silent.wav trim 0 0 && oggenc -Q -o headers.ogg silent.wav").status,
            0);
  for (const char* input : {"zero.wav", "odd.wav", "empty.wav", "headers.ogg"}) {
    SCOPED_TRACE(input);
    CliRun run = Cli(folder, std::string("convert ") + input + " out.ogg");
    EXPECT_EQ(run.status, 81) << run.out << run.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.ogg")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("out.ogg.part")));
  }
  CliRun empty = Cli(folder, "convert headers.ogg out.wav");
  EXPECT_NE(empty.err.find("no sound could be decoded"), std::string::npos) << empty.err;
}

}  // namespace
}  // namespace talvinor
