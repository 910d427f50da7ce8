// talvinor-cli phone-watch against a stand-in ModemManager on the test's
// private system bus, steering a running talvinor of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>
#include <filesystem>

#include "platform/CodePage.h"
#include "settings/Config.h"
#include "settings/ConfigScene.h"
#include "settings/SettingsFormat.h"
#include "support/ProgramProcess.h"
#include "support/SpawnedProcess.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "codec/WavBuilder.h"

namespace talvinor {
namespace {

using testing::ProgramProcess;
using testing::TempFolder;

const QString kStandIn = QStringLiteral("org.freedesktop.ModemManager1");

QDBusMessage Control(const QString& method, const QVariantList& args) {
  QDBusMessage call = QDBusMessage::createMethodCall(kStandIn, QStringLiteral("/StandIn"),
                                                     QStringLiteral("org.talvinor.test.StandIn"), method);
  call.setArguments(args);
  return QDBusConnection::systemBus().call(call, QDBus::Block, 5000);
}

QDBusObjectPath AddCall(const QString& number, int direction, int state) {
  QDBusMessage reply = Control(QStringLiteral("AddCall"), {number, direction, state});
  return reply.arguments().isEmpty() ? QDBusObjectPath() : reply.arguments().at(0).value<QDBusObjectPath>();
}
bool SetState(const QDBusObjectPath& call, int state) {
  return Control(QStringLiteral("SetState"), {QVariant::fromValue(call), state}).type() == QDBusMessage::ReplyMessage;
}
bool RemoveCall(const QDBusObjectPath& call) {
  return Control(QStringLiteral("RemoveCall"), {QVariant::fromValue(call)}).type() == QDBusMessage::ReplyMessage;
}

class PhoneWatchCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_standIn.Start({MODEMMANAGER_STAND_IN, "--bus=" + std::string(std::getenv("DBUS_SYSTEM_BUS_ADDRESS")),
                                 "--ready-fd=3"},
                                3, m_home.File("modemmanager.log")));
    std::string line;
    ASSERT_TRUE(m_standIn.ReadLine(&line, 10000) && line == "ready") << "the stand-in does not start";
    m_runtime = m_home.File("run");
    std::filesystem::create_directory(m_runtime);
    ::chmod(m_runtime.c_str(), 0700);
    m_tag = "pw" + std::to_string(::getpid());
    m_env = {{"TALVINOR_INSTANCE", m_tag},
             {"TALVINOR_TRACE", "1"},
             {"XDG_RUNTIME_DIR", m_runtime},
             {"QT_QPA_PLATFORM", "offscreen"},
             {"LC_ALL", "C.UTF-8"}};
  }

  void WriteSettings(uint32_t start, uint32_t stop) {
    RefPtr<CONFIG> config = Create<CONFIG>();
    config->m_RecTelStart = start;
    config->m_RecTelStop = stop;
    config->m_CalledCsvPath = m_home.WFile(L"calledhistory.dat");
    config->m_CallingCsvPath = m_home.WFile(L"callinghistory.dat");
    testing::WriteFile(m_home.File("talvinor.ini"), WideToAnsi(SettingsText(*config)));
  }

  TempFolder m_home;
  testing::SpawnedProcess m_standIn;
  std::string m_runtime;
  std::string m_tag;
  testing::EnvironmentChanges m_env;
};

TEST_F(PhoneWatchCli, ActiveCallIsRecordedItsEndStopsItAndTheHistoriesGetTheirRows) {
  WriteSettings(1, 1);
  // A row the phone wrote earlier, left without its line end.
  testing::WriteFile(m_home.File("calledhistory.dat"), "0300000000\tx\t202301010000\ty\t" + WideToAnsi(L"前の人"));
  ProgramProcess program({{TALVINOR_PROGRAM}, m_env, m_home.Path()});
  ASSERT_TRUE(program.WaitForLine("FrameWindow - command server started")) << program.Output();
  ProgramProcess watch({{TALVINOR_CLI_PATH, "phone-watch", "--settings", m_home.File("talvinor.ini"), "--poll-ms", "30"},
                        m_env,
                        m_home.Path()});
  ASSERT_TRUE(watch.WaitForLine("following ModemManager's calls")) << watch.Output();

  const QDBusObjectPath incoming = AddCall(QStringLiteral("0312345678"), 1, 3);
  ASSERT_FALSE(incoming.path().isEmpty());
  ASSERT_TRUE(SetState(incoming, 4));
  EXPECT_TRUE(program.WaitForLine("PostCommand : \"/cmd:rec /tel:1 /scene:1\"")) << program.Output() << watch.Output();
  EXPECT_TRUE(program.WaitForLine("SwitchToSelectedPage - レコーダ")) << program.Output();
  ASSERT_TRUE(SetState(incoming, 7));
  EXPECT_TRUE(program.WaitForLine("PostCommand : \"/cmd:stop\"")) << program.Output() << watch.Output();
  const std::string received = testing::ReadFile(m_home.File("calledhistory.dat"));
  const std::string before = "0300000000\tx\t202301010000\ty\t" + WideToAnsi(L"前の人") + "\r\n";
  ASSERT_EQ(received.substr(0, before.size()), before) << "the phone's row stays as it was";
  const std::string row = received.substr(before.size());
  ASSERT_EQ(row.size(), std::string("0312345678\t\t202601010000\t\t\r\n").size()) << row;
  EXPECT_EQ(row.substr(0, 12), "0312345678\t\t");
  EXPECT_EQ(row.substr(row.size() - 4), "\t\t\r\n");

  // A dialled call that vanishes from the modem's list ends as well.
  const QDBusObjectPath outgoing = AddCall(QStringLiteral("0120000000"), 2, 1);
  ASSERT_TRUE(SetState(outgoing, 4));
  EXPECT_TRUE(program.WaitForLine("PostCommand : \"/cmd:rec /tel:1 /scene:1\"", 20000, 2)) << watch.Output();
  ASSERT_TRUE(RemoveCall(outgoing));
  EXPECT_TRUE(program.WaitForLine("PostCommand : \"/cmd:stop\"", 20000, 2)) << watch.Output();
  const std::string dialled = testing::ReadFile(m_home.File("callinghistory.dat"));
  EXPECT_EQ(dialled.substr(0, 11), "0120000000\t");
  EXPECT_EQ(dialled.substr(dialled.size() - 4), "\t\t\r\n");
  EXPECT_EQ(dialled.size(), std::string("0120000000\t202601010000\t\t\r\n").size());

  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0) << watch.Output();
}

TEST_F(PhoneWatchCli, WithoutRecTelStartCallsOnlyReachTheHistory) {
  WriteSettings(0, 1);
  ProgramProcess program({{TALVINOR_PROGRAM}, m_env, m_home.Path()});
  ASSERT_TRUE(program.WaitForLine("FrameWindow - command server started")) << program.Output();
  ProgramProcess watch({{TALVINOR_CLI_PATH, "phone-watch", "--settings", m_home.File("talvinor.ini"), "--poll-ms", "30"},
                        m_env,
                        m_home.Path()});
  ASSERT_TRUE(watch.WaitForLine("following ModemManager's calls")) << watch.Output();
  const QDBusObjectPath call = AddCall(QStringLiteral("0311112222"), 1, 4);
  ASSERT_TRUE(watch.WaitForLine("call from 0311112222 active")) << watch.Output();
  ASSERT_TRUE(SetState(call, 7));
  ASSERT_TRUE(watch.WaitForLine("call from 0311112222 ended")) << watch.Output();
  EXPECT_TRUE(testing::WaitUntil([&] { return !testing::ReadFile(m_home.File("calledhistory.dat")).empty(); }));
  EXPECT_FALSE(program.HasLine("PostCommand : \"/cmd:rec")) << program.Output();
  EXPECT_EQ(testing::ReadFile(m_home.File("calledhistory.dat")).substr(0, 12), "0311112222\t\t");
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0);
}

// Zeros into a FIFO at real time (8000 Hz mono 16-bit) in 16384-byte
// writes, for as many readers as open it one after the other: the program's
// device probes open and close the capture PCM before the recording does.
class SilenceFeeder {
 public:
  explicit SilenceFeeder(std::string fifo) : m_fifo(std::move(fifo)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~SilenceFeeder() {
    m_stop = true;
    m_thread.join();
  }
  size_t Written() const { return m_written; }

 private:
  void Run() {
    const std::string chunk(16384, '\0');
    while (!m_stop) {
      const int fd = ::open(m_fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      ::fcntl(fd, F_SETFL, 0);
      while (!m_stop) {
        if (::write(fd, chunk.data(), chunk.size()) <= 0) break;
        m_written += chunk.size();
        // 16384 bytes are 1.024 s at 16000 bytes a second; look at the stop
        // flag meanwhile.
        for (int i = 0; i < 64 && !m_stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(16));
      }
      ::close(fd);
    }
  }
  std::string m_fifo;
  std::atomic<bool> m_stop{false};
  std::atomic<size_t> m_written{0};
  std::thread m_thread;
};

TEST_F(PhoneWatchCli, ACallIsRecordedInTheRunningProgramAndRenamedWithTheNumber) {
  ::signal(SIGPIPE, SIG_IGN);
  for (const char* sub : {"program", "rec", "config"}) std::filesystem::create_directory(m_home.File(sub));
  std::filesystem::copy_file(TALVINOR_PROGRAM, m_home.File("program/talvinor"));
  ::chmod(m_home.File("program/talvinor").c_str(), 0755);
  RefPtr<CONFIG> config = Create<CONFIG>();
  config->m_RecPath = m_home.WFile(L"rec");
  config->m_RecTelPath = m_home.WFile(L"rec");
  config->m_WaveInId = 0;
  config->m_SusPrvMode = 0;
  config->m_RecTelStart = 1;
  config->m_RecTelStop = 1;
  config->m_TelInfoInName = 1;
  config->m_RecTelDelay = 0;
  config->m_RecTelInfoDelay = 0;
  config->m_CalledCsvPath = m_home.WFile(L"calledhistory.dat");
  config->m_CallingCsvPath = m_home.WFile(L"callinghistory.dat");
  for (size_t i = 0; i < config->m_RecSceneList.size(); ++i) {
    CONFIG_SCENE& scene = *config->m_RecSceneList[i];
    scene.m_CodecMode = kCodecPcm;
    scene.m_QualityMode = 0;
    scene.m_Cnannels = 1;
    scene.m_SampleRate = 8000;
    scene.m_SampleBits = 16;
    scene.m_RecTelUse = i == 1 ? 1 : 0;
  }
  testing::WriteFile(m_home.File("program/talvinor.ini"), WideToAnsi(SettingsText(*config)));
  ASSERT_EQ(::mkfifo(m_home.File("in.fifo").c_str(), 0600), 0);
  {
    std::ofstream conf(m_home.File("asound.conf"));
    conf << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n  infile \""
         << m_home.File("in.fifo") << "\"\n  format \"raw\"\n}\n";
  }
  SilenceFeeder feeder(m_home.File("in.fifo"));
  testing::EnvironmentChanges env = m_env;
  env["XDG_CONFIG_HOME"] = m_home.File("config");
  env["ALSA_CONFIG_PATH"] = "/usr/share/alsa/alsa.conf:" + m_home.File("asound.conf");
  env["DISPLAY"] = std::nullopt;
  ProgramProcess program({{m_home.File("program/talvinor")}, env, m_home.Path()});
  ASSERT_TRUE(program.WaitForLine("FrameWindow - command server started")) << program.Output();
  ProgramProcess watch(
      {{TALVINOR_CLI_PATH, "phone-watch", "--settings", m_home.File("program/talvinor.ini"), "--poll-ms", "30"},
       env,
       m_home.Path()});
  ASSERT_TRUE(watch.WaitForLine("following ModemManager's calls")) << watch.Output();

  const QDBusObjectPath call = AddCall(QStringLiteral("0312345678"), 1, 3);
  ASSERT_TRUE(SetState(call, 4));
  ASSERT_TRUE(program.WaitForLine("RecorderPage - notice: 録音を開始しました。")) << program.Output() << watch.Output();
  const size_t fed = feeder.Written();
  ASSERT_TRUE(testing::WaitUntil([&] { return feeder.Written() > fed; }, 10000));
  ASSERT_TRUE(SetState(call, 7));
  ASSERT_TRUE(program.WaitForLine("RecorderPage - notice: 録音を終了しました。")) << program.Output() << watch.Output();
  std::string renamed;
  EXPECT_TRUE(testing::WaitUntil([&] {
    for (const auto& entry : std::filesystem::directory_iterator(m_home.File("rec"))) {
      const std::string name = entry.path().filename();
      if (name.find("_着信_0312345678_.wav") != std::string::npos) renamed = name;
    }
    return !renamed.empty();
  }, 10000)) << program.Output();
  EXPECT_EQ(renamed.substr(0, 2), "rz");
  EXPECT_EQ(testing::ReadFile(m_home.File("calledhistory.dat")).substr(0, 12), "0312345678\t\t");
  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0);
}

}  // namespace
}  // namespace talvinor
