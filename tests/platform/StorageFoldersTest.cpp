#include "platform/StorageFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

TEST(StorageFoldersTest, UserDirsValueExpandsHomeUnescapesAndTakesTheLastValidLine) {
  std::string value;
  EXPECT_TRUE(ReadUserDirsValue("# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", "XDG_DOCUMENTS_DIR", "/home/me", &value));
  EXPECT_EQ(value, "/home/me/Docs");
  EXPECT_TRUE(ReadUserDirsValue("XDG_DOCUMENTS_DIR=\"/data/my \\\"docs\\\"\"\n", "XDG_DOCUMENTS_DIR", "/h", &value));
  EXPECT_EQ(value, "/data/my \"docs\"");
  EXPECT_TRUE(ReadUserDirsValue("XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", "XDG_DOCUMENTS_DIR",
                                "/h", &value));
  EXPECT_EQ(value, "/h/b");
  // Relative values, unterminated quotes, other keys and prefixes of the key are not it.
  EXPECT_FALSE(ReadUserDirsValue("XDG_DOCUMENTS_DIR=\"Docs\"\n", "XDG_DOCUMENTS_DIR", "/h", &value));
  EXPECT_FALSE(ReadUserDirsValue("XDG_DOCUMENTS_DIR=\"/x\n", "XDG_DOCUMENTS_DIR", "/h", &value));
  EXPECT_FALSE(ReadUserDirsValue("XDG_MUSIC_DIR=\"$HOME/Music\"\n", "XDG_DOCUMENTS_DIR", "/h", &value));
  EXPECT_FALSE(ReadUserDirsValue("XDG_DOCUMENTS_DIRX=\"/x\"\n", "XDG_DOCUMENTS_DIR", "/h", &value));
}

TEST(StorageFoldersTest, DocumentsFolderComesFromUserDirsElseDocumentsInHome) {
  TempFolder home;
  std::filesystem::create_directories(home.File("Papers"));
  std::filesystem::create_directories(home.File("Documents"));
  WriteText(home.File("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
  DocumentsFolderSources sources{home.WPath(), home.WFile(L"user-dirs.dirs")};
  std::wstring folder;
  ASSERT_TRUE(FindDocumentsFolder(sources, &folder));
  EXPECT_EQ(folder, home.WFile(L"Papers"));

  // A configured folder that does not exist falls back to ~/Documents.
  WriteText(home.File("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n");
  ASSERT_TRUE(FindDocumentsFolder(sources, &folder));
  EXPECT_EQ(folder, home.WFile(L"Documents"));

  // "$HOME/" switches the folder off.
  WriteText(home.File("user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
  EXPECT_FALSE(FindDocumentsFolder(sources, &folder));

  // No file at all: ~/Documents, and nothing when that is missing too.
  sources.userDirsFile = home.WFile(L"missing.dirs");
  ASSERT_TRUE(FindDocumentsFolder(sources, &folder));
  EXPECT_EQ(folder, home.WFile(L"Documents"));
  std::filesystem::remove(home.File("Documents"));
  EXPECT_FALSE(FindDocumentsFolder(sources, &folder));
}

TEST(StorageFoldersTest, StorageCardsAreTheMountsDirectlyUnderEachBase) {
  TempFolder root;
  const std::string media = root.File("media/me");
  const std::string run = root.File("run/media/me");
  for (const std::string& dir : {media + "/SD CARD", media + "/USB", media + "/USB/inner", run + "/DISK",
                                 media + "/notmounted"})
    std::filesystem::create_directories(dir);
  WriteText(root.File("mounts"),
            "/dev/sda1 / ext4 rw 0 0\n"
            "/dev/sdb1 " + run + "/DISK vfat rw 0 0\n"
            "/dev/mmc0 " + media + "/SD\\040CARD vfat rw 0 0\n"
            "/dev/sdc1 " + media + "/USB vfat rw 0 0\n"
            "/dev/sdc2 " + media + "/USB/inner vfat rw 0 0\n"
            "/dev/sdd1 " + media + "/vanished vfat rw 0 0\n"
            "garbage\n");
  StorageCardSearch search;
  search.bases = {Utf8ToWide(media), Utf8ToWide(run) + L"/"};
  search.mountTable = root.WFile(L"mounts");
  const std::vector<std::wstring> cards = ListStorageCards(search);
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(cards[0], Utf8ToWide(media + "/SD CARD"));
  EXPECT_EQ(cards[1], Utf8ToWide(media + "/USB"));
  EXPECT_EQ(cards[2], Utf8ToWide(run + "/DISK"));

  search.mountTable = root.WFile(L"no-such-table");
  EXPECT_TRUE(ListStorageCards(search).empty());
}

TEST(StorageFoldersTest, MountFieldEscapesAreUndone) {
  EXPECT_EQ(UnescapeMountField("/media/a\\040b\\011c\\134d"), "/media/a b\tc\\d");
  EXPECT_EQ(UnescapeMountField("/media/trailing\\04"), "/media/trailing\\04");
  EXPECT_EQ(UnescapeMountField("/media/\\999"), "/media/\\999");
}

}  // namespace
}  // namespace talvinor
