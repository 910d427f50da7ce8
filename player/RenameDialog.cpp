#include "player/RenameDialog.h"

#include "core/TrimBlanks.h"
#include "ui/SkinResources.h"

namespace talvinor {

namespace {

RenameDialog::Prompt& CurrentPrompt() {
  static RenameDialog::Prompt prompt;
  return prompt;
}

}  // namespace

RenameDialog::Prompt RenameDialog::SetPrompt(Prompt prompt) {
  Prompt previous = std::move(CurrentPrompt());
  CurrentPrompt() = std::move(prompt);
  return previous;
}

bool RenameDialog::Ask(Window* owner, const std::wstring& oldName, std::wstring* newName) {
  if (CurrentPrompt()) {
    Prompt prompt = CurrentPrompt();
    if (!prompt(oldName, newName)) return false;
    TrimBlanks(*newName);
    return true;
  }
  RefPtr<RenameDialog> dialog = talvinor::Create<RenameDialog>(oldName);
  // 121 x 80 dialog units: about 182 x 130 pixels at the quarter-VGA scale.
  const int scale = SkinResources::Get()->Scale();
  if (dialog->DoModal(owner, L"TALVINOR", 182 * scale, 130 * scale) != kIdOk) return false;
  *newName = dialog->Result();
  return true;
}

intptr_t RenameDialog::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kWmInitDialog) {
    const int s = SkinResources::Get()->Scale();
    m_edit = talvinor::Create<Edit>();
    m_label = talvinor::Create<StaticText>();
    m_ok = talvinor::Create<Button>();
    m_cancel = talvinor::Create<Button>();
    if (!m_edit->Create(m_oldName, kWsChild | kWsVisible | kWsTabStop | kWsBorder | kEsAutoHScroll,
                        {6 * s, 8 * s, 170 * s, 22 * s}, this, kEditId) ||
        !m_label->Create(L"変更前の名前\r\n" + m_oldName, kWsChild | kWsVisible, {6 * s, 34 * s, 170 * s, 52 * s}, this,
                         kOldNameId) ||
        !m_ok->Create(L"OK", kWsChild | kWsVisible | kWsTabStop | kBsDefPushButton, {20 * s, 94 * s, 64 * s, 26 * s},
                      this, kIdOk) ||
        !m_cancel->Create(L"キャンセル", kWsChild | kWsVisible | kWsTabStop, {98 * s, 94 * s, 64 * s, 26 * s}, this,
                          kIdCancel))
      return -1;
    m_edit->SetLimitText(255);
    m_edit->SetSelection(0, -1);
    m_edit->SetFocus();
    return 0;
  }
  if (message == kWmCommand && HighWord(wParam) == kBnClicked) {
    const int id = static_cast<int>(LowWord(wParam));
    if (id == kIdOk) {
      m_result = m_edit ? m_edit->GetText() : std::wstring();
      TrimBlanks(m_result);
      EndDialog(kIdOk);
      return 0;
    }
    if (id == kIdCancel) {
      EndDialog(kIdCancel);
      return 0;
    }
  }
  return Dialog::HandleMessage(message, wParam, lParam);
}

}  // namespace talvinor
