// The program on the real channel name, as launchers and talvinor-cli reach
// it. The runtime folder is private, so the single-instance key is the
// test's own; the channel's name is the user's, so these tests run one at a
// time and step aside when the user's Talvinor already holds the channel.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

TEST(ProgramChannel, TalvinorCliSendReachesTheProgramAndEndsIt) {
  TempFolder home;
  const std::string runtime = home.File("run");
  std::filesystem::create_directory(runtime);
  ::chmod(runtime.c_str(), 0700);
  const std::map<std::string, std::optional<std::string>> env{{"TALVINOR_INSTANCE", std::nullopt},
                                                              {"TALVINOR_TRACE", "1"},
                                                              {"XDG_RUNTIME_DIR", runtime},
                                                              {"QT_QPA_PLATFORM", "offscreen"}};
  ProgramProcess program({{TALVINOR_PROGRAM}, env, home.Path()});
  ASSERT_TRUE(program.WaitForLine("FrameWindow::OnCreate - ready")) << program.Output();
  if (program.HasLine("ShowError - 外部コマンドサーバの起動に失敗しました。")) {
    // Nothing is sent: it would reach the user's Talvinor. Our instance,
    // without a channel, ends with the process object.
    GTEST_SKIP() << "a Talvinor of this user holds the command channel";
  }
  ASSERT_TRUE(program.HasLine("FrameWindow - command server started")) << program.Output();

  auto send = [&](std::vector<std::string> words) {
    words.insert(words.begin(), {TALVINOR_CLI, "send"});
    ProgramProcess cli({words, env, home.Path()});
    return cli.Wait().value_or(-100);
  };
  EXPECT_EQ(send({"/cmd:play", "/src:/tmp/a.ogg"}), 0);
  EXPECT_TRUE(program.WaitForLine("SwitchToSelectedPage - プレイヤ")) << program.Output();
  EXPECT_EQ(send({"/cmd:exit"}), 0);
  EXPECT_EQ(program.Wait(), 0) << program.Output();
}

}  // namespace
}  // namespace talvinor
