// The program as a file manager or a shell starts it with a file: the first
// start, a second start and a play command all reach the player page, and
// what reaches the sound card (ALSA's file plugin as the default device) is
// exactly the file's decoded sound.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "support/ProgramProcess.h"
#include "support/ShellRun.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PlayerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    m_tag = "pp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    std::filesystem::create_directory(m_home.File("run"));
    ::chmod(m_home.File("run").c_str(), 0700);
    std::ofstream(m_home.File("asound.conf"))
        << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"" << m_home.File("out.raw")
        << "\"\n  format \"raw\"\n}\n";
    // The sounds and their decoded PCM, made by the peers.
    const testing::ShellRun made = testing::RunShell(
        m_home.Path(),
        "sox -n -r 16000 -c 1 -b 16 a.wav synth 1.2 sine 330 && sox -n -r 22050 -c 2 -b 16 src.wav synth 1.5 sine 440 "
        "&& oggenc -Q src.wav -o 'b c.ogg' && oggdec -Q -R 'b c.ogg' -o b.raw && "
        "sox a.wav -t raw a.raw");
    ASSERT_EQ(made.status, 0) << made.err;
  }

  std::map<std::string, std::optional<std::string>> Environment() const {
    return {{"TALVINOR_INSTANCE", m_tag},
            {"TALVINOR_TRACE", "1"},
            {"XDG_RUNTIME_DIR", m_home.File("run")},
            {"HOME", m_home.Path()},
            {"XDG_CONFIG_HOME", m_home.File("config")},
            {"XDG_MUSIC_DIR", std::nullopt},
            {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
            {"ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + m_home.File("asound.conf")},
            {"QT_QPA_PLATFORM", "offscreen"}};
  }
  std::unique_ptr<ProgramProcess> Start(std::vector<std::string> arguments) {
    ProgramProcess::Options options;
    options.arguments = {TALVINOR_PROGRAM};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.env = Environment();
    options.folder = m_home.Path();
    return std::make_unique<ProgramProcess>(options);
  }
  int RunSecond(std::vector<std::string> arguments) {
    auto second = Start(std::move(arguments));
    return second->Wait().value_or(-100);
  }
  // Waits until the device has been given `pcm` as the end of what it got.
  bool DeviceGot(const std::string& pcm) {
    const bool got = testing::WaitUntil(
        [&] {
          const std::string out = ReadAll(m_home.File("out.raw"));
          return out.size() >= pcm.size() && out.compare(out.size() - pcm.size(), pcm.size(), pcm) == 0;
        },
        20000);
    if (!got) {
      const std::string out = ReadAll(m_home.File("out.raw"));
      size_t same = 0;
      while (same < out.size() && same < pcm.size() && out[same] == pcm[same]) ++same;
      ADD_FAILURE() << "the device got " << out.size() << " bytes for " << pcm.size() << "; the first " << same
                    << " agree";
    }
    return got;
  }

  TempFolder m_home;
  std::string m_tag;
};

TEST_F(PlayerProgramTest, FileArgumentsAndPlayCommandsPlayThroughTheDevice) {
  // The player stays paused at the end of a file with the device open; the
  // file plugin writes its last period when the device closes, so each file
  // is stopped before its sound is compared (each open starts out.raw anew).
  auto stopAndCompare = [&](ProgramProcess& program, int run, const std::string& raw) {
    ASSERT_TRUE(program.WaitForLine("PlayerPage - 終わりまで再生しました。", 20000, run)) << program.Output();
    EXPECT_EQ(RunSecond({"/cmd:stop"}), 0);
    ASSERT_TRUE(program.WaitForLine("PlayerPage - 再生を停止しました。", 20000, run)) << program.Output();
    EXPECT_TRUE(DeviceGot(ReadAll(m_home.File(raw)))) << program.Output();
    EXPECT_EQ(ReadAll(m_home.File("out.raw")).size(), ReadAll(m_home.File(raw)).size());
  };

  // First start with a file: the program comes up on the player, playing it.
  auto first = Start({"a.wav"});
  ASSERT_TRUE(first->WaitForLine("FrameWindow - command server started")) << first->Output();
  ASSERT_TRUE(first->WaitForLine("PlayerPage - 再生を開始しました。")) << first->Output();
  stopAndCompare(*first, 1, "a.raw");

  // A second start with a file, as "Open with" and the shell give it.
  EXPECT_EQ(RunSecond({"b c.ogg"}), 0);
  ASSERT_TRUE(first->WaitForLine("PlayerPage - 再生を開始しました。", 20000, 2)) << first->Output();
  stopAndCompare(*first, 2, "b.raw");

  // The play command, with the path quoted.
  EXPECT_EQ(RunSecond({"/cmd:play", "/src:" + m_home.File("a.wav")}), 0);
  ASSERT_TRUE(first->WaitForLine("PlayerPage - 再生を開始しました。", 20000, 3)) << first->Output();
  stopAndCompare(*first, 3, "a.raw");

  // A file that is not there is reported, not played.
  EXPECT_EQ(RunSecond({"missing.ogg"}), 0);
  EXPECT_TRUE(first->WaitForLine("PlayerPage - error: ファイルを開けません。")) << first->Output();

  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0) << first->Output();
}

}  // namespace
}  // namespace talvinor
