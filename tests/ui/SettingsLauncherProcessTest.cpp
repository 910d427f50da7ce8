// The launcher the settings page writes, run as a desktop would run it: its
// Exec line split into arguments starts a recording in the running program
// and, run again, stops it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/FrameTestSupport.h"
#include "platform/wave/WaveBackend.h"
#include "settings/ConfigStore.h"
#include "support/ProgramProcess.h"
#include "support/ScriptedMessageBox.h"
#include "ui/SettingsPage.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

// The arguments of an Exec value as the desktop entry rules split them:
// blanks separate, double quotes group, and inside quotes a backslash keeps
// the next character.
std::vector<std::string> SplitExec(const std::string& exec) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool any = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted && c == '\\' && i + 1 < exec.size()) {
      word += exec[++i];
    } else if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && c == ' ') {
      if (any || !word.empty()) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
    }
  }
  if (any || !word.empty()) words.push_back(word);
  return words;
}

TEST(SettingsLauncherProcess, TheLaunchersExecLineTogglesARecordingInTheRunningProgram) {
  TempFolder home;
  for (const char* sub : {"run", "program", "rec", "config", "data"}) std::filesystem::create_directory(home.File(sub));
  ::chmod(home.File("run").c_str(), 0700);

  // The page writes the launcher; its program is this test's own executable.
  std::string exec;
  {
    setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
    testing::TestFrame frame;
    frame.setup.pages = MakeProgramPage;
    ASSERT_TRUE(frame.Make());
    frame.frame->SelectPage(PageId::Settings);
    QApplication::processEvents();
    auto* page = static_cast<SettingsPage*>(frame.frame->Current());
    ASSERT_TRUE(page && page->IsKindOf(SettingsPage::kTypeCode));
    testing::ScriptedMessageBox boxes({kIdYes});
    page->CreateLauncher();
    std::ifstream in(SettingsPage::LauncherPath());
    for (std::string line; std::getline(in, line);)
      if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
    frame.frame->CloseProgram();
    QApplication::processEvents();
    unsetenv("XDG_DATA_HOME");
  }
  std::vector<std::string> words = SplitExec(exec);
  ASSERT_EQ(words.size(), 4u) << exec;
  EXPECT_EQ(words[0], std::filesystem::canonical("/proc/self/exe").string()) << "the real path of the program";
  EXPECT_EQ(words[1], "/cmd:rec");
  EXPECT_EQ(words[2], "/toggle:1");
  EXPECT_EQ(words[3], "/scene:1");

  // The same arguments given to the program the bundle holds.
  std::filesystem::copy_file(TALVINOR_PROGRAM, home.File("program/talvinor"));
  ::chmod(home.File("program/talvinor").c_str(), 0755);
  RefPtr<CONFIG> config = Create<CONFIG>();
  config->m_RecPath = home.WFile(L"rec");
  config->m_RecTelPath = home.WFile(L"rec");
  config->m_SusPrvMode = 0;
  config->m_QueryRecStop = 1;  // a toggle stops without asking all the same
  CONFIG_SCENE& scene = *config->m_RecSceneList[1];
  scene.m_CodecMode = kCodecPcm;
  scene.m_QualityMode = 0;
  scene.m_Cnannels = 1;
  scene.m_SampleRate = 8000;
  scene.m_SampleBits = 16;
  scene.m_RecTelUse = 0;
  ASSERT_TRUE(SaveConfigFile(home.WFile(L"program/talvinor.ini"), *config));
  {
    // The sound card is ALSA's file plugin reading a minute of raw silence
    // (8 kHz mono 16-bit), more than a start and a stop take.
    std::ofstream(home.File("in.raw"), std::ios::binary) << std::string(60 * 8000 * 2, '\0');
    std::ofstream conf(home.File("asound.conf"));
    conf << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n  infile \""
         << home.File("in.raw") << "\"\n  format \"raw\"\n}\n";
  }
  static std::atomic<int> counter{0};
  const std::string tag = "ls" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
  auto start = [&](std::vector<std::string> arguments) {
    ProgramProcess::Options options;
    options.arguments = {home.File("program/talvinor")};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.env = {{"TALVINOR_INSTANCE", tag},
                   {"TALVINOR_TRACE", "1"},
                   {"XDG_RUNTIME_DIR", home.File("run")},
                   {"XDG_CONFIG_HOME", home.File("config")},
                   {"QT_QPA_PLATFORM", "offscreen"},
                   {"ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + home.File("asound.conf")},
                   {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
                   {"DISPLAY", std::nullopt}};
    options.folder = home.Path();
    return std::make_unique<ProgramProcess>(options);
  };
  const std::vector<std::string> launch(words.begin() + 1, words.end());
  auto first = start({});
  ASSERT_TRUE(first->WaitForLine("FrameWindow::OnCreate - ready")) << first->Output();
  ASSERT_EQ(start(launch)->Wait().value_or(-100), 0);
  ASSERT_TRUE(first->WaitForLine("RecorderPage - notice: 録音を開始しました。")) << first->Output();
  ASSERT_EQ(start(launch)->Wait().value_or(-100), 0);
  ASSERT_TRUE(first->WaitForLine("RecorderPage - notice: 録音を終了しました。")) << first->Output();
  EXPECT_EQ(start({"/cmd:exit"})->Wait().value_or(-100), 0);
  EXPECT_EQ(first->Wait(), 0) << first->Output();
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(home.File("rec"))) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].extension(), ".wav");
}

}  // namespace
}  // namespace talvinor
