#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/StorageFolders.h"
#include "settings/Config.h"
#include "ui/Button.h"

namespace talvinor {

class Menu;

// One entry of the storage-root menu; command 0 is a separator.
struct StorageRoot {
  int command = 0;
  std::wstring text;
  std::wstring folder;
};

// Where the menu's folders come from; tests put their own in.
struct StorageRootSources {
  std::function<bool(std::wstring*)> programFolder;    // null: the program folder
  std::function<bool(std::wstring*)> documentsFolder;  // null: the XDG documents folder
  StorageCardSearch cards = DefaultStorageCardSearch();
  // Where the three settings folders come from; null: the live settings
  // (the settings page offers its own, not yet applied, copy).
  RefPtr<CONFIG> settings;
};

// The player's button that drops down the well-known folders: the three
// folders of the settings, the program's folder, the documents folder and
// every mounted storage card.
class StorageRootCombo : public Button {
  TALVINOR_CLASS_CODES(0x4602, 0x4002, 0x4000)

 public:
  static constexpr int kControlId = 1142;
  static constexpr int kRecordingFolder = 40108;
  static constexpr int kCallFolder = 40109;
  static constexpr int kMemoFolder = 40110;
  static constexpr int kProgramFolder = 40100;
  static constexpr int kDocumentsFolder = 40101;
  static constexpr int kFirstCard = 40111;  // 40110 + n for card n, n from 1
  static constexpr wchar_t kCaption[] = L"フォルダ▼";

  bool CreateButton(Window* parent, const Rect& rect);
  void SetSources(StorageRootSources sources) { m_sources = std::move(sources); }

  // The menu's entries as they stand now, in menu order.
  std::vector<StorageRoot> CollectRoots() const;
  // Fills `menu` with `roots`.
  static void FillMenu(Menu* menu, const std::vector<StorageRoot>& roots);
  // Rebuilds the menu, drops it down under the button and waits; the chosen
  // folder, or false when the menu was dismissed.
  bool DropDown(std::wstring* folder);
  // The same menu from `sources`, dropped down under `anchor`.
  static bool DropDownUnder(Window* anchor, const StorageRootSources& sources, std::wstring* folder);
  static std::vector<StorageRoot> CollectRoots(const StorageRootSources& sources);

 private:
  StorageRootSources m_sources;
};

}  // namespace talvinor
