#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace talvinor {

// One loaded call-history file: rows of TAB-separated cells in file order,
// the newest call last.
class CallHistoryTable {
 public:
  // Row -1 is the last row.
  static constexpr int kLastRow = -1;

  // The cell at (row, column); nothing when that row or column is absent.
  std::optional<std::wstring> Cell(int row, int column) const;
  size_t RowCount() const { return m_rows.size(); }
  bool IsEmpty() const { return m_rows.empty(); }

  // Splits a whole text: a TAB ends a cell; CR, LF or CR LF ends a row; a
  // zero character or the end of the text ends the table. A row end right
  // before the end does not start another row.
  void Parse(const std::wstring& text);

  std::vector<std::vector<std::wstring>> m_rows;
};

// The latest call of both histories.
struct CallHistoryEntry {
  std::wstring number;
  std::wstring time;  // the raw time field
  std::wstring name;
  uint32_t direction = 0;  // 1 received, 0 dialled
};

// The phone's two call-history files, the received calls and the dialled
// calls. Both are written by the phone software and only ever read here,
// whole, on each call: nothing is kept open or cached.
class CallHistory {
 public:
  // Fields of the received-calls file.
  static constexpr int kReceivedNumber = 0;
  static constexpr int kReceivedTime = 2;
  static constexpr int kReceivedName = 4;
  // Fields of the dialled-calls file.
  static constexpr int kDialledNumber = 0;
  static constexpr int kDialledTime = 1;
  static constexpr int kDialledName = 3;

  // The files the settings name (relative paths from the program folder).
  static CallHistory FromSettings();
  CallHistory(std::wstring receivedPath, std::wstring dialledPath);

  const std::wstring& ReceivedPath() const { return m_receivedPath; }
  const std::wstring& DialledPath() const { return m_dialledPath; }

  // A fresh table from the file; false (the table untouched) when the file
  // is missing or cannot be read. May throw std::bad_alloc on a huge file;
  // callers catch it.
  bool LoadReceived(CallHistoryTable* table) const;
  bool LoadDialled(CallHistoryTable* table) const;
  static bool LoadTable(const std::wstring& path, CallHistoryTable* table);

  // The newer of the two files' last rows; equal times go to the dialled
  // call. False when neither file loads. Out values of absent cells (and
  // null out pointers) are left alone.
  bool GetLatestCall(std::wstring* number, std::wstring* time, std::wstring* name, uint32_t* direction) const;
  bool GetLatestCall(CallHistoryEntry* entry) const;

  // A row as the phone writes it, for tools that keep the files themselves:
  // the number, the name and the time (YYYYMMDDhhmm of `time`) in their
  // fields, CR LF at the end, in CP932. TAB, CR, LF and zero characters in
  // the number or name become spaces, so a row never splits.
  static std::string FormatReceivedRow(const std::wstring& number, const std::wstring& name, const std::tm& time);
  static std::string FormatDialledRow(const std::wstring& number, const std::wstring& name, const std::tm& time);
  static std::wstring FormatTime(const std::tm& time);

  // The number the time field's leading decimal digits make (0 when it does
  // not start with a digit); saturates rather than wraps on absurdly long
  // digit runs.
  static uint64_t TimeValue(const std::wstring& field);

 private:
  std::wstring m_receivedPath;
  std::wstring m_dialledPath;
};

}  // namespace talvinor
