#include "player/FileListView.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <fstream>

#include "platform/Unicode.h"
#include "support/TempFolder.h"
#include "ui/UiTestSupport.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::TempFolder;

void MakeFile(const std::string& path, uint64_t size = 0) {
  std::ofstream(path, std::ios::binary).close();
  if (size) std::filesystem::resize_file(path, size);
}

class FileListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = Create<RecordingWindow>();
    ASSERT_TRUE(page->Create(L"", kWsVisible, {0, 0, 240, 300}, nullptr, 0));
    list = Create<FileListView>();
    ASSERT_TRUE(list->CreateList(page.Get(), {0, 0, 240, 200}));
  }
  // The name column, top to bottom.
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (int i = 0; i < list->GetItemCount(); ++i) names.push_back(list->GetItemText(i, FileListView::kColumnName));
    return names;
  }
  int RowOf(const std::wstring& name) const {
    for (int i = 0; i < list->GetItemCount(); ++i)
      if (list->GetItemText(i, FileListView::kColumnName) == name) return i;
    return -1;
  }
  int FolderNotices() const {
    int count = 0;
    for (const ControlNotify& n : page->notifications) count += n.code == FileListView::kFolderChanged ? 1 : 0;
    return count;
  }

  TempFolder tree;
  RefPtr<RecordingWindow> page;
  RefPtr<FileListView> list;
};

TEST_F(FileListViewTest, ColumnsAreHiddenNameSizeAndDate) {
  ASSERT_EQ(list->GetColumnCount(), 4);
  EXPECT_EQ(list->GetColumnWidth(0), 0);
  EXPECT_EQ(list->GetColumnWidth(1), 220);
  EXPECT_EQ(list->GetColumnWidth(2), 80);
  EXPECT_EQ(list->GetColumnWidth(3), 150);
}

TEST_F(FileListViewTest, DefaultPatternPassesSoundFilesAndAlwaysShowsFolders) {
  for (const char* name : {"A.WAV", "b.Ogg", "c.spx", "d.wav.bak", "e.mp3", "f.oga", "g.ov", ".hidden.wav", "wav"})
    MakeFile(tree.File(name));
  std::filesystem::create_directories(tree.File("music.mp3"));
  std::filesystem::create_directories(tree.File(".secret"));
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  ASSERT_TRUE(list->Refill());
  // Folders first, then the files by name; hidden entries never show.
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"music.mp3", L"A.WAV", L"b.Ogg", L"c.spx", L"f.oga", L"g.ov"}));
  EXPECT_EQ(list->GetItemText(0, FileListView::kColumnDate), L"(上へ)");
  EXPECT_EQ(list->GetItemText(0, FileListView::kColumnSize), L"-");
  EXPECT_EQ(list->GetItemText(1, FileListView::kColumnSize), L"-");
  EXPECT_EQ(list->GetSelectedItem(), 0);

  // Show all: every file but the hidden ones.
  list->SetPattern(L"");
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(Names().size(), 10u);
  EXPECT_NE(RowOf(L"e.mp3"), -1);
  EXPECT_NE(RowOf(L"d.wav.bak"), -1);
  EXPECT_EQ(RowOf(L".hidden.wav"), -1);
  EXPECT_EQ(RowOf(L".secret"), -1);
}

TEST_F(FileListViewTest, PatternThatDoesNotCompileLeavesTheListEmpty) {
  MakeFile(tree.File("a.wav"));
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  ASSERT_TRUE(list->Refill());
  ASSERT_GT(list->GetItemCount(), 0);
  list->SetPattern(L"(.+\\.wav");
  EXPECT_FALSE(list->Refill());
  EXPECT_EQ(list->GetItemCount(), 0);
  std::wstring name;
  EXPECT_FALSE(list->GetSelectedName(&name));
  EXPECT_FALSE(list->GetSelectedPath(&name));

  // A pattern matches the whole name only, ignoring case.
  bool compiled = false;
  EXPECT_TRUE(FileListView::MatchesPattern(L"a+\\.wav", L"AAA.WAV", &compiled));
  EXPECT_TRUE(compiled);
  EXPECT_FALSE(FileListView::MatchesPattern(L"a\\.wav", L"xa.wav"));
  EXPECT_FALSE(FileListView::MatchesPattern(L"[", L"[", &compiled));
  EXPECT_FALSE(compiled);
}

TEST_F(FileListViewTest, SizesAreGroupedBytesKilobytesOrMegabytes) {
  EXPECT_EQ(FileListView::FormatSize(0), L"0");
  EXPECT_EQ(FileListView::FormatSize(999), L"999");
  EXPECT_EQ(FileListView::FormatSize(9999), L"9,999");
  EXPECT_EQ(FileListView::FormatSize(10000), L"9 KB");
  EXPECT_EQ(FileListView::FormatSize(9999999), L"9,765 KB");
  EXPECT_EQ(FileListView::FormatSize(10000000), L"9 MB");
  EXPECT_EQ(FileListView::FormatSize(123456789), L"117 MB");
  EXPECT_EQ(FileListView::ParseSize(L"9,765 KB"), 9765u * 1024);
  EXPECT_EQ(FileListView::ParseSize(L"117 MB"), 117u * 1048576);
  EXPECT_EQ(FileListView::ParseSize(L"9,999"), 9999u);
  EXPECT_EQ(FileListView::ParseSize(L"-"), 0u);

  MakeFile(tree.File("small.wav"), 9999);
  MakeFile(tree.File("medium.wav"), 10000);
  MakeFile(tree.File("large.wav"), 123456789);  // sparse
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(list->GetItemText(RowOf(L"small.wav"), FileListView::kColumnSize), L"9,999");
  EXPECT_EQ(list->GetItemText(RowOf(L"medium.wav"), FileListView::kColumnSize), L"9 KB");
  EXPECT_EQ(list->GetItemText(RowOf(L"large.wav"), FileListView::kColumnSize), L"117 MB");

  // The size column sorts by the sizes the texts stand for.
  list->SortByColumn(FileListView::kColumnSize);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"small.wav", L"medium.wav", L"large.wav"}));
  list->SortByColumn(FileListView::kColumnSize);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"large.wav", L"medium.wav", L"small.wav", L".."}));
}

TEST_F(FileListViewTest, DatesAreTheLocalModificationTime) {
  MakeFile(tree.File("old.wav"));
  MakeFile(tree.File("new.wav"));
  std::tm when{};
  when.tm_year = 2009 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 7;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 1;
  when.tm_isdst = -1;
  const time_t old = mktime(&when);
  struct timespec times[2] = {{old, 0}, {old, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, tree.File("old.wav").c_str(), times, 0), 0);
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(list->GetItemText(RowOf(L"old.wav"), FileListView::kColumnDate), L"09/03/07 09:05:01");

  list->SortByColumn(FileListView::kColumnDate);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"old.wav", L"new.wav"}));
}

TEST_F(FileListViewTest, TappingTheSortedNameColumnSortsFoldersLastNamesDescending) {
  for (const char* name : {"b.wav", "a.wav", "c.ogg"}) MakeFile(tree.File(name));
  std::filesystem::create_directories(tree.File("zfolder"));
  std::filesystem::create_directories(tree.File("afolder"));
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"afolder", L"zfolder", L"a.wav", L"b.wav", L"c.ogg"}));
  list->SelectItem(RowOf(L"b.wav"));
  list->SortByColumn(FileListView::kColumnName);  // the current column, ascending: descending now
  EXPECT_FALSE(list->IsAscending());
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"c.ogg", L"b.wav", L"a.wav", L"zfolder", L"afolder", L".."}));
  // The selection stays on its entry.
  std::wstring name;
  ASSERT_TRUE(list->GetSelectedName(&name));
  EXPECT_EQ(name, L"b.wav");
  list->SortByColumn(FileListView::kColumnName);  // descending: ascending again
  EXPECT_TRUE(list->IsAscending());
  EXPECT_EQ(Names().front(), L"..");
  // A refill keeps the order chosen.
  list->SortByColumn(FileListView::kColumnName);
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(Names().front(), L"c.ogg");
}

TEST_F(FileListViewTest, RootHasNoUpRowAndTopLevelFolderLeadsToTheRoot) {
  ASSERT_TRUE(list->SetFolder(L"/"));
  EXPECT_EQ(list->CurrentFolder(), L"");
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(RowOf(L".."), -1);
  EXPECT_NE(RowOf(L"tmp"), -1);

  ASSERT_TRUE(list->SetFolder(L"/tmp/"));
  EXPECT_EQ(list->CurrentFolder(), L"/tmp");
  ASSERT_TRUE(list->Refill());
  ASSERT_EQ(RowOf(L".."), 0);
  list->SelectItem(0);
  std::wstring path;
  ASSERT_TRUE(list->GetSelectedPath(&path));
  EXPECT_EQ(path, L"");
  EXPECT_TRUE(list->OpenSelectedFolder());
  EXPECT_EQ(list->CurrentFolder(), L"");
  EXPECT_EQ(RowOf(L".."), -1);
}

TEST_F(FileListViewTest, FoldersOpenAndNotifyFilesDoNot) {
  std::filesystem::create_directories(tree.File("サブ"));
  MakeFile(tree.File("サブ/録音.wav"));
  MakeFile(tree.File("x.wav"));
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  EXPECT_EQ(FolderNotices(), 1);
  EXPECT_TRUE(list->SetFolder(tree.WPath() + L"/"));  // the same folder: nothing changes
  EXPECT_EQ(FolderNotices(), 1);
  ASSERT_TRUE(list->Refill());

  list->SelectItem(RowOf(L"x.wav"));
  EXPECT_FALSE(list->OpenSelectedFolder());
  EXPECT_EQ(list->CurrentFolder(), tree.WPath());

  list->SelectItem(RowOf(L"サブ"));
  EXPECT_TRUE(list->OpenSelectedFolder());
  EXPECT_EQ(list->CurrentFolder(), tree.WFile(L"サブ"));
  EXPECT_EQ(FolderNotices(), 2);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"..", L"録音.wav"}));

  list->SelectItem(0);
  EXPECT_TRUE(list->OpenSelectedFolder());
  EXPECT_EQ(list->CurrentFolder(), tree.WPath());

  // A file or a missing path is no folder; the list stays where it was.
  EXPECT_FALSE(list->SetFolder(tree.WFile(L"x.wav")));
  EXPECT_FALSE(list->SetFolder(tree.WFile(L"missing")));
  EXPECT_EQ(list->CurrentFolder(), tree.WPath());
  EXPECT_EQ(FolderNotices(), 3);
}

TEST_F(FileListViewTest, SelectPathGoesToTheFolderAndSelectsTheName) {
  std::filesystem::create_directories(tree.File("deep"));
  for (const char* name : {"deep/a.wav", "deep/m.ogg", "deep/z.spx"}) MakeFile(tree.File(name));
  ASSERT_TRUE(list->SelectPath(tree.WFile(L"deep/m.ogg")));
  EXPECT_EQ(list->CurrentFolder(), tree.WFile(L"deep"));
  std::wstring path;
  ASSERT_TRUE(list->GetSelectedPath(&path));
  EXPECT_EQ(path, tree.WFile(L"deep/m.ogg"));
  // A name that is not there selects the first row.
  ASSERT_TRUE(list->SelectPath(tree.WFile(L"deep/gone.wav")));
  EXPECT_EQ(list->GetSelectedItem(), 0);
  EXPECT_FALSE(list->SelectPath(tree.WFile(L"nowhere/a.wav")));
  EXPECT_FALSE(list->SelectPath(L"relative.wav"));
}

TEST_F(FileListViewTest, EmptyFolderListsOnlyTheUpRow) {
  ASSERT_TRUE(list->SetFolder(tree.WPath()));
  ASSERT_TRUE(list->Refill());
  EXPECT_EQ(Names(), std::vector<std::wstring>{L".."});
  EXPECT_EQ(list->GetSelectedItem(), 0);
}

}  // namespace
}  // namespace talvinor
