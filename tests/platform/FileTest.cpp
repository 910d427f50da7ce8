#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "support/TempFolder.h"
#include "support/TraceCapture.h"

namespace talvinor {
namespace {

using testing::TempFolder;

TEST(File, CreateNewRefusesAnExistingFileAndCreateAlwaysEmptiesIt) {
  TempFolder dir;
  std::wstring path = dir.WFile(L"録音.wav");
  File f;
  ASSERT_TRUE(f.Open(path, FileOpenMode::CreateNew));
  ASSERT_TRUE(f.Write("abcdef", 6));
  ASSERT_TRUE(f.Seek(0, SeekOrigin::Begin));
  ASSERT_TRUE(f.Write("X", 1));  // rewriting a header in place
  f.Close();

  File again;
  testing::TraceCapture trace;
  EXPECT_FALSE(again.Open(path, FileOpenMode::CreateNew));
  EXPECT_EQ(again.LastError(), EEXIST);
  EXPECT_TRUE(trace.Contains("File::Open"));

  File reader;
  ASSERT_TRUE(reader.Open(path, FileOpenMode::Read));
  char buf[16] = {};
  uint32_t got = 0;
  ASSERT_TRUE(reader.Read(buf, sizeof buf, &got));
  EXPECT_EQ(std::string(buf, got), "Xbcdef");
  uint32_t size = 0;
  ASSERT_TRUE(reader.GetSize(&size));
  EXPECT_EQ(size, 6u);
  EXPECT_FALSE(reader.Write("z", 1));  // read mode is read only
  reader.Close();

  File trunc;
  ASSERT_TRUE(trunc.Open(path, FileOpenMode::CreateAlways));
  ASSERT_TRUE(trunc.GetSize(&size));
  EXPECT_EQ(size, 0u);
}

TEST(File, MissingFileAndFolderFailWithTheirErrorNumbers) {
  TempFolder dir;
  File f;
  EXPECT_FALSE(f.Open(dir.WFile(L"none.wav"), FileOpenMode::Read));
  EXPECT_EQ(f.LastError(), ENOENT);
  EXPECT_FALSE(f.Open(dir.WPath(), FileOpenMode::Read));
  EXPECT_EQ(f.LastError(), EISDIR);
}

TEST(File, FilesOfFourGibibytesOrMoreAreRefused) {
  TempFolder dir;
  std::string big = dir.File("big.wav");
  {
    std::ofstream out(big);
  }
  std::filesystem::resize_file(big, 0x100000000ull);  // sparse: no disk used
  File f;
  EXPECT_FALSE(f.Open(Utf8ToWide(big), FileOpenMode::Read));
  EXPECT_EQ(f.LastError(), EFBIG);
  std::filesystem::resize_file(big, 0xFFFFFFFFull);
  EXPECT_TRUE(f.Open(Utf8ToWide(big), FileOpenMode::Read));
  EXPECT_FALSE(f.Seek(1, SeekOrigin::End));
}

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
