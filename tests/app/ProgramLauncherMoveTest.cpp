// A bundle copied elsewhere: its first start points the bundle's launcher
// at the program where it now is.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/LauncherFile.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

std::string ExecOf(const std::string& launcher) {
  std::ifstream in(launcher);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Exec=", 0) == 0) return line.substr(5);
  return std::string();
}

TEST(ProgramLauncherMove, AMovedBundlesFirstStartPointsItsLauncherAtTheMovedProgram) {
  TempFolder home;
  const std::filesystem::path built = std::filesystem::path(TALVINOR_PROGRAM).parent_path();
  const std::string moved = home.Path() + "/moved bundle";
  std::filesystem::copy(built, moved, std::filesystem::copy_options::recursive);
  const std::string launcher = moved + "/talvinor.desktop";
  ASSERT_TRUE(std::filesystem::equivalent(ExecProgram(ExecOf(launcher)), TALVINOR_PROGRAM))
      << "the copy starts out naming the build's program";

  const std::string runtime = home.Path() + "/run";
  std::filesystem::create_directory(runtime);
  ::chmod(runtime.c_str(), 0700);
  static std::atomic<int> counter{0};
  ProgramProcess::Options options;
  options.arguments = {moved + "/talvinor", "/cmd:exit"};
  options.env = {{"TALVINOR_INSTANCE", "lm" + std::to_string(::getpid()) + "_" + std::to_string(counter++)},
                 {"TALVINOR_TRACE", "1"},
                 {"XDG_RUNTIME_DIR", runtime},
                 {"QT_QPA_PLATFORM", "offscreen"}};
  options.folder = home.Path();
  ProgramProcess program(options);
  EXPECT_EQ(program.Wait().value_or(-100), 0) << program.Output();

  EXPECT_EQ(ExecProgram(ExecOf(launcher)), moved + "/talvinor") << program.Output();
  std::ifstream in(launcher);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("\nIcon=" + moved + "/talvinor.svg\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("\" %f\n"), std::string::npos) << "the field code stays:\n" << text.str();
  const std::string validate = "desktop-file-validate '" + launcher + "' > '" + home.Path() + "/validate.txt' 2>&1";
  EXPECT_EQ(std::system(validate.c_str()), 0) << std::ifstream(home.Path() + "/validate.txt").rdbuf();
  // The build's own launcher still names the build's program.
  EXPECT_TRUE(std::filesystem::equivalent(ExecProgram(ExecOf(built.string() + "/talvinor.desktop")), TALVINOR_PROGRAM));
}

}  // namespace
}  // namespace talvinor
