#include "platform/power/SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include "platform/Trace.h"

namespace talvinor {

namespace {

constexpr int kCallTimeoutMs = 1000;
const char* const kWhy = "録音・再生中のサスペンド防止";

}  // namespace

struct SleepInhibitor::Private {
  bool wanted = false;
  std::unique_ptr<QDBusPendingCallWatcher> pending;
  QDBusUnixFileDescriptor descriptor;

  void OnAnswer(QDBusPendingCallWatcher* watcher) {
    // The watcher is still delivering this signal: it goes later.
    pending.release()->deleteLater();
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError()) {
      Trace("SleepInhibitor - Inhibit failed: %s: %s\r\n", qPrintable(reply.error().name()),
            qPrintable(reply.error().message()));
      return;
    }
    QDBusUnixFileDescriptor answer = reply.value();
    if (!answer.isValid()) {
      Trace("SleepInhibitor - Inhibit answered without a descriptor\r\n");
      return;
    }
    if (!wanted) {
      Trace("SleepInhibitor - released before logind answered; descriptor closed\r\n");
      return;  // `answer` and the reply close their copies
    }
    descriptor = answer;
    Trace("SleepInhibitor - held (descriptor %d)\r\n", descriptor.fileDescriptor());
  }
};

SleepInhibitor::SleepInhibitor() : m(std::make_unique<Private>()) {}

SleepInhibitor::~SleepInhibitor() = default;

bool SleepInhibitor::Hold() {
  m->wanted = true;
  if (m->descriptor.isValid() || m->pending) return true;
  if (!QCoreApplication::instance()) {
    Trace("SleepInhibitor - no Qt application; the system bus is not used\r\n");
    return false;
  }
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    Trace("SleepInhibitor - no system bus: %s\r\n", qPrintable(bus.lastError().message()));
    return false;
  }
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QStringLiteral("sleep:idle") << QStringLiteral("TALVINOR") << QString::fromUtf8(kWhy)
       << QStringLiteral("block");
  m->pending = std::make_unique<QDBusPendingCallWatcher>(bus.asyncCall(call, kCallTimeoutMs));
  Private* state = m.get();
  QObject::connect(m->pending.get(), &QDBusPendingCallWatcher::finished,
                   [state](QDBusPendingCallWatcher* watcher) { state->OnAnswer(watcher); });
  Trace("SleepInhibitor - Inhibit sent\r\n");
  return true;
}

void SleepInhibitor::Release() {
  m->wanted = false;
  if (m->descriptor.isValid()) {
    Trace("SleepInhibitor - released (descriptor %d closed)\r\n", m->descriptor.fileDescriptor());
    m->descriptor = QDBusUnixFileDescriptor();
  }
}

InhibitorState SleepInhibitor::State() const {
  if (m->descriptor.isValid()) return InhibitorState::Held;
  if (m->pending && m->wanted) return InhibitorState::Requested;
  return InhibitorState::Released;
}

}  // namespace talvinor
