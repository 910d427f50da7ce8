#include <gtest/gtest.h>

#include <cstdlib>

#include "core/ProgramPaths.h"
#include "core/Singletons.h"
#include "platform/CodePage.h"
#include "settings/ConfigStore.h"
#include "settings/ConfigValidation.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsParserService.h"
#include "settings/SettingsTestSupport.h"
#include "settings/WaveDeviceQuery.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::ExampleSettingsBytes;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Parses settings text into a fresh record with the defaults.
RefPtr<CONFIG> ParseOk(const std::wstring& text) {
  auto config = Create<CONFIG>();
  std::wstring error;
  EXPECT_TRUE(SettingsParserService::Get()->Parse(text, config.Get(), &error)) << testing::WideToUtf8ForTest(error);
  return config;
}

bool Parses(const std::wstring& text) {
  auto config = Create<CONFIG>();
  return SettingsParserService::Get()->Parse(text, config.Get(), nullptr);
}

std::wstring DefaultText() { return SettingsText(*Create<CONFIG>()); }

// The default text with its main block replaced by `main` (which starts at "data").
std::wstring WithMain(const std::wstring& main) {
  std::wstring text = DefaultText();
  return text.substr(0, text.find(L"data main;")) + main;
}

TEST(SettingsFile, ExampleFileLoadsAndSavesBackByteForByte) {
  TempFolder folder;
  const std::string original = ExampleSettingsBytes();
  ASSERT_GT(original.size(), 1000u);
  WriteBytes(folder.File("talvinor.ini"), original);

  auto config = Create<CONFIG>();
  std::wstring detail;
  ASSERT_EQ(LoadConfigFile(folder.WFile(L"talvinor.ini"), config.Get(), &detail), ConfigLoadResult::Loaded)
      << testing::WideToUtf8ForTest(detail);
  EXPECT_EQ(config->m_RecSceneList[0]->m_Name, L"通話録音");
  EXPECT_EQ(config->m_RecSceneList[0]->m_SampleRate, 8000u);
  EXPECT_EQ(config->m_RecSceneList[4]->m_Name, L"Ogg \"Vorbis\" \\ 録音\n二行目\t'");
  EXPECT_DOUBLE_EQ(config->m_RecSceneList[4]->m_RecOvQuality, 0.4);
  EXPECT_DOUBLE_EQ(config->m_RecSceneList[5]->m_RecOvQuality, -0.1);
  EXPECT_DOUBLE_EQ(config->m_RecSceneList[6]->m_RecOvQuality, 1.0);
  EXPECT_EQ(config->m_MemoSrcPath, L"windows\\");
  EXPECT_DOUBLE_EQ(config->m_MemoOvQuality, 0.4);
  EXPECT_EQ(config->m_MemoSrcLast, 5u);

  ASSERT_TRUE(SaveConfigFile(folder.WFile(L"saved.ini"), *config));
  EXPECT_EQ(ReadBytes(folder.File("saved.ini")), original);
}

TEST(SettingsFile, DefaultsRoundTripThroughTheirOwnText) {
  auto defaults = Create<CONFIG>();
  // The built-in scenes already hold what their presets set: untouched
  // defaults need no repair.
  auto validated = defaults->Clone();
  auto everyFormat = Create<FixedWaveDeviceQuery>(1u, 1u, 0x0FFFu);
  EXPECT_TRUE(ValidateConfig(validated.Get(), everyFormat.Get()));
  EXPECT_EQ(SettingsText(*validated), SettingsText(*defaults));
  std::wstring text = SettingsText(*defaults);
  EXPECT_EQ(text.rfind(L"RFF_TALVINOR_SETUP_RECORD\r\n\r\ntype base; name=\"VAR\"; { }\r\n", 0), 0u);
  EXPECT_NE(text.find(L"\r\n @array; type=\"CONFIG_SCENE\";\r\n {\r\n  { \"バランス重視\"; 0; 2; 2; 1; 16; 32000; 0; 9; 2; 1; 0; 0;  }\r\n"),
            std::wstring::npos);
  EXPECT_EQ(text.substr(text.size() - 8), L" 0;\r\n}\r\n");
  auto back = ParseOk(text);
  EXPECT_EQ(SettingsText(*back), text);
}

TEST(SettingsFile, VorbisQualityIsStoredInTenthsTruncated) {
  auto config = Create<CONFIG>();
  config->m_RecSceneList[7]->m_RecOvQuality = 0.45;
  config->m_MemoOvQuality = 0.7;  // not exactly representable: must still store 7
  std::wstring text = SettingsText(*config);
  EXPECT_NE(text.find(L"  { \"Ogg Vorbis録音\"; 0; 1; 2; 1; 16; 11025; 4;"), std::wstring::npos);
  auto back = ParseOk(text);
  EXPECT_DOUBLE_EQ(back->m_RecSceneList[7]->m_RecOvQuality, 0.4);
  EXPECT_DOUBLE_EQ(back->m_MemoOvQuality, 0.7);
  for (int tenths = -1; tenths <= 10; ++tenths) {
    EXPECT_EQ(QualityToStored(StoredToQuality(tenths)), tenths);
  }
  EXPECT_EQ(QualityToStored(-0.15), -1);
}

TEST(SettingsFile, TextsWithEscapedCharactersRoundTrip) {
  auto config = Create<CONFIG>();
  config->m_RecPath = L"C:\\rec \"new\"\r\nline\t'x'";
  std::wstring text = SettingsText(*config);
  EXPECT_NE(text.find(L" \"C:\\\\rec \\\"new\\\"\\r\\nline\\t\\'x\\'\";\r\n"), std::wstring::npos);
  EXPECT_EQ(ParseOk(text)->m_RecPath, config->m_RecPath);
}

TEST(SettingsFile, CharactersOutsideCp932AreStoredAsQuestionMarks) {
  TempFolder folder;
  auto config = Create<CONFIG>();
  config->m_RecPath = L"/home/ünï/录音";  // ü and 录 have no CP932 form
  ASSERT_TRUE(SaveConfigFile(folder.WFile(L"talvinor.ini"), *config));
  auto back = Create<CONFIG>();
  ASSERT_EQ(LoadConfigFile(folder.WFile(L"talvinor.ini"), back.Get()), ConfigLoadResult::Loaded);
  EXPECT_EQ(back->m_RecPath, L"/home/?n?/?音");
}

TEST(SettingsFile, MagicLineMustComeFirst) {
  std::wstring text = DefaultText();
  EXPECT_TRUE(Parses(text));
  EXPECT_FALSE(Parses(L"\r\n" + text));
  EXPECT_FALSE(Parses(L" " + text));
  EXPECT_FALSE(Parses(L"\xFEFF" + text));
  EXPECT_FALSE(Parses(L"rff_talvinor_setup_record" + text.substr(25)));

  // A byte-order mark in the stored bytes fails the load too.
  TempFolder folder;
  WriteBytes(folder.File("talvinor.ini"), "\xEF\xBB\xBF" + WideToAnsi(text));
  auto config = Create<CONFIG>();
  EXPECT_EQ(LoadConfigFile(folder.WFile(L"talvinor.ini"), config.Get()), ConfigLoadResult::Malformed);
}

TEST(SettingsFile, CommentsAndUnknownStatementsAreSkipped) {
  std::wstring text = DefaultText();
  size_t data = text.find(L"data main;");
  text.insert(data, L"// a line comment { \r\n/* a block\r\n comment } */\r\n"
                    L"define colours; { red=1; blue=\"x\"; }\r\n"
                    L"data other; { 1; \"}\"; { 2; } }\r\n"
                    L"future thing=1; { \"{\" { nested } }\r\n");
  auto config = ParseOk(text);
  EXPECT_EQ(SettingsText(*config), DefaultText());
}

TEST(SettingsFile, NothingAfterTheMainBlockIsRead) {
  std::wstring text = DefaultText() + L"}}}} \"unterminated\r\n garbage @@@";
  EXPECT_TRUE(Parses(text));
  std::wstring noMain = DefaultText();
  noMain = noMain.substr(0, noMain.find(L"data main;"));
  EXPECT_FALSE(Parses(noMain));
  EXPECT_FALSE(Parses(noMain + L"data other; { 1; }\r\n"));
}

TEST(SettingsFile, KeysAreFoundThroughTheFilesOwnDefinition) {
  // A file whose CONFIG lists only two keys, in another order, plus one the
  // program does not know: the rest keep their defaults.
  std::wstring text =
      L"RFF_TALVINOR_SETUP_RECORD\r\n"
      L"type name=\"CONFIG\";\r\n{\r\n NUM m_SkinTypeId;\r\n STR m_Unknown;\r\n STR m_RecPath;\r\n}\r\n"
      L"data main; type=\"CONFIG\";\r\n{ 1; \"ignored\"; \"/rec\"; }\r\n";
  auto config = ParseOk(text);
  EXPECT_EQ(config->m_SkinTypeId, 1u);
  EXPECT_EQ(config->m_RecPath, L"/rec");
  EXPECT_EQ(config->m_RecAutoScrOffCyc, 20000u);
  EXPECT_EQ(config->m_RecSceneList[3]->m_Name, L"長時間録音");

  // Fewer values than keys: the missing ones keep their defaults.
  auto shortRecord = ParseOk(WithMain(L"data main; type=\"CONFIG\";\r\n{ 0; 1; 2; }\r\n"));
  EXPECT_EQ(shortRecord->m_WaveInId, 1u);
  EXPECT_EQ(shortRecord->m_RecSceneSelect, 2u);
  EXPECT_EQ(shortRecord->m_SkinTypeId, 2u);
}

TEST(SettingsFile, SceneArrayFillsAtMostEightScenes) {
  std::wstring scenes;
  for (int i = 0; i < 10; ++i) scenes += L"{ \"s" + std::to_wstring(i) + L"\"; } ";
  auto many = ParseOk(WithMain(L"data main; type=\"CONFIG\";\r\n{ 0; 0; 0; @array; type=\"CONFIG_SCENE\"; { " + scenes + L"} }"));
  EXPECT_EQ(many->m_RecSceneList[7]->m_Name, L"s7");
  EXPECT_EQ(many->m_RecSceneList[7]->m_CodecMode, 1u);  // key missing in the element: default
  auto two = ParseOk(WithMain(L"data main; type=\"CONFIG\";\r\n{ 0; 0; 0; @array; type=\"CONFIG_SCENE\"; { {\"a\";} {\"b\";} } }"));
  EXPECT_EQ(two->m_RecSceneList[1]->m_Name, L"b");
  EXPECT_EQ(two->m_RecSceneList[2]->m_Name, L"高品質録音");
}

TEST(SettingsFile, ValuesOfTheWrongKindOrRangeFailTheLoad) {
  auto main = [](const std::wstring& values) { return WithMain(L"data main; type=\"CONFIG\";\r\n{ " + values + L" }"); };
  EXPECT_TRUE(Parses(main(L"0; 0x1; 0.9;")));                  // fractions read as integers
  EXPECT_FALSE(Parses(main(L"\"0\";")));                       // text for a number
  EXPECT_FALSE(Parses(main(L"zero;")));                        // symbol for a number
  EXPECT_FALSE(Parses(main(L"-1;")));                          // negative
  EXPECT_FALSE(Parses(main(L"2147483648;")));                  // cannot be written back with %d
  EXPECT_FALSE(Parses(main(L"0; 0; 0; 5;")));                  // not the array
  EXPECT_FALSE(Parses(main(L"0; 0; 0; @array; type=\"CONFIG\"; { }")));
  EXPECT_FALSE(Parses(main(L"0; 0; 0; @list; type=\"CONFIG_SCENE\"; { }")));
  EXPECT_FALSE(Parses(main(L"0; 0; 0; @array; type=\"CONFIG_SCENE\"; { 1; }")));
  EXPECT_FALSE(Parses(main(L"0; 0; 0; @array; type=\"CONFIG_SCENE\"; { } 7;")));  // text expected for m_RecPath
  EXPECT_FALSE(Parses(main(L"0; 0; 0; @array; type=\"CONFIG_SCENE\"; { { 5; } }")));  // scene name must be a text
  // The Vorbis qualities may be negative.
  auto q = ParseOk(main(L"0; 0; 0; @array; type=\"CONFIG_SCENE\"; { { \"x\"; 0; 1; 0; 1; 16; 11025; -1; } } \"\"; \"\"; \"\"; -1;"));
  EXPECT_DOUBLE_EQ(q->m_RecSceneList[0]->m_RecOvQuality, -0.1);
  EXPECT_DOUBLE_EQ(q->m_MemoOvQuality, -0.1);
  // The main block must be a CONFIG, and CONFIG must be defined.
  EXPECT_FALSE(Parses(WithMain(L"data main; type=\"OTHER\"; { }")));
  EXPECT_FALSE(Parses(WithMain(L"data main; { }")));
  EXPECT_FALSE(Parses(L"RFF_TALVINOR_SETUP_RECORD\r\ndata main; type=\"CONFIG\"; { }"));
}

TEST(SettingsFile, StructuralFaultsFailTheLoad) {
  auto head = [] {
    std::wstring t = DefaultText();
    return t.substr(0, t.find(L"data main;"));
  };
  EXPECT_FALSE(Parses(head() + L"data main; type=\"CONFIG\"; { 0 0; }"));          // missing ';'
  EXPECT_FALSE(Parses(head() + L"data main; type=\"CONFIG\"; 0; }"));              // missing '{'
  EXPECT_FALSE(Parses(head() + L"data main; type=\"CONFIG\"; { 0; 0;"));           // ends inside
  EXPECT_FALSE(Parses(head() + L"data main; type=\"CONFIG\"; type=\"CONFIG\"; { }"));  // repeated attribute
  EXPECT_FALSE(Parses(head() + L"type base; { }\r\n"));                            // type without a name
  EXPECT_FALSE(Parses(head() + L"future } {"));                                     // '}' before '{'
  EXPECT_FALSE(Parses(head() + L"data main; type=\"CONFIG\"; { \"abc\r\n\"; }"));   // line end in a text
  EXPECT_FALSE(Parses(head() + L"data main; type=\"CONFIG\"; { --1; }"));          // repeated operator
  std::wstring deep = head() + L"data main; type=\"CONFIG\"; ";
  for (int i = 0; i < 100000; ++i) deep += L"{";
  EXPECT_FALSE(Parses(deep));
}

TEST(SettingsFile, MissingFileKeepsTheDefaultsAndTheStartupFillCompletesThem) {
  TempFolder folder;
  OverrideProgramFolder(folder.WPath());
  ReleaseSingletons();
  EXPECT_TRUE(LoadConfig());
  ValidateConfig();
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ::setenv("HOME", folder.Path().c_str(), 1);
  FillPathDefaults();
  RefPtr<CONFIG> config = GetConfig();
  // The recording folders are the user's, not the program folder's.
  EXPECT_EQ(config->m_RecPath, folder.WPath() + L"/Music/Talvinor");
  EXPECT_EQ(config->m_RecTelPath, folder.WPath() + L"/Music/Talvinor");
  EXPECT_EQ(config->m_MemoPath, folder.WPath() + L"/Music/Talvinor");
  if (home) {
    ::setenv("HOME", savedHome.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
  EXPECT_EQ(config->m_CalledCsvPath, L"windows/calledhistory.dat");
  EXPECT_EQ(config->m_CallingCsvPath, L"windows/callinghistory.dat");
  EXPECT_EQ(config->m_MemoSrcPath, L"windows/");
  EXPECT_EQ(config->m_MemoSrcFile, L"shrec%d.wav");
  EXPECT_EQ(config->m_MemoSrcFirst, 1u);
  EXPECT_EQ(config->m_MemoSrcLast, 5u);
  EXPECT_EQ(ResolveSettingsPath(L"windows/x.dat"), folder.WPath() + L"/windows/x.dat");
  EXPECT_EQ(ResolveSettingsPath(L"/abs"), L"/abs");

  // A saved and reloaded start-up state is the same state.
  ASSERT_TRUE(SaveConfig());
  std::wstring saved = SettingsText(*config);
  ReleaseSingletons();
  EXPECT_TRUE(LoadConfig());
  EXPECT_EQ(SettingsText(*GetConfig()), saved);
  ReleaseSingletons();
  OverrideProgramFolder(L"");
}

TEST(SettingsFile, DamagedFileFailsTheLoadAndKeepsWhatWasInMemory) {
  TempFolder folder;
  OverrideProgramFolder(folder.WPath());
  ReleaseSingletons();
  GetConfig()->m_RecPath = L"/kept";
  std::string bytes = ExampleSettingsBytes();
  WriteBytes(folder.File("talvinor.ini"), bytes.substr(0, bytes.size() / 2));
  EXPECT_FALSE(LoadConfig());
  EXPECT_EQ(GetConfig()->m_RecPath, L"/kept");
  EXPECT_EQ(GetConfig()->m_RecSceneList[0]->m_Name, L"バランス重視");
  // A folder where the file should be cannot be read either.
  std::filesystem::remove(folder.File("talvinor.ini"));
  std::filesystem::create_directory(folder.File("talvinor.ini"));
  EXPECT_FALSE(LoadConfig());
  ReleaseSingletons();
  OverrideProgramFolder(L"");
}

TEST(SettingsFile, SaveThatFailsMidwayLeavesTheOldFileIntact) {
  TempFolder folder;
  const std::wstring path = folder.WFile(L"talvinor.ini");
  const std::string original = ExampleSettingsBytes();
  WriteBytes(folder.File("talvinor.ini"), original);
  auto changed = Create<CONFIG>();
  changed->m_RecPath = L"/new";

  testing::TraceCapture trace;
  SetSettingsWriteLimit(100);  // the disk fills after 100 bytes
  EXPECT_FALSE(SaveConfigFile(path, *changed));
  SetSettingsWriteLimit(std::nullopt);
  EXPECT_EQ(ReadBytes(folder.File("talvinor.ini")), original);
  EXPECT_FALSE(std::filesystem::exists(folder.File("talvinor.ini.tmp")));
  EXPECT_TRUE(trace.Contains("write limit"));

  SetSettingsWriteLimit(0);
  EXPECT_FALSE(SaveConfigFile(path, *changed));
  SetSettingsWriteLimit(std::nullopt);
  EXPECT_EQ(ReadBytes(folder.File("talvinor.ini")), original);

  // Once the write goes through, the new text replaces the old one whole.
  ASSERT_TRUE(SaveConfigFile(path, *changed));
  auto back = Create<CONFIG>();
  ASSERT_EQ(LoadConfigFile(path, back.Get()), ConfigLoadResult::Loaded);
  EXPECT_EQ(back->m_RecPath, L"/new");
  EXPECT_FALSE(std::filesystem::exists(folder.File("talvinor.ini.tmp")));
}

TEST(SettingsFile, SaveThatCannotReplaceTheFileFailsCleanly) {
  TempFolder folder;
  // A non-empty folder where the settings file should be: the rename fails.
  std::filesystem::create_directories(folder.File("talvinor.ini/inside"));
  EXPECT_FALSE(SaveConfigFile(folder.WFile(L"talvinor.ini"), *Create<CONFIG>()));
  EXPECT_FALSE(std::filesystem::exists(folder.File("talvinor.ini.tmp")));
  // A folder that does not exist: nothing can be created.
  EXPECT_FALSE(SaveConfigFile(folder.WFile(L"missing/talvinor.ini"), *Create<CONFIG>()));
}

}  // namespace
}  // namespace talvinor
