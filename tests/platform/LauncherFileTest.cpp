#include "platform/LauncherFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TempFolder.h"

namespace talvinor {
namespace {
using testing::TempFolder;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(LauncherFileTest, WrittenLauncherPassesTheValidatorAndKeepsTheArguments) {
  TempFolder temp;
  const std::string path = temp.Path() + "/apps/sub/TALVINOR STARTER.desktop";
  const std::string text =
      LauncherText("TALVINOR STARTER", temp.Path() + "/my bundle/talvinor", "/cmd:rec /toggle:1 /scene:1", "talvinor");
  ASSERT_EQ(0, WriteLauncher(path, text));
  EXPECT_EQ(text, ReadAll(path));
  EXPECT_NE(std::string::npos, text.find("Exec=\"" + temp.Path() + "/my bundle/talvinor\" /cmd:rec /toggle:1 /scene:1\n"));
  EXPECT_NE(std::string::npos, text.find("Terminal=false\n"));
  const std::string command = "desktop-file-validate '" + path + "' >/dev/null 2>&1";
  EXPECT_EQ(0, std::system(command.c_str()));
}

TEST(LauncherFileTest, ReservedCharactersInTheProgramPathAreEscaped) {
  const std::string text = LauncherText("N", "/a\"b$c%d", "/x:1", "");
  EXPECT_NE(std::string::npos, text.find("Exec=\"/a\\\\\"b\\\\$c%%d\" /x:1\n"));
  EXPECT_EQ(std::string::npos, text.find("Icon="));
}

TEST(LauncherFileTest, AnExistingFileIsNeverReplacedAndRemoveReportsTheErrorNumber) {
  TempFolder temp;
  const std::string path = temp.Path() + "/a.desktop";
  ASSERT_EQ(0, WriteLauncher(path, "first"));
  EXPECT_EQ(EEXIST, WriteLauncher(path, "second"));
  EXPECT_EQ("first", ReadAll(path));
  EXPECT_EQ(0, RemoveLauncher(path));
  EXPECT_EQ(ENOENT, RemoveLauncher(path));
}

TEST(LauncherFileTest, ApplicationsFolderFollowsXdgDataHomeThenHome) {
  const char* oldData = std::getenv("XDG_DATA_HOME");
  const std::string savedData = oldData ? oldData : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  ::setenv("XDG_DATA_HOME", "/d/share", 1);
  EXPECT_EQ("/d/share/applications", ApplicationsFolder());
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  ::setenv("HOME", "/h", 1);
  EXPECT_EQ("/h/.local/share/applications", ApplicationsFolder());
  if (oldData) ::setenv("XDG_DATA_HOME", savedData.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  if (oldHome) ::setenv("HOME", savedHome.c_str(), 1); else ::unsetenv("HOME");
}

}  // namespace
}  // namespace talvinor
