#pragma once
#include <string>

#include "ui/ButtonFaces.h"
#include "ui/Window.h"

namespace talvinor {

inline constexpr uint32_t kTcsBottom = 0x0002;

// "SysTabControl32": the frame's page tabs. The control is given the whole
// area it governs; the bar sits at its bottom (kTcsBottom) or top, and
// AdjustRect tells where the pages go. A tab chosen by the user first asks
// the parent with kWmNotify kTcnSelChanging (GetCurSel still answers the
// old tab; a non-zero answer keeps it), then tells kTcnSelChange.
class TabControl : public Window {
  TALVINOR_CLASS_CODES(0x4007, 0x4000)

 public:
  static constexpr int kNone = -1;
  const wchar_t* ClassName() const override { return L"SysTabControl32"; }

  int InsertItem(int index, const std::wstring& text);
  bool SetItemText(int index, const std::wstring& text);
  std::wstring GetItemText(int index) const;
  int GetItemCount() const;
  int GetCurSel() const { return m_current; }
  // Selects without notifications; returns the previous tab.
  int SetCurSel(int index);
  // The page area inside `area` (the area the control was given).
  Rect AdjustRect(const Rect& area) const;
  // Height of the bar itself.
  int BarHeight() const;
  void SetBarHeight(int height);

  // Image skin: tab faces (normal = an unselected tab, pressed = the
  // selected one); without faces the bar is drawn by the style.
  void SetFaces(RefPtr<ButtonFaces> faces);
  const RefPtr<ButtonFaces>& Faces() const { return m_faces; }

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;
  void OnBound() override;

 private:
  void OnBarChanged(int index);
  void PlaceBar();

  int m_current = kNone;
  int m_barHeight = 0;  // 0: the bar's own size
  bool m_reverting = false;
  RefPtr<ButtonFaces> m_faces;
};

}  // namespace talvinor
