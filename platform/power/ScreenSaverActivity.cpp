#include "platform/power/ScreenSaverActivity.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "platform/Trace.h"

namespace talvinor {

namespace {

constexpr int kCallTimeoutMs = 1000;
const char* const kService = "org.freedesktop.ScreenSaver";
const char* const kPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};
constexpr int kPathCount = 2;

// The path tried first; the UI thread alone touches it.
int g_pathIndex = 0;

bool IsMissingObject(const QDBusError& error) {
  return error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownMethod ||
         error.type() == QDBusError::UnknownInterface;
}

void Send(QDBusConnection bus, int pathIndex, int attemptsLeft) {
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPaths[pathIndex], kService, QStringLiteral("SimulateUserActivity"));
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs), QCoreApplication::instance());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                   [bus, pathIndex, attemptsLeft](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     QDBusPendingReply<> reply = *finished;
                     if (!reply.isError()) {
                       g_pathIndex = pathIndex;
                       return;
                     }
                     Trace("SimulateUserActivity - %s: %s: %s\r\n", kPaths[pathIndex],
                           qPrintable(reply.error().name()), qPrintable(reply.error().message()));
                     // A desktop that serves the other path gets this ping there.
                     if (attemptsLeft > 0 && IsMissingObject(reply.error()))
                       Send(bus, (pathIndex + 1) % kPathCount, attemptsLeft - 1);
                   });
}

}  // namespace

bool SimulateUserActivity() {
  if (!QCoreApplication::instance()) {
    Trace("SimulateUserActivity - no Qt application; the session bus is not used\r\n");
    return false;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    Trace("SimulateUserActivity - no session bus: %s\r\n", qPrintable(bus.lastError().message()));
    return false;
  }
  Send(bus, g_pathIndex, kPathCount - 1);
  return true;
}

}  // namespace talvinor
