// talvinor-cli backup-memos, run as a user runs it, on real message files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>

#include "codec/WavBuilder.h"
#include "platform/CodePage.h"
#include "settings/Config.h"
#include "settings/SettingsFormat.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"
#include "tools/CliTestSupport.h"

namespace talvinor {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::string Tone(double seconds) {
  std::string pcm;
  for (uint32_t i = 0; i < static_cast<uint32_t>(8000 * seconds); ++i)
    Append16(pcm, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(0.1 * i))));
  return SimpleWav(pcm, 1, 8000, 16);
}

class BackupMemosCli : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_folder.File("phone"));
    fs::create_directories(m_folder.File("memo"));
    WriteSettings(m_folder.File("memo"));
  }
  void WriteSettings(const std::string& memoFolder) {
    RefPtr<CONFIG> config = Create<CONFIG>();
    config->m_MemoSrcPath = m_folder.WPath() + L"/phone/";
    config->m_MemoSrcFile = L"shrec%d.wav";
    config->m_MemoSrcFirst = 1;
    config->m_MemoSrcLast = 5;
    config->m_MemoPath = Utf8ToWide(memoFolder);
    config->m_MemoTelInfoInTag = 1;
    config->m_CalledCsvPath = m_folder.WFile(L"calledhistory.dat");
    WriteFile(m_folder.File("talvinor.ini"), WideToAnsi(SettingsText(*config)));
  }
  void PutMessage(int slot, int day, int hour, int minute, const std::string& bytes) {
    const std::string path = m_folder.File("phone/shrec" + std::to_string(slot) + ".wav");
    WriteFile(path, bytes);
    std::tm local{};
    local.tm_year = 124;
    local.tm_mon = 0;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    struct utimbuf times {};
    times.actime = times.modtime = std::mktime(&local);
    ::utime(path.c_str(), &times);
  }
  CliRun Backup(const std::string& arguments) {
    return Cli(m_folder, "backup-memos --settings talvinor.ini " + arguments);
  }
  std::vector<std::string> MemoFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_folder.File("memo"))) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  TempFolder m_folder;
};

TEST_F(BackupMemosCli, CountsDryRunAndTheBackupOfWhatIsNew) {
  PutMessage(2, 2, 10, 9, Tone(0.5));
  PutMessage(4, 3, 8, 0, Tone(0.5));
  WriteFile(m_folder.File("memo/rm240103_080000.ogg"), "older");
  WriteFile(m_folder.File("calledhistory.dat"), WideToAnsi(L"0312345678\t\t202401021000\t\t山田\r\n"));

  CliRun dry = Backup("--dry-run");
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("全ての伝言メモ ： 2 件"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("バックアップ済み ：1 件"), std::string::npos);
  EXPECT_NE(dry.out.find("バックアップ可能 ：1 件"), std::string::npos);
  EXPECT_NE(dry.out.find("shrec2.wav -> " + m_folder.File("memo/rm240102_100900.ogg") + " TELNO=0312345678 TELNAME=山田"),
            std::string::npos)
      << dry.out;
  EXPECT_EQ(MemoFiles(), std::vector<std::string>{"rm240103_080000.ogg"});

  CliRun refused = Cli(m_folder, "backup-memos --settings talvinor.ini < /dev/null");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(MemoFiles(), std::vector<std::string>{"rm240103_080000.ogg"});

  CliRun run = Shell(m_folder, "echo y | '" TALVINOR_CLI_PATH "' backup-memos --settings talvinor.ini");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("1 件の伝言メモをバックアップします。よろしいですか？ [y/N]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("shrec2.wav -> "), std::string::npos);
  EXPECT_NE(run.out.find("バックアップが完了しました。"), std::string::npos);
  EXPECT_EQ(MemoFiles(), (std::vector<std::string>{"rm240102_100900.ogg", "rm240103_080000.ogg"}));
  CliRun tags = Shell(m_folder, "vorbiscomment -l -R memo/rm240102_100900.ogg");
  EXPECT_NE(tags.out.find("TELNAME=" + WideToAnsi(L"山田")), std::string::npos) << tags.out;

  CliRun again = Backup("--yes");
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("2 件の伝言メモがあり、全てバックアップ済みです。"), std::string::npos) << again.out;
}

TEST_F(BackupMemosCli, AFailedMessageMakesTheStatusOne) {
  PutMessage(1, 2, 3, 4, "RIFF\x04\0\0\0WAVE");
  PutMessage(3, 2, 3, 5, Tone(0.3));
  CliRun run = Backup("--yes");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("変換に失敗しました。ID = "), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("shrec1.wav: 失敗"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("バックアップが終了しました。エラーがあります。"), std::string::npos);
  EXPECT_EQ(MemoFiles(), std::vector<std::string>{"rm240102_030500.ogg"});
}

TEST_F(BackupMemosCli, CtrlCLetsTheRunningConversionFinishAndEndsWithStatusOne) {
  std::string pcm;
  for (uint32_t i = 0; i < 44100u * 240; ++i) Append16(pcm, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(0.01 * i))));
  PutMessage(1, 2, 3, 4, SimpleWav(pcm, 1, 44100, 16));
  PutMessage(2, 2, 3, 5, Tone(0.3));
  ProgramProcess cli({{TALVINOR_CLI_PATH, "backup-memos", "--settings", m_folder.File("talvinor.ini"), "--yes"},
                      {{"LC_ALL", "C.UTF-8"}},
                      m_folder.Path()});
  ASSERT_TRUE(cli.WaitForLine("バックアップ可能 ：2 件")) << cli.Output();
  cli.Signal(SIGINT);
  EXPECT_EQ(cli.Wait(60000), 1) << cli.Output();
  EXPECT_TRUE(cli.HasLine("中断を受け付けました。お待ちください。")) << cli.Output();
  EXPECT_TRUE(cli.HasLine("バックアップを中断しました。")) << cli.Output();
  EXPECT_TRUE(fs::exists(m_folder.File("memo/rm240102_030400.ogg")));
  EXPECT_FALSE(fs::exists(m_folder.File("memo/rmogg.tmp")));
}

TEST_F(BackupMemosCli, NothingToDoAndAMissingFolder) {
  CliRun none = Backup("--yes");
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.out.find("伝言メモがありません。"), std::string::npos);
  WriteSettings(m_folder.File("missing"));
  CliRun missing = Backup("--yes");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("伝言メモの保存先フォルダが存在しません。"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace talvinor
