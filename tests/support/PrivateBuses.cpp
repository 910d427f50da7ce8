#include "support/PrivateBuses.h"

#include <stdlib.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusReply>

#include <fstream>
#include <thread>

namespace talvinor::testing {

namespace {

constexpr uint32_t kStartTimeoutMs = 10000;
constexpr int kReadyFd = 3;

QStringList Calls(QDBusConnection bus, const QString& service) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/StandIn"),
                                                     QStringLiteral("org.talvinor.test.StandIn"), QStringLiteral("Calls"));
  QDBusReply<QStringList> reply = bus.call(call, QDBus::Block, 5000);
  return reply.isValid() ? reply.value() : QStringList{QStringLiteral("error: ") + reply.error().message()};
}

}  // namespace

PrivateBuses::PrivateBuses() = default;

PrivateBuses::~PrivateBuses() { Stop(); }

bool PrivateBuses::StartBus(const std::string& name, SpawnedProcess* daemon, std::string* address,
                            std::string* error) {
  const std::string config = m_folder + "/" + name + ".conf";
  std::ofstream out(config);
  out << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>"
      << name << "</type>\n"
      << "  <listen>unix:path=" << m_folder << "/" << name << ".socket</listen>\n"
      << "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
  out.close();
  if (!daemon->Start({"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=3"}, kReadyFd,
                     m_folder + "/" + name + ".log")) {
    *error = "dbus-daemon for the " + name + " bus does not start";
    return false;
  }
  if (!daemon->ReadLine(address, kStartTimeoutMs) || address->empty()) {
    *error = "dbus-daemon for the " + name + " bus gave no address";
    return false;
  }
  return true;
}

bool PrivateBuses::StartStandIn(const std::string& address, const std::string& role, SpawnedProcess* process,
                                std::string* error) {
  std::string line;
  if (!process->Start({TALVINOR_POWER_STAND_IN, "--bus=" + address, "--role=" + role, "--ready-fd=3"}, kReadyFd,
                      m_folder + "/" + role + ".log") ||
      !process->ReadLine(&line, kStartTimeoutMs) || line != "ready") {
    *error = "the " + role + " stand-in does not start (see " + m_folder + "/" + role + ".log)";
    return false;
  }
  return true;
}

bool PrivateBuses::Start(const std::string& folder, std::string* error) {
  m_folder = folder;
  if (!ProgramInPath("dbus-daemon")) {
    *error = "dbus-daemon is not installed";
    return false;
  }
  if (!StartBus("session", &m_sessionDaemon, &m_sessionAddress, error) ||
      !StartBus("system", &m_systemDaemon, &m_systemAddress, error) ||
      !StartStandIn(m_sessionAddress, "screensaver", &m_screenSaver, error) ||
      !StartStandIn(m_systemAddress, "login1", &m_login1, error)) {
    Stop();
    return false;
  }
  ::setenv("DBUS_SESSION_BUS_ADDRESS", m_sessionAddress.c_str(), 1);
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_systemAddress.c_str(), 1);
  return true;
}

void PrivateBuses::Stop() {
  m_screenSaver.Stop();
  m_login1.Stop();
  m_sessionDaemon.Stop();
  m_systemDaemon.Stop();
}

QStringList ScreenSaverCalls() { return Calls(QDBusConnection::sessionBus(), QStringLiteral("org.freedesktop.ScreenSaver")); }

QStringList Login1Calls() { return Calls(QDBusConnection::systemBus(), QStringLiteral("org.freedesktop.login1")); }

bool ServeScreenSaverAt(const QStringList& paths) {
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/StandIn"),
                                                     QStringLiteral("org.talvinor.test.StandIn"), QStringLiteral("Serve"));
  call << paths;
  QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage;
}

QStringList CallsStartingWith(const QStringList& calls, const QString& prefix) {
  QStringList found;
  for (const QString& call : calls)
    if (call.startsWith(prefix)) found << call;
  return found;
}

bool PumpUntil(const std::function<bool()>& condition, uint32_t timeoutMs) {
  const uint32_t start = GetTickCount();
  while (!condition()) {
    if (TicksSince(start, GetTickCount()) >= timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace talvinor::testing
