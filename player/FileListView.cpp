#include "player/FileListView.h"

#include <boost/regex.hpp>

#include <algorithm>
#include <cwchar>

#include "platform/FileSystem.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "ui/WaitCursor.h"

namespace talvinor {

namespace {

constexpr int kColumnHidden = 0;

std::wstring GroupDigits(uint64_t value) {
  std::wstring digits = std::to_wstring(value);
  std::wstring grouped;
  const size_t count = digits.size();
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % 3 == 0) grouped += L',';
    grouped += digits[i];
  }
  return grouped;
}

bool IsFolderPath(const std::wstring& path) {
  uint32_t attributes = 0;
  return GetFileAttributes(path, &attributes) && (attributes & kAttrDirectory);
}

}  // namespace

bool FileListView::CreateList(Window* parent, const Rect& rect) {
  const uint32_t style = kWsChild | kWsVisible | kWsTabStop | kWsBorder | kLvsReport | kLvsSingleSel | kLvsShowSelAlways;
  if (!Create(L"", style, rect, parent, kControlId)) return false;
  SetExtendedStyle(kLvsExFullRowSelect | kLvsExOneClickActivate);
  InsertColumn(kColumnHidden, L"", 0);
  InsertColumn(kColumnName, L"名前", 220);
  InsertColumn(kColumnSize, L"サイズ", 80, kLvcFmtRight);
  InsertColumn(kColumnDate, L"更新日", 150);
  return true;
}

bool FileListView::SetFolder(const std::wstring& path) {
  if (path == m_folder) return true;
  std::wstring folder = path;
  while (!folder.empty() && folder.back() == L'/') folder.pop_back();
  if (folder == m_folder) return true;
  if (!IsFolderPath(folder)) return false;
  m_folder = folder;
  NotifyFolderChanged();
  return true;
}

void FileListView::NotifyFolderChanged() { NotifyParent({.code = kFolderChanged}); }

std::wstring FileListView::FormatSize(uint64_t fullSize) {
  // The size as the handset's 32-bit file times gave it.
  const uint64_t size = fullSize & 0xFFFFFFFFu;
  if (size >= 10000000) return GroupDigits(size / 1048576) + L" MB";
  if (size < 10000) return GroupDigits(size);
  return GroupDigits(size / 1024) + L" KB";
}

std::wstring FileListView::FormatDate(const std::tm& t) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%02d/%02d/%02d %02d:%02d:%02d", (t.tm_year + 1900) % 100, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

uint64_t FileListView::ParseSize(const std::wstring& text) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == L',') continue;
    if (text[i] < L'0' || text[i] > L'9') break;
    value = value * 10 + static_cast<uint64_t>(text[i] - L'0');
  }
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  const std::wstring unit = text.substr(i);
  if (unit == L"KB") return value * 1024;
  if (unit == L"MB") return value * 1048576;
  return value;
}

bool FileListView::MatchesPattern(const std::wstring& pattern, const std::wstring& name, bool* compiled) {
  if (compiled) *compiled = true;
  if (pattern.empty()) return true;
  try {
    const boost::wregex expression(pattern, boost::regex::perl | boost::regex::icase);
    return boost::regex_match(name, expression);
  } catch (const std::exception& error) {
    Trace("FileListView - the pattern \"%s\" does not compile: %s\r\n", WideToUtf8(pattern).c_str(), error.what());
    if (compiled) *compiled = false;
    return false;
  }
}

bool FileListView::Refill(const std::wstring* select) {
  DeleteAllItems();
  m_rows.clear();
  boost::wregex expression;
  if (!m_pattern.empty()) {
    try {
      expression.assign(m_pattern, boost::regex::perl | boost::regex::icase);
    } catch (const std::exception& error) {
      Trace("FileListView::Refill - the pattern \"%s\" does not compile: %s\r\n", WideToUtf8(m_pattern).c_str(),
            error.what());
      return false;
    }
  }
  if (!IsRootFolder(m_folder)) m_rows.push_back({kUpName, kNoSize, kUpDate, 0, true});

  std::vector<FolderEntry> entries;
  int error = 0;
  {
    WaitCursor wait;
    error = ListFolder(m_folder, &entries);
  }
  for (const FolderEntry& entry : entries) {
    if (entry.attributes & kAttrHidden) continue;
    Row row;
    row.name = entry.name;
    row.folder = (entry.attributes & kAttrDirectory) != 0;
    if (row.folder) {
      row.size = kNoSize;
    } else {
      if (!m_pattern.empty()) {
        try {
          if (!boost::regex_match(entry.name, expression)) continue;
        } catch (const std::exception& failure) {
          // A pathological name that exhausts the matcher simply does not match.
          Trace("FileListView::Refill - matching \"%s\": %s\r\n", WideToUtf8(entry.name).c_str(), failure.what());
          continue;
        }
      }
      row.size = FormatSize(entry.size);
      row.bytes = entry.size & 0xFFFFFFFFu;
    }
    row.date = FormatDate(entry.lastWrite);
    m_rows.push_back(std::move(row));
  }

  // The rows go in already sorted: sorting the control's rows afterwards
  // would move every row a second time.
  std::vector<intptr_t> order(m_rows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<intptr_t>(i);
  std::stable_sort(order.begin(), order.end(), [this](intptr_t a, intptr_t b) {
    return CompareRows(a, b, reinterpret_cast<intptr_t>(this)) < 0;
  });
  int selected = 0;
  std::vector<ListView::Row> items(order.size());
  for (size_t position = 0; position < order.size(); ++position) {
    const Row& row = m_rows[static_cast<size_t>(order[position])];
    items[position].texts = {std::wstring(), row.name, row.size, row.date};
    items[position].data = order[position];
    if (select && selected == 0 && row.name == *select) selected = static_cast<int>(position);
  }
  AppendItems(items);
  if (GetItemCount() > 0) {
    SelectItem(selected);
    EnsureVisible(selected);
  }
  Redraw();
  return error == 0;
}

int FileListView::CompareRows(intptr_t data1, intptr_t data2, intptr_t context) {
  const auto* list = reinterpret_cast<const FileListView*>(context);
  const Row& a = list->m_rows[static_cast<size_t>(data1)];
  const Row& b = list->m_rows[static_cast<size_t>(data2)];
  int result = 0;
  if (list->m_sortColumn == kColumnSize) {
    const uint64_t sa = a.bytes;
    const uint64_t sb = b.bytes;
    result = sa < sb ? -1 : (sa > sb ? 1 : 0);
  } else if (a.folder != b.folder) {
    result = a.folder ? -1 : 1;
  } else {
    const std::wstring& ta = list->m_sortColumn == kColumnDate ? a.date : a.name;
    const std::wstring& tb = list->m_sortColumn == kColumnDate ? b.date : b.name;
    result = ta.compare(tb);
    result = result < 0 ? -1 : (result > 0 ? 1 : 0);
  }
  return list->m_ascending ? result : -result;
}

void FileListView::Sort() { SortItems(&FileListView::CompareRows, reinterpret_cast<intptr_t>(this)); }

void FileListView::SortByColumn(int column) {
  if (column < kColumnName || column > kColumnDate) return;
  if (column == m_sortColumn && m_ascending) {
    m_ascending = false;
  } else {
    m_sortColumn = column;
    m_ascending = true;
  }
  Sort();
  const int selected = GetSelectedItem();
  if (selected != kNone) EnsureVisible(selected);
}

bool FileListView::GetSelectedName(std::wstring* name) const {
  const int item = GetSelectedItem();
  if (item == kNone) return false;
  *name = GetItemText(item, kColumnName);
  return true;
}

bool FileListView::GetSelectedPath(std::wstring* path) const {
  const int item = GetSelectedItem();
  if (item == kNone) return false;
  const intptr_t data = GetItemData(item);
  const bool up = data >= 0 && static_cast<size_t>(data) < m_rows.size() && m_rows[static_cast<size_t>(data)].folder &&
                  m_rows[static_cast<size_t>(data)].name == kUpName && !IsRootFolder(m_folder);
  if (up) {
    *path = ParentFolder(m_folder);
    return true;
  }
  *path = JoinPath(m_folder, GetItemText(item, kColumnName));
  return true;
}

bool FileListView::OpenSelectedFolder() {
  std::wstring path;
  if (!GetSelectedPath(&path) || !IsFolderPath(path)) return false;
  if (SetFolder(path)) Refill();
  return true;
}

bool FileListView::SelectPath(const std::wstring& path) {
  const size_t slash = path.rfind(L'/');
  if (slash == std::wstring::npos) return false;
  const std::wstring name = path.substr(slash + 1);
  if (!SetFolder(path.substr(0, slash))) return false;
  Refill(&name);
  return true;
}

}  // namespace talvinor
