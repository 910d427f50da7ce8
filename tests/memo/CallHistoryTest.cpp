#include "memo/CallHistory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/CodePage.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

TEST(CallHistoryTableTest, SplitsCellsAndRowsOnEveryLineEnd) {
  CallHistoryTable table;
  table.Parse(L"a\tb\r\nc\rd\te\nf");
  ASSERT_EQ(table.RowCount(), 4u);
  EXPECT_EQ(table.Cell(0, 1).value_or(L"?"), L"b");
  EXPECT_EQ(table.Cell(1, 0).value_or(L"?"), L"c");
  EXPECT_EQ(table.Cell(2, 1).value_or(L"?"), L"e");
  // The last line has no line end and still is a row.
  EXPECT_EQ(table.Cell(CallHistoryTable::kLastRow, 0).value_or(L"?"), L"f");
  EXPECT_FALSE(table.Cell(4, 0));
  EXPECT_FALSE(table.Cell(0, 2));
  EXPECT_FALSE(table.Cell(-2, 0));
}

TEST(CallHistoryTableTest, FinalLineEndStartsNoRowAndZeroEndsTheTable) {
  CallHistoryTable table;
  table.Parse(L"a\r\nb\r\n");
  ASSERT_EQ(table.RowCount(), 2u);
  EXPECT_EQ(table.Cell(-1, 0).value_or(L"?"), L"b");
  table.Parse(std::wstring(L"x\ny\0z\n", 6));
  ASSERT_EQ(table.RowCount(), 2u);
  EXPECT_EQ(table.Cell(-1, 0).value_or(L"?"), L"y");
  table.Parse(L"");
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_FALSE(table.Cell(-1, 0));
}

TEST(CallHistoryTest, TimeValueReadsLeadingDigitsOnly) {
  EXPECT_EQ(CallHistory::TimeValue(L"202401021530"), 202401021530ull);
  EXPECT_EQ(CallHistory::TimeValue(L"2024/01/02 15:30"), 2024u);
  EXPECT_EQ(CallHistory::TimeValue(L""), 0u);
  EXPECT_EQ(CallHistory::TimeValue(L"abc"), 0u);
  EXPECT_EQ(CallHistory::TimeValue(L"99999999999999999999999"), UINT64_MAX);
}

class CallHistoryFilesTest : public ::testing::Test {
 protected:
  std::string Received() const { return m_folder.File("calledhistory.dat"); }
  std::string Dialled() const { return m_folder.File("callinghistory.dat"); }
  CallHistory History() const { return CallHistory(m_folder.WFile(L"calledhistory.dat"), m_folder.WFile(L"callinghistory.dat")); }
  TempFolder m_folder;
};

TEST_F(CallHistoryFilesTest, NoFileMeansFailureAndUntouchedOutValues) {
  std::wstring number = L"keep";
  uint32_t direction = 9;
  EXPECT_FALSE(History().GetLatestCall(&number, nullptr, nullptr, &direction));
  EXPECT_EQ(number, L"keep");
  EXPECT_EQ(direction, 9u);
  CallHistoryTable table;
  table.Parse(L"old");
  EXPECT_FALSE(History().LoadReceived(&table));
  EXPECT_EQ(table.Cell(0, 0).value_or(L""), L"old");
}

TEST_F(CallHistoryFilesTest, AFifoOrAFolderInPlaceOfAFileIsNoHistory) {
  ASSERT_EQ(::mkfifo(Received().c_str(), 0600), 0);
  std::filesystem::create_directory(Dialled());
  CallHistoryTable table;
  EXPECT_FALSE(History().LoadReceived(&table));
  EXPECT_FALSE(History().LoadDialled(&table));
  EXPECT_FALSE(History().GetLatestCall(nullptr, nullptr, nullptr, nullptr));
}

TEST_F(CallHistoryFilesTest, OnlyReceivedFileChoosesItsLastRow) {
  WriteBytes(Received(), WideToAnsi(L"0311111111\tx\t202401010900\ty\t佐藤\r\n0312345678\tx\t202301010900\ty\t山田"));
  CallHistoryEntry call;
  ASSERT_TRUE(History().GetLatestCall(&call));
  EXPECT_EQ(call.direction, 1u);
  EXPECT_EQ(call.number, L"0312345678");
  EXPECT_EQ(call.time, L"202301010900");
  EXPECT_EQ(call.name, L"山田");
}

TEST_F(CallHistoryFilesTest, NewerCallWinsAndEqualTimesGoToTheDialledCall) {
  WriteBytes(Received(), "0311111111\tx\t202401010900\ty\tReceived\n");
  WriteBytes(Dialled(), "0322222222\t202401010859\tz\tDialled\n");
  CallHistoryEntry call;
  ASSERT_TRUE(History().GetLatestCall(&call));
  EXPECT_EQ(call.direction, 1u);
  EXPECT_EQ(call.name, L"Received");

  WriteBytes(Dialled(), "0322222222\t202401010900\tz\tDialled\n");
  call = CallHistoryEntry();
  ASSERT_TRUE(History().GetLatestCall(&call));
  EXPECT_EQ(call.direction, 0u);
  EXPECT_EQ(call.number, L"0322222222");
  EXPECT_EQ(call.name, L"Dialled");
}

TEST_F(CallHistoryFilesTest, TwoFieldRowLeavesTheNameAlone) {
  WriteBytes(Dialled(), "0322222222\t202401010900");
  std::wstring number, time, name = L"unchanged";
  uint32_t direction = 7;
  ASSERT_TRUE(History().GetLatestCall(&number, &time, &name, &direction));
  EXPECT_EQ(number, L"0322222222");
  EXPECT_EQ(time, L"202401010900");
  EXPECT_EQ(name, L"unchanged");
  EXPECT_EQ(direction, 0u);
}

TEST_F(CallHistoryFilesTest, Cp932NamesWithBackslashTrailByteSurvive) {
  // 表 is 0x95 0x5C and ソ is 0x83 0x5C in CP932: the trail byte is '\'.
  const std::string bytes = WideToAnsi(L"0312345678\tx\t202401010900\ty\t表ソ太郎\r\n");
  ASSERT_NE(bytes.find('\x5C'), std::string::npos);
  WriteBytes(Received(), bytes);
  CallHistoryEntry call;
  ASSERT_TRUE(History().GetLatestCall(&call));
  EXPECT_EQ(call.name, L"表ソ太郎");
}

TEST_F(CallHistoryFilesTest, RowsWrittenForThePhoneReadBackAndNeverSplit) {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 9;
  t.tm_min = 5;
  WriteBytes(Received(), CallHistory::FormatReceivedRow(L"0312345678", L"表\t山田\r\n", t));
  WriteBytes(Dialled(), CallHistory::FormatDialledRow(L"0120\n000", L"", t));
  CallHistoryTable received;
  ASSERT_TRUE(History().LoadReceived(&received));
  ASSERT_EQ(received.RowCount(), 1u);
  EXPECT_EQ(received.Cell(0, 2).value_or(L""), L"202401020905");
  EXPECT_EQ(received.Cell(0, 4).value_or(L""), L"表 山田  ");
  CallHistoryEntry call;
  ASSERT_TRUE(History().GetLatestCall(&call));
  EXPECT_EQ(call.direction, 0u) << "equal times go to the dialled call";
  EXPECT_EQ(call.number, L"0120 000");
  EXPECT_EQ(call.time, L"202401020905");
}

}  // namespace
}  // namespace talvinor
