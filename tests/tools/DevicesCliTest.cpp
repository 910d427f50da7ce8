// talvinor-cli record and play, run as a user runs them, on the virtual
// devices (and, for the missing sound card, on ALSA).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "audio/DeviceTestSupport.h"
#include "platform/CodePage.h"
#include "settings/Config.h"
#include "settings/SettingsFormat.h"
#include "support/TempFolder.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;

// Record and play speak the program's own Japanese texts under a Japanese locale.
const std::string kCli = "LC_ALL=ja_JP.UTF-8 '" TALVINOR_CLI_PATH "'";

// A settings file whose scene 3 records `codec` at 16000 Hz mono 16-bit.
std::string WriteSettings(const TempFolder& folder, uint32_t codec) {
  RefPtr<CONFIG> config = Create<CONFIG>();
  CONFIG_SCENE& scene = *config->m_RecSceneList[3];
  scene.m_Name = L"テスト";
  scene.m_CodecMode = codec;
  scene.m_QualityMode = 0;
  scene.m_Cnannels = 1;
  scene.m_SampleBits = 16;
  scene.m_SampleRate = 16000;
  config->m_RecSceneSelect = 3;
  WriteBytes(folder.File("talvinor.ini"), WideToAnsi(SettingsText(*config)));
  return " --settings '" + folder.File("talvinor.ini") + "'";
}

// True when `text` matches `pattern`, where '#' stands for one digit.
bool Matches(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (pattern[i] == '#' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i]) return false;
  }
  return true;
}

// The recording's file name, or "" when `path` is not a recorder's name
// with `extension`.
std::string RecordingName(const std::string& path, const std::string& extension) {
  std::string name = path.substr(path.rfind('/') + 1);
  return Matches(name, "rz######_######" + extension) ? name : "";
}

std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of('\n');
  if (end == std::string::npos) return {};
  size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

TEST(DevicesCli, RecordNamesTheFileByTheClockAndHoldsExactlyWhatTheDeviceGave) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 0);
  CliRun run = Shell(folder, kCli + " record --virtual --seconds 1 --folder '" + folder.Path() + "'" + settings);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("録音を開始しました。\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("テスト: WAV 16khz 16bit モノラル\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("録音を終了しました。\n"), std::string::npos);
  std::string path = LastLine(run.out);
  std::string name = RecordingName(path, ".wav");
  ASSERT_FALSE(name.empty()) << path;
  EXPECT_NE(run.out.find("名前:" + name + "\n"), std::string::npos);

  std::string file = ReadBytes(path);
  ASSERT_EQ(file.size(), 44u + 32000u);  // the second asked for, whatever the pace
  EXPECT_EQ(ReadLe(file, 40, 4), file.size() - 44);
  // The default virtual input: a 440 Hz sine at half scale, from frame 0.
  uint32_t frames = static_cast<uint32_t>((file.size() - 44) / 2);
  EXPECT_TRUE(file.substr(44) == VirtualSignalBytes(VirtualWaveDevice{}, DeviceFormat(16000, 1, 16), 0, frames));
}

TEST(DevicesCli, RecordWritesTheTwoRecordingTagsAndStopsOnCtrlC) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 1);
  // Started in the background, interrupted once it records.
  std::string script = kCli + " record --virtual --folder . " + settings +
                       " >out.txt 2>err.txt & pid=$!; "
                       "for i in $(seq 100); do grep -q 録音を開始 out.txt && break; sleep 0.05; done; "
                       "sleep 0.2; kill -INT $pid; wait $pid; echo $? >status.txt";
  std::string line = "cd '" + folder.Path() + "' && (" + script + ")";
  ASSERT_EQ(std::system(line.c_str()), 0);
  EXPECT_EQ(ReadBytes(folder.File("status.txt")), "0\n") << ReadBytes(folder.File("err.txt"));
  std::string out = ReadBytes(folder.File("out.txt"));
  EXPECT_NE(out.find("録音を終了しました。\n"), std::string::npos) << out;
  std::string path = LastLine(out);
  ASSERT_FALSE(RecordingName(path, ".ogg").empty()) << path;
  CliRun tags = Shell(folder, "vorbiscomment -l '" + path + "'");
  ASSERT_EQ(tags.status, 0) << tags.err;
  // "%d/%d/%d %02d:%02d:%02d": month and day have one or two digits.
  const std::string prefix = "RECORDER=TALVINOR\nRECORDDATE=";
  ASSERT_EQ(tags.out.rfind(prefix, 0), 0u) << tags.out;
  std::string date = tags.out.substr(prefix.size());
  bool wellFormed = false;
  for (const char* shape : {"####/#/# ##:##:##\n", "####/##/# ##:##:##\n", "####/#/## ##:##:##\n",
                            "####/##/## ##:##:##\n"}) {
    wellFormed = wellFormed || Matches(date, shape);
  }
  EXPECT_TRUE(wellFormed) << tags.out;
  EXPECT_EQ(Shell(folder, "oggdec -Q -o - '" + path + "' >/dev/null").status, 0);
}

TEST(DevicesCli, RecordSaysWhyItCannotStart) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 0);
  CliRun run = Shell(folder, kCli + " record --virtual --folder '" + folder.File("missing") + "'" + settings);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "録音フォルダが存在していません。設定を確認してください。\n");
  EXPECT_NE(Shell(folder, kCli + " record --virtual --scene 8" + settings).status, 0);

  // Without a sound card ALSA's default device does not open.
  run = Shell(folder, kCli + " record --device 0 --seconds 1 --folder ." + settings);
  if (run.status == 0) GTEST_SKIP() << "this machine has a working default device";
  EXPECT_EQ(run.status, 91);
  EXPECT_NE(run.err.find("録音デバイスが使用できません。\n"), std::string::npos) << run.err;
  // No recording ran: no path to one is printed.
  EXPECT_EQ(run.out.find(folder.Path()), std::string::npos) << run.out;
}

// ALSA's null device delivers silence as fast as it is read: the length must
// come from the sound taken, not from the clock.
TEST(DevicesCli, RecordSecondsCountsRecordedSoundOnADeviceThatIsNotPaced) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 0);
  CliRun run = Shell(folder, kCli + " record --device null --seconds 2 --folder '" + folder.Path() + "'" + settings);
  if (run.err.find("no such device") != std::string::npos) GTEST_SKIP() << "ALSA lists no null device here";
  ASSERT_EQ(run.status, 0) << run.err;
  std::string path = LastLine(run.out);
  ASSERT_FALSE(RecordingName(path, ".wav").empty()) << run.out;
  std::string file = ReadBytes(path);
  ASSERT_GE(file.size(), 44u);
  EXPECT_EQ(file.size() - 44, 2u * 16000 * 2) << "2 s at 16000 Hz mono 16-bit";
  EXPECT_EQ(ReadLe(file, 40, 4), file.size() - 44);

  // A device by a name no device has is refused before anything is made.
  TempFolder other;  // not the folder of the recording just made in this second
  CliRun unknown = Shell(other, kCli + " record --device no-such-pcm --seconds 1 --folder ." + settings);
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--device no-such-pcm: "), std::string::npos) << unknown.err;
}

// Empty folder settings: the recording lands in the user's music folder,
// made for it, not beside the program.
TEST(DevicesCli, RecordWithoutAFolderWritesIntoTalvinorInTheMusicFolder) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 0);
  CliRun run = Shell(folder, "HOME='" + folder.Path() + "' XDG_CONFIG_HOME= " + kCli +
                                 " record --virtual --seconds 0.5" + settings);
  ASSERT_EQ(run.status, 0) << run.err;
  std::string path = LastLine(run.out);
  EXPECT_EQ(path.rfind(folder.Path() + "/Music/Talvinor/rz", 0), 0u) << run.out;
  EXPECT_EQ(ReadBytes(path).size(), 44u + 16000u);
}

TEST(DevicesCli, DevicesShowsTheAlsaNameAndTheFormatsInWords) {
  TempFolder folder;
  CliRun run = Shell(folder, kCli + " devices --virtual");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("録音デバイス: ", 0), 0u) << run.out;
  // Every standard format: all three rates, both channel counts, both sizes.
  EXPECT_NE(run.out.find("      11025 Hz: モノラル 8/16 bit, ステレオ 8/16 bit; 22050 Hz: モノラル 8/16 bit, "
                         "ステレオ 8/16 bit; 44100 Hz: モノラル 8/16 bit, ステレオ 8/16 bit  [0xFFF]\n"),
            std::string::npos)
      << run.out;
  CliRun english = Shell(folder, "LC_ALL=C.UTF-8 '" TALVINOR_CLI_PATH "' devices --virtual");
  EXPECT_EQ(english.out.rfind("Input devices: ", 0), 0u) << english.out;
  EXPECT_NE(english.out.find("44100 Hz: mono 8/16 bit, stereo 8/16 bit  [0xFFF]"), std::string::npos) << english.out;
  EXPECT_NE(english.out.find("Output devices: "), std::string::npos);
}

TEST(DevicesCli, PlayEndsWithThePlayersMessagesForEveryOutcome) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 0);
  WriteBytes(folder.File("a.wav"), WavBytes(TestPcm16(4000, 1), 1, 8000, 16));
  CliRun run = Shell(folder, kCli + " play --virtual --filter 4 --from 100 a.wav" + settings);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "再生を開始しました。\na.wav (00:00:00)\n終わりまで再生しました。\n");

  run = Shell(folder, kCli + " play --virtual missing.wav" + settings);
  EXPECT_EQ(run.status, 31);
  EXPECT_EQ(run.err, "ファイルを開けません。\n");
  WriteBytes(folder.File("text.wav"), std::string(200, 'x'));
  run = Shell(folder, kCli + " play --virtual text.wav" + settings);
  EXPECT_EQ(run.status, 81);
  EXPECT_EQ(run.err, "再生できないファイル形式です。\n");
  run = Shell(folder, kCli + " play --virtual ." + settings);
  EXPECT_EQ(run.err, "音声ファイルが選択されていません。\n");
  EXPECT_NE(Shell(folder, kCli + " play --virtual --filter 5 a.wav" + settings).status, 0);

  run = Shell(folder, kCli + " play --device 0 a.wav" + settings);
  if (run.status != 0) {
    EXPECT_EQ(run.status, 91);
    EXPECT_EQ(run.err, "再生デバイスが使用できません。\n");
  }
}

TEST(DevicesCli, SpacePausesAndResumesOnATerminalAndCtrlCStops) {
  TempFolder folder;
  std::string settings = WriteSettings(folder, 0);
  WriteBytes(folder.File("long.wav"), WavBytes(TestPcm16(8000 * 20, 1), 1, 8000, 16));
  // script(1) gives the player a terminal and passes it what is typed; each
  // key is typed once the player has answered the one before.
  std::string script =
      "mkfifo keys; "
      "script -qfec \"" + kCli + " play --virtual long.wav" + settings + "\" /dev/null <keys >out.txt 2>err.txt & "
      "exec 3>keys; "
      "await() { for i in $(seq 200); do grep -q \"$1\" out.txt && return 0; sleep 0.05; done; return 1; }; "
      "await 再生を開始 && printf ' ' >&3 && await 一時停止しました && printf ' ' >&3 && "
      "await 再開しました && printf '\\003' >&3; await 停止しました; exec 3>&-; wait";
  ASSERT_EQ(std::system(("cd '" + folder.Path() + "' && (" + script + ")").c_str()), 0);
  CliRun run{0, ReadBytes(folder.File("out.txt")), ReadBytes(folder.File("err.txt"))};
  std::string out = run.out;
  size_t started = out.find("再生を開始しました。");
  size_t paused = out.find("再生を一時停止しました。");
  size_t resumed = out.find("再生を再開しました。");
  size_t stopped = out.find("再生を停止しました。");
  EXPECT_NE(started, std::string::npos) << out;
  EXPECT_LT(started, paused) << out;
  EXPECT_LT(paused, resumed) << out;
  EXPECT_LT(resumed, stopped) << out;
  EXPECT_NE(out.find("再生中 00:00:00 / 00:00:20"), std::string::npos) << "progress line";
}

}  // namespace
}  // namespace talvinor
