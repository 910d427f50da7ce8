#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/FileSystem.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;

TEST(FileSystem, MoveNeverReplacesAnExistingTarget) {
  TempFolder dir;
  std::ofstream(dir.File("a")) << "A";
  std::ofstream(dir.File("b")) << "B";
  EXPECT_EQ(MoveFileNoReplace(dir.WFile(L"a"), dir.WFile(L"b")), EEXIST);
  std::ifstream keep(dir.File("b"));
  std::string content;
  keep >> content;
  EXPECT_EQ(content, "B");
  EXPECT_EQ(MoveFileNoReplace(dir.WFile(L"a"), dir.WFile(L"c")), 0);
  EXPECT_FALSE(FileExists(dir.WFile(L"a")));
  EXPECT_EQ(DeleteFile(dir.WFile(L"c")), 0);
  EXPECT_EQ(DeleteFile(dir.WFile(L"c")), ENOENT);
}

TEST(FileSystem, ListsEntriesWithAttributesAndRootIsTheEmptyText) {
  TempFolder dir;
  std::ofstream(dir.File(".hidden")) << "x";
  std::ofstream(dir.File("f.ogg")) << "xyz";
  ASSERT_EQ(CreateFolder(dir.WFile(L"sub")), 0);
  EXPECT_EQ(CreateFolder(dir.WFile(L"sub")), EEXIST);
  std::vector<FolderEntry> entries;
  ASSERT_EQ(ListFolder(dir.WPath(), &entries), 0);
  ASSERT_EQ(entries.size(), 3u);
  for (const auto& e : entries) {
    if (e.name == L".hidden") {
      EXPECT_EQ(e.attributes, kAttrHidden);
    }
    if (e.name == L"sub") {
      EXPECT_EQ(e.attributes, kAttrDirectory);
    }
    if (e.name == L"f.ogg") {
      EXPECT_EQ(e.size, 3u);
      EXPECT_GT(e.lastWrite.tm_year, 100);
    }
  }
  EXPECT_EQ(ListFolder(dir.WFile(L"none"), &entries), ENOENT);
  ASSERT_EQ(ListFolder(L"", &entries), 0);
  bool sawTmp = false;
  for (const auto& e : entries) sawTmp |= e.name == L"tmp";
  EXPECT_TRUE(sawTmp);
  EXPECT_EQ(JoinPath(L"", L"home"), L"/home");
  EXPECT_EQ(ParentFolder(L"/home"), L"");
  EXPECT_EQ(ParentFolder(L"/home/me/a.wav"), L"/home/me");
}

}  // namespace
}  // namespace talvinor
