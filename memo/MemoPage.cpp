#include "memo/MemoPage.h"

#include "command/Command.h"
#include "memo/MemoBackupDialog.h"
#include "ui/MessageBox.h"
#include "ui/PageLayout.h"
#include "ui/SkinResources.h"

namespace talvinor {

bool MemoPage::CreateControls() {
  m_description = talvinor::Create<StaticText>();
  m_save = talvinor::Create<Button>();
  if (!m_description->Create(kDescription, kWsChild | kWsVisible, {}, this, kDescriptionId)) return false;
  if (!m_save->Create(kSaveButtonText, kWsChild | kWsVisible | kWsTabStop | kBsPushButton, {}, this, kSaveButtonId)) {
    return false;
  }
  OnLayout();
  return true;
}

void MemoPage::OnLayout() { PageLayout::Get(SkinPage::Memo)->Apply(this); }

intptr_t MemoPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmCreate:
      return CreateControls() ? 0 : -1;
    case kWmSize:
      OnLayout();
      return 0;
    case kWmCommand:
      if (LowWord(wParam) == kSaveButtonId && HighWord(wParam) == kBnClicked) {
        RunBackup();
        return 0;
      }
      break;
    default:
      break;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

bool MemoPage::OnKeyNavigate(const WindowMessage& key) {
  if (key.message != kWmKeyDown || (key.lParam & kKeyRepeatBit) != 0) return true;
  if (key.wParam != kVkReturn && key.wParam != '1') return true;
  if (!m_running) RunBackup();
  return false;
}

bool MemoPage::ExecuteCommand(Command* command) {
  if (!command || command->Kind() != CommandKind::SaveMemo) return false;
  if (!m_running) RunBackup();
  return true;
}

// The program is closing (a signal, the exit command): a conversion in
// progress is stopped and leaves no half-written backup.
void MemoPage::OnClose() {
  if (!m_dialog) return;
  if (m_dialog->Job()) m_dialog->Job()->Cancel();
  m_dialog->EndDialog(kIdCancel);
}

void MemoPage::ShowStatus(const std::wstring& text) { ShowMessageText(text, kNoticeColour); }
void MemoPage::ShowError(const std::wstring& text) { ShowMessageText(text, kErrorColour); }

bool MemoPage::RunBackup() {
  if (m_running) return false;
  m_running = true;
  if (m_save) m_save->Enable(false);
  bool converted = false;
  RefPtr<MemoBackupJob> job = talvinor::Create<MemoBackupJob>(MemoBackupOptions::FromSettings(), m_master, this);
  if (job->Prepare() == MemoBackupJob::Preparation::Ready) {
    const WindowId owner = Host() ? Host()->FrameId() : Id();
    if (MessageBox::Show(owner, job->ConfirmationText(), L"TALVINOR", kMbYesNo | kMbIconQuestion) == kIdYes) {
      RefPtr<MemoBackupDialog> dialog = talvinor::Create<MemoBackupDialog>(job);
      if (m_dialogHook) m_dialogHook(dialog.Get());
      m_dialog = dialog.Get();
      converted = dialog->Run(this) != -1 && job->GetCounts().done > 0;
      m_dialog = nullptr;
    }
  }
  m_running = false;
  if (m_save) m_save->Enable(true);
  return converted;
}

}  // namespace talvinor
