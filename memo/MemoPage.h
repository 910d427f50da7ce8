#pragma once
#include <functional>

#include "audio/ConvertMaster.h"
#include "memo/MemoBackupJob.h"
#include "ui/Button.h"
#include "ui/Page.h"
#include "ui/StaticText.h"

namespace talvinor {

// The memo page ("伝言メモ"): what the backup does, and the button that
// starts it. The backup also starts with Enter or "1" on the page and with
// the external save-memo command; it runs in the modal backup dialog, and
// the button is disabled meanwhile.
class MemoBackupDialog;

class MemoPage : public Page, public MemoBackupReporter {
 public:
  static constexpr int kDescriptionId = 1301;
  static constexpr int kSaveButtonId = 1302;
  static constexpr wchar_t kSaveButtonText[] = L"伝言メモ保存";
  static constexpr wchar_t kDescription[] =
      L"端末に保存されている伝言メモ（留守録）を音声圧縮してバックアップ保存します。元の伝言メモは削除しません。"
      L"不要になった伝言メモは電話アプリで削除してください。\r\n\r\n※この機能は W-ZERO3 "
      L"シリーズの端末で使用できます。\r\n※伝言メモは未バックアップの差分のみを保存します。\r\n※"
      L"バックアップファイルの名前は着信日時から作られます。\r\n";

  explicit MemoPage(RefPtr<ConvertMaster> master) : m_master(std::move(master)) {}

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  bool ExecuteCommand(Command* command) override;
  void OnLayout() override;
  bool OnKeyNavigate(const WindowMessage& key) override;
  void OnClose() override;

  // Runs one backup with the current settings: the checks, the question and
  // the dialog. False when nothing was converted (a message tells why).
  bool RunBackup();
  bool IsBackupRunning() const { return m_running; }

  // Tests watch the dialog while it runs (it is modal).
  using DialogHook = std::function<void(MemoBackupDialog*)>;
  void SetDialogHook(DialogHook hook) { m_dialogHook = std::move(hook); }

  // MemoBackupReporter: the frame's message area.
  void ShowStatus(const std::wstring& text) override;
  void ShowError(const std::wstring& text) override;

  StaticText* Description() const { return m_description.Get(); }
  Button* SaveButton() const { return m_save.Get(); }

 private:
  bool CreateControls();

  RefPtr<ConvertMaster> m_master;
  RefPtr<StaticText> m_description;
  RefPtr<Button> m_save;
  bool m_running = false;
  MemoBackupDialog* m_dialog = nullptr;  // while it runs; it lives on RunBackup's stack
  DialogHook m_dialogHook;
};

}  // namespace talvinor
