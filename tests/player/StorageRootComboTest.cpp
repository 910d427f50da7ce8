#include "player/StorageRootCombo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/Singletons.h"
#include "platform/Unicode.h"
#include "settings/ConfigStore.h"
#include "support/TempFolder.h"
#include "ui/Menu.h"
#include "ui/UiTestSupport.h"

namespace talvinor {
namespace {

using testing::RecordingWindow;
using testing::TempFolder;

class StorageRootComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = Create<RecordingWindow>();
    ASSERT_TRUE(page->Create(L"", kWsVisible, {0, 0, 240, 300}, nullptr, 0));
    combo = Create<StorageRootCombo>();
    ASSERT_TRUE(combo->CreateButton(page.Get(), {0, 0, 60, 20}));
    RefPtr<CONFIG> config = GetConfig();
    config->m_RecPath = L"/rec";
    config->m_RecTelPath = L"/tel";
    config->m_MemoPath = L"/memo";
    // A /media tree of the test's own with its own mount table.
    media = tree.File("media/me");
    std::filesystem::create_directories(media + "/SDCARD");
    std::filesystem::create_directories(media + "/USB STICK");
    std::ofstream(tree.File("mounts")) << "/dev/a " << media << "/SDCARD vfat rw 0 0\n"
                                       << "/dev/b " << media << "/USB\\040STICK vfat rw 0 0\n";
    sources.cards.bases = {Utf8ToWide(media)};
    sources.cards.mountTable = tree.WFile(L"mounts");
  }
  void TearDown() override { ReleaseSingletons(); }

  TempFolder tree;
  std::string media;
  StorageRootSources sources;
  RefPtr<RecordingWindow> page;
  RefPtr<StorageRootCombo> combo;
};

TEST_F(StorageRootComboTest, MenuListsSettingsFoldersProgramDocumentsAndCards) {
  sources.programFolder = [](std::wstring* folder) {
    *folder = L"/opt/talvinor";
    return true;
  };
  sources.documentsFolder = [](std::wstring* folder) {
    *folder = L"/home/me/書類";
    return true;
  };
  combo->SetSources(sources);
  const std::vector<StorageRoot> roots = combo->CollectRoots();
  ASSERT_EQ(roots.size(), 8u);
  EXPECT_EQ(roots[0].command, 40108);
  EXPECT_EQ(roots[0].text, L"録音保存フォルダ");
  EXPECT_EQ(roots[0].folder, L"/rec");
  EXPECT_EQ(roots[1].command, 40109);
  EXPECT_EQ(roots[1].text, L"通話録音保存フォルダ");
  EXPECT_EQ(roots[1].folder, L"/tel");
  EXPECT_EQ(roots[2].command, 40110);
  EXPECT_EQ(roots[2].text, L"伝言メモ保存フォルダ");
  EXPECT_EQ(roots[2].folder, L"/memo");
  EXPECT_EQ(roots[3].command, 0);
  EXPECT_EQ(roots[4].command, 40100);
  EXPECT_EQ(roots[4].text, L"プログラムのあるフォルダ");
  EXPECT_EQ(roots[4].folder, L"/opt/talvinor");
  EXPECT_EQ(roots[5].command, 40101);
  EXPECT_EQ(roots[5].text, L"マイドキュメント");
  EXPECT_EQ(roots[5].folder, L"/home/me/書類");
  EXPECT_EQ(roots[6].command, 40111);
  EXPECT_EQ(roots[6].text, L"外部メモリ1 : SDCARD");
  EXPECT_EQ(roots[6].folder, Utf8ToWide(media + "/SDCARD"));
  EXPECT_EQ(roots[7].command, 40112);
  EXPECT_EQ(roots[7].text, L"外部メモリ2 : USB STICK");
  EXPECT_EQ(roots[7].folder, Utf8ToWide(media + "/USB STICK"));

  RefPtr<Menu> menu = Create<Menu>();
  StorageRootCombo::FillMenu(menu.Get(), roots);
  ASSERT_EQ(menu->ItemCount(), 8);
  EXPECT_EQ(menu->ItemId(3), 0);
  EXPECT_EQ(menu->ItemText(7), L"外部メモリ2 : USB STICK");
}

TEST_F(StorageRootComboTest, AGivenSettingsCopyNamesTheThreeFoldersInsteadOfTheLiveOnes) {
  RefPtr<CONFIG> working = GetConfig()->Clone();
  working->m_RecPath = L"/edited/rec";
  working->m_MemoPath = L"/edited/memo";
  sources.settings = working;
  const std::vector<StorageRoot> roots = StorageRootCombo::CollectRoots(sources);
  ASSERT_GE(roots.size(), 3u);
  EXPECT_EQ(roots[0].folder, L"/edited/rec");
  EXPECT_EQ(roots[1].folder, L"/tel") << "an unchanged folder is the copy's too";
  EXPECT_EQ(roots[2].folder, L"/edited/memo");
  EXPECT_EQ(GetConfig()->m_RecPath, L"/rec");
  // Without a copy the live settings are read at the moment of asking.
  sources.settings = nullptr;
  GetConfig()->m_RecPath = L"/later";
  EXPECT_EQ(StorageRootCombo::CollectRoots(sources)[0].folder, L"/later");
}

TEST_F(StorageRootComboTest, FoldersThatCannotBeFoundAreLeftOut) {
  sources.programFolder = [](std::wstring*) { return false; };
  sources.documentsFolder = [](std::wstring*) { return false; };
  sources.cards.mountTable = tree.WFile(L"no-mounts");
  combo->SetSources(sources);
  const std::vector<StorageRoot> roots = combo->CollectRoots();
  ASSERT_EQ(roots.size(), 4u);
  EXPECT_EQ(roots[3].command, 0);
  EXPECT_EQ(combo->GetText(), L"フォルダ▼");
}

}  // namespace
}  // namespace talvinor
