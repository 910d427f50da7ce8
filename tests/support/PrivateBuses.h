#pragma once
#include <QDBusConnection>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

#include "support/SpawnedProcess.h"

namespace talvinor::testing {

// A session bus and a system bus of the test's own (two dbus-daemons with a
// configuration in the test's folder), each with its stand-in service: the
// screen saver on the session bus, logind on the system bus. Start points
// DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS at them, so it must
// run before the process first uses a bus; children inherit them.
class PrivateBuses {
 public:
  PrivateBuses();
  ~PrivateBuses();
  // False, with `error` saying why, when a daemon or stand-in does not start.
  bool Start(const std::string& folder, std::string* error);
  void Stop();

  const std::string& SessionAddress() const { return m_sessionAddress; }
  const std::string& SystemAddress() const { return m_systemAddress; }

 private:
  bool StartBus(const std::string& name, SpawnedProcess* daemon, std::string* address, std::string* error);
  bool StartStandIn(const std::string& address, const std::string& role, SpawnedProcess* process, std::string* error);

  std::string m_folder;
  SpawnedProcess m_sessionDaemon, m_systemDaemon, m_screenSaver, m_login1;
  std::string m_sessionAddress, m_systemAddress;
};

// The calls a stand-in has received, asked over `bus`. The bus delivers the
// question after everything `bus` sent before, so whatever the code under
// test sent on the same connection is in the answer.
QStringList ScreenSaverCalls();  // over QDBusConnection::sessionBus()
QStringList Login1Calls();       // over QDBusConnection::systemBus()
// Lets the screen saver stand-in serve only at these object paths.
bool ServeScreenSaverAt(const QStringList& paths);

// Calls that begin with `prefix`.
QStringList CallsStartingWith(const QStringList& calls, const QString& prefix);

// Runs Qt's events until `condition` holds, up to `timeoutMs`.
bool PumpUntil(const std::function<bool()>& condition, uint32_t timeoutMs = 5000);

}  // namespace talvinor::testing
