// A freedesktop notification over D-Bus.

#include "app/window/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

#include "app/window/desktop_integration.h"

namespace {

constexpr char Service[] = "org.freedesktop.Notifications";

}  // namespace

bool NotifyDesktop(const std::string &Summary, const std::string &Body) {
  QDBusConnection Bus = QDBusConnection::sessionBus();
  if (!Bus.isConnected() || Bus.interface() == nullptr) return false;
  // Ask first: a call to a missing service would wait for the bus to start one.
  if (!Bus.interface()->isServiceRegistered(Service).value()) return false;
  QDBusMessage Call =
      QDBusMessage::createMethodCall(Service, "/org/freedesktop/Notifications", Service, "Notify");
  QVariantMap Hints;
  Hints["desktop-entry"] = QString(DesktopAppId);
  Call << QString("Tarnwick") << 0u << QString(DesktopAppId) << QString::fromStdString(Summary)
       << QString::fromStdString(Body) << QStringList() << Hints << -1;
  return Bus.send(Call);
}
