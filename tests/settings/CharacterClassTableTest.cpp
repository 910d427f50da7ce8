#include <gtest/gtest.h>

#include "settings/CharacterClassTable.h"

namespace talvinor {
namespace {

TEST(CharacterClassTable, ClassesFollowTheTableAndWideCharactersHaveNone) {
  auto table = CharacterClassTable::Get();
  EXPECT_EQ(table->ClassOf(L'A'), kClassUpper | kClassLetter | kClassHex | kClassNameStart | kClassNameFollow);
  EXPECT_EQ(table->ClassOf(L'z'), kClassLetter | kClassNameStart | kClassNameFollow);
  EXPECT_EQ(table->ClassOf(L'1'), kClassBinary | kClassOctal | kClassDecimal | kClassHex | kClassNameFollow);
  EXPECT_EQ(table->ClassOf(L'8'), kClassDecimal | kClassHex | kClassNameFollow);
  EXPECT_EQ(table->ClassOf(L'_'), kClassNameStart | kClassNameFollow);
  EXPECT_EQ(table->ClassOf(L'~'), kClassUnary);
  EXPECT_EQ(table->ClassOf(L'.'), kClassPoint);
  EXPECT_EQ(table->ClassOf(0x81), kClassLeadByte);
  EXPECT_EQ(table->ClassOf(0xA0), 0u);
  EXPECT_EQ(table->ClassOf(0xFC), kClassLeadByte);
  EXPECT_EQ(table->ClassOf(0x3042), 0u);
  EXPECT_EQ(table.Get(), CharacterClassTable::Get().Get());
}

}  // namespace
}  // namespace talvinor
