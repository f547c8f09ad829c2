// Keeps the machine from sleeping while it exists: the desktop is asked not to suspend, and is
// told again when the object goes. Asks logind over the system bus (its lock is a file
// descriptor held open) and the session's own power manager over the session bus
// (org.freedesktop.PowerManagement.Inhibit, else org.freedesktop.ScreenSaver: a cookie handed
// back), each where the bus has it: logind blocks the system's suspend, while a desktop decides
// its idle suspend from its session's locks. Where neither is there, nothing happens and nothing
// is said. Main thread; every call waits at most a short while for an answer.
#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <optional>
#include <string>

class TSleepInhibitor {
 public:
  // On the buses the environment names (DBUS_SYSTEM_BUS_ADDRESS, DBUS_SESSION_BUS_ADDRESS).
  explicit TSleepInhibitor(const std::string &Why);
  TSleepInhibitor(const QDBusConnection &System, const QDBusConnection &Session,
                  const std::string &Why);
  ~TSleepInhibitor();
  TSleepInhibitor(const TSleepInhibitor &) = delete;
  TSleepInhibitor &operator=(const TSleepInhibitor &) = delete;

  // Some service took the lock.
  bool Held() const { return FLogin.isValid() || FCookie.has_value(); }

 private:
  void InhibitLogin(const QDBusConnection &System, const QString &Why);
  void InhibitSession(const QString &Why);

  QDBusConnection FSession;
  QDBusUnixFileDescriptor FLogin;  // logind's lock: released when closed
  std::optional<uint> FCookie;     // the session service's lock
  QString FService, FPath, FInterface;
};
