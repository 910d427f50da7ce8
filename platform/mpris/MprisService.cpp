#include "platform/mpris/MprisService.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QUrl>

#include "platform/Trace.h"

namespace talvinor {

namespace {

const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const char* const kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

QString ToQ(const std::wstring& text) { return QString::fromStdWString(text); }

const char* const kIntrospection =
    "  <interface name=\"org.mpris.MediaPlayer2\">\n"
    "    <method name=\"Raise\"/>\n"
    "    <method name=\"Quit\"/>\n"
    "    <property name=\"CanQuit\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"CanRaise\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"HasTrackList\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"Identity\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"DesktopEntry\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"SupportedUriSchemes\" type=\"as\" access=\"read\"/>\n"
    "    <property name=\"SupportedMimeTypes\" type=\"as\" access=\"read\"/>\n"
    "  </interface>\n"
    "  <interface name=\"org.mpris.MediaPlayer2.Player\">\n"
    "    <method name=\"Next\"/>\n"
    "    <method name=\"Previous\"/>\n"
    "    <method name=\"Pause\"/>\n"
    "    <method name=\"PlayPause\"/>\n"
    "    <method name=\"Stop\"/>\n"
    "    <method name=\"Play\"/>\n"
    "    <method name=\"Seek\"><arg direction=\"in\" type=\"x\" name=\"Offset\"/></method>\n"
    "    <method name=\"SetPosition\"><arg direction=\"in\" type=\"o\" name=\"TrackId\"/>"
    "<arg direction=\"in\" type=\"x\" name=\"Position\"/></method>\n"
    "    <method name=\"OpenUri\"><arg direction=\"in\" type=\"s\" name=\"Uri\"/></method>\n"
    "    <signal name=\"Seeked\"><arg type=\"x\" name=\"Position\"/></signal>\n"
    "    <property name=\"PlaybackStatus\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"Rate\" type=\"d\" access=\"readwrite\"/>\n"
    "    <property name=\"Metadata\" type=\"a{sv}\" access=\"read\"/>\n"
    "    <property name=\"Volume\" type=\"d\" access=\"readwrite\"/>\n"
    "    <property name=\"Position\" type=\"x\" access=\"read\"/>\n"
    "    <property name=\"MinimumRate\" type=\"d\" access=\"read\"/>\n"
    "    <property name=\"MaximumRate\" type=\"d\" access=\"read\"/>\n"
    "    <property name=\"CanGoNext\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"CanGoPrevious\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"CanPlay\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"CanPause\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"CanSeek\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"CanControl\" type=\"b\" access=\"read\"/>\n"
    "  </interface>\n";

const char* StatusText(MediaPlayback playback) {
  switch (playback) {
    case MediaPlayback::Playing: return "Playing";
    case MediaPlayback::Paused: return "Paused";
    case MediaPlayback::Stopped: break;
  }
  return "Stopped";
}

}  // namespace

std::string MediaTrackId(uint32_t serial) { return "/org/mpris/MediaPlayer2/talvinor/track/" + std::to_string(serial); }

// The object at /org/mpris/MediaPlayer2, answering its messages by hand (no
// generated adaptors).
class MprisService::Object : public QDBusVirtualObject {
 public:
  Object(MediaPlayerControls* controls, QDBusConnection bus) : m_controls(controls), m_bus(bus) {}

  QString introspect(const QString&) const override { return QString::fromLatin1(kIntrospection); }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const QString interface = message.interface();
    const QString member = message.member();
    if (interface == kPropertiesInterface) return HandleProperties(message, connection);
    if (interface == kRootInterface || (interface.isEmpty() && (member == "Raise" || member == "Quit"))) {
      if (member == "Raise" || member == "Quit") {
        connection.send(message.createReply());
        return true;
      }
      return false;
    }
    if (interface != kPlayerInterface && !interface.isEmpty()) return false;
    const QList<QVariant> args = message.arguments();
    // The reply goes first: stopping may wait for the playback to end.
    if (member == "Play" || member == "Pause" || member == "PlayPause" || member == "Stop" || member == "Next" ||
        member == "Previous") {
      connection.send(message.createReply());
      if (member == "Play") m_controls->MediaPlay();
      if (member == "Pause") m_controls->MediaPause();
      if (member == "PlayPause") m_controls->MediaPlayPause();
      if (member == "Stop") m_controls->MediaStop();
      if (member == "Next") m_controls->MediaNext();
      if (member == "Previous") m_controls->MediaPrevious();
      return true;
    }
    if (member == "Seek") {
      if (args.size() != 1 || !args[0].canConvert<qlonglong>()) return SendError(message, connection, "InvalidArgs");
      connection.send(message.createReply());
      m_controls->MediaSeek(args[0].toLongLong());
      return true;
    }
    if (member == "SetPosition") {
      if (args.size() != 2 || !args[0].canConvert<QDBusObjectPath>())
        return SendError(message, connection, "InvalidArgs");
      connection.send(message.createReply());
      const MediaTrack track = m_controls->MediaCurrentTrack();
      const int64_t position = args[1].toLongLong();
      // A position for another track, or outside this one, is ignored.
      if (track.present && args[0].value<QDBusObjectPath>().path().toStdString() == MediaTrackId(track.serial) &&
          position >= 0 && static_cast<uint64_t>(position) <= track.lengthUs)
        m_controls->MediaSetPosition(position);
      return true;
    }
    if (member == "OpenUri") {
      connection.send(message.createErrorReply(QDBusError::NotSupported, "Talvinor plays the files of its list"));
      return true;
    }
    return false;
  }

  QVariantMap PlayerProperties() {
    const MediaPlayback status = m_controls->MediaStatus();
    const MediaTrack track = m_controls->MediaCurrentTrack();
    QVariantMap metadata;
    if (track.present) {
      metadata["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(QString::fromStdString(MediaTrackId(track.serial))));
      metadata["mpris:length"] = QVariant::fromValue(static_cast<qlonglong>(track.lengthUs));
      metadata["xesam:title"] = ToQ(track.title);
      metadata["xesam:url"] = QUrl::fromLocalFile(ToQ(track.path)).toString(QUrl::FullyEncoded);
    } else {
      metadata["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack)));
    }
    QVariantMap properties;
    properties["PlaybackStatus"] = QString::fromLatin1(StatusText(status));
    properties["Rate"] = 1.0;
    properties["Metadata"] = metadata;
    properties["Volume"] = 1.0;
    properties["Position"] = QVariant::fromValue(static_cast<qlonglong>(m_controls->MediaPositionUs()));
    properties["MinimumRate"] = 1.0;
    properties["MaximumRate"] = 1.0;
    properties["CanGoNext"] = m_controls->MediaCanGoNext();
    properties["CanGoPrevious"] = m_controls->MediaCanGoPrevious();
    properties["CanPlay"] = true;
    properties["CanPause"] = status != MediaPlayback::Stopped;
    properties["CanSeek"] = track.present;
    properties["CanControl"] = true;
    return properties;
  }

  static QVariantMap RootProperties() {
    QVariantMap properties;
    properties["CanQuit"] = false;
    properties["CanRaise"] = false;
    properties["HasTrackList"] = false;
    properties["Identity"] = QStringLiteral("Talvinor");
    properties["DesktopEntry"] = QStringLiteral("talvinor");
    properties["SupportedUriSchemes"] = QStringList{QStringLiteral("file")};
    properties["SupportedMimeTypes"] = QStringList{"audio/x-wav", "audio/wav", "audio/ogg", "audio/x-vorbis+ogg",
                                                   "audio/x-speex", "audio/x-speex+ogg"};
    return properties;
  }

  void AnnounceChanges() {
    QVariantMap now = PlayerProperties();
    now.remove("Position");  // clients ask for it; it is never announced
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
      if (!m_announced.contains(it.key()) || m_announced.value(it.key()) != it.value()) changed[it.key()] = it.value();
    m_announced = now;
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPropertiesInterface, "PropertiesChanged");
    signal << kPlayerInterface << changed << QStringList();
    m_bus.send(signal);
  }

  void AnnounceSeek(int64_t positionUs) {
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPlayerInterface, "Seeked");
    signal << QVariant::fromValue(static_cast<qlonglong>(positionUs));
    m_bus.send(signal);
  }

 private:
  bool SendError(const QDBusMessage& message, const QDBusConnection& connection, const char* name) {
    connection.send(message.createErrorReply(QString("org.freedesktop.DBus.Error.") + name, "bad arguments"));
    return true;
  }

  bool HandleProperties(const QDBusMessage& message, const QDBusConnection& connection) {
    const QList<QVariant> args = message.arguments();
    const QString member = message.member();
    const QString interface = args.isEmpty() ? QString() : args[0].toString();
    QVariantMap properties;
    if (interface == kPlayerInterface) {
      properties = PlayerProperties();
    } else if (interface == kRootInterface) {
      properties = RootProperties();
    } else if (member == "Get" || member == "GetAll") {
      connection.send(message.createErrorReply(QDBusError::UnknownInterface, "no such interface: " + interface));
      return true;
    }
    if (member == "GetAll") {
      connection.send(message.createReply(QVariant::fromValue(properties)));
      return true;
    }
    if (member == "Get" && args.size() == 2) {
      const QString name = args[1].toString();
      if (!properties.contains(name)) {
        connection.send(message.createErrorReply(QDBusError::UnknownProperty, "no such property: " + name));
        return true;
      }
      connection.send(message.createReply(QVariant::fromValue(QDBusVariant(properties.value(name)))));
      return true;
    }
    if (member == "Set") {
      // Rate and volume stay 1.0: the player has neither control.
      connection.send(message.createReply());
      return true;
    }
    return false;
  }

  MediaPlayerControls* m_controls;
  QDBusConnection m_bus;
  QVariantMap m_announced;
};

MprisService::MprisService() = default;

MprisService::~MprisService() { Stop(); }

bool MprisService::Start(MediaPlayerControls* controls, const std::string& nameSuffix, std::string* error) {
  Stop();
  auto fail = [&](const std::string& why) {
    Trace("MprisService::Start - %s\r\n", why.c_str());
    if (error) *error = why;
    return false;
  };
  if (!controls) return fail("no player");
  if (!QCoreApplication::instance()) return fail("no Qt application; the session bus is not used");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return fail("no session bus: " + bus.lastError().message().toStdString());
  auto object = std::make_unique<Object>(controls, bus);
  if (!bus.registerVirtualObject(kObjectPath, object.get(), QDBusConnection::SingleNode))
    return fail(std::string("cannot register ") + kObjectPath + ": " + bus.lastError().message().toStdString());
  const std::string name = kBusName + nameSuffix;
  // A second player keeps its hands off the name of the first.
  QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
      QString::fromStdString(name), QDBusConnectionInterface::DontQueueService,
      QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
    bus.unregisterObject(kObjectPath);
    return fail("the name " + name + " is taken or cannot be requested: " + reply.error().message().toStdString());
  }
  m_object = std::move(object);
  m_busName = name;
  m_object->AnnounceChanges();
  Trace("MprisService::Start - %s serves %s\r\n", name.c_str(), kObjectPath);
  return true;
}

void MprisService::Stop() {
  if (!m_object) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(kObjectPath);
  bus.interface()->unregisterService(QString::fromStdString(m_busName));
  m_object.reset();
  m_busName.clear();
}

bool MprisService::IsRunning() const { return m_object != nullptr; }

const std::string& MprisService::BusName() const { return m_busName; }

void MprisService::NotifyChanged() {
  if (m_object) m_object->AnnounceChanges();
}

void MprisService::NotifySeeked(int64_t positionUs) {
  if (m_object) m_object->AnnounceSeek(positionUs);
}

}  // namespace talvinor
