// talvinor-cli backup-memos: the memo page's backup of the answering
// machine's messages, without a window.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "audio/ConvertMaster.h"
#include "memo/MemoBackupJob.h"
#include "platform/ConsoleInput.h"
#include "platform/Terminal.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "tools/CliCommands.h"
#include "tools/MasterSession.h"
#include "tools/TerminalText.h"

namespace talvinor::cli {

namespace {

constexpr uint32_t kTickMs = 300;
constexpr int kBarWidth = 30;

struct BackupOptions {
  std::string settingsFile;
  bool yes = false;
  bool dryRun = false;
  bool trace = false;
};

// Statuses on standard output, errors on standard error.
class TerminalReporter : public MemoBackupReporter {
 public:
  void ShowStatus(const std::wstring& text) override { PrintLine(stdout, text); }
  void ShowError(const std::wstring& text) override { PrintLine(stderr, text); }
};

std::wstring FileName(const std::wstring& path) { return path.substr(path.rfind(L'/') + 1); }

void PrintCounts(const MemoBackupJob& job) {
  const MemoBackupJob::Counts& c = job.GetCounts();
  PrintLine(stdout, L"全ての伝言メモ ： " + std::to_wstring(c.total) + L" 件");
  PrintLine(stdout, L"バックアップ済み ：" + std::to_wstring(c.backedUp) + L" 件");
  PrintLine(stdout, L"バックアップ可能 ：" + std::to_wstring(c.toBackUp) + L" 件");
  if (c.failed) PrintLine(stdout, L"読めない伝言メモ ：" + std::to_wstring(c.failed) + L" 件");
}

std::wstring Caller(const MemoSlot& slot) {
  std::wstring text;
  if (!slot.callerNumber.empty()) text += L" TELNO=" + slot.callerNumber;
  if (!slot.callerName.empty()) text += L" TELNAME=" + slot.callerName;
  return text;
}

bool Confirm(const MemoBackupJob& job) {
  std::wstring question = job.ConfirmationText();
  // The question's first line; the counts were printed already.
  question = question.substr(0, question.find(L'\r'));
  std::string line = ToTerminal(question) + " [y/N] ";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::fputs("\n", stdout);
    return false;
  }
  return answer == "y" || answer == "Y" || answer == "yes" || FromTerminal(answer) == L"はい";
}

void DrawBar(MemoBackupJob& job) {
  const uint32_t range = job.ProgressRange();
  const uint32_t value = job.ProgressValue();
  const int filled = range ? static_cast<int>(uint64_t{value} * kBarWidth / range) : 0;
  std::string bar = "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] " +
                    ToTerminal(job.ProgressText()) + "\x1b[K";
  std::fputs(bar.c_str(), stderr);
  std::fflush(stderr);
}

void ClearBar() {
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
}

void PrintTrace(const char* line) { std::fputs(line, stderr); }

int RunBackup(const BackupOptions& cli) {
  if (cli.trace) SetTraceHook(&PrintTrace);
  RefPtr<CONFIG> config;
  if (!LoadRunSettings(cli.settingsFile, &config)) return 1;
  TerminalReporter reporter;
  RefPtr<ConvertMaster> master = Create<ConvertMaster>();
  RefPtr<MemoBackupJob> job = Create<MemoBackupJob>(MemoBackupOptions::FromConfig(*config), master, &reporter);

  const MemoBackupJob::Preparation preparation = job->Prepare();
  if (preparation == MemoBackupJob::Preparation::NoDestination) return 1;
  // Unreadable messages are never backed up: the run did not back up all.
  const bool unreadable = job->GetCounts().failed > 0;
  if (preparation != MemoBackupJob::Preparation::Ready) return unreadable ? 1 : 0;
  // Ctrl-C is caught from here on, but not while the question waits for
  // its answer: there it ends the tool, which has written nothing yet.
  std::optional<InterruptCatcher> interrupt;
  if (cli.yes) interrupt.emplace();
  PrintCounts(*job);

  if (cli.dryRun) {
    for (const MemoSlot& slot : job->Slots()) {
      if (!slot.ToBackUp()) continue;
      PrintLine(stdout, slot.source + L" -> " + slot.destination + Caller(slot));
    }
    return 0;
  }
  if (!cli.yes && !Confirm(*job)) {
    PrintLine(stderr, L"backup-memos: not confirmed; nothing was written (--yes answers the question)");
    return 1;
  }

  if (!interrupt) interrupt.emplace();
  HeadlessMessageQueue window;
  if (!job->Begin(window.Id())) return 1;
  const bool drawBar = IsTerminal(StandardStream::Error);
  size_t reported = 0;
  bool abortSent = false;
  for (;;) {
    if (auto notice = window.TakeMessage(kWmConvertNotify, kTickMs)) job->OnMasterNotice(notice->wParam);
    const auto& finished = job->FinishedConversions();
    for (; reported < finished.size(); ++reported) {
      const MemoSlot& slot = job->Slots()[static_cast<size_t>(finished[reported].slot)];
      if (drawBar) ClearBar();
      PrintLine(stdout, FileName(slot.source) + (finished[reported].ok ? L" -> " + slot.destination + Caller(slot)
                                                                       : std::wstring(L": 失敗")));
    }
    if (job->IsFinished()) break;
    // Ctrl-C asks as the abort button does: the conversion in progress
    // still completes and keeps its backup.
    if (interrupt->Requested() && !abortSent) {
      abortSent = true;
      if (drawBar) ClearBar();
      if (job->PressAbort() != MemoBackupJob::AbortResult::Requested) break;
    }
    if (drawBar) DrawBar(*job);
  }
  if (drawBar) ClearBar();
  master->Wait(5000);
  const MemoBackupJob::Counts& c = job->GetCounts();
  PrintLine(stdout, job->ProgressText());
  const bool all = !unreadable && !job->IsAbortRequested() && c.failed == 0 && c.done == c.toBackUp;
  return all ? 0 : 1;
}

}  // namespace

void RegisterBackupMemosCommand(CLI::App& app) {
  auto options = std::make_shared<BackupOptions>();
  auto* command = app.add_subcommand(
      "backup-memos",
      "Back up the answering machine's messages that have no backup yet into tagged Ogg Vorbis files, as the "
      "memo page does");
  command->add_option("--settings", options->settingsFile, "The settings file (default: talvinor.ini beside the program)");
  command->add_flag("--yes", options->yes, "Do not ask before converting");
  command->add_flag("--dry-run", options->dryRun, "List what would be written and write nothing");
  command->add_flag("--trace", options->trace, "Diagnostic trace on standard error");
  command->footer(
      "Exit status: 0 when every message has its backup (also when there was nothing to do); 1 when the memo "
      "folder is missing, the question was not answered yes, the run was interrupted or any message could not be "
      "backed up.");
  command->callback([options] { SetExitStatus(RunBackup(*options)); });
}

}  // namespace talvinor::cli
