// The bundle as a desktop sees it: the launcher starts the bundle's program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace talvinor {
namespace {

TEST(ProgramBundle, TheDesktopLauncherStartsTheBundleProgram) {
  const std::string bundle = std::filesystem::path(TALVINOR_PROGRAM).parent_path().string();
  std::ifstream in(bundle + "/talvinor.desktop");
  ASSERT_TRUE(in) << "no launcher in " << bundle;
  std::map<std::string, std::string> keys;
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "[Desktop Entry]");
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  EXPECT_EQ(keys["Type"], "Application");
  EXPECT_EQ(keys["Name"], "Talvinor");
  // Exec: the quoted program path, then one file to play.
  const std::string exec = keys["Exec"];
  ASSERT_GE(exec.size(), 2u);
  ASSERT_EQ(exec[0], '"');
  const size_t close = exec.find('"', 1);
  ASSERT_NE(close, std::string::npos);
  const std::string program = exec.substr(1, close - 1);
  EXPECT_TRUE(std::filesystem::equivalent(program, TALVINOR_PROGRAM)) << program;
  EXPECT_EQ(::access(program.c_str(), X_OK), 0);
  EXPECT_EQ(exec.substr(close + 1), " %f");
}

}  // namespace
}  // namespace talvinor
