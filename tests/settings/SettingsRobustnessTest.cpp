#include <gtest/gtest.h>

#include <random>

#include "platform/CodePage.h"
#include "settings/ConfigStore.h"
#include "settings/SettingsFormat.h"
#include "settings/SettingsParserService.h"
#include "settings/SettingsTestSupport.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

// Parses `bytes` as a stored file would be. Whatever loads must be a state the
// program can save and load again unchanged.
void CheckLoadsOrFailsCleanly(const std::string& bytes) {
  auto config = Create<CONFIG>();
  if (!SettingsParserService::Get()->Parse(AnsiToWide(bytes), config.Get(), nullptr)) return;
  std::wstring text = SettingsText(*config);
  auto again = Create<CONFIG>();
  ASSERT_TRUE(SettingsParserService::Get()->Parse(text, again.Get(), nullptr));
  ASSERT_EQ(SettingsText(*again), text);
}

TEST(SettingsRobustness, EveryTruncationLoadsOrFailsCleanly) {
  const std::string original = testing::ExampleSettingsBytes();
  ASSERT_FALSE(original.empty());
  size_t loaded = 0;
  for (size_t length = 0; length <= original.size(); ++length) {
    std::string cut = original.substr(0, length);
    CheckLoadsOrFailsCleanly(cut);
    auto config = Create<CONFIG>();
    if (SettingsParserService::Get()->Parse(AnsiToWide(cut), config.Get(), nullptr)) ++loaded;
  }
  // Only cuts at or after the main block's closing brace can load.
  EXPECT_EQ(loaded, 3u);  // "}", "}\r", "}\r\n"
}

TEST(SettingsRobustness, RandomMutationsLoadOrFailCleanly) {
  const std::string original = testing::ExampleSettingsBytes();
  ASSERT_FALSE(original.empty());
  std::mt19937 random(20240611);
  const std::string special = "{};\"\\@/*-+~!0xb.9\r\n\t \x81\x82\xE0\xFC\xFF";
  size_t loaded = 0;
  const int kVariants = 4000;
  for (int variant = 0; variant < kVariants; ++variant) {
    std::string text = original;
    int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      size_t at = random() % text.size();
      switch (random() % 6) {
        case 0: text[at] = static_cast<char>(random() % 256); break;
        case 1: text[at] = special[random() % special.size()]; break;
        case 2: text.erase(at, 1 + random() % 16); break;
        case 3: text.insert(at, 1, special[random() % special.size()]); break;
        case 4: {  // repeat a stretch
          size_t len = std::min<size_t>(1 + random() % 40, text.size() - at);
          text.insert(at, text.substr(at, len));
          break;
        }
        default: text[at] = '\0'; break;
      }
    }
    SCOPED_TRACE(variant);
    CheckLoadsOrFailsCleanly(text);
    if (HasFatalFailure()) return;
    auto config = Create<CONFIG>();
    if (SettingsParserService::Get()->Parse(AnsiToWide(text), config.Get(), nullptr)) ++loaded;
  }
  // Both outcomes occur: the mutations are neither all harmless nor all fatal.
  EXPECT_GT(loaded, 0u);
  EXPECT_LT(loaded, static_cast<size_t>(kVariants));
}

TEST(SettingsRobustness, HostileShapesFailWithoutExhaustingAnything) {
  const std::wstring head = L"RFF_TALVINOR_SETUP_RECORD\r\n";
  std::wstring braces = head + L"data main; type=\"CONFIG\"; ";
  braces.append(200000, L'{');
  std::wstring attributes = head + L"data main;";
  for (int i = 0; i < 20000; ++i) attributes += L" a" + std::to_wstring(i) + L"=1;";
  std::wstring comment = head + L"/*";
  comment.append(300000, L'*');
  std::wstring longText = head + L"data main; type=\"CONFIG\"; { \"";
  longText.append(300000, L'x');
  std::wstring longNumber = head + L"data main; type=\"CONFIG\"; { 0.";
  longNumber.append(300000, L'5');
  for (const std::wstring* text : {&braces, &attributes, &comment, &longText, &longNumber}) {
    auto config = Create<CONFIG>();
    EXPECT_FALSE(SettingsParserService::Get()->Parse(*text, config.Get(), nullptr));
  }
}

TEST(SettingsRobustness, AbsurdlyLargeFilesAreRefusedBeforeReading) {
  testing::TempFolder folder;
  std::string big = testing::ExampleSettingsBytes();
  big.append((1u << 20), ' ');
  testing::WriteBytes(folder.File("talvinor.ini"), big);
  auto config = Create<CONFIG>();
  std::wstring detail;
  EXPECT_EQ(LoadConfigFile(folder.WFile(L"talvinor.ini"), config.Get(), &detail), ConfigLoadResult::Malformed);
  EXPECT_NE(detail.find(L"too large"), std::wstring::npos);
}

}  // namespace
}  // namespace talvinor
