#pragma once
#include <cstdint>
#include <string>

#include "ui/Window.h"

namespace talvinor {

inline constexpr uint32_t kCbsDropDown = 0x2;      // editable
inline constexpr uint32_t kCbsDropDownList = 0x3;  // choose only

// "COMBOBOX": a drop-down list; each item carries an integer of data. A
// choice by the user sends WM_COMMAND (id, kCbnSelChange), typing in an
// editable one (id, kCbnEditChange); selections by the program send nothing.
class ComboBox : public Window {
  TALVINOR_CLASS_CODES(0x4005, 0x4000)

 public:
  static constexpr int kNone = -1;

  const wchar_t* ClassName() const override { return L"COMBOBOX"; }
  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override;

  // Returns the new item's index.
  int AddString(const std::wstring& text, intptr_t data = 0);
  int InsertString(int index, const std::wstring& text, intptr_t data = 0);
  bool DeleteString(int index);
  void ResetContent();
  int GetCount() const;
  // kNone when nothing is selected.
  int GetCurSel() const;
  // kNone clears the selection; false for an index out of range.
  bool SetCurSel(int index);
  intptr_t GetItemData(int index) const;
  bool SetItemData(int index, intptr_t data);
  std::wstring GetItemText(int index) const;
  bool SetItemText(int index, const std::wstring& text);
  // The first item carrying `data`, or kNone.
  int FindItemData(intptr_t data) const;
  // Characters the user may type into an editable one (0: no limit).
  void SetLimitText(int characters);

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;
};

}  // namespace talvinor
