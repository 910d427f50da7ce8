// The program's own options and its start without a usable display, run as
// a person runs them from a terminal; and command texts given as one
// argument. Each test runs an instance of its own (TALVINOR_INSTANCE, a
// private runtime folder).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include "support/ProgramProcess.h"
#include "support/ShellRun.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::RunShell;
using testing::ShellQuote;
using testing::ShellRun;
using testing::TempFolder;

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class ProgramOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    m_tag = "po" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    m_runtime = m_home.File("run");
    std::filesystem::create_directory(m_runtime);
    ::chmod(m_runtime.c_str(), 0700);
  }

  // The environment of every start, as shell words.
  std::string Environment() const {
    return "env HOME=" + ShellQuote(m_home.Path()) + " XDG_RUNTIME_DIR=" + ShellQuote(m_runtime) +
           " TALVINOR_INSTANCE=" + m_tag + " ";
  }

  // One start of the program to its end; `prefix` changes its environment.
  ShellRun Run(const std::string& arguments, const std::string& prefix = "LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen") {
    return RunShell(m_home.Path(), Environment() + prefix + " " + ShellQuote(TALVINOR_PROGRAM) + " " + arguments,
                    30000);
  }

  std::unique_ptr<ProgramProcess> StartFirst(std::vector<std::string> arguments = {}) {
    ProgramProcess::Options options;
    options.arguments = {TALVINOR_PROGRAM};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.env = {{"TALVINOR_INSTANCE", m_tag},       {"TALVINOR_TRACE", "1"},
                   {"XDG_RUNTIME_DIR", m_runtime},      {"HOME", m_home.Path()},
                   {"QT_QPA_PLATFORM", "offscreen"}};
    options.folder = m_home.Path();
    auto first = std::make_unique<ProgramProcess>(options);
    EXPECT_TRUE(first->WaitForLine("FrameWindow - command server started")) << first->Output();
    EXPECT_TRUE(first->WaitForLine("FrameWindow::OnCreate - ready")) << first->Output();
    return first;
  }

  void Exit(ProgramProcess* first) {
    EXPECT_EQ(Run("/cmd:exit").status, 0);
    EXPECT_EQ(first->Wait(), 0) << first->Output();
  }

  TempFolder m_home;
  std::string m_runtime;
  std::string m_tag;
};

TEST_F(ProgramOptionsTest, HelpAndVersionPrintOnStandardOutputWithoutADisplay) {
  const std::string noDisplay = "LC_ALL=C.UTF-8 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
  for (const char* option : {"--help", "-h"}) {
    ShellRun run = Run(option, noDisplay);
    EXPECT_EQ(run.status, 0) << option << run.err;
    EXPECT_EQ(FirstLine(run.out), "Usage: talvinor [OPTION]... [--] [COMMAND TEXT | FILE]");
    EXPECT_NE(run.out.find("--version"), std::string::npos);
    EXPECT_EQ(run.err, "");
  }
  for (const char* option : {"--version", "-V"}) {
    ShellRun run = Run(option, noDisplay);
    EXPECT_EQ(run.status, 0) << option << run.err;
    EXPECT_EQ(run.out, "talvinor 0.1\n");
  }
  // In Japanese when the locale's language is.
  for (const char* locale : {"LC_ALL=ja_JP.UTF-8", "LC_ALL= LC_MESSAGES=ja_JP.UTF-8", "LC_ALL= LC_MESSAGES= LANG=ja_JP"}) {
    ShellRun run = Run("--help", locale);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(FirstLine(run.out), "使い方: talvinor [オプション]... [--] [コマンド文 | ファイル]") << locale;
  }
  // LC_ALL decides before LANG.
  EXPECT_EQ(FirstLine(Run("--help", "LANG=ja_JP.UTF-8 LC_ALL=en_US.UTF-8").out),
            "Usage: talvinor [OPTION]... [--] [COMMAND TEXT | FILE]");
}

TEST_F(ProgramOptionsTest, UnknownOptionsAreRefusedAndDoubleDashEndsTheOptions) {
  ShellRun run = Run("--frobnicate /cmd:exit");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(FirstLine(run.err), "talvinor: unknown option '--frobnicate'");
  EXPECT_NE(run.err.find("talvinor --help"), std::string::npos);
  EXPECT_EQ(run.out, "");
  ShellRun japanese = Run("-x", "LC_ALL=ja_JP.UTF-8 QT_QPA_PLATFORM=offscreen");
  EXPECT_EQ(japanese.status, 2);
  EXPECT_EQ(FirstLine(japanese.err), "talvinor: '-x' というオプションはありません");

  // After "--" a name starting with '-' is a file to play.
  auto first = StartFirst();
  EXPECT_EQ(Run("-- -5dB.ogg").status, 0);
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"" + m_home.Path() + "/-5dB.ogg\"")) << first->Output();
  Exit(first.get());
}

TEST_F(ProgramOptionsTest, HelpWhileTalvinorRunsDeliversNothingToIt) {
  auto first = StartFirst();
  ShellRun help = Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(FirstLine(help.out), "Usage: talvinor [OPTION]... [--] [COMMAND TEXT | FILE]");
  EXPECT_EQ(Run("--version").out, "talvinor 0.1\n");
  EXPECT_EQ(Run("--nonsense").status, 2);
  // The exit that follows is the first text the running instance sees.
  Exit(first.get());
  EXPECT_FALSE(first->HasLine("--help")) << first->Output();
  EXPECT_FALSE(first->HasLine("BringToForeground")) << first->Output();
  EXPECT_FALSE(first->HasLine("ShowError")) << first->Output();
}

TEST_F(ProgramOptionsTest, ADisplayThatDoesNotAnswerGetsThePlainAdvice) {
  // No X server listens on display 99 of this machine's test runs.
  ShellRun run = Run("", "LC_ALL=C.UTF-8 env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:99");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(FirstLine(run.err), "talvinor: the display :99 cannot be reached (no X server answers there).");
  EXPECT_NE(run.err.find("xvfb-run -a talvinor"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("qt.qpa"), std::string::npos) << "Qt was started after all:\n" << run.err;
  EXPECT_EQ(run.err.find("reinstall"), std::string::npos) << run.err;

  // X asked for by name, and no DISPLAY: the same advice, no abort.
  ShellRun forced = Run("", "LC_ALL=C.UTF-8 env -u WAYLAND_DISPLAY -u DISPLAY QT_QPA_PLATFORM=xcb");
  EXPECT_EQ(forced.status, 1) << forced.err;
  EXPECT_EQ(FirstLine(forced.err), "talvinor: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).");

  ShellRun none = Run("", "LC_ALL=ja_JP.UTF-8 env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u DISPLAY");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(FirstLine(none.err), "talvinor: 画面がありません (DISPLAY も WAYLAND_DISPLAY も設定されていません)。");
  EXPECT_NE(none.err.find("xvfb-run -a talvinor"), std::string::npos) << none.err;
}

TEST_F(ProgramOptionsTest, ACommandTextGivenAsOneArgumentReachesTheRunningInstanceWhole) {
  auto first = StartFirst();
  EXPECT_EQ(Run("'/cmd:rec /toggle:1 /scene:1'").status, 0);
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"/cmd:rec /toggle:1 /scene:1\"")) << first->Output();
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - レコーダ")) << first->Output();
  EXPECT_FALSE(first->HasLine("ShowError")) << first->Output();
  // The same text as separate words is the same text.
  EXPECT_EQ(Run("/cmd:rec /toggle:1 /scene:1").status, 0);
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"/cmd:rec /toggle:1 /scene:1\"", 20000, 2)) << first->Output();
  // A path with blanks, in one word with its quotes and split by the shell.
  EXPECT_EQ(Run("'/cmd:play /src:\"/tmp/a b.ogg\"'").status, 0);
  EXPECT_EQ(Run("/cmd:play '/src:/tmp/a b.ogg'").status, 0);
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"/cmd:play /src:\"/tmp/a b.ogg\"\"", 20000, 2)) << first->Output();
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - プレイヤ")) << first->Output();
  EXPECT_FALSE(first->HasLine("ShowError")) << first->Output();
  Exit(first.get());
}

TEST_F(ProgramOptionsTest, AFirstStartWithOneArgumentCommandTextRunsIt) {
  auto first = StartFirst({"/cmd:rec /toggle:1 /scene:1"});
  EXPECT_TRUE(first->WaitForLine("PostCommand : \"/cmd:rec /toggle:1 /scene:1\"")) << first->Output();
  EXPECT_TRUE(first->WaitForLine("SwitchToSelectedPage - レコーダ")) << first->Output();
  EXPECT_FALSE(first->HasLine("ShowError")) << first->Output();
  Exit(first.get());
}

}  // namespace
}  // namespace talvinor
