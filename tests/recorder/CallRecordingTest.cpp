#include "recorder/CallRecording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <new>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "platform/registry/Registry.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;
namespace fs = std::filesystem;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> FilesUnder(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

class CallRecordingRenameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_folder.File("calls"));
    WriteBytes(Recording(), "RIFF");
  }
  std::string Recording() const { return m_folder.File("calls/rz20240102_153000.wav"); }
  CallHistory History() const {
    return CallHistory(m_folder.WFile(L"calledhistory.dat"), m_folder.WFile(L"callinghistory.dat"));
  }
  void Received(const std::wstring& text) { WriteBytes(m_folder.File("calledhistory.dat"), WideToAnsi(text)); }
  void Dialled(const std::wstring& text) { WriteBytes(m_folder.File("callinghistory.dat"), WideToAnsi(text)); }
  CallRenameResult Rename(std::vector<std::wstring>* errors = nullptr) {
    return RenameWithCallInfo(Utf8ToWide(Recording()), History(), [errors](const std::wstring& text) {
      if (errors) errors->push_back(text);
    });
  }
  TempFolder m_folder;
};

TEST_F(CallRecordingRenameTest, ReceivedCallGetsNumberAndNameBeforeTheExtension) {
  Received(L"0312345678\t1\t202401021529\t2\t山田\r\n");
  std::vector<std::wstring> errors;
  CallRenameResult result = Rename(&errors);
  EXPECT_TRUE(result.renamed);
  const std::string expected = m_folder.File("calls/rz20240102_153000_着信_0312345678_山田.wav");
  EXPECT_EQ(WideToUtf8(result.path), expected);
  EXPECT_TRUE(fs::exists(expected));
  EXPECT_FALSE(fs::exists(Recording()));
  EXPECT_TRUE(errors.empty());
}

TEST_F(CallRecordingRenameTest, DialledCallWithoutNameLeavesTheNamePartEmpty) {
  Dialled(L"0120000000\t202401021530\n");
  CallRenameResult result = Rename();
  EXPECT_TRUE(result.renamed);
  EXPECT_TRUE(fs::exists(m_folder.File("calls/rz20240102_153000_発信_0120000000_.wav")));
}

TEST_F(CallRecordingRenameTest, SlashInNameOrNumberKeepsTheFirstNameAndMovesNothing) {
  Received(L"");
  const std::vector<std::string> before = FilesUnder(m_folder.Path());
  for (const wchar_t* row : {L"03/1234\t1\t202401021529\t2\tname\n", L"0312345678\t1\t202401021529\t2\t../../x\n",
                                  L"0312345678\t1\t202401021529\t2\t山田/佐藤\n"}) {
    Received(row);
    CallRenameResult result = Rename();
    EXPECT_FALSE(result.renamed);
    EXPECT_EQ(WideToUtf8(result.path), Recording());
    EXPECT_TRUE(fs::exists(Recording()));
    EXPECT_EQ(FilesUnder(m_folder.Path()), before);
  }
}

TEST_F(CallRecordingRenameTest, ExistingTargetIsNeverReplaced) {
  Received(L"0312345678\t1\t202401021529\t2\t山田\n");
  const std::string target = m_folder.File("calls/rz20240102_153000_着信_0312345678_山田.wav");
  WriteBytes(target, "older");
  EXPECT_FALSE(Rename().renamed);
  EXPECT_TRUE(fs::exists(Recording()));
  std::ifstream in(target);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "older");
}

TEST_F(CallRecordingRenameTest, MissingHistoryKeepsTheNameSilently) {
  std::vector<std::wstring> errors;
  CallRenameResult result = Rename(&errors);
  EXPECT_FALSE(result.renamed);
  EXPECT_FALSE(result.historyFailed);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(fs::exists(Recording()));
}

TEST_F(CallRecordingRenameTest, ExceptionWhileReadingHistoryIsShownAndKeepsTheName) {
  std::vector<std::wstring> errors;
  CallRenameResult result = RenameWithCallInfo(
      Utf8ToWide(Recording()), [](CallHistoryEntry*) -> bool { throw std::bad_alloc(); },
      [&errors](const std::wstring& text) { errors.push_back(text); });
  EXPECT_FALSE(result.renamed);
  EXPECT_TRUE(result.historyFailed);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], L"Exception:通話履歴の取得中");
  EXPECT_TRUE(fs::exists(Recording()));
}

TEST(CallRecordingNameTest, OnlyADotInTheFileNameCounts) {
  CallHistoryEntry call{L"0312345678", L"", L"山田", 1};
  EXPECT_EQ(CallRecordingName(L"/a.b/rz1", call), L"/a.b/rz1_着信_0312345678_山田");
  EXPECT_EQ(CallRecordingName(L"/a/rz1.x.ogg", call), L"/a/rz1.x_着信_0312345678_山田.ogg");
  call.name = std::wstring(L"a\0b", 3);
  EXPECT_EQ(CallRecordingName(L"/a/rz1.ogg", call), L"");
}

TEST(DialKeyStatusStoreTest, MissingKeyChangesNothing) {
  TempFolder folder;
  Registry registry(folder.File("store"));
  EXPECT_FALSE(EnsureDialKeyStatus(registry));
  EXPECT_FALSE(fs::exists(folder.File("store")));
  registry.SetDword(L"Software\\Other", L"X", 1);
  const std::string before = [&] {
    std::ifstream in(registry.FilePath());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  EXPECT_FALSE(EnsureDialKeyStatus(registry));
  std::ifstream in(registry.FilePath());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
  EXPECT_FALSE(registry.KeyExists(kPhoneStatusKey));
}

TEST(DialKeyStatusStoreTest, OtherValueBecomesSevenAndSevenStays) {
  TempFolder folder;
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetDword(kPhoneStatusKey, kPhoneStatusValue, 3));
  EXPECT_TRUE(EnsureDialKeyStatus(registry));
  uint32_t value = 0;
  ASSERT_TRUE(registry.QueryDword(kPhoneStatusKey, kPhoneStatusValue, &value));
  EXPECT_EQ(value, 7u);
  EXPECT_TRUE(EnsureDialKeyStatus(registry));
  ASSERT_TRUE(registry.QueryDword(kPhoneStatusKey, kPhoneStatusValue, &value));
  EXPECT_EQ(value, 7u);
}

TEST(DialKeyStatusStoreTest, ValueOfAnotherTypeIsLeftAlone) {
  TempFolder folder;
  Registry registry(folder.Path());
  ASSERT_TRUE(registry.SetString(kPhoneStatusKey, kPhoneStatusValue, L"3"));
  EXPECT_FALSE(EnsureDialKeyStatus(registry));
  std::wstring text;
  ASSERT_TRUE(registry.QueryString(kPhoneStatusKey, kPhoneStatusValue, &text));
  EXPECT_EQ(text, L"3");
}

}  // namespace
}  // namespace talvinor
