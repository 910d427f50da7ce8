// The program as a person starts it: a first start that shows the window and
// second starts that hand their command lines over and end. Each test runs
// an instance of its own (TALVINOR_INSTANCE, a private runtime folder), so
// none meets another test's Talvinor or the user's.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/ProgramProcess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

constexpr char kReady[] = "FrameWindow::OnCreate - ready";
constexpr char kServerStarted[] = "FrameWindow - command server started";

class ProgramProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    m_tag = "pt" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    m_runtime = m_home.File("run");
    std::filesystem::create_directory(m_runtime);
    ::chmod(m_runtime.c_str(), 0700);
  }

  std::map<std::string, std::optional<std::string>> Environment() const {
    return {{"TALVINOR_INSTANCE", m_tag},
            {"TALVINOR_TRACE", "1"},
            {"XDG_RUNTIME_DIR", m_runtime},
            {"QT_QPA_PLATFORM", "offscreen"}};
  }

  std::unique_ptr<ProgramProcess> Start(std::vector<std::string> arguments = {},
                                        std::map<std::string, std::optional<std::string>> changes = {}) {
    ProgramProcess::Options options;
    options.arguments = {TALVINOR_PROGRAM};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.env = Environment();
    for (auto& [name, value] : changes) options.env[name] = value;
    options.folder = m_home.Path();
    return std::make_unique<ProgramProcess>(options);
  }

  // A first instance whose window is up and whose channel listens.
  std::unique_ptr<ProgramProcess> StartFirst(std::vector<std::string> arguments = {}) {
    auto first = Start(std::move(arguments));
    EXPECT_TRUE(first->WaitForLine(kServerStarted)) << first->Output();
    EXPECT_TRUE(first->WaitForLine(kReady)) << first->Output();
    return first;
  }

  // Runs a second start to its end; its exit code.
  int RunSecond(std::vector<std::string> arguments, std::string* output = nullptr,
                std::map<std::string, std::optional<std::string>> changes = {}) {
    auto second = Start(std::move(arguments), std::move(changes));
    std::optional<int> code = second->Wait();
    if (output) *output = second->Output();
    return code.value_or(-100);
  }

  TempFolder m_home;
  std::string m_runtime;
  std::string m_tag;
};

TEST_F(ProgramProcessTest, SecondStartHandsItsCommandLineToTheFirstAndEndsWithoutAWindow) {
  auto first = StartFirst();

  // A bare file name, given relative to the second start's folder, arrives as
  // the file's full path (the first instance has a folder of its own) and
  // takes the first to the player.
  std::string second;
  EXPECT_EQ(RunSecond({"rec/録音 1.ogg"}, &second), 0);
  EXPECT_NE(second.find("Application::OnOtherInstance - sent"), std::string::npos) << second;
  EXPECT_EQ(second.find("FrameWindow"), std::string::npos) << "the second start made a window:\n" << second;
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"" + m_home.Path() + "/rec/録音 1.ogg\"")) << first->Output();
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - プレイヤ")) << first->Output();

  EXPECT_EQ(RunSecond({"/cmd:rec"}), 0);
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - レコーダ", 20000, 2)) << first->Output();
  // The rec starts a recording; while it runs the recorder refuses to be
  // left by a command, so it is waited for: without a sound card it ends at
  // once, with one it is stopped.
  EXPECT_TRUE(testing::WaitUntil([&] {
    return first->HasLine("録音デバイスが使用できません。") || first->HasLine("録音を開始しました。");
  }, 20000)) << first->Output();
  if (first->HasLine("録音を開始しました。")) {
    EXPECT_EQ(RunSecond({"/cmd:stop"}), 0);
    EXPECT_TRUE(first->WaitForLine("録音を終了しました。")) << first->Output();
  }

  // A value the shell split at its blank is joined and quoted again.
  EXPECT_EQ(RunSecond({"/cmd:play", "/src:/tmp/a b.ogg"}), 0);
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"/cmd:play /src:\"/tmp/a b.ogg\"\"")) << first->Output();
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - プレイヤ", 20000, 2)) << first->Output();

  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0) << first->Output();
}

TEST_F(ProgramProcessTest, EmptySecondStartBringsTheFirstToTheFront) {
  auto first = StartFirst();
  EXPECT_EQ(RunSecond({}), 0);
  EXPECT_TRUE(first->WaitForLine("FrameWindow::BringToForeground")) << first->Output();
  EXPECT_FALSE(first->HasLine("PostCommand")) << "an empty text is no command";
  EXPECT_FALSE(first->HasLine("ShowError")) << first->Output();
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0);
}

TEST_F(ProgramProcessTest, ExitFromASecondStartClosesTheFirstCleanly) {
  auto first = StartFirst();
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  ASSERT_EQ(first->Wait(), 0) << first->Output();
  EXPECT_TRUE(first->HasLine("FrameWindow::CloseProgram"));
  EXPECT_TRUE(first->HasLine("Application - ended (0)"));

  // Everything was given back: the next start is the running instance and
  // opens the channel again.
  auto next = StartFirst();
  EXPECT_FALSE(next->HasLine("ShowError")) << next->Output();
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(next->Wait(), 0);
}

TEST_F(ProgramProcessTest, MalformedTextsAreReportedByTheRunningInstance) {
  auto first = StartFirst();
  // The same attribute twice cannot be read.
  EXPECT_EQ(RunSecond({"/cmd:rec", "/cmd:stop"}), 0);
  EXPECT_TRUE(first->WaitForLine("ShowError - 外部コマンドは記述誤りにより実行できません。")) << first->Output();
  // The program still takes commands afterwards.
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0) << first->Output();
}

TEST_F(ProgramProcessTest, FirstStartRunsItsOwnCommandLine) {
  auto first = StartFirst({"/cmd:play", "/src:/tmp/x.ogg"});
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - プレイヤ")) << first->Output();
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0);

  // A first start whose text names no command says so in its window.
  auto bad = StartFirst({"/cmd:nosuchcommand"});
  EXPECT_TRUE(bad->WaitForLine("ShowError - 外部コマンドは記述誤りにより実行できません。")) << bad->Output();
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(bad->Wait(), 0);
}

TEST_F(ProgramProcessTest, WithoutADisplayTheProgramSaysHowToRunItAndASecondStartNeedsNone) {
  const std::map<std::string, std::optional<std::string>> noDisplay{
      {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}};
  std::string output;
  EXPECT_EQ(RunSecond({}, &output, noDisplay), 1);
  EXPECT_NE(output.find("no display is available"), std::string::npos) << output;
  EXPECT_NE(output.find("xvfb-run"), std::string::npos) << output;
  EXPECT_EQ(output.find("qt.qpa"), std::string::npos) << "Qt was started after all:\n" << output;

  // A second start only talks to the running instance: no display needed.
  auto first = StartFirst();
  EXPECT_EQ(RunSecond({"/cmd:openwindow"}, &output, noDisplay), 0) << output;
  EXPECT_TRUE(first->WaitForLine("ShowNotice - 外部コマンドでウィンドウを表示しました。")) << first->Output();
  EXPECT_EQ(RunSecond({"/cmd:exit"}, nullptr, noDisplay), 0);
  EXPECT_EQ(first->Wait(), 0);
}

TEST_F(ProgramProcessTest, ATextTooLongForTheChannelIsReportedToTheTerminalWithStatus1) {
  auto first = StartFirst();
  std::string output;
  // 512 characters and the terminator are 1026 bytes; the channel carries 1024.
  EXPECT_EQ(RunSecond({"/cmd:play", "/src:" + std::string(512 - 10, 'a')}, &output), 1);
  EXPECT_NE(output.find("talvinor: the running Talvinor did not take the command text"), std::string::npos)
      << output;
  EXPECT_EQ(RunSecond({"/cmd:exit"}), 0);
  EXPECT_EQ(first->Wait(), 0);
  EXPECT_FALSE(first->HasLine("PostCommand : \"/cmd:play"));
}

}  // namespace
}  // namespace talvinor
