// The end-of-batch notification on a private session bus: main() starts a dbus-daemon of its
// own and points the program at it; a small notification service on that bus records what
// each Notify call carried, as a desktop's notification daemon would receive it. Started with
// --serve-notifications FILE, this program is such a service that a bus starts on demand.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "app/window/desktop_integration.h"
#include "app/window/desktop_notification.h"
#include "tests/app/private_bus.h"
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
  explicit TNotificationService(const std::string &Address)
      : FBus(QDBusConnection::connectToBus(QString::fromStdString(Address), ServiceConnection)) {
    FReady = FBus.isConnected() && FBus.registerVirtualObject(ServicePath, this) &&
             FBus.registerService(Service);
  }
  ~TNotificationService() override {
    FBus.unregisterService(Service);
    FBus.unregisterObject(ServicePath);
    QDBusConnection::disconnectFromBus(ServiceConnection);
  }

  bool Ready() const { return FReady; }

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
    if (OnNotify) OnNotify(Call);
    return true;
  }

  std::vector<TNotification> Received;
  std::function<void(const TNotification &Call)> OnNotify;

 private:
  QDBusConnection FBus;
  bool FReady = false;
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
    TNotificationService Desktop(BusAddress);
    ASSERT_TRUE(Desktop.Ready());
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

enum class TServiceState { Absent, Running, Startable };

struct TServiceCase {
  const char *Name;
  TServiceState State;
  bool Sent;
};

// Where the bus finds this program as a notification service it may start.
std::string WriteServiceFile(const std::string &Folder, const std::string &Record) {
  const std::string Self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::ofstream(Folder + "/notifications.service")
      << "[D-BUS Service]\nName=" << Service << "\nExec=" << Self << " --serve-notifications "
      << Record << "\n";
  return Folder;
}

TEST(NotificationTest, SentWhileAServiceRunsOrCanBeStarted) {
  const TServiceCase Cases[] = {
      {"no service", TServiceState::Absent, false},
      {"a running service", TServiceState::Running, true},
      {"a service the bus starts on demand", TServiceState::Startable, true},
  };
  for (const TServiceCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTempFolder Services("notification-services");
    const std::string Record = Services.File("received.txt");
    TPrivateBus Bus(
        "notification-bus-" + std::to_string(int(Case.State)),
        Case.State == TServiceState::Startable ? WriteServiceFile(Services.Path(), Record) : "");
    ASSERT_FALSE(Bus.Address.empty());
    std::optional<TNotificationService> Desktop;
    if (Case.State == TServiceState::Running) {
      Desktop.emplace(Bus.Address);
      ASSERT_TRUE(Desktop->Ready());
    }
    QDBusConnection Program =
        QDBusConnection::connectToBus(QString::fromStdString(Bus.Address), "program");
    EXPECT_EQ(NotifyDesktop(Program, "Conversions completed", "1 Done"), Case.Sent);
    QDBusConnection::disconnectFromBus("program");
    std::string Summary;
    if (Desktop) {
      ASSERT_TRUE(RunEventsUntil([&Desktop] { return !Desktop->Received.empty(); }, 10));
      Summary = Desktop->Received[0].Summary.toStdString();
    } else if (Case.Sent) {
      ASSERT_TRUE(RunEventsUntil([&Record] { return std::filesystem::exists(Record); }, 20))
          << "the started service recorded nothing";
      Summary = ReadFile(Record);
    }
    EXPECT_EQ(Summary, Case.Sent ? "Conversions completed" : "");
  }
}

// Started by the bus: answers one Notify, writes its summary to Record and ends.
int ServeNotifications(int &argc, char **argv, const std::string &Record) {
  QCoreApplication Application(argc, argv);
  TNotificationService Desktop(qEnvironmentVariable("DBUS_STARTER_ADDRESS").toStdString());
  if (!Desktop.Ready()) return 1;
  Desktop.OnNotify = [&Record](const TNotification &Call) {
    // Whole or not at all: the test waits for the name.
    std::ofstream(Record + ".part") << Call.Summary.toStdString();
    std::filesystem::rename(Record + ".part", Record);
    QTimer::singleShot(0, &QCoreApplication::quit);
  };
  return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::string(argv[1]) == "--serve-notifications")
    return ServeNotifications(argc, argv, argv[2]);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  std::optional<TPrivateBus> Bus;
  if (!testing::GTEST_FLAG(list_tests)) {
    Bus.emplace("notification-bus");
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
