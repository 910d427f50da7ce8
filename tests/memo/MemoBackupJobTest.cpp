#include "memo/MemoBackupJob.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "audio/NullSource.h"
#include "codec/VorbisEncoder.h"
#include "codec/WaveFileSource.h"
#include "codec/WavBuilder.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "platform/window/HeadlessMessageQueue.h"
#include "support/ShellRun.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::TempFolder;
namespace fs = std::filesystem;

struct Messages : MemoBackupReporter {
  void ShowStatus(const std::wstring& text) override { status.push_back(text); }
  void ShowError(const std::wstring& text) override { errors.push_back(text); }
  std::vector<std::wstring> status;
  std::vector<std::wstring> errors;
};

std::string Tone(uint32_t rate, double seconds, double frequency = 440.0) {
  std::string pcm;
  const uint32_t frames = static_cast<uint32_t>(rate * seconds);
  for (uint32_t i = 0; i < frames; ++i) {
    const double v = 0.4 * std::sin(2 * M_PI * frequency * i / rate) + 0.2 * std::sin(2 * M_PI * 1234.0 * i / rate);
    testing::Append16(pcm, static_cast<uint16_t>(static_cast<int16_t>(v * 32767)));
  }
  return pcm;
}

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return t;
}

void SetModified(const std::string& path, std::tm local) {
  struct utimbuf times {};
  times.actime = times.modtime = std::mktime(&local);
  ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

struct FileState {
  std::string bytes;
  struct timespec modified {};
  bool operator==(const FileState& other) const {
    return bytes == other.bytes && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};
FileState StateOf(const std::string& path) {
  FileState state;
  state.bytes = testing::ReadFile(path);
  struct stat info {};
  ::stat(path.c_str(), &info);
  state.modified = info.st_mtim;
  return state;
}

class MemoBackupJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_folder.File("phone"));
    fs::create_directories(m_folder.File("memo"));
    m_options.sourceFolder = m_folder.WPath() + L"/phone/";
    m_options.sourcePattern = L"shrec%d.wav";
    m_options.first = 1;
    m_options.last = 5;
    m_options.memoFolder = m_folder.WFile(L"memo");
    m_options.quality = 0.3;
    m_options.callerTags = true;
    m_options.receivedHistory = m_folder.WFile(L"calledhistory.dat");
    m_master = Create<ConvertMaster>();
  }
  void TearDown() override {
    if (m_master) {
      m_master->Close();
      m_master->Wait(5000);
    }
    // Whatever the run came to, the phone's message files are as they were.
    for (const auto& [path, state] : m_messageStates) EXPECT_EQ(StateOf(path), state) << path;
  }

  std::string Message(int slot) const { return m_folder.File("phone/shrec" + std::to_string(slot) + ".wav"); }
  std::string Memo(const std::string& name) const { return m_folder.File("memo/" + name); }
  void PutMessage(int slot, const std::tm& received, const std::string& bytes) {
    testing::WriteFile(Message(slot), bytes);
    SetModified(Message(slot), received);
    m_messageStates[Message(slot)] = StateOf(Message(slot));
  }
  void PutHistory(const std::wstring& text) {
    testing::WriteFile(m_folder.File("calledhistory.dat"), WideToAnsi(text));
  }
  RefPtr<MemoBackupJob> MakeJob() { return Create<MemoBackupJob>(m_options, m_master, &m_messages); }
  // Forwards the master's notices until the run has finished.
  bool Pump(MemoBackupJob* job, uint32_t timeoutMs = 30000) {
    while (!job->IsFinished()) {
      std::optional<WindowMessage> notice = m_window.TakeMessage(kWmConvertNotify, timeoutMs);
      if (!notice) return false;
      job->OnMasterNotice(notice->wParam);
    }
    return true;
  }

  TempFolder m_folder;
  MemoBackupOptions m_options;
  RefPtr<ConvertMaster> m_master;
  Messages m_messages;
  HeadlessMessageQueue m_window;
  std::map<std::string, FileState> m_messageStates;
};

TEST_F(MemoBackupJobTest, BacksUpOnlyWhatHasNoBackupAndNeverTouchesTheMessages) {
  const std::tm second = LocalTime(2024, 1, 2, 10, 9, 30);
  const std::tm fourth = LocalTime(2024, 1, 3, 8, 0, 0);
  const std::string pcm = Tone(8000, 1.5);
  PutMessage(2, second, testing::SimpleWav(pcm, 1, 8000, 16));
  PutMessage(4, fourth, testing::SimpleWav(Tone(8000, 0.5), 1, 8000, 16));
  testing::WriteFile(Memo("rm240103_080000.ogg"), "older backup");
  PutHistory(L"0399999999\t1\t202401020959\t2\t早すぎ\r\n0312345678\t1\t202401021000\t2\t表ソ山田\r\n");
  const FileState before2 = StateOf(Message(2));
  const FileState before4 = StateOf(Message(4));

  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  EXPECT_EQ(job->GetCounts().toBackUp, 1u);
  EXPECT_EQ(job->GetCounts().total, 2u);
  EXPECT_EQ(job->GetCounts().backedUp, 1u);
  EXPECT_EQ(job->ProgressRange(), 100u);
  EXPECT_EQ(job->ConfirmationText(),
            L"1 件の伝言メモをバックアップします。よろしいですか？\r\n\r\n全ての伝言メモ ： 2 件\r\nバックアップ済み ：1 "
            L"件\r\nバックアップ可能 ：1 件\r\n");
  ASSERT_TRUE(job->Begin(m_window.Id()));
  ASSERT_TRUE(Pump(job.Get()));
  EXPECT_TRUE(job->ShouldCloseByItself());
  EXPECT_EQ(job->ProgressValue(), 100u);
  EXPECT_EQ(job->ProgressText(), L"1 / 1 : 失敗 0 件");
  EXPECT_EQ(m_messages.status.back(), MemoBackupJob::kCompleted);
  EXPECT_TRUE(m_messages.errors.empty());

  const std::string backup = Memo("rm240102_100930.ogg");
  ASSERT_TRUE(fs::exists(backup));
  EXPECT_FALSE(fs::exists(Memo("rmogg.tmp")));
  EXPECT_EQ(testing::ReadFile(Memo("rm240103_080000.ogg")), "older backup");
  EXPECT_EQ(StateOf(Message(2)), before2);
  EXPECT_EQ(StateOf(Message(4)), before4);

  // The backup decodes to the message's sound.
  testing::ShellRun decode = testing::RunShell("", "oggdec -Q -R -o '" + m_folder.File("out.raw") + "' '" + backup + "'");
  ASSERT_EQ(decode.status, 0) << decode.err;
  const std::string decoded = testing::ReadFile(m_folder.File("out.raw"));
  ASSERT_EQ(decoded.size(), pcm.size());
  double signal = 0, noise = 0;
  for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
    const int16_t a = static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) | (static_cast<uint8_t>(pcm[i + 1]) << 8));
    const int16_t b =
        static_cast<int16_t>(static_cast<uint8_t>(decoded[i]) | (static_cast<uint8_t>(decoded[i + 1]) << 8));
    signal += double(a) * a;
    noise += double(a - b) * (a - b);
  }
  EXPECT_GT(10 * std::log10(signal / noise), 15.0);

  // The tags, in CP932; the caller is the 10:00 row, not the 09:59 one.
  testing::ShellRun tags = testing::RunShell("", "vorbiscomment -l -R '" + backup + "'");
  ASSERT_EQ(tags.status, 0) << tags.err;
  EXPECT_NE(tags.out.find("CONVERTER=TALVINOR"), std::string::npos) << tags.out;
  EXPECT_NE(tags.out.find("CONVERTDATE="), std::string::npos);
  EXPECT_NE(tags.out.find("RECEIVEDATE=2024/1/2 10:09:30"), std::string::npos);
  EXPECT_NE(tags.out.find("TELNO=0312345678"), std::string::npos);
  EXPECT_NE(tags.out.find("TELNAME=" + WideToAnsi(L"表ソ山田")), std::string::npos);
}

TEST_F(MemoBackupJobTest, UnknownCallerWritesNoCallerTags) {
  PutMessage(1, LocalTime(2024, 5, 6, 7, 8, 9), testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  ASSERT_TRUE(job->Begin(m_window.Id()));
  ASSERT_TRUE(Pump(job.Get()));
  testing::ShellRun tags = testing::RunShell("", "vorbiscomment -l -R '" + Memo("rm240506_070809.ogg") + "'");
  ASSERT_EQ(tags.status, 0) << tags.err;
  EXPECT_EQ(tags.out.find("TELNO"), std::string::npos) << tags.out;
  EXPECT_EQ(tags.out.find("TELNAME"), std::string::npos);
}

TEST(MemoCallerLookupTest, MatchesTheTenMinuteWindowWithoutCarryingAcrossTheHour) {
  CallHistoryTable table;
  table.Parse(L"A\t\t202401020959\t\ta\nB\t\t202401021000\t\tb\nC\t\t202401021049\t\tc\nD\t\t202401021050\t\td\n"
              L"E\t\t202401021059\t\te\nF\t\t202401021100\t\tf\n");
  auto lookup = [&table](int hour, int minute) {
    std::wstring number, name;
    MemoBackupJob::LookUpCaller(table, LocalTime(2024, 1, 2, hour, minute, 0), &number, &name);
    return number;
  };
  EXPECT_EQ(lookup(10, 9), L"B");
  EXPECT_EQ(lookup(10, 0), L"B");
  EXPECT_EQ(lookup(9, 59), L"A");
  EXPECT_EQ(lookup(10, 10), L"");
  // 10:59 falls in 10:50 .. 10:59; the file's first such row stands.
  EXPECT_EQ(lookup(10, 59), L"D");
  EXPECT_EQ(lookup(11, 5), L"F");
  EXPECT_EQ(MemoBackupJob::LookupKey(LocalTime(2024, 1, 2, 10, 9, 0)), 202401021009ull);
}

TEST(MemoSlotNameTest, OnlyTheNumberIsFormattedAndBadPatternsStayHarmless) {
  EXPECT_EQ(MemoBackupJob::FormatSlotName(L"shrec%d.wav", 3), L"shrec3.wav");
  EXPECT_EQ(MemoBackupJob::FormatSlotName(L"m%03d.wav", 7), L"m007.wav");
  EXPECT_EQ(MemoBackupJob::FormatSlotName(L"%s%n%%%d", 12), L"%s%n%12");
  EXPECT_EQ(MemoBackupJob::FormatSlotName(std::wstring(300, L'x'), 1).size(), 128u);
  EXPECT_EQ(MemoBackupJob::BackupName(LocalTime(2009, 12, 31, 23, 5, 7)), L"rm091231_230507.ogg");
}

TEST_F(MemoBackupJobTest, NothingToDoEndsWithItsMessage) {
  m_options.memoFolder = m_folder.WFile(L"missing");
  EXPECT_EQ(MakeJob()->Prepare(), MemoBackupJob::Preparation::NoDestination);
  ASSERT_EQ(m_messages.errors.size(), 1u);
  EXPECT_EQ(m_messages.errors[0], MemoBackupJob::kNoFolder);

  m_options.memoFolder = m_folder.WFile(L"memo");
  EXPECT_EQ(MakeJob()->Prepare(), MemoBackupJob::Preparation::NoMessages);
  EXPECT_EQ(m_messages.status.back(), MemoBackupJob::kNoMessages);

  PutMessage(3, LocalTime(2024, 1, 2, 3, 4, 5), testing::SimpleWav(Tone(8000, 0.1), 1, 8000, 16));
  testing::WriteFile(Memo("rm240102_030405.ogg"), "x");
  EXPECT_EQ(MakeJob()->Prepare(), MemoBackupJob::Preparation::AllBackedUp);
  EXPECT_EQ(m_messages.status.back(), L"1 件の伝言メモがあり、全てバックアップ済みです。");
  EXPECT_EQ(fs::directory_iterator(m_folder.File("memo"))->path().filename(), "rm240102_030405.ogg");
}

TEST_F(MemoBackupJobTest, DamagedMessageFailsAloneAndTheRunEndsWithErrors) {
  PutMessage(1, LocalTime(2024, 1, 2, 3, 0, 1), "RIFF\x10\0\0\0WAVEjunkjunk");
  PutMessage(2, LocalTime(2024, 1, 2, 3, 0, 2), testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  EXPECT_EQ(job->GetCounts().toBackUp, 2u);
  ASSERT_TRUE(job->Begin(m_window.Id()));
  ASSERT_TRUE(Pump(job.Get()));
  EXPECT_FALSE(job->ShouldCloseByItself());
  EXPECT_EQ(job->GetCounts().failed, 1u);
  EXPECT_EQ(job->GetCounts().done, 2u);
  EXPECT_EQ(job->ProgressText(), L"2 / 2 : 失敗 1 件");
  ASSERT_EQ(m_messages.errors.size(), 1u);
  EXPECT_EQ(m_messages.errors[0].rfind(L"変換に失敗しました。ID = ", 0), 0u);
  EXPECT_EQ(m_messages.status.back(), MemoBackupJob::kEndedWithErrors);
  EXPECT_FALSE(fs::exists(Memo("rm240102_030001.ogg")));
  EXPECT_TRUE(fs::exists(Memo("rm240102_030002.ogg")));
  EXPECT_FALSE(fs::exists(Memo("rmogg.tmp")));
  EXPECT_EQ(job->PressAbort(), MemoBackupJob::AbortResult::Close);
}

TEST_F(MemoBackupJobTest, FiveAbortsOnlyRequestTheStopAndTheRunningConversionStillLands) {
  PutMessage(1, LocalTime(2024, 1, 2, 3, 0, 1), testing::SimpleWav(Tone(8000, 0.5), 1, 8000, 16));
  PutMessage(2, LocalTime(2024, 1, 2, 3, 0, 2), testing::SimpleWav(Tone(8000, 0.5), 1, 8000, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  ASSERT_TRUE(job->Begin(m_window.Id()));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(job->PressAbort(), MemoBackupJob::AbortResult::Requested);
  EXPECT_EQ(job->AbortAllowance(), 0u);
  ASSERT_TRUE(Pump(job.Get()));
  EXPECT_EQ(m_messages.status.back(), MemoBackupJob::kAborted);
  EXPECT_TRUE(fs::exists(Memo("rm240102_030001.ogg")));
  EXPECT_FALSE(fs::exists(Memo("rm240102_030002.ogg")));
  EXPECT_FALSE(job->ShouldCloseByItself());
  EXPECT_EQ(job->PressAbort(), MemoBackupJob::AbortResult::Close);
}

TEST_F(MemoBackupJobTest, SixthAbortStopsAtOnceAndLeavesNoBackupOfTheCutConversion) {
  // Long enough that the conversion is still running at the sixth press.
  PutMessage(1, LocalTime(2024, 1, 2, 3, 0, 1), testing::SimpleWav(Tone(44100, 120.0), 1, 44100, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  ASSERT_TRUE(job->Begin(m_window.Id()));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(job->PressAbort(), MemoBackupJob::AbortResult::Requested);
  EXPECT_EQ(job->PressAbort(), MemoBackupJob::AbortResult::ForcedStop);
  EXPECT_EQ(m_messages.status.back(), MemoBackupJob::kForcedStop);
  EXPECT_TRUE(m_master->IsState(MasterState::Closed));
  EXPECT_FALSE(fs::exists(Memo("rm240102_030001.ogg")));
  EXPECT_FALSE(fs::exists(Memo("rmogg.tmp")));
  // A notice that arrives afterwards renames nothing.
  job->OnMasterNotice(static_cast<uintptr_t>(MasterState::Closed));
  EXPECT_FALSE(fs::exists(Memo("rm240102_030001.ogg")));
}

TEST_F(MemoBackupJobTest, AMessageThatIsNoRegularFileIsCountedFailedNotWaitedOn) {
  ASSERT_EQ(::mkfifo(Message(1).c_str(), 0600), 0);
  PutMessage(2, LocalTime(2024, 1, 2, 3, 0, 2), testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  EXPECT_EQ(job->GetCounts().failed, 1u);
  EXPECT_EQ(job->GetCounts().total, 1u);
  EXPECT_EQ(job->GetCounts().toBackUp, 1u);
  ASSERT_TRUE(job->Begin(m_window.Id()));
  ASSERT_TRUE(Pump(job.Get()));
  EXPECT_TRUE(fs::exists(Memo("rm240102_030002.ogg")));
  EXPECT_EQ(m_messages.status.back(), MemoBackupJob::kEndedWithErrors);
}

TEST_F(MemoBackupJobTest, BusyMasterMeansNothingStartsAndTheFailureIsCounted) {
  PutMessage(1, LocalTime(2024, 1, 2, 3, 0, 1), testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  // Another run holds the master: a conversion whose source never tells its
  // format, so the run stays in its opening until it is closed.
  const std::string other = m_folder.File("other.wav");
  std::ofstream(other, std::ios::binary) << testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16);
  ASSERT_TRUE(m_master->Setup(Utf8ToWide(other), Create<NullSource>(), m_folder.WFile(L"x.ogg"),
                              Create<VorbisEncoder>()));
  ASSERT_TRUE(m_master->Start());
  EXPECT_FALSE(job->Begin(m_window.Id()));
  ASSERT_EQ(m_messages.errors.size(), 1u);
  EXPECT_EQ(m_messages.errors[0], MemoBackupJob::kStartFailed);
  EXPECT_EQ(job->GetCounts().failed, 1u);
  EXPECT_TRUE(fs::is_empty(m_folder.File("memo")));
  m_master->Close();
  m_master->Wait(5000);
}

TEST_F(MemoBackupJobTest, RenameNeverReplacesABackupThatAppearedMeanwhile) {
  PutMessage(1, LocalTime(2024, 1, 2, 3, 0, 1), testing::SimpleWav(Tone(8000, 0.3), 1, 8000, 16));
  RefPtr<MemoBackupJob> job = MakeJob();
  ASSERT_EQ(job->Prepare(), MemoBackupJob::Preparation::Ready);
  testing::WriteFile(Memo("rm240102_030001.ogg"), "made meanwhile");
  ASSERT_TRUE(job->Begin(m_window.Id()));
  ASSERT_TRUE(Pump(job.Get()));
  EXPECT_EQ(testing::ReadFile(Memo("rm240102_030001.ogg")), "made meanwhile");
  ASSERT_EQ(m_messages.errors.size(), 1u);
  EXPECT_EQ(m_messages.errors[0], MemoBackupJob::kRenameFailed);
  EXPECT_EQ(job->GetCounts().failed, 1u);
  EXPECT_FALSE(fs::exists(Memo("rmogg.tmp")));
}

}  // namespace
}  // namespace talvinor
