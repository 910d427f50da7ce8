#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/File.h"
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

}  // namespace
}  // namespace talvinor
