// The end-of-batch notification on a private session bus: main() starts a dbus-daemon of its
// own and points the program at it; a small notification service on that bus records what
// each Notify call carried, as a desktop's notification daemon would receive it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QPushButton>
#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

#include "app/window/desktop_integration.h"
#include "app/window/desktop_notification.h"
#include "tests/app/window_start.h"

namespace {

constexpr char Service[] = "org.freedesktop.Notifications";
constexpr char ServicePath[] = "/org/freedesktop/Notifications";
constexpr char ServiceConnection[] = "notification-service";

std::string BusAddress;

struct TNotification {
  QString Signature, AppName, Icon, Summary, Body;
  QVariantMap Hints;
};

// The desktop's side of the protocol: owns the service name and answers Notify with an id.
class TNotificationService : public QDBusVirtualObject {
 public:
  TNotificationService()
      : FBus(QDBusConnection::connectToBus(QString::fromStdString(BusAddress), ServiceConnection)) {
    EXPECT_TRUE(FBus.isConnected()) << FBus.lastError().message().toStdString();
    EXPECT_TRUE(FBus.registerVirtualObject(ServicePath, this));
    EXPECT_TRUE(FBus.registerService(Service)) << FBus.lastError().message().toStdString();
  }
  ~TNotificationService() override {
    FBus.unregisterService(Service);
    FBus.unregisterObject(ServicePath);
    QDBusConnection::disconnectFromBus(ServiceConnection);
  }

  QString introspect(const QString &) const override {
    return "<interface name=\"org.freedesktop.Notifications\"><method name=\"Notify\">"
           "<arg type=\"s\" direction=\"in\"/><arg type=\"u\" direction=\"in\"/>"
           "<arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
           "<arg type=\"s\" direction=\"in\"/><arg type=\"as\" direction=\"in\"/>"
           "<arg type=\"a{sv}\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/>"
           "<arg type=\"u\" direction=\"out\"/></method></interface>";
  }

  bool handleMessage(const QDBusMessage &Message, const QDBusConnection &Connection) override {
    if (Message.interface() != Service || Message.member() != "Notify") return false;
    const QList<QVariant> Arguments = Message.arguments();
    TNotification Call;
    Call.Signature = Message.signature();
    if (Arguments.size() == 8) {
      Call.AppName = Arguments[0].toString();
      Call.Icon = Arguments[2].toString();
      Call.Summary = Arguments[3].toString();
      Call.Body = Arguments[4].toString();
      Call.Hints = qdbus_cast<QVariantMap>(Arguments[6]);
    }
    Received.push_back(Call);
    Connection.send(Message.createReply(QVariant::fromValue(uint(Received.size()))));
    return true;
  }

  std::vector<TNotification> Received;

 private:
  QDBusConnection FBus;
};

struct TBatchCase {
  const char *Name;
  std::vector<const char *> Sources;  // generated media copied in as the batch's files
  const char *Summary;
  const char *Body;
};

TEST(NotificationTest, BatchEndIsNotifiedWithItsCounts) {
  const TBatchCase Cases[] = {
      {"one good, one broken",
       {"sample.mov", "clip.mov"},
       "Conversions completed with errors",
       "1 Done, 1 Fail"},
      {"all good", {"sample.mov", "sample.mov"}, "Conversions completed", "2 Done"},
  };
  for (const TBatchCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTempFolder Temp("notification");
    TNotificationService Desktop;
    TWindowStart Started(Temp.File("settings.ini"));
    TForm1 &Form = Started.Form;
    ASSERT_TRUE(Form.ComboOutputFormat.SelectText(Mp4Entry));
    Form.ComboOutputFormatChange();
    std::vector<std::string> Files;
    for (const char *Source : Case.Sources)
      Files.push_back(CopyMedia(Temp.File("in"), std::to_string(Files.size()) + ".mov", Source));
    Form.FilesDropped(Files);
    ASSERT_TRUE(RunEventsUntil([&Form] { return !Form.Worker1.Runs(); }, 10));
    Form.EditOutputFolder = Temp.Path();
    Form.ButtonConvertClick();
    ASSERT_TRUE(RunEventsUntil([&] { return Form.Idle() && !Desktop.Received.empty(); }, 120))
        << "no notification arrived after the batch";
    ASSERT_EQ(Desktop.Received.size(), 1u);
    const TNotification &Shown = Desktop.Received[0];
    EXPECT_EQ(Shown.Signature, "susssasa{sv}i");
    EXPECT_EQ(Shown.AppName, "Tarnwick");
    EXPECT_EQ(Shown.Icon, DesktopAppId);
    EXPECT_EQ(Shown.Hints.value("desktop-entry").toString(), DesktopAppId);
    EXPECT_EQ(Shown.Summary, Case.Summary);
    EXPECT_EQ(Shown.Body, Case.Body);
  }
}

TEST(NotificationTest, SentOnlyWhileAServiceOwnsTheName) {
  for (const bool ServiceRuns : {false, true}) {
    SCOPED_TRACE(ServiceRuns ? "with a service" : "without a service");
    std::optional<TNotificationService> Desktop;
    if (ServiceRuns) Desktop.emplace();
    EXPECT_EQ(NotifyDesktop("Conversions completed", "1 Done"), ServiceRuns);
    if (Desktop) {
      ASSERT_TRUE(RunEventsUntil([&Desktop] { return !Desktop->Received.empty(); }, 10));
      EXPECT_EQ(Desktop->Received[0].Summary, "Conversions completed");
    }
  }
}

// A session bus of the test's own, so that nothing reaches the desktop of whoever runs it.
class TPrivateBus {
 public:
  TPrivateBus() : FFolder("notification-bus") {
    const std::string Daemon = QStandardPaths::findExecutable("dbus-daemon").toStdString();
    if (Daemon.empty()) return;
    const std::string Socket = FFolder.File("bus");
    FDaemon = StartProgram({Daemon, "--session", "--nofork", "--address=unix:path=" + Socket},
                           "/dev/null", FFolder.File("daemon.log"));
    // The daemon listens once its socket is there.
    for (int Wait = 0; Wait < 1000 && !std::filesystem::exists(Socket); ++Wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::filesystem::exists(Socket)) Address = "unix:path=" + Socket;
  }
  ~TPrivateBus() {
    if (FDaemon <= 0) return;
    kill(FDaemon, SIGTERM);
    waitpid(FDaemon, nullptr, 0);
  }

  std::string Address;  // empty when no daemon could be started

 private:
  TTempFolder FFolder;
  int FDaemon = -1;
};

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  std::optional<TPrivateBus> Bus;
  if (!testing::GTEST_FLAG(list_tests)) {
    Bus.emplace();
    if (Bus->Address.empty()) {
      std::fprintf(stderr, "no dbus-daemon could be started (package dbus-daemon)\n");
      return 1;
    }
    BusAddress = Bus->Address;
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(BusAddress));
  }
  QStandardPaths::setTestModeEnabled(true);
  QApplication Application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
