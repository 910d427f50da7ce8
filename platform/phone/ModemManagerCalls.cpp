#include "platform/phone/ModemManagerCalls.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <memory>

#include "platform/Trace.h"

namespace talvinor {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kRootPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kVoice = QStringLiteral("org.freedesktop.ModemManager1.Modem.Voice");
const QString kCall = QStringLiteral("org.freedesktop.ModemManager1.Call");
constexpr int kCallTimeoutMs = 3000;

// Qt's bus connections want an application object; a tool has none.
void EnsureCoreApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "talvinor-cli";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QCoreApplication> application = std::make_unique<QCoreApplication>(argc, argv);
}

// The object paths of the voice modems in a GetManagedObjects answer
// (a{oa{sa{sv}}}).
std::vector<QString> VoiceModems(const QDBusArgument& objects) {
  std::vector<QString> modems;
  objects.beginMap();
  while (!objects.atEnd()) {
    objects.beginMapEntry();
    QDBusObjectPath path;
    objects >> path;
    objects.beginMap();
    bool voice = false;
    while (!objects.atEnd()) {
      objects.beginMapEntry();
      QString interface;
      QVariantMap properties;
      objects >> interface >> properties;
      objects.endMapEntry();
      voice = voice || interface == kVoice;
    }
    objects.endMap();
    objects.endMapEntry();
    if (voice) modems.push_back(path.path());
  }
  objects.endMap();
  return modems;
}

}  // namespace

ModemManagerCalls::ModemManagerCalls() { EnsureCoreApplication(); }
ModemManagerCalls::~ModemManagerCalls() = default;

bool ModemManagerCalls::Fail(const std::string& what) {
  if (what != m_lastError) Trace("ModemManagerCalls - %s\r\n", what.c_str());
  m_lastError = what;
  return false;
}

bool ModemManagerCalls::ListCalls(std::vector<ModemCall>* calls) {
  calls->clear();
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return Fail("system bus: " + bus.lastError().message().toStdString());

  QDBusMessage reply = bus.call(
      QDBusMessage::createMethodCall(kService, kRootPath, kObjectManager, QStringLiteral("GetManagedObjects")),
      QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1 ||
      reply.arguments().at(0).userType() != qMetaTypeId<QDBusArgument>()) {
    return Fail("GetManagedObjects: " + reply.errorMessage().toStdString());
  }
  const std::vector<QString> modems = VoiceModems(reply.arguments().at(0).value<QDBusArgument>());

  for (const QString& modem : modems) {
    QDBusMessage list =
        bus.call(QDBusMessage::createMethodCall(kService, modem, kVoice, QStringLiteral("ListCalls")), QDBus::Block,
                 kCallTimeoutMs);
    if (list.type() != QDBusMessage::ReplyMessage || list.arguments().size() != 1) {
      return Fail("ListCalls " + modem.toStdString() + ": " + list.errorMessage().toStdString());
    }
    const QList<QDBusObjectPath> paths = qdbus_cast<QList<QDBusObjectPath>>(list.arguments().at(0));
    for (const QDBusObjectPath& path : paths) {
      QDBusMessage get = QDBusMessage::createMethodCall(kService, path.path(), kProperties, QStringLiteral("GetAll"));
      get << kCall;
      QDBusMessage properties = bus.call(get, QDBus::Block, kCallTimeoutMs);
      // A call may end and go between the list and this question.
      if (properties.type() != QDBusMessage::ReplyMessage || properties.arguments().size() != 1) continue;
      const QVariantMap map = qdbus_cast<QVariantMap>(properties.arguments().at(0));
      ModemCall call;
      call.path = path.path().toStdString();
      call.state = static_cast<ModemCallState>(map.value(QStringLiteral("State")).toInt());
      call.direction = static_cast<ModemCallDirection>(map.value(QStringLiteral("Direction")).toInt());
      call.number = map.value(QStringLiteral("Number")).toString().toStdWString();
      calls->push_back(std::move(call));
    }
  }
  m_lastError.clear();
  return true;
}

}  // namespace talvinor
