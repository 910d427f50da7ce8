#include "platform/BundleLauncher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/LauncherFile.h"
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

void WriteAll(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The build's launcher as it stood before the bundle moved, with a line the
// user added.
std::string OldLauncher(const std::string& oldFolder, const std::string& icon) {
  return "[Desktop Entry]\nType=Application\nName=Talvinor\nComment[ja]=録音\n"
         "Icon=" + icon + "\nExec=" + ExecValue(oldFolder + "/talvinor", "%f") +
         "\nTerminal=false\nX-Mine=kept\n[Desktop Action Rec]\nExec=\"/elsewhere/tool\" rec\n";
}

TEST(BundleLauncher, AMovedBundlesLauncherNamesTheProgramWhereItIsAndKeepsTheRest) {
  TempFolder temp;
  // Blanks, quotes, '$' and '%' in the new place: the launcher must still
  // split to the one program path.
  const std::string folder = temp.Path() + "/moved \"b\" $x 100%";
  std::filesystem::create_directories(folder);
  const std::string launcher = folder + "/talvinor.desktop";
  WriteAll(launcher, OldLauncher("/old/build/bundle", "/old/build/bundle/talvinor.svg"));
  ::chmod(launcher.c_str(), 0755);

  ASSERT_EQ(RefreshBundleLauncher(folder, folder + "/talvinor"), LauncherRefresh::Rewritten);
  const std::string text = ReadAll(launcher);
  EXPECT_NE(text.find("\nExec=" + ExecValue(folder + "/talvinor", "%f") + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nIcon=" + LauncherValue(folder + "/talvinor.svg") + "\n"), std::string::npos) << text;
  // What the user or the build put there otherwise stays, an action's own
  // Exec too.
  for (const char* kept : {"Comment[ja]=録音\n", "X-Mine=kept\n", "Exec=\"/elsewhere/tool\" rec\n", "Terminal=false\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  size_t exec = text.find("\nExec=");
  EXPECT_EQ(ExecProgram(text.substr(exec + 6, text.find('\n', exec + 1) - exec - 6)), folder + "/talvinor");
  struct stat info {};
  ASSERT_EQ(::stat(launcher.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u) << "the file's mode is kept";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no temporary left beside it";

  // A second start finds it current and leaves the file alone.
  const auto written = std::filesystem::last_write_time(launcher);
  EXPECT_EQ(RefreshBundleLauncher(folder, folder + "/talvinor"), LauncherRefresh::Current);
  EXPECT_EQ(std::filesystem::last_write_time(launcher), written);
}

TEST(BundleLauncher, AThemeIconNameStaysAndOnlyTheProgramFollows) {
  TempFolder temp;
  const std::string launcher = temp.Path() + "/talvinor.desktop";
  WriteAll(launcher, OldLauncher(temp.Path(), "talvinor"));
  EXPECT_EQ(RefreshBundleLauncher(temp.Path(), temp.Path() + "/talvinor"), LauncherRefresh::Current);
  ASSERT_EQ(RefreshBundleLauncher(temp.Path(), temp.Path() + "/talvinor2"), LauncherRefresh::Rewritten);
  const std::string text = ReadAll(launcher);
  EXPECT_NE(text.find("\nIcon=talvinor\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nExec=" + ExecValue(temp.Path() + "/talvinor2", "%f") + "\n"), std::string::npos) << text;
}

TEST(BundleLauncher, FilesThatAreNotTheBundlesOwnAreLeftAlone) {
  TempFolder temp;
  const std::string folder = temp.Path() + "/bundle";
  std::filesystem::create_directories(folder);
  EXPECT_EQ(RefreshBundleLauncher(folder, folder + "/talvinor"), LauncherRefresh::Absent);

  // A link to the user's own menu entry: that file is theirs.
  const std::string own = temp.Path() + "/applications-talvinor.desktop";
  const std::string ownText = OldLauncher("/somewhere/else", "/somewhere/else/talvinor.svg");
  WriteAll(own, ownText);
  std::filesystem::create_symlink(own, folder + "/talvinor.desktop");
  EXPECT_EQ(RefreshBundleLauncher(folder, folder + "/talvinor"), LauncherRefresh::Left);
  EXPECT_EQ(ReadAll(own), ownText);
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/talvinor.desktop"));

  // Something else under the name.
  std::filesystem::remove(folder + "/talvinor.desktop");
  WriteAll(folder + "/talvinor.desktop", "not a launcher\nExec=/x\n");
  EXPECT_EQ(RefreshBundleLauncher(folder, folder + "/talvinor"), LauncherRefresh::Left);
  EXPECT_EQ(ReadAll(folder + "/talvinor.desktop"), "not a launcher\nExec=/x\n");
}

TEST(BundleLauncher, TheProgramOfAnExecValueReadsBackFromAnyPath) {
  for (const std::string program : {"/a/b", "/a b/c", "/q\"u`o$te\\s/p", "/100%/x", "/tab\there"}) {
    EXPECT_EQ(ExecProgram(ExecValue(program, "%f")), program);
  }
  EXPECT_EQ(ExecProgram("/bare/path %f"), "/bare/path");
  EXPECT_EQ(ExecProgram(""), "");
}

}  // namespace
}  // namespace talvinor
