#include "app/sleep_inhibitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QList>
#include <QVariant>

namespace {

// A service that takes longer is taken for one that is not there: the batch must not wait.
constexpr int CallTimeout = 2000;  // milliseconds

constexpr char Who[] = "Tarnwick";

struct TSessionService {
  const char *Service, *Path, *Interface;
};

// Asked in this order; the first one there takes the lock.
constexpr TSessionService SessionServices[] = {
    {"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
     "org.freedesktop.PowerManagement.Inhibit"},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
};

bool Runs(const QDBusConnection &Bus, const QString &Service) {
  return Bus.isConnected() && Bus.interface() != nullptr &&
         Bus.interface()->isServiceRegistered(Service).value();
}

// The reply's first value, when the call was answered without an error.
std::optional<QVariant> Call(const QDBusConnection &Bus, const QDBusMessage &Message) {
  const QDBusMessage Reply = Bus.call(Message, QDBus::Block, CallTimeout);
  if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) return {};
  return Reply.arguments().first();
}

}  // namespace

TSleepInhibitor::TSleepInhibitor(const std::string &Why)
    : TSleepInhibitor(QDBusConnection::systemBus(), QDBusConnection::sessionBus(), Why) {}

TSleepInhibitor::TSleepInhibitor(const QDBusConnection &System, const QDBusConnection &Session,
                                 const std::string &Why)
    : FSession(Session) {
  const QString Reason = QString::fromStdString(Why);
  InhibitLogin(System, Reason);
  InhibitSession(Reason);
}

TSleepInhibitor::~TSleepInhibitor() {
  // Closing logind's descriptor releases its lock; FLogin closes it.
  if (!FCookie) return;
  QDBusMessage Release = QDBusMessage::createMethodCall(FService, FPath, FInterface, "UnInhibit");
  Release << *FCookie;
  Call(FSession, Release);
}

void TSleepInhibitor::InhibitLogin(const QDBusConnection &System, const QString &Why) {
  constexpr char Service[] = "org.freedesktop.login1";
  if (!Runs(System, Service)) return;
  QDBusMessage Inhibit = QDBusMessage::createMethodCall(
      Service, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit");
  Inhibit << QString("sleep:idle") << QString(Who) << Why << QString("block");
  if (const auto Lock = Call(System, Inhibit))
    FLogin = qvariant_cast<QDBusUnixFileDescriptor>(*Lock);
}

void TSleepInhibitor::InhibitSession(const QString &Why) {
  for (const TSessionService &Each : SessionServices) {
    if (!Runs(FSession, Each.Service)) continue;
    QDBusMessage Inhibit =
        QDBusMessage::createMethodCall(Each.Service, Each.Path, Each.Interface, "Inhibit");
    Inhibit << QString(Who) << Why;
    const auto Cookie = Call(FSession, Inhibit);
    if (!Cookie || !Cookie->canConvert<uint>()) continue;
    FCookie = Cookie->toUInt();
    FService = Each.Service;
    FPath = Each.Path;
    FInterface = Each.Interface;
    return;
  }
}
