#include <gtest/gtest.h>

#include <filesystem>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "settings/Config.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsParserService.h"
#include "support/TempFolder.h"
#include "settings/SettingsTestSupport.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using testing::CliRun;

CliRun RunCli(const testing::TempFolder& folder, const std::string& arguments) { return testing::Cli(folder, arguments); }

TEST(SettingsCli, ShowPrintsTheSavedTextInUtf8WithRepairsAndDefaultsApplied) {
  testing::TempFolder folder;
  testing::WriteBytes(folder.File("talvinor.ini"), testing::ExampleSettingsBytes());
  CliRun run = RunCli(folder, "settings show --file '" + folder.File("talvinor.ini") + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  std::wstring text = Utf8ToWide(run.out);
  EXPECT_EQ(text.rfind(L"RFF_TALVINOR_SETUP_RECORD\r\n\r\n", 0), 0u);
  // Japanese names arrive as UTF-8, not as CP932 bytes.
  EXPECT_NE(run.out.find("{ \"通話録音\"; 1; 2; 0;"), std::string::npos);
  // No capture device can be read here: the stored 2-channel 8-bit 16000 Hz
  // scene is kept, only the preset's codec values are set.
  EXPECT_NE(text.find(L"  { \"会議・受講録音\"; 0; 2; 2; 2; 8; 16000; 0; 9; 2; 1; 1; 1;  }\r\n"), std::wstring::npos);
  // The output is a settings text the program reads back to the same text.
  auto config = Create<CONFIG>();
  ASSERT_TRUE(SettingsParserService::Get()->Parse(text, config.Get(), nullptr));
  EXPECT_EQ(SettingsText(*config), text);
  EXPECT_EQ(config->m_SkinTypeId, 2u);  // 0 in the file, repaired
}

TEST(SettingsCli, CheckListsRepairsAndFailsOnADamagedFile) {
  testing::TempFolder folder;
  std::wstring text = SettingsText(*Create<CONFIG>());
  const std::wstring stored = L"\"バランス重視\"; 0; 2;";
  size_t scene = text.find(stored);
  ASSERT_NE(scene, std::wstring::npos);
  text.replace(scene, stored.size(), L"\"バランス重視\"; 0; 7;");
  testing::WriteBytes(folder.File("codec.ini"), WideToAnsi(text));
  CliRun repaired = RunCli(folder, "settings check --file '" + folder.File("codec.ini") + "'");
  EXPECT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_NE(repaired.out.find("repaired: m_RecSceneList[0].m_CodecMode: 7 -> 1\n"), std::string::npos) << repaired.out;

  testing::WriteBytes(folder.File("bad.ini"), "RFF_TALVINOR_SETUP_RECORD\r\ndata main; type=\"CONFIG\"; { 1 }");
  CliRun bad = RunCli(folder, "settings check --file '" + folder.File("bad.ini") + "'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.rfind("The settings file could not be read. It may be damaged.\n", 0), 0u) << bad.err;
  CliRun badJapanese = testing::Shell(folder, "LC_ALL=ja_JP.UTF-8 " + testing::ShellQuote(TALVINOR_CLI_PATH) +
                                                  " settings check --file '" + folder.File("bad.ini") + "'");
  EXPECT_EQ(badJapanese.status, 1);
  EXPECT_EQ(badJapanese.err.rfind("設定ファイルを読めませんでした。ファイルが破損している可能性があります。\n", 0), 0u)
      << badJapanese.err;
  EXPECT_NE(bad.err.find("line 2"), std::string::npos);

  // A missing file: the defaults, which need no repairs; --settings and
  // --file name the same file.
  for (const char* option : {"--file", "--settings"}) {
    CliRun missing = RunCli(folder, std::string("settings check ") + option + " '" + folder.File("none.ini") + "'");
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.out, folder.File("none.ini") + ": there is no settings file; the defaults would be used\n"
                                                     "no repairs needed\n");
  }
  // With no settings file the recording folders are the user's, not the
  // program folder.
  CliRun shown = testing::Shell(folder, "HOME='" + folder.Path() + "' XDG_CONFIG_HOME= LC_ALL=C.UTF-8 " +
                                            testing::ShellQuote(TALVINOR_CLI_PATH) + " settings show --settings '" +
                                            folder.File("none.ini") + "'");
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("\"" + folder.Path() + "/Music/Talvinor\";"), std::string::npos) << shown.out;
  EXPECT_EQ(shown.out.find("\"" + std::filesystem::path(TALVINOR_CLI_PATH).parent_path().string() + "\";"),
            std::string::npos)
      << shown.out;
  EXPECT_FALSE(std::filesystem::exists(folder.File("Music"))) << "showing the settings makes no folder";
  CliRun japanese = testing::Shell(folder, "LC_ALL=ja_JP.UTF-8 " + testing::ShellQuote(TALVINOR_CLI_PATH) +
                                               " settings check --settings '" + folder.File("none.ini") + "'");
  EXPECT_EQ(japanese.out, folder.File("none.ini") + ": 設定ファイルがありません。既定値が使われます\n"
                                                    "修復の必要はありません\n");

  CliRun help = RunCli(folder, "settings check --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--file"), std::string::npos);
}

}  // namespace
}  // namespace talvinor
