#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "audio/ConvertMaster.h"
#include "core/RefObject.h"
#include "core/RefPtr.h"
#include "memo/CallHistory.h"
#include "platform/window/WindowMessages.h"
#include "settings/Config.h"

namespace talvinor {

// Where the job's messages go: the frame's status line for the page, the
// terminal for talvinor-cli.
class MemoBackupReporter {
 public:
  virtual void ShowStatus(const std::wstring& text) = 0;
  virtual void ShowError(const std::wstring& text) = 0;

 protected:
  ~MemoBackupReporter() = default;
};

// One answering-machine message slot.
struct MemoSlot {
  uint32_t number = 0;       // the slot number the file name is made with
  std::wstring source;       // the phone's message file (only ever read)
  std::wstring destination;  // the backup's final name
  bool exists = false;
  bool backedUp = false;     // the destination was already there
  bool failed = false;
  std::tm received{};        // last-write time of the message, local
  std::wstring callerNumber;
  std::wstring callerName;

  bool ToBackUp() const { return exists && !failed && !backedUp; }
};

// What the job reads from the settings, paths already resolved.
struct MemoBackupOptions {
  std::wstring sourceFolder;   // the message files' folder text, as stored (may end in '/')
  std::wstring sourcePattern;  // "shrec%d.wav"
  uint32_t first = 1;
  uint32_t last = 5;
  std::wstring memoFolder;     // destination folder
  double quality = 0.3;
  bool callerTags = false;     // look callers up in the received-calls history
  std::wstring receivedHistory;

  // From the live settings (GetConfig()), or from `config`.
  static MemoBackupOptions FromSettings();
  static MemoBackupOptions FromConfig(const CONFIG& config);
};

// One backup run: finds the answering machine's numbered WAV messages that
// have no backup yet and converts them, one at a time through the
// conversion master, into tagged Ogg Vorbis files named after the time each
// message was received. Each conversion writes "rmogg.tmp" in the memo
// folder; only a conversion that ended well is renamed to its final name,
// and that rename never replaces a file. The job itself has no window: its
// driver (the backup dialog, or talvinor-cli) asks the question, forwards
// the master's state notices and shows the progress.
class MemoBackupJob : public RefObject {
 public:
  struct Counts {
    uint32_t total = 0;     // messages found and readable
    uint32_t backedUp = 0;  // backup already present
    uint32_t toBackUp = 0;
    uint32_t done = 0;      // conversions finished, well or not
    uint32_t failed = 0;
  };

  enum class Preparation {
    NoDestination,  // the memo folder does not exist (error shown)
    NoMessages,     // no message (status shown)
    AllBackedUp,    // every message has its backup (status shown)
    Ready,          // ask the question, then Begin
  };

  enum class AbortResult {
    Close,        // the run had finished: close the window
    Requested,    // the running conversion completes, then the run ends
    ForcedStop,   // the master was stopped at once: close the window
  };

  static constexpr wchar_t kTempName[] = L"rmogg.tmp";
  static constexpr uint32_t kAbortAllowance = 5;
  static constexpr uint32_t kTimerId = 1;
  static constexpr uint32_t kTimerMs = 300;

  static constexpr wchar_t kNoFolder[] = L"伝言メモの保存先フォルダが存在しません。設定を確認してください。";
  static constexpr wchar_t kHistoryException[] = L"Exception:メモ:通話履歴の取得中";
  static constexpr wchar_t kNoMessages[] = L"伝言メモがありません。";
  static constexpr wchar_t kStartFailed[] = L"変換の開始で失敗しました。";
  static constexpr wchar_t kRenameFailed[] = L"テンポラリファイル名からの変更で失敗しました。";
  static constexpr wchar_t kAborted[] = L"バックアップを中断しました。";
  static constexpr wchar_t kEndedWithErrors[] = L"バックアップが終了しました。エラーがあります。";
  static constexpr wchar_t kCompleted[] = L"バックアップが完了しました。";
  static constexpr wchar_t kAbortAccepted[] = L"中断を受け付けました。お待ちください。";
  static constexpr wchar_t kForcedStop[] = L"安全に強制中断しました。";

  MemoBackupJob(MemoBackupOptions options, RefPtr<ConvertMaster> master, MemoBackupReporter* reporter);

  // Checks the folder, loads the history and scans the slots.
  Preparation Prepare();
  // The question asked before converting.
  std::wstring ConfirmationText() const;

  // Registers `notify` for the master's state notices (kWmConvertNotify)
  // and starts the first conversion. False (error shown) when none could
  // be started; the driver closes then.
  bool Begin(WindowId notify);
  // A state notice of the master (its wParam). Handles the end of a
  // conversion: the rename, the counts, the next conversion.
  void OnMasterNotice(uintptr_t wParam);
  // The abort button.
  AbortResult PressAbort();
  // The driver is closing while a conversion may still run (a forced end):
  // the master is stopped and its temporary file removed.
  void Cancel();

  bool IsFinished() const { return m_finished; }
  // The run ended with every conversion successful: the window closes by itself.
  bool ShouldCloseByItself() const { return m_closeByItself; }
  bool IsAbortRequested() const { return m_abort; }
  uint32_t AbortAllowance() const { return m_allowance; }

  uint32_t ProgressRange() const { return m_counts.toBackUp * 100; }
  // done × 100 plus the running conversion's share.
  uint32_t ProgressValue();
  // "done / to back up : 失敗 failed 件".
  std::wstring ProgressText() const;
  static std::wstring InitialProgressText(uint32_t slotCount);

  const Counts& GetCounts() const { return m_counts; }
  const std::vector<MemoSlot>& Slots() const { return m_slots; }
  int CurrentSlot() const { return m_current; }
  const std::wstring& TempPath() const { return m_tempPath; }
  const MemoBackupOptions& Options() const { return m_options; }
  // The slot each finished conversion was for, and whether it succeeded, in order.
  struct Finished {
    int slot;
    bool ok;
  };
  const std::vector<Finished>& FinishedConversions() const { return m_finishedConversions; }

  // The message file name for a slot number: the pattern's %d (with an
  // optional zero flag and width) is the number, "%%" a percent sign; any
  // other '%' is kept as written, so a bad pattern cannot do harm.
  static std::wstring FormatSlotName(const std::wstring& pattern, uint32_t number);
  // "rmYYMMDD_hhmmss.ogg".
  static std::wstring BackupName(const std::tm& received);
  // YYYYMMDDhhmm as a number.
  static uint64_t LookupKey(const std::tm& time);
  // Copies the caller of the first row of the received-calls history whose
  // time t has t <= key < t + 10.
  static void LookUpCaller(const CallHistoryTable& received, const std::tm& time, std::wstring* number,
                           std::wstring* name);

 protected:
  ~MemoBackupJob() override;

 private:
  void Scan();
  // Starts the conversion of the next slot to back up; false when none could be.
  bool StartNext();
  bool StartConversion(MemoSlot& slot);
  void Status(const std::wstring& text);
  void Error(const std::wstring& text);

  MemoBackupOptions m_options;
  RefPtr<ConvertMaster> m_master;
  MemoBackupReporter* m_reporter;  // outlives the job
  std::vector<MemoSlot> m_slots;
  Counts m_counts;
  int m_current = -1;
  std::wstring m_tempPath;
  bool m_abort = false;
  bool m_finished = false;
  bool m_closeByItself = false;
  bool m_converting = false;  // a conversion of this job is running
  uint32_t m_allowance = kAbortAllowance;
  CallHistoryTable m_received;
  std::vector<Finished> m_finishedConversions;
};

}  // namespace talvinor
