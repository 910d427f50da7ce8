// talvinor-cli phone-watch against a stand-in ModemManager on the test's
// private system bus, steering a running talvinor of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <csignal>
#include <filesystem>

#include "platform/CodePage.h"
#include "settings/Config.h"
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

}  // namespace
}  // namespace talvinor
