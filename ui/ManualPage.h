#pragma once
#include <string>

#include "ui/Edit.h"
#include "ui/Page.h"

namespace talvinor {

// The manual page ("説明"): one read-only text view filling the page, showing
// one of the four documents shipped in the program folder, chosen from the
// tools menu. A document is read only when it differs from the one shown; a
// document that cannot be read shows a notice and is tried again next time.
class ManualPage : public Page {
 public:
  static constexpr int kTextId = 1501;
  static constexpr int kShowManual = 40051;    // "説明書"          manual.txt
  static constexpr int kShowKeys = 40052;      // "キー操作説明書"  mankey.txt
  static constexpr int kShowCommands = 40053;  // "コマンド説明書"  mancmd.txt
  static constexpr int kShowReadme = 40054;    // "READMEの参照"    readme.txt
  static constexpr wchar_t kUnreadable[] = L"※マニュアルファイルが読めません。";

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  void OnActivate() override;
  bool ContributeToolsMenu(Menu* tools) override;
  void OnLayout() override;
  void OnMenuCommand(int id, int notifyCode) override;
  bool OnKeyNavigate(const WindowMessage& key) override;

  // Shows the document of a menu command; false when it could not be read
  // (or the command is not one of the four).
  bool ShowDocument(int command);
  // The command of the document shown, 0 when none is.
  int ShownDocument() const { return m_shown; }
  Edit* TextView() const { return m_text.Get(); }

  // The file name of a command's document, or null.
  static const wchar_t* DocumentFile(int command);
  // Reads a whole CP932 file as text; the text ends at the first zero
  // character, or with the file's last character when there is none.
  static bool ReadDocument(const std::wstring& path, std::wstring* text);

 private:
  bool CreateText();

  RefPtr<Edit> m_text;
  int m_shown = 0;
};

}  // namespace talvinor
