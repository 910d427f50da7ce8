// A stand-in for ModemManager on a test's private system bus: one modem with
// the Voice interface whose calls the test adds and moves through their
// states with the control interface at /StandIn.
//
//   modemmanager_stand_in --bus=ADDRESS --ready-fd=N
//
// Control methods (org.talvinor.test.StandIn): AddCall(s number, i direction,
// i state) -> o, SetState(o call, i state), RemoveCall(o call).
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

using InterfaceList = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceList>;

const QString kRoot = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModem = QStringLiteral("/org/freedesktop/ModemManager1/Modem/0");
const QString kVoice = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
const QString kCall = QStringLiteral("org.freedesktop.ModemManager1.Call");
const QString kControl = QStringLiteral("org.talvinor.test.StandIn");

struct Call {
  QString number;
  int direction = 0;
  int state = 0;
};

class ModemManager : public QDBusVirtualObject {
 public:
  explicit ModemManager(QDBusConnection bus) : m_bus(bus) {}

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (message.path() == QLatin1String("/StandIn") && message.interface() == kControl) {
      if (member == QLatin1String("AddCall") && args.size() == 3) {
        const QString path = kRoot + QStringLiteral("/Call/") + QString::number(++m_next);
        m_calls[path] = {args[0].toString(), args[1].toInt(), args[2].toInt()};
        Emit(kModem, kVoice, QStringLiteral("CallAdded"), {QVariant::fromValue(QDBusObjectPath(path))});
        return Reply(connection, message, {QVariant::fromValue(QDBusObjectPath(path))});
      }
      if (member == QLatin1String("SetState") && args.size() == 2) {
        const QString path = args[0].value<QDBusObjectPath>().path();
        auto it = m_calls.find(path);
        if (it == m_calls.end()) return Error(connection, message, "no such call");
        const int old = it->second.state;
        it->second.state = args[1].toInt();
        Emit(path, kCall, QStringLiteral("StateChanged"), {old, it->second.state, 0u});
        return Reply(connection, message, {});
      }
      if (member == QLatin1String("RemoveCall") && args.size() == 1) {
        const QString path = args[0].value<QDBusObjectPath>().path();
        m_calls.erase(path);
        Emit(kModem, kVoice, QStringLiteral("CallDeleted"), {QVariant::fromValue(QDBusObjectPath(path))});
        return Reply(connection, message, {});
      }
    }
    if (message.path() == kRoot && member == QLatin1String("GetManagedObjects")) {
      ManagedObjects objects;
      InterfaceList interfaces;
      interfaces[QStringLiteral("org.freedesktop.ModemManager1.Modem")] = QVariantMap{};
      interfaces[kVoice] = QVariantMap{};
      objects[QDBusObjectPath(kModem)] = interfaces;
      return Reply(connection, message, {QVariant::fromValue(objects)});
    }
    if (message.path() == kModem && message.interface() == kVoice && member == QLatin1String("ListCalls")) {
      QList<QDBusObjectPath> paths;
      for (const auto& [path, call] : m_calls) paths << QDBusObjectPath(path);
      return Reply(connection, message, {QVariant::fromValue(paths)});
    }
    auto it = m_calls.find(message.path());
    if (it != m_calls.end() && message.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
        member == QLatin1String("GetAll")) {
      QVariantMap properties{{QStringLiteral("State"), it->second.state},
                             {QStringLiteral("Direction"), it->second.direction},
                             {QStringLiteral("Number"), it->second.number}};
      return Reply(connection, message, {properties});
    }
    return Error(connection, message, "not served here");
  }

 private:
  void Emit(const QString& path, const QString& interface, const QString& name, const QVariantList& args) {
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(args);
    m_bus.send(signal);
  }
  static bool Reply(const QDBusConnection& connection, const QDBusMessage& message, const QVariantList& args) {
    connection.send(message.createReply(args));
    return true;
  }
  static bool Error(const QDBusConnection& connection, const QDBusMessage& message, const char* text) {
    connection.send(message.createErrorReply(QDBusError::UnknownMethod, QString::fromUtf8(text)));
    return true;
  }

  QDBusConnection m_bus;
  std::map<QString, Call> m_calls;
  int m_next = 0;
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
  qDBusRegisterMetaType<InterfaceList>();
  qDBusRegisterMetaType<ManagedObjects>();
  const std::string address = Option(argc, argv, "--bus");
  const int readyFd = std::atoi(Option(argc, argv, "--ready-fd").c_str());
  if (address.empty() || readyFd <= 2) {
    std::fprintf(stderr, "usage: modemmanager_stand_in --bus=ADDRESS --ready-fd=N\n");
    return 2;
  }
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("stand-in"));
  ModemManager modemManager(bus);
  if (!bus.isConnected() || !bus.registerVirtualObject(kRoot, &modemManager, QDBusConnection::SubPath) ||
      !bus.registerVirtualObject(QStringLiteral("/StandIn"), &modemManager) ||
      !bus.registerService(QStringLiteral("org.freedesktop.ModemManager1"))) {
    std::fprintf(stderr, "modemmanager_stand_in: cannot serve: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  [[maybe_unused]] ssize_t n = ::write(readyFd, "ready\n", 6);
  ::close(readyFd);
  return application.exec();
}
