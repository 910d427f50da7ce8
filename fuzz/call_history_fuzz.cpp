// The call-history reader: any bytes as the phone's two history files (the
// first byte says where the received file ends and the dialled one starts).
// The latest call must be the last row of the newer file, and a row the
// program formats from what it read must read back as that row.
#include <algorithm>
#include <ctime>

#include "fuzz/FuzzSupport.h"
#include "memo/CallHistory.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"

using namespace talvinor;
using namespace talvinor::fuzz;

namespace {

std::tm CallTime(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return t;
}

// The split byte first, then both files: the form the target reads.
std::string Pair(const std::string& received, const std::string& dialled) {
  const size_t split = std::min<size_t>(received.size(), 255);
  return std::string(1, static_cast<char>(split)) + received.substr(0, split) + dialled;
}

const std::wstring& ReceivedPath() {
  static const std::wstring path = Utf8ToWide(ScratchFolder() + "/received.csv");
  return path;
}

const std::wstring& DialledPath() {
  static const std::wstring path = Utf8ToWide(ScratchFolder() + "/dialled.csv");
  return path;
}

}  // namespace

void WriteSeeds(const FuzzSeeds& seeds) {
  const std::string received = CallHistory::FormatReceivedRow(L"09012345678", L"山田 太郎", CallTime(2026, 3, 1, 9, 5)) +
                               CallHistory::FormatReceivedRow(L"0312345678", L"表\t計", CallTime(2026, 3, 2, 18, 40));
  const std::string dialled = CallHistory::FormatDialledRow(L"117", L"", CallTime(2026, 3, 2, 7, 0)) +
                              CallHistory::FormatDialledRow(L"0451112222", L"ソフト", CallTime(2026, 3, 3, 23, 59));
  seeds.Add("both.bin", Pair(received, dialled));
  seeds.Add("received-newer.bin", Pair(dialled.substr(0, dialled.find('\n') + 1), received));
  seeds.Add("equal-times.bin",
            Pair(CallHistory::FormatReceivedRow(L"1", L"a", CallTime(2026, 1, 1, 0, 0)),
                 CallHistory::FormatDialledRow(L"2", L"b", CallTime(2026, 1, 1, 0, 0))));
  // Bare LF and CR rows, a zero byte ending the table early, no final row end.
  seeds.Add("line-ends.bin", Pair(std::string("1\t\t202601010000\t\tx\n2\t\t2026\r"), std::string("3\t202601\r\n\0zz", 14)));
  seeds.Add("empty.bin", std::string(1, '\0'));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t split = std::min<size_t>(data[0], size - 1);
  WriteBytes(WideToUtf8(ReceivedPath()), data + 1, split);
  WriteBytes(WideToUtf8(DialledPath()), data + 1 + split, size - 1 - split);

  CallHistory history(ReceivedPath(), DialledPath());
  CallHistoryTable received;
  CallHistoryTable dialled;
  TALVINOR_FUZZ_CHECK(history.LoadReceived(&received));
  TALVINOR_FUZZ_CHECK(history.LoadDialled(&dialled));
  for (const CallHistoryTable* table : {&received, &dialled}) {
    for (const std::vector<std::wstring>& row : table->m_rows) {
      TALVINOR_FUZZ_CHECK(!row.empty());
      for (const std::wstring& cell : row)
        TALVINOR_FUZZ_CHECK(cell.find_first_of(std::wstring(L"\t\r\n\0", 4)) == std::wstring::npos);
    }
  }

  CallHistoryEntry latest;
  latest.direction = 7;
  TALVINOR_FUZZ_CHECK(history.GetLatestCall(&latest));
  TALVINOR_FUZZ_CHECK(latest.direction == 0 || latest.direction == 1);
  auto cell = [](const CallHistoryTable& table, int column) {
    return table.Cell(CallHistoryTable::kLastRow, column).value_or(L"");
  };
  const uint64_t receivedTime = CallHistory::TimeValue(cell(received, CallHistory::kReceivedTime));
  const uint64_t dialledTime = CallHistory::TimeValue(cell(dialled, CallHistory::kDialledTime));
  if (latest.direction == 0) {
    TALVINOR_FUZZ_CHECK(dialledTime >= receivedTime);
    TALVINOR_FUZZ_CHECK(latest.number == cell(dialled, CallHistory::kDialledNumber));
    TALVINOR_FUZZ_CHECK(latest.name == cell(dialled, CallHistory::kDialledName));
  } else {
    TALVINOR_FUZZ_CHECK(receivedTime > dialledTime);
    TALVINOR_FUZZ_CHECK(latest.number == cell(received, CallHistory::kReceivedNumber));
    TALVINOR_FUZZ_CHECK(latest.name == cell(received, CallHistory::kReceivedName));
  }

  // What the program writes of the latest call is one row that reads back
  // to the same number and name, once they have been through CP932.
  const std::wstring number = AnsiToWide(WideToAnsi(latest.number));
  const std::wstring name = AnsiToWide(WideToAnsi(latest.name));
  CallHistoryTable written;
  written.Parse(AnsiToWide(CallHistory::FormatReceivedRow(number, name, CallTime(2026, 12, 31, 23, 59))));
  TALVINOR_FUZZ_CHECK(written.RowCount() == 1);
  TALVINOR_FUZZ_CHECK(written.Cell(0, CallHistory::kReceivedNumber) == number);
  TALVINOR_FUZZ_CHECK(written.Cell(0, CallHistory::kReceivedName) == name);
  TALVINOR_FUZZ_CHECK(CallHistory::TimeValue(*written.Cell(0, CallHistory::kReceivedTime)) == 202612312359u);
  return 0;
}
