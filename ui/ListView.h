#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ui/Window.h"

namespace talvinor {

inline constexpr uint32_t kLvsReport = 0x0001;
inline constexpr uint32_t kLvsSingleSel = 0x0004;
inline constexpr uint32_t kLvsShowSelAlways = 0x0008;
inline constexpr uint32_t kLvsExFullRowSelect = 0x0020;
inline constexpr uint32_t kLvsExOneClickActivate = 0x0040;

inline constexpr int kLvcFmtLeft = 0;
inline constexpr int kLvcFmtRight = 1;

// "SysListView32" in report view: rows of texts in columns, each row with an
// integer of data. Tells its parent with kWmNotify: kNmDblClk (row),
// kLvnColumnClick (column), kLvnItemChanged (row) when the user moves the
// selection, kGnContextMenu (row, point) on tap-and-hold, kNmSetFocus.
class ListView : public Window {
  TALVINOR_CLASS_CODES(0x4006, 0x4000)

 public:
  static constexpr int kNone = -1;
  const wchar_t* ClassName() const override { return L"SysListView32"; }

  void SetExtendedStyle(uint32_t style);
  uint32_t GetExtendedStyle() const { return m_extendedStyle; }
  // A column of `width` pixels; width 0 hides it.
  int InsertColumn(int index, const std::wstring& title, int width, int format = kLvcFmtLeft);
  void SetColumnWidth(int column, int width);
  int GetColumnWidth(int column) const;
  int GetColumnCount() const;

  int InsertItem(int index, const std::wstring& text, intptr_t data);
  // Appends many rows at once (one update of the view, however many rows):
  // each row's texts by column, and its data.
  struct Row {
    std::vector<std::wstring> texts;
    intptr_t data = 0;
  };
  void AppendItems(const std::vector<Row>& rows);
  bool SetItemText(int item, int column, const std::wstring& text);
  std::wstring GetItemText(int item, int column) const;
  intptr_t GetItemData(int item) const;
  bool DeleteItem(int item);
  void DeleteAllItems();
  int GetItemCount() const;
  // The selected row, or kNone.
  int GetSelectedItem() const;
  // Selects the row and makes it the focused one; kNone clears.
  void SelectItem(int item);
  void EnsureVisible(int item);
  // The row under a point of the client area, or kNone.
  int HitTest(int x, int y) const;

  // Orders the rows by a comparison of their data (negative, 0, positive);
  // rows that compare equal keep their order.
  using CompareFunction = int (*)(intptr_t data1, intptr_t data2, intptr_t context);
  void SortItems(CompareFunction compare, intptr_t context);

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  uint32_t m_extendedStyle = 0;
  bool m_programSelects = false;  // selections by the program send nothing
};

}  // namespace talvinor
