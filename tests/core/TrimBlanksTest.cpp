#include <gtest/gtest.h>

#include <string>

#include "core/TrimBlanks.h"

namespace talvinor {
namespace {

TEST(TrimBlanks, KeepsWhatLiesBetweenTheOuterBlanksInnerSpacesIncluded) {
  std::wstring t = L"\u3000 a b\u3000c\t";
  TrimBlanks(t);
  EXPECT_EQ(t, L"a b\u3000c");
}

TEST(TrimBlanks, BlanksOnlyBecomeEmptyAndOtherWhiteSpaceStays) {
  std::wstring blanks = L" \t\u3000 ";
  TrimBlanks(blanks);
  EXPECT_EQ(blanks, L"");
  std::wstring newline = L"\nx\r";  // only TAB, SPACE and U+3000 are blanks
  TrimBlanks(newline);
  EXPECT_EQ(newline, L"\nx\r");
}

}  // namespace
}  // namespace talvinor
