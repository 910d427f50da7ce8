#include "memo/MemoBackupJob.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "codec/StreamTags.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileSource.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "settings/ConfigStore.h"
#include "settings/ConfigValidation.h"

namespace talvinor {

namespace {

constexpr size_t kMaxSlotName = 128;
constexpr uint32_t kPreviousRunWaitMs = 1000;

std::wstring Format(const wchar_t* format, auto... values) {
  wchar_t text[512];
  const int n = std::swprintf(text, sizeof text / sizeof text[0], format, values...);
  return n < 0 ? std::wstring() : std::wstring(text);
}

}  // namespace

MemoBackupOptions MemoBackupOptions::FromSettings() { return FromConfig(*GetConfig()); }

MemoBackupOptions MemoBackupOptions::FromConfig(const CONFIG& c) {
  const CONFIG* config = &c;
  MemoBackupOptions options;
  options.sourceFolder = config->m_MemoSrcPath;
  options.sourcePattern = config->m_MemoSrcFile;
  options.first = config->m_MemoSrcFirst;
  options.last = config->m_MemoSrcLast;
  options.memoFolder = ResolveSettingsPath(config->m_MemoPath);
  while (options.memoFolder.size() > 1 && options.memoFolder.back() == L'/') options.memoFolder.pop_back();
  options.quality = config->m_MemoOvQuality;
  options.callerTags = config->m_MemoTelInfoInTag == 1;
  options.receivedHistory = ResolveSettingsPath(config->m_CalledCsvPath);
  return options;
}

MemoBackupJob::MemoBackupJob(MemoBackupOptions options, RefPtr<ConvertMaster> master, MemoBackupReporter* reporter)
    : m_options(std::move(options)), m_master(std::move(master)), m_reporter(reporter) {}

MemoBackupJob::~MemoBackupJob() { Cancel(); }

void MemoBackupJob::Status(const std::wstring& text) {
  if (m_reporter) m_reporter->ShowStatus(text);
}
void MemoBackupJob::Error(const std::wstring& text) {
  if (m_reporter) m_reporter->ShowError(text);
}

std::wstring MemoBackupJob::FormatSlotName(const std::wstring& pattern, uint32_t number) {
  std::wstring out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t c = pattern[i];
    if (c != L'%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == L'%') {
      out.push_back(L'%');
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool zero = false;
    if (j < pattern.size() && pattern[j] == L'0') {
      zero = true;
      ++j;
    }
    uint32_t width = 0;
    while (j < pattern.size() && pattern[j] >= L'0' && pattern[j] <= L'9' && width < 100) {
      width = width * 10 + static_cast<uint32_t>(pattern[j] - L'0');
      ++j;
    }
    if (j < pattern.size() && pattern[j] == L'd') {
      std::wstring digits = std::to_wstring(number);
      if (digits.size() < width) digits.insert(0, width - digits.size(), zero ? L'0' : L' ');
      out += digits;
      i = j;
    } else {
      out.push_back(c);
    }
  }
  if (out.size() > kMaxSlotName) out.resize(kMaxSlotName);
  return out;
}

std::wstring MemoBackupJob::BackupName(const std::tm& t) {
  return Format(L"rm%02d%02d%02d_%02d%02d%02d.ogg", (t.tm_year + 1900) % 100, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
}

uint64_t MemoBackupJob::LookupKey(const std::tm& t) {
  return static_cast<uint64_t>(t.tm_year + 1900) * 100000000ull + static_cast<uint64_t>(t.tm_mon + 1) * 1000000ull +
         static_cast<uint64_t>(t.tm_mday) * 10000ull + static_cast<uint64_t>(t.tm_hour) * 100ull +
         static_cast<uint64_t>(t.tm_min);
}

void MemoBackupJob::LookUpCaller(const CallHistoryTable& received, const std::tm& time, std::wstring* number,
                                 std::wstring* name) {
  const uint64_t key = LookupKey(time);
  for (size_t row = received.RowCount(); row-- > 0;) {
    const int r = static_cast<int>(row);
    std::optional<std::wstring> field = received.Cell(r, CallHistory::kReceivedTime);
    const uint64_t t = field ? CallHistory::TimeValue(*field) : 0;
    // key - t < 10 rather than key < t + 10: no overflow for absurd times.
    if (t <= key && key - t < 10) {
      *number = received.Cell(r, CallHistory::kReceivedNumber).value_or(L"");
      *name = received.Cell(r, CallHistory::kReceivedName).value_or(L"");
    }
  }
}

MemoBackupJob::Preparation MemoBackupJob::Prepare() {
  if (!IsExistingFolder(m_options.memoFolder)) {
    Error(kNoFolder);
    return Preparation::NoDestination;
  }
  m_received = CallHistoryTable();
  if (m_options.callerTags) {
    try {
      CallHistory::LoadTable(m_options.receivedHistory, &m_received);
    } catch (const std::exception& e) {
      Trace("MemoBackupJob::Prepare - call history exception: %s\r\n", e.what());
      Error(kHistoryException);
      m_received = CallHistoryTable();
    }
  }
  Scan();
  if (m_counts.total == 0) {
    Status(kNoMessages);
    return Preparation::NoMessages;
  }
  if (m_counts.toBackUp == 0) {
    Status(Format(L"%d 件の伝言メモがあり、全てバックアップ済みです。", static_cast<int>(m_counts.total)));
    return Preparation::AllBackedUp;
  }
  return Preparation::Ready;
}

void MemoBackupJob::Scan() {
  m_counts = Counts();
  m_slots.clear();
  m_tempPath = JoinPath(m_options.memoFolder, kTempName);
  if (m_options.last < m_options.first) return;
  const uint32_t count = m_options.last - m_options.first + 1;
  m_slots.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    MemoSlot& slot = m_slots[i];
    slot.number = m_options.first + i;
    slot.source = ResolveSettingsPath(m_options.sourceFolder + FormatSlotName(m_options.sourcePattern, slot.number));
    uint32_t attributes = 0;
    if (!GetFileAttributes(slot.source, &attributes) || (attributes & kAttrDirectory)) continue;
    slot.exists = true;
    if (!ReadLastWriteTime(slot.source, &slot.received)) {
      slot.failed = true;
      ++m_counts.failed;
      continue;
    }
    ++m_counts.total;
    slot.destination = JoinPath(m_options.memoFolder, BackupName(slot.received));
    if (FileExists(slot.destination)) {
      slot.backedUp = true;
      ++m_counts.backedUp;
      continue;
    }
    ++m_counts.toBackUp;
    if (m_options.callerTags) LookUpCaller(m_received, slot.received, &slot.callerNumber, &slot.callerName);
  }
}

std::wstring MemoBackupJob::ConfirmationText() const {
  return Format(
      L"%d 件の伝言メモをバックアップします。よろしいですか？\r\n\r\n全ての伝言メモ ： %d 件\r\nバックアップ済み ：%d "
      L"件\r\nバックアップ可能 ：%d 件\r\n",
      static_cast<int>(m_counts.toBackUp), static_cast<int>(m_counts.total), static_cast<int>(m_counts.backedUp),
      static_cast<int>(m_counts.toBackUp));
}

bool MemoBackupJob::Begin(WindowId notify) {
  if (!m_master) {
    Error(kStartFailed);
    return false;
  }
  m_master->SetNotify(notify, kWmConvertNotify, 0);
  m_current = -1;
  m_abort = false;
  m_finished = false;
  m_closeByItself = false;
  m_allowance = kAbortAllowance;
  if (!StartNext()) {
    m_master->SetNotify(0, kWmConvertNotify, 0);
    Error(kStartFailed);
    return false;
  }
  return true;
}

bool MemoBackupJob::StartNext() {
  for (int i = m_current < 0 ? 0 : m_current + 1; i < static_cast<int>(m_slots.size()); ++i) {
    MemoSlot& slot = m_slots[static_cast<size_t>(i)];
    if (!slot.ToBackUp()) continue;
    m_current = i;
    if (StartConversion(slot)) return true;
    slot.failed = true;
    ++m_counts.failed;
  }
  m_current = -1;
  return false;
}

bool MemoBackupJob::StartConversion(MemoSlot& slot) {
  m_master->Wait(kPreviousRunWaitMs);
  RefPtr<WaveFileSource> reader = Create<WaveFileSource>();
  RefPtr<VorbisEncoder> encoder = Create<VorbisEncoder>();
  encoder->SetQuality(static_cast<float>(m_options.quality));
  encoder->ClearTags();
  encoder->AddTag(kTagConverter, kProgramTagValue);
  encoder->AddTag(kTagConvertDate, FormatTagDateNow());
  encoder->AddTag(kTagReceiveDate, FormatTagDate(slot.received));
  if (!slot.callerNumber.empty()) encoder->AddTag(kTagTelNo, slot.callerNumber);
  if (!slot.callerName.empty()) encoder->AddTag(kTagTelName, slot.callerName);
  // The temporary file is the job's own: whatever a failed or cut run left
  // there is replaced.
  if (!m_master->Setup(slot.source, reader, m_tempPath, encoder, ConvertOutput::Replace) || !m_master->Start()) {
    Trace("MemoBackupJob::StartConversion - refused. source:%s\r\n", WideToUtf8(slot.source).c_str());
    return false;
  }
  m_converting = true;
  return true;
}

void MemoBackupJob::OnMasterNotice(uintptr_t wParam) {
  if ((wParam & 0xFFFF) != static_cast<uintptr_t>(MasterState::Closed)) return;
  if (!m_converting || m_current < 0 || m_finished) return;
  m_converting = false;
  MemoSlot& slot = m_slots[static_cast<size_t>(m_current)];
  const StopReason reason = m_master->GetStopReason();
  bool ok = false;
  if (reason != StopReason::None && reason != StopReason::EndOfStream) {
    slot.failed = true;
    ++m_counts.failed;
    Error(Format(L"変換に失敗しました。ID = %d", static_cast<int>(StopCode(reason))));
    DeleteFile(m_tempPath);
  } else if (int error = MoveFileNoReplace(m_tempPath, slot.destination)) {
    Trace("MemoBackupJob - rename failed. to:%s error:%d\r\n", WideToUtf8(slot.destination).c_str(), error);
    Error(kRenameFailed);
    slot.failed = true;
    ++m_counts.failed;
    DeleteFile(m_tempPath);
  } else {
    ok = true;
  }
  m_finishedConversions.push_back({m_current, ok});
  ++m_counts.done;
  if (m_abort) {
    Status(kAborted);
    m_finished = true;
    m_master->SetNotify(0, kWmConvertNotify, 0);
    return;
  }
  if (StartNext()) return;
  m_finished = true;
  m_master->SetNotify(0, kWmConvertNotify, 0);
  if (m_counts.failed > 0) {
    Status(kEndedWithErrors);
  } else {
    Status(kCompleted);
    m_closeByItself = true;
  }
}

MemoBackupJob::AbortResult MemoBackupJob::PressAbort() {
  if (m_finished) return AbortResult::Close;
  Status(kAbortAccepted);
  m_abort = true;
  if (m_allowance == 0) {
    Cancel();
    m_finished = true;
    Status(kForcedStop);
    return AbortResult::ForcedStop;
  }
  --m_allowance;
  return AbortResult::Requested;
}

void MemoBackupJob::Cancel() {
  if (!m_master) return;
  if (m_converting) {
    m_master->SetNotify(0, kWmConvertNotify, 0);
    m_master->Close();
    m_master->Wait(kPreviousRunWaitMs);
    m_converting = false;
    // What the cut conversion wrote is no backup.
    DeleteFile(m_tempPath);
  }
}

uint32_t MemoBackupJob::ProgressValue() {
  uint32_t value = m_counts.done * 100;
  if (m_converting && m_master && m_master->IsState(MasterState::Running)) {
    const uint32_t length = m_master->GetLength();
    if (length != 0) {
      const uint64_t share = uint64_t{m_master->GetPosition()} * 100 / length;
      value += static_cast<uint32_t>(share > 100 ? 100 : share);
    }
  }
  return value;
}

std::wstring MemoBackupJob::ProgressText() const {
  return Format(L"%d / %d : 失敗 %d 件", static_cast<int>(m_counts.done), static_cast<int>(m_counts.toBackUp),
                static_cast<int>(m_counts.failed));
}

std::wstring MemoBackupJob::InitialProgressText(uint32_t slotCount) {
  return Format(L"0 / %d 件", static_cast<int>(slotCount));
}

}  // namespace talvinor
