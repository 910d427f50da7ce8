#include <gtest/gtest.h>

#include "core/ProgramPaths.h"

namespace talvinor {
namespace {

TEST(ProgramPaths, SettingsPathHasExactlyOneSeparatorBeforeTheFileName) {
  std::wstring folder;
  ASSERT_TRUE(GetProgramFolder(&folder));
  EXPECT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'/');
  OverrideProgramFolder(L"/opt/talvinor/");
  std::wstring path;
  ASSERT_TRUE(GetSettingsPath(&path));
  EXPECT_EQ(path, L"/opt/talvinor/talvinor.ini");
  OverrideProgramFolder(L"/");  // the root keeps a single separator
  ASSERT_TRUE(GetSettingsPath(&path));
  EXPECT_EQ(path, L"/talvinor.ini");
  OverrideProgramFolder(L"");
}

}  // namespace
}  // namespace talvinor
