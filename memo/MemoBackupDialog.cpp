#include "memo/MemoBackupDialog.h"

#include "ui/SkinResources.h"

namespace talvinor {

int MemoBackupDialog::UnitsToX(int units) { return units * 3 / 2 * SkinResources::Get()->Scale(); }
int MemoBackupDialog::UnitsToY(int units) { return units * 13 / 8 * SkinResources::Get()->Scale(); }

int MemoBackupDialog::Run(Window* parent) {
  return DoModal(parent, L"TALVINOR", UnitsToX(kWidthUnits), UnitsToY(kHeightUnits));
}

bool MemoBackupDialog::OnInit() {
  if (!m_job) return false;
  m_progress = talvinor::Create<ProgressBar>();
  m_text = talvinor::Create<StaticText>();
  m_abort = talvinor::Create<Button>();
  const uint32_t child = kWsChild | kWsVisible;
  if (!m_progress->Create(L"", child | kWsBorder, {UnitsToX(7), UnitsToY(7), UnitsToX(109), UnitsToY(15)}, this,
                          kProgressId) ||
      !m_text->Create(MemoBackupJob::InitialProgressText(static_cast<uint32_t>(m_job->Slots().size())),
                      child | kSsCenter, {UnitsToX(6), UnitsToY(27), UnitsToX(109), UnitsToY(40)}, this, kTextId) ||
      !m_abort->Create(kAbortText, child | kWsTabStop | kBsDefPushButton,
                       {UnitsToX(67), UnitsToY(76), UnitsToX(50), UnitsToY(20)}, this, kAbortId)) {
    return false;
  }
  RefPtr<SkinResources> skin = SkinResources::Get();
  if (skin->IsBuilt()) {
    m_text->SetFont(skin->Font(2));
    m_abort->SetFont(skin->Font(2));
  }
  m_abort->SetDefault(true);
  if (!m_job->Begin(Id())) return false;
  m_progress->SetRange(0, static_cast<int>(m_job->ProgressRange()));
  SetTimer(MemoBackupJob::kTimerId, MemoBackupJob::kTimerMs);
  UpdateProgress();
  m_abort->SetFocus();
  return true;
}

void MemoBackupDialog::UpdateProgress() {
  if (!m_job || !m_progress) return;
  m_progress->SetPos(static_cast<int>(m_job->ProgressValue()));
  m_text->SetText(m_job->ProgressText());
}

void MemoBackupDialog::OnFinishedChanged() {
  if (!m_job->IsFinished()) return;
  KillTimer(MemoBackupJob::kTimerId);
  if (m_job->ShouldCloseByItself()) {
    EndDialog(kIdOk);
    return;
  }
  m_abort->SetText(kCloseText);
}

void MemoBackupDialog::OnAbort() {
  switch (m_job->PressAbort()) {
    case MemoBackupJob::AbortResult::Close:
    case MemoBackupJob::AbortResult::ForcedStop:
      KillTimer(MemoBackupJob::kTimerId);
      EndDialog(kIdCancel);
      break;
    case MemoBackupJob::AbortResult::Requested:
      break;
  }
}

intptr_t MemoBackupDialog::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmInitDialog:
      return OnInit() ? 0 : -1;
    case kWmConvertNotify:
      if (m_job && !m_job->IsFinished()) {
        m_job->OnMasterNotice(wParam);
        UpdateProgress();
        OnFinishedChanged();
      }
      return 0;
    case kWmTimer:
      if (wParam == MemoBackupJob::kTimerId) UpdateProgress();
      return 0;
    case kWmCommand:
      // The abort button, Escape and the window's close button alike: a
      // conversion in progress is never just dropped.
      if (LowWord(wParam) == kAbortId || LowWord(wParam) == kIdCancel) {
        if (m_job) OnAbort();
        return 0;
      }
      break;
    case kWmDestroy:
      KillTimer(MemoBackupJob::kTimerId);
      if (m_job) m_job->Cancel();
      break;
    default:
      break;
  }
  return Dialog::HandleMessage(message, wParam, lParam);
}

}  // namespace talvinor
