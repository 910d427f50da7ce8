#include "player/StorageRootCombo.h"

#include <cwchar>

#include "core/ProgramPaths.h"
#include "settings/ConfigStore.h"
#include "ui/Menu.h"

namespace talvinor {

bool StorageRootCombo::CreateButton(Window* parent, const Rect& rect) {
  return Create(kCaption, kWsChild | kWsVisible | kWsTabStop | kBsPushButton, rect, parent, kControlId);
}

std::vector<StorageRoot> StorageRootCombo::CollectRoots() const { return CollectRoots(m_sources); }

std::vector<StorageRoot> StorageRootCombo::CollectRoots(const StorageRootSources& sources) {
  std::vector<StorageRoot> roots;
  RefPtr<CONFIG> config = sources.settings ? sources.settings : GetConfig();
  roots.push_back({kRecordingFolder, L"録音保存フォルダ", config->m_RecPath});
  roots.push_back({kCallFolder, L"通話録音保存フォルダ", config->m_RecTelPath});
  roots.push_back({kMemoFolder, L"伝言メモ保存フォルダ", config->m_MemoPath});
  roots.push_back({0, L"", L""});
  std::wstring folder;
  if (sources.programFolder ? sources.programFolder(&folder) : GetProgramFolder(&folder))
    roots.push_back({kProgramFolder, L"プログラムのあるフォルダ", folder});
  folder.clear();
  if (sources.documentsFolder ? sources.documentsFolder(&folder) : GetDocumentsFolder(&folder))
    roots.push_back({kDocumentsFolder, L"マイドキュメント", folder});
  int n = 1;
  for (const std::wstring& card : ListStorageCards(sources.cards)) {
    const size_t slash = card.rfind(L'/');
    const std::wstring name = slash == std::wstring::npos ? card : card.substr(slash + 1);
    wchar_t text[300];
    std::swprintf(text, 300, L"外部メモリ%d : %ls", n, name.c_str());
    roots.push_back({kMemoFolder + n, text, card});
    ++n;
  }
  return roots;
}

void StorageRootCombo::FillMenu(Menu* menu, const std::vector<StorageRoot>& roots) {
  menu->Clear();
  for (const StorageRoot& root : roots) {
    if (root.command == 0) {
      menu->AppendSeparator();
    } else {
      menu->AppendItem(root.command, root.text);
    }
  }
}

bool StorageRootCombo::DropDown(std::wstring* folder) { return DropDownUnder(this, m_sources, folder); }

bool StorageRootCombo::DropDownUnder(Window* anchor, const StorageRootSources& sources, std::wstring* folder) {
  const std::vector<StorageRoot> roots = CollectRoots(sources);
  RefPtr<Menu> menu = talvinor::Create<Menu>();
  menu->SetOwner(anchor);
  FillMenu(menu.Get(), roots);
  const Rect place = anchor->GetRect();
  const int chosen = menu->Track(anchor, 0, place.height, false);
  for (const StorageRoot& root : roots) {
    if (root.command != 0 && root.command == chosen) {
      *folder = root.folder;
      return true;
    }
  }
  return false;
}

}  // namespace talvinor
