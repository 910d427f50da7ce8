#include "memo/CallHistory.h"

#include <cwchar>
#include <limits>
#include <utility>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/FileTimes.h"
#include "platform/Trace.h"
#include "platform/Unicode.h"
#include "settings/ConfigStore.h"
#include "settings/ConfigValidation.h"

namespace talvinor {

std::optional<std::wstring> CallHistoryTable::Cell(int row, int column) const {
  if (m_rows.empty() || column < 0) return std::nullopt;
  size_t index = 0;
  if (row == kLastRow) {
    index = m_rows.size() - 1;
  } else if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
    return std::nullopt;
  } else {
    index = static_cast<size_t>(row);
  }
  const std::vector<std::wstring>& cells = m_rows[index];
  if (static_cast<size_t>(column) >= cells.size()) return std::nullopt;
  return cells[static_cast<size_t>(column)];
}

void CallHistoryTable::Parse(const std::wstring& text) {
  m_rows.clear();
  size_t end = text.find(L'\0');
  if (end == std::wstring::npos) end = text.size();
  if (end == 0) return;
  std::vector<std::wstring> row;
  std::wstring cell;
  size_t i = 0;
  while (i < end) {
    const wchar_t c = text[i];
    if (c == L'\t') {
      row.push_back(std::move(cell));
      cell.clear();
      ++i;
    } else if (c == L'\r' || c == L'\n') {
      row.push_back(std::move(cell));
      cell.clear();
      m_rows.push_back(std::move(row));
      row.clear();
      i += (c == L'\r' && i + 1 < end && text[i + 1] == L'\n') ? 2 : 1;
      if (i >= end) return;  // a final line end starts no new row
    } else {
      cell.push_back(c);
      ++i;
    }
  }
  row.push_back(std::move(cell));
  m_rows.push_back(std::move(row));
}

CallHistory CallHistory::FromSettings() {
  RefPtr<CONFIG> config = GetConfig();
  return CallHistory(ResolveSettingsPath(config->m_CalledCsvPath), ResolveSettingsPath(config->m_CallingCsvPath));
}

CallHistory::CallHistory(std::wstring receivedPath, std::wstring dialledPath)
    : m_receivedPath(std::move(receivedPath)), m_dialledPath(std::move(dialledPath)) {}

bool CallHistory::LoadReceived(CallHistoryTable* table) const { return LoadTable(m_receivedPath, table); }
bool CallHistory::LoadDialled(CallHistoryTable* table) const { return LoadTable(m_dialledPath, table); }

bool CallHistory::LoadTable(const std::wstring& path, CallHistoryTable* table) {
  if (!table || path.empty()) return false;
  // Only a regular file: a FIFO or a device named in the settings would
  // block or never end.
  if (!IsRegularFile(path)) return false;
  File file;
  if (!file.Open(path, FileOpenMode::Read)) return false;
  uint32_t size = 0;
  if (!file.GetSize(&size)) return false;
  std::string bytes(size, '\0');
  uint32_t done = 0;
  while (done < size) {
    uint32_t got = 0;
    if (!file.Read(bytes.data() + done, size - done, &got)) {
      Trace("CallHistory::LoadTable - read failed. path:%s error:%d\r\n", WideToUtf8(path).c_str(), file.LastError());
      return false;
    }
    if (got == 0) break;  // the phone shortened it meanwhile: take what is there
    done += got;
  }
  bytes.resize(done);
  CallHistoryTable fresh;
  fresh.Parse(AnsiToWide(bytes));
  *table = std::move(fresh);
  return true;
}

namespace {

std::wstring CellText(const std::wstring& text) {
  std::wstring cell = text;
  for (wchar_t& c : cell)
    if (c == L'\t' || c == L'\r' || c == L'\n' || c == L'\0') c = L' ';
  return cell;
}

std::string Row(const std::vector<std::wstring>& cells) {
  std::wstring row;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) row += L'\t';
    row += cells[i];
  }
  return WideToAnsi(row) + "\r\n";
}

}  // namespace

std::wstring CallHistory::FormatTime(const std::tm& t) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
  return text;
}

std::string CallHistory::FormatReceivedRow(const std::wstring& number, const std::wstring& name, const std::tm& time) {
  return Row({CellText(number), L"", FormatTime(time), L"", CellText(name)});
}

std::string CallHistory::FormatDialledRow(const std::wstring& number, const std::wstring& name, const std::tm& time) {
  return Row({CellText(number), FormatTime(time), L"", CellText(name)});
}

uint64_t CallHistory::TimeValue(const std::wstring& field) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t value = 0;
  for (wchar_t c : field) {
    if (c < L'0' || c > L'9') break;
    const uint64_t digit = static_cast<uint64_t>(c - L'0');
    if (value > (kMax - digit) / 10) return kMax;
    value = value * 10 + digit;
  }
  return value;
}

bool CallHistory::GetLatestCall(std::wstring* number, std::wstring* time, std::wstring* name,
                                uint32_t* direction) const {
  CallHistoryTable received;
  CallHistoryTable dialled;
  const bool haveReceived = LoadReceived(&received);
  const bool haveDialled = LoadDialled(&dialled);
  if (!haveReceived && !haveDialled) return false;

  auto timeOf = [](const CallHistoryTable& table, int column) -> uint64_t {
    std::optional<std::wstring> cell = table.Cell(CallHistoryTable::kLastRow, column);
    return cell ? TimeValue(*cell) : 0;
  };
  const uint64_t tr = haveReceived ? timeOf(received, kReceivedTime) : 0;
  const uint64_t td = haveDialled ? timeOf(dialled, kDialledTime) : 0;

  const bool takeDialled = td >= tr;
  const CallHistoryTable& table = takeDialled ? dialled : received;
  const int numberColumn = takeDialled ? kDialledNumber : kReceivedNumber;
  const int timeColumn = takeDialled ? kDialledTime : kReceivedTime;
  const int nameColumn = takeDialled ? kDialledName : kReceivedName;
  auto copy = [&table](int column, std::wstring* out) {
    if (!out) return;
    if (std::optional<std::wstring> cell = table.Cell(CallHistoryTable::kLastRow, column)) *out = std::move(*cell);
  };
  copy(numberColumn, number);
  copy(timeColumn, time);
  copy(nameColumn, name);
  if (direction) *direction = takeDialled ? 0 : 1;
  return true;
}

bool CallHistory::GetLatestCall(CallHistoryEntry* entry) const {
  if (!entry) return false;
  return GetLatestCall(&entry->number, &entry->time, &entry->name, &entry->direction);
}

}  // namespace talvinor
