#pragma once
#include "ui/Window.h"

namespace talvinor {

inline constexpr uint32_t kEsCenter = 0x0001;
inline constexpr uint32_t kEsRight = 0x0002;
inline constexpr uint32_t kEsMultiLine = 0x0004;
inline constexpr uint32_t kEsPassword = 0x0020;
inline constexpr uint32_t kEsAutoVScroll = 0x0040;
inline constexpr uint32_t kEsAutoHScroll = 0x0080;
inline constexpr uint32_t kEsReadOnly = 0x0800;
inline constexpr uint32_t kEsWantReturn = 0x1000;

// "EDIT": a single-line entry, or with kEsMultiLine a multi-line text view
// (information texts, the manual). The user's changes send
// WM_COMMAND (id, kEnChange); texts set by the program do not.
// Line ends may be "\r\n" or "\n".
class Edit : public Window {
  TALVINOR_CLASS_CODES(0x4004, 0x4000)

 public:
  const wchar_t* ClassName() const override { return L"EDIT"; }
  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override;

  bool IsMultiLine() const;
  void SetReadOnly(bool readOnly);
  bool IsReadOnly() const;
  // Most characters the user may type in a single-line edit (0: no limit).
  void SetLimitText(int characters);
  int GetLimitText() const { return m_limit; }
  // Lines as shown (a wrapped line counts once per screen line).
  int GetLineCount() const;
  // The screen line of the caret, from 0.
  int GetCaretLine() const;
  bool IsCaretOnFirstLine() const;
  bool IsCaretOnLastLine() const;
  // Selects characters [start, end); end -1 selects to the end.
  void SetSelection(int start, int end);
  void MoveCaretToStart();

 protected:
  QWidget* CreateWidget(QWidget* parent, const std::wstring& text, uint32_t style) override;

 private:
  int m_limit = 0;
  bool m_settingText = false;  // the program sets the text: no kEnChange
};

}  // namespace talvinor
