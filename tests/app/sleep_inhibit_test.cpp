// Keeping the machine awake through a batch of tarnwick-cli convert, on buses of the test's own:
// main() starts one for the system and one for the session and points the program at them; the
// services the desktop would run (logind, a session's power manager or screen saver) are played
// by this process and record what they are asked.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <csignal>
#include <memory>
#include <optional>

#include "tests/app/model_test_support.h"
#include "tests/app/private_bus.h"

namespace {

enum class TDesktop { None, Logind, PowerManagement, ScreenSaver };

struct TServiceName {
  const char *Service, *Path, *Interface;
};

TServiceName ServiceName(TDesktop Desktop) {
  switch (Desktop) {
    case TDesktop::Logind:
      return {"org.freedesktop.login1", "/org/freedesktop/login1",
              "org.freedesktop.login1.Manager"};
    case TDesktop::PowerManagement:
      return {"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
              "org.freedesktop.PowerManagement.Inhibit"};
    default:
      return {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
              "org.freedesktop.ScreenSaver"};
  }
}

// Answers Inhibit as the real service does: logind with the write end of a pipe, whose end of
// file on the read end is the release; the session's services with a cookie to UnInhibit.
class TInhibitService : public QDBusVirtualObject {
 public:
  TInhibitService(const std::string &Address, TDesktop Desktop)
      : FName(ServiceName(Desktop)),
        FLogind(Desktop == TDesktop::Logind),
        FBus(QDBusConnection::connectToBus(QString::fromStdString(Address), "inhibit-service")) {
    FReady = FBus.isConnected() && FBus.registerVirtualObject(FName.Path, this) &&
             FBus.registerService(FName.Service);
  }
  ~TInhibitService() override {
    FBus.unregisterService(FName.Service);
    FBus.unregisterObject(FName.Path);
    QDBusConnection::disconnectFromBus("inhibit-service");
    FReleased.reset();
    if (FHeld >= 0) close(FHeld);
  }

  bool Ready() const { return FReady; }
  QString introspect(const QString &) const override { return {}; }

  bool handleMessage(const QDBusMessage &Message, const QDBusConnection &Connection) override {
    if (Message.interface() != FName.Interface) return false;
    QStringList Words{Message.member()};
    for (const QVariant &Argument : Message.arguments()) Words << Argument.toString();
    Calls.push_back(Words.join(' ').toStdString());
    if (OnCall) OnCall();
    if (Message.member() == "UnInhibit") {
      Connection.send(Message.createReply());
    } else if (!FLogind) {
      Connection.send(Message.createReply(QVariant::fromValue(7u)));
    } else {
      int Pipe[2];
      if (pipe(Pipe) != 0) return false;
      FHeld = Pipe[0];
      Connection.send(Message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(Pipe[1]))));
      close(Pipe[1]);
      FReleased = std::make_unique<QSocketNotifier>(FHeld, QSocketNotifier::Read);
      QObject::connect(FReleased.get(), &QSocketNotifier::activated, [this] {
        char Byte;
        if (read(FHeld, &Byte, 1) > 0) return;
        FReleased->setEnabled(false);
        Calls.push_back("closed");
      });
    }
    return true;
  }

  std::vector<std::string> Calls;
  std::function<void()> OnCall;

 private:
  const TServiceName FName;
  const bool FLogind;
  QDBusConnection FBus;
  bool FReady = false;
  int FHeld = -1;  // logind's read end of the lock
  std::unique_ptr<QSocketNotifier> FReleased;
};

struct TInhibitCase {
  const char *Name;
  TDesktop Desktop;
  bool Stopped;  // SIGTERM as the lock is taken: the batch is stopped, not ended
  std::vector<std::string> Calls;
  bool NoBus = false;  // neither bus is there at all
};

TEST(SleepInhibitTest, HeldThroughTheBatchAndReleasedAtItsEndOrStop) {
  const std::string Logind = "Inhibit sleep:idle Tarnwick Converting files block";
  const std::string Session = "Inhibit Tarnwick Converting files";
  const TInhibitCase Cases[] = {
      {"logind on the system bus", TDesktop::Logind, false, {Logind, "closed"}},
      {"logind, stopped", TDesktop::Logind, true, {Logind, "closed"}},
      {"a power manager", TDesktop::PowerManagement, false, {Session, "UnInhibit 7"}},
      {"a screen saver, stopped", TDesktop::ScreenSaver, true, {Session, "UnInhibit 7"}},
      {"neither", TDesktop::None, false, {}},
      {"no bus at all", TDesktop::None, false, {}, true},
  };
  for (const TInhibitCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TPrivateBus System("inhibit-system"), Session("inhibit-session");
    ASSERT_FALSE(System.Address.empty() || Session.Address.empty());
    std::optional<TInhibitService> Desktop;
    if (Case.Desktop != TDesktop::None) {
      Desktop.emplace(Case.Desktop == TDesktop::Logind ? System.Address : Session.Address,
                      Case.Desktop);
      ASSERT_TRUE(Desktop->Ready());
    }
    TTempFolder Out("inhibit-out");
    // Long enough that the stop comes while it converts.
    ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                          "testsrc=size=320x240:rate=25:duration=8", Out.File("clip.mov")})
                  .ExitStatus,
              0);
    const int Program =
        StartProgram({"/usr/bin/env", "DBUS_SYSTEM_BUS_ADDRESS=" + System.Address,
                      "DBUS_SESSION_BUS_ADDRESS=" + Session.Address, TARNWICK_CLI, "convert", "mp4",
                      Out.File("clip.mov"), "--output", Out.Path(), "--jobs", "1"},
                     Out.File("rows.txt"), Out.File("messages.txt"));
    ASSERT_GT(Program, 0);
    if (Desktop && Case.Stopped) Desktop->OnCall = [Program] { kill(Program, SIGTERM); };
    int Status = -1;
    ASSERT_TRUE(RunEventsUntil([&] { return waitpid(Program, &Status, WNOHANG) == Program; }));
    // logind learns of the release when the descriptor's last copy closes.
    if (Case.Desktop == TDesktop::Logind) {
      EXPECT_TRUE(RunEventsUntil([&] { return Desktop->Calls.size() == 2; }, 10));
    }
    EXPECT_EQ(Desktop ? Desktop->Calls : std::vector<std::string>{}, Case.Calls);
    EXPECT_EQ(WEXITSTATUS(Status), Case.Stopped ? 143 : 0) << ReadFile(Out.File("messages.txt"));
    if (!Case.Stopped) {
      EXPECT_EQ(ReadFile(Out.File("messages.txt")), "All Conversions Completed\n1 Done\n");
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication Application(argc, argv);
  return RUN_ALL_TESTS();
}
