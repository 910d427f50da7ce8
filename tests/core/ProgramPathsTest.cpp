#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/ProgramPaths.h"
#include "platform/Unicode.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;

void WriteTextFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (m_old) {
      ::setenv(m_name, m_old->c_str(), 1);
    } else {
      ::unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(ProgramPaths, SettingsPathHasExactlyOneSeparatorBeforeTheFileName) {
  std::wstring folder;
  ASSERT_TRUE(GetProgramFolder(&folder));
  EXPECT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'/');
  TempFolder program;
  OverrideProgramFolder(program.WPath() + L"/");
  std::wstring path;
  ASSERT_TRUE(GetSettingsPath(&path));
  EXPECT_EQ(path, program.WPath() + L"/talvinor.ini");
  OverrideProgramFolder(L"/");  // the root is the empty folder text
  ASSERT_TRUE(GetProgramFolder(&folder));
  EXPECT_EQ(folder, L"");
  OverrideProgramFolder(L"");
}

// An install for all users cannot write its folder: the settings are the
// user's then, in the XDG config folder, which is made for them.
TEST(ProgramPaths, AProgramFolderThatCannotBeWrittenKeepsTheSettingsInTheXdgConfigFolder) {
  TempFolder home;
  ScopedEnvironment config("XDG_CONFIG_HOME", home.File("config"));
  OverrideProgramFolder(L"/proc");  // takes no new files, even from root
  std::wstring path;
  ASSERT_TRUE(GetSettingsPath(&path));
  EXPECT_EQ(path, home.WFile(L"config/talvinor/talvinor.ini"));
  EXPECT_TRUE(std::filesystem::is_directory(home.File("config/talvinor")));
  EXPECT_EQ(std::filesystem::status(home.File("config/talvinor")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);

  // Without XDG_CONFIG_HOME: ~/.config.
  ::unsetenv("XDG_CONFIG_HOME");
  ScopedEnvironment homeVariable("HOME", home.Path());
  ASSERT_TRUE(GetSettingsPath(&path));
  EXPECT_EQ(path, home.WFile(L".config/talvinor/talvinor.ini"));

  // A writable program folder keeps them beside the program.
  OverrideProgramFolder(home.WPath());
  ASSERT_TRUE(GetSettingsPath(&path));
  EXPECT_EQ(path, home.WFile(L"talvinor.ini"));
  OverrideProgramFolder(L"");
}

TEST(ProgramPaths, RecordingsDefaultToTalvinorInTheXdgMusicFolder) {
  TempFolder home;
  ScopedEnvironment homeVariable("HOME", home.Path());
  ScopedEnvironment config("XDG_CONFIG_HOME", home.File("config"));
  EXPECT_EQ(DefaultRecordingFolder(), home.WFile(L"Music/Talvinor"));

  // The user's own music folder, as xdg-user-dir reads it.
  std::filesystem::create_directories(home.File("config"));
  WriteTextFile(home.File("config/user-dirs.dirs"),
                         "# written by xdg-user-dirs-update\n"
                         "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                         "XDG_MUSIC_DIR=\"$HOME/音楽\"\n");
  EXPECT_EQ(DefaultRecordingFolder(), home.WFile(L"音楽/Talvinor"));
  WriteTextFile(home.File("config/user-dirs.dirs"), "XDG_MUSIC_DIR=\"/srv/music/\"\n");
  EXPECT_EQ(DefaultRecordingFolder(), L"/srv/music/Talvinor");
  // A relative entry is not a folder xdg-user-dir would give: the default.
  WriteTextFile(home.File("config/user-dirs.dirs"), "XDG_MUSIC_DIR=\"music\"\n");
  EXPECT_EQ(DefaultRecordingFolder(), home.WFile(L"Music/Talvinor"));
}

}  // namespace
}  // namespace talvinor
