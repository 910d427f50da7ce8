// An install into a prefix of the test's own, run from there as a user
// would run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/ShellRun.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::RunShell;
using testing::ShellQuote;
using testing::ShellRun;
using testing::TempFolder;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ProgramInstall, AnInstallIntoAPrefixRunsFromThereWithItsLauncherIconAndManualPages) {
  TempFolder root;
  const std::string prefix = root.File("prefix with space");
  ShellRun install =
      RunShell("", "cmake --install " + ShellQuote(TALVINOR_BUILD_DIR) + " --prefix " + ShellQuote(prefix));
  ASSERT_EQ(install.status, 0) << install.out << install.err;

  namespace fs = std::filesystem;
  // The bundle in lib/talvinor, linked into bin.
  for (const char* file : {"lib/talvinor/talvinor", "lib/talvinor/talvinor-cli", "lib/talvinor/manual.txt",
                           "lib/talvinor/mancmd.txt", "lib/talvinor/skin/w01vga.BMP",
                           "share/icons/hicolor/scalable/apps/talvinor.svg", "share/man/man1/talvinor.1",
                           "share/man/man1/talvinor-cli.1", "share/applications/talvinor.desktop"}) {
    EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;
  }
  EXPECT_TRUE(fs::is_symlink(prefix + "/bin/talvinor"));
  EXPECT_EQ(fs::read_symlink(prefix + "/bin/talvinor-cli"), "../lib/talvinor/talvinor-cli");

  const std::string cli = ShellQuote(prefix + "/bin/talvinor-cli");
  ShellRun version = RunShell(root.Path(), "LC_ALL=C.UTF-8 " + cli + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "talvinor-cli 0.1\n");
  EXPECT_EQ(RunShell(root.Path(), "LC_ALL=C.UTF-8 " + ShellQuote(prefix + "/bin/talvinor") + " --version").out,
            "talvinor 0.1\n");
  // Started through the link, the program's folder is the installed bundle.
  ShellRun check = RunShell(root.Path(), "LC_ALL=C.UTF-8 HOME=" + ShellQuote(root.Path()) + " " + cli + " settings check");
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_NE(check.out.find(fs::canonical(prefix).string() + "/lib/talvinor/talvinor.ini"), std::string::npos)
      << check.out;

  // The launcher validates and starts the installed program.
  const std::string launcher = prefix + "/share/applications/talvinor.desktop";
  ShellRun validate = RunShell("", "desktop-file-validate " + ShellQuote(launcher));
  EXPECT_EQ(validate.status, 0) << validate.out << validate.err;
  const std::string entry = ReadText(launcher);
  EXPECT_NE(entry.find("\nExec=\"" + prefix + "/bin/talvinor\" %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=talvinor\n"), std::string::npos) << entry;

  // Both manual pages render.
  for (const char* page : {"talvinor.1", "talvinor-cli.1"}) {
    ShellRun man = RunShell("", "MANWIDTH=80 man -l " + ShellQuote(prefix + "/share/man/man1/" + page));
    EXPECT_EQ(man.status, 0) << page << man.err;
    EXPECT_NE(man.out.find("NAME"), std::string::npos) << page;
    EXPECT_NE(man.out.find("SYNOPSIS"), std::string::npos) << page;
    EXPECT_EQ(man.err, "") << page;
  }
  EXPECT_NE(RunShell("", "MANWIDTH=80 man -l " + ShellQuote(prefix + "/share/man/man1/talvinor-cli.1")).out.find(
                "talvinor-cli convert"),
            std::string::npos);
}

TEST(ProgramInstall, TheBundlesOwnLauncherValidatesAndHasAnIcon) {
  const std::string bundle = std::filesystem::path(TALVINOR_PROGRAM).parent_path().string();
  ShellRun validate = RunShell("", "desktop-file-validate " + ShellQuote(bundle + "/talvinor.desktop"));
  EXPECT_EQ(validate.status, 0) << validate.out << validate.err;
  const std::string entry = ReadText(bundle + "/talvinor.desktop");
  EXPECT_NE(entry.find("\nIcon=" + bundle + "/talvinor.svg\n"), std::string::npos) << entry;
  EXPECT_TRUE(std::filesystem::exists(bundle + "/talvinor.svg"));
}

}  // namespace
}  // namespace talvinor
