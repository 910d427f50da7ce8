#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "ui/ListView.h"

namespace talvinor {

// The player's folder list: one folder's entries in four columns (a hidden
// one, then name, size and modification date), folders always shown, files
// only when their whole name matches the pattern. Every row keeps its
// insertion position as its item data. Tells the parent page with kWmNotify
// kFolderChanged when the folder changes.
class FileListView : public ListView {
  TALVINOR_CLASS_CODES(0x4601, 0x4006, 0x4000)

 public:
  static constexpr int kControlId = 1141;
  static constexpr int kFolderChanged = 0x10002;
  static constexpr int kColumnName = 1;
  static constexpr int kColumnSize = 2;
  static constexpr int kColumnDate = 3;
  static constexpr wchar_t kDefaultPattern[] = L"(.+\\.wav|.+\\.ogg|.+\\.oga|.+\\.ov|.+\\.spx)";
  static constexpr wchar_t kUpName[] = L"..";
  static constexpr wchar_t kUpDate[] = L"(上へ)";
  static constexpr wchar_t kNoSize[] = L"-";

  // Makes the list control with its columns (widths 0, 220, 80, 150).
  bool CreateList(Window* parent, const Rect& rect);

  // Succeeds at once for the current folder; fails for a path that is not an
  // existing folder. A trailing '/' is dropped ("/" is the root ""). Does not
  // refill.
  bool SetFolder(const std::wstring& path);
  const std::wstring& CurrentFolder() const { return m_folder; }
  // Rebuilds the rows of the current folder and selects the row named
  // `select` (none: row 0). False when the pattern does not compile (the
  // list is then empty) or the folder cannot be listed.
  bool Refill(const std::wstring* select = nullptr);
  // The selection's name; false without a selection.
  bool GetSelectedName(std::wstring* name) const;
  // Folder + "/" + name; for the ".." row the parent folder.
  bool GetSelectedPath(std::wstring* path) const;
  // When the selection is a folder, opens it (set folder, refill) and says yes.
  bool OpenSelectedFolder();
  // Goes to the folder of `path`, refills and selects its name there.
  bool SelectPath(const std::wstring& path);
  // The file-name pattern; empty shows every file.
  void SetPattern(const std::wstring& pattern) { m_pattern = pattern; }
  const std::wstring& Pattern() const { return m_pattern; }
  // A header tap: the current column again while ascending turns it
  // descending; any other tap sorts that column ascending.
  void SortByColumn(int column);
  int SortColumn() const { return m_sortColumn; }
  bool IsAscending() const { return m_ascending; }

  static bool IsRootFolder(const std::wstring& folder) { return folder.empty() || folder == L"/"; }
  // "9,999", "9 KB", "117 MB".
  static std::wstring FormatSize(uint64_t size);
  // "yy/mm/dd hh:mm:ss".
  static std::wstring FormatDate(const std::tm& time);
  // A size text read back as a number ("-" is 0). Sorting uses the sizes
  // themselves: "9 KB" (10 000 bytes) reads back as less than "9,999".
  static uint64_t ParseSize(const std::wstring& text);
  // Whether `name` matches `pattern` as a whole, case-insensitively; false
  // in `*compiled` for a pattern that does not compile.
  static bool MatchesPattern(const std::wstring& pattern, const std::wstring& name, bool* compiled = nullptr);

 private:
  struct Row {
    std::wstring name;
    std::wstring size;
    std::wstring date;
    uint64_t bytes = 0;  // what the size text was made from; folders 0
    bool folder = false;
  };
  static int CompareRows(intptr_t data1, intptr_t data2, intptr_t context);
  void Sort();
  void NotifyFolderChanged();

  std::wstring m_folder;
  std::wstring m_pattern = kDefaultPattern;
  int m_sortColumn = kColumnName;
  bool m_ascending = true;
  std::vector<Row> m_rows;  // by item data
};

}  // namespace talvinor
