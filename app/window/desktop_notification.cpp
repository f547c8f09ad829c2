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
  return NotifyDesktop(QDBusConnection::sessionBus(), Summary, Body);
}

bool NotifyDesktop(const QDBusConnection &Bus, const std::string &Summary,
                   const std::string &Body) {
  if (!Bus.isConnected() || Bus.interface() == nullptr) return false;
  QDBusConnectionInterface &Names = *Bus.interface();
  // Many desktops start their notification daemon only when it is first called; a name that
  // nobody owns and nobody can start is not called at all.
  if (!Names.isServiceRegistered(Service).value() &&
      !Names.activatableServiceNames().value().contains(Service))
    return false;
  QDBusMessage Call =
      QDBusMessage::createMethodCall(Service, "/org/freedesktop/Notifications", Service, "Notify");
  QVariantMap Hints;
  Hints["desktop-entry"] = QString(DesktopAppId);
  Call << QString("Tarnwick") << 0u << QString(DesktopAppId) << QString::fromStdString(Summary)
       << QString::fromStdString(Body) << QStringList() << Hints << -1;
  return Bus.send(Call);
}
