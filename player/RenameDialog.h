#pragma once
#include <functional>
#include <string>

#include "core/RefPtr.h"
#include "ui/Button.h"
#include "ui/Dialog.h"
#include "ui/Edit.h"
#include "ui/StaticText.h"

namespace talvinor {

// The name dialog of the file list's rename: the old name in an edit, all
// selected, the old name again below it, OK and キャンセル. OK answers the
// edit's text with blanks (tab, space, ideographic space) trimmed from both
// ends.
class RenameDialog : public Dialog {
 public:
  static constexpr int kResourceId = 151;
  static constexpr int kEditId = 2001;
  static constexpr int kOldNameId = 2002;

  // Shows the dialog over `owner`; false when cancelled.
  static bool Ask(Window* owner, const std::wstring& oldName, std::wstring* newName);
  // Replaces the dialog (tests answer for the user; the answer is trimmed
  // as the dialog's is); an empty prompt
  // restores it. Returns the previous one.
  using Prompt = std::function<bool(const std::wstring& oldName, std::wstring* newName)>;
  static Prompt SetPrompt(Prompt prompt);

  explicit RenameDialog(std::wstring oldName) : m_oldName(std::move(oldName)) {}
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  const std::wstring& Result() const { return m_result; }
  Edit* NameEdit() const { return m_edit.Get(); }

 private:
  std::wstring m_oldName;
  std::wstring m_result;
  RefPtr<Edit> m_edit;
  RefPtr<StaticText> m_label;
  RefPtr<Button> m_ok;
  RefPtr<Button> m_cancel;
};

}  // namespace talvinor
