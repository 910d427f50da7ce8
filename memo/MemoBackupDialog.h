#pragma once
#include "memo/MemoBackupJob.h"
#include "ui/Button.h"
#include "ui/Dialog.h"
#include "ui/ProgressBar.h"
#include "ui/StaticText.h"

namespace talvinor {

// The modal progress window of a memo backup: the bar, the counts and the
// abort button, which becomes "閉じる" once the run has finished. It
// forwards the conversion master's notices to the job and closes by itself
// when every message was backed up.
class MemoBackupDialog : public Dialog {
 public:
  static constexpr int kProgressId = 1381;
  static constexpr int kTextId = 1382;
  static constexpr int kAbortId = 1383;
  static constexpr wchar_t kAbortText[] = L"中断";
  static constexpr wchar_t kCloseText[] = L"閉じる";
  // The window's size in dialog units, turned into pixels at the skin's scale.
  static constexpr int kWidthUnits = 121;
  static constexpr int kHeightUnits = 100;

  explicit MemoBackupDialog(RefPtr<MemoBackupJob> job) : m_job(std::move(job)) {}

  // Runs the dialog over `parent`: kIdOk when it closed by itself, kIdCancel
  // when closed by the user, -1 when no conversion could be started.
  int Run(Window* parent);

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

  MemoBackupJob* Job() const { return m_job.Get(); }
  ProgressBar* Progress() const { return m_progress.Get(); }
  StaticText* Text() const { return m_text.Get(); }
  Button* AbortButton() const { return m_abort.Get(); }

  // Dialog units to pixels at the skin's scale (9 pt UI font).
  static int UnitsToX(int units);
  static int UnitsToY(int units);

 private:
  bool OnInit();
  void UpdateProgress();
  void OnFinishedChanged();
  void OnAbort();

  RefPtr<MemoBackupJob> m_job;
  RefPtr<ProgressBar> m_progress;
  RefPtr<StaticText> m_text;
  RefPtr<Button> m_abort;
};

}  // namespace talvinor
