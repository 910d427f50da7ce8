// Stand-ins for the desktop services the power layer talks to, for the tests'
// private buses: the screen saver on the session bus and logind on the
// system bus. Every call is recorded; the tests read the record with the
// control method "Calls", which, answered in order after everything the same
// client sent before, doubles as a barrier.
//
//   power_stand_in --bus=ADDRESS --role=screensaver|login1 --ready-fd=N
//
// Writes "ready\n" to the ready descriptor once it owns its name.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const QString kControlPath = QStringLiteral("/StandIn");
const QString kControlInterface = QStringLiteral("org.talvinor.test.StandIn");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kLogin1 = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Manager = QStringLiteral("org.freedesktop.login1.Manager");

class StandIn : public QDBusVirtualObject {
 public:
  StandIn(QDBusConnection bus, bool screenSaver) : m_bus(bus), m_screenSaver(screenSaver) {}

  bool Register() {
    if (!m_bus.registerVirtualObject(kControlPath, this)) return false;
    if (m_screenSaver) return Serve({QStringLiteral("/org/freedesktop/ScreenSaver")});
    return m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), this);
  }

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QString member = message.member();
    if (message.path() == kControlPath && message.interface() == kControlInterface) {
      if (member == QLatin1String("Calls")) return ReplyList(connection, message, m_calls);
      if (member == QLatin1String("Serve") && message.arguments().size() == 1) {
        Serve(message.arguments().at(0).toStringList());
        return Reply(connection, message, QVariantList{});
      }
    } else if (m_screenSaver && message.interface() == kScreenSaver && member == QLatin1String("SimulateUserActivity")) {
      m_calls << QStringLiteral("SimulateUserActivity ") + message.path();
      return Reply(connection, message, QVariantList{});
    } else if (!m_screenSaver && message.interface() == kLogin1Manager && member == QLatin1String("Inhibit")) {
      return Inhibit(connection, message);
    }
    connection.send(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("not served here")));
    return true;
  }

 private:
  bool Serve(const QStringList& paths) {
    for (const QString& path : m_served) m_bus.unregisterObject(path);
    m_served.clear();
    for (const QString& path : paths) {
      if (!m_bus.registerVirtualObject(path, this)) return false;
      m_served << path;
    }
    return true;
  }

  static bool Reply(const QDBusConnection& connection, const QDBusMessage& message, const QVariantList& arguments) {
    QDBusMessage reply = message.createReply(arguments);
    connection.send(reply);
    return true;
  }
  static bool ReplyList(const QDBusConnection& connection, const QDBusMessage& message, const QStringList& list) {
    return Reply(connection, message, QVariantList{QVariant::fromValue(list)});
  }

  bool Inhibit(const QDBusConnection& connection, const QDBusMessage& message) {
    QStringList parts;
    for (const QVariant& argument : message.arguments()) parts << argument.toString();
    const int number = ++m_inhibitors;
    m_calls << QStringLiteral("Inhibit %1 #%2").arg(parts.join(QLatin1Char('|'))).arg(number);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      connection.send(message.createErrorReply(QDBusError::Failed, QStringLiteral("pipe failed")));
      return true;
    }
    {
      // The message keeps its own copy of the write end; ours goes now, so
      // the client's copy is the only one left once the answer is out.
      QDBusUnixFileDescriptor handed(fds[1]);
      ::close(fds[1]);
      connection.send(message.createReply(QVariantList{QVariant::fromValue(handed)}));
    }
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [this, notifier, number, fd = fds[0]]() {
      char byte;
      ssize_t n = ::read(fd, &byte, 1);
      if (n > 0) return;
      m_calls << QStringLiteral("Released #%1").arg(number);
      notifier->setEnabled(false);
      notifier->deleteLater();
      ::close(fd);
    });
    return true;
  }

  QDBusConnection m_bus;
  const bool m_screenSaver;
  QStringList m_served;
  QStringList m_calls;
  int m_inhibitors = 0;
};

std::string Option(int argc, char** argv, const char* name) {
  const size_t length = std::strlen(name);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') return argv[i] + length + 1;
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const std::string address = Option(argc, argv, "--bus");
  const std::string role = Option(argc, argv, "--role");
  const int readyFd = std::atoi(Option(argc, argv, "--ready-fd").c_str());
  if (address.empty() || (role != "screensaver" && role != "login1") || readyFd <= 2) {
    std::fprintf(stderr, "usage: power_stand_in --bus=ADDRESS --role=screensaver|login1 --ready-fd=N\n");
    return 2;
  }
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("stand-in"));
  if (!bus.isConnected()) {
    std::fprintf(stderr, "power_stand_in: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  const bool screenSaver = role == "screensaver";
  StandIn standIn(bus, screenSaver);
  if (!standIn.Register() || !bus.registerService(screenSaver ? kScreenSaver : kLogin1)) {
    std::fprintf(stderr, "power_stand_in: cannot serve: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  [[maybe_unused]] ssize_t n = ::write(readyFd, "ready\n", 6);
  ::close(readyFd);
  return application.exec();
}
