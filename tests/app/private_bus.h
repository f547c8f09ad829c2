// A bus of a test's own: a dbus-daemon started for it, so that nothing reaches the desktop or
// the system of whoever runs the tests.
#pragma once

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStandardPaths>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/test_support.h"

// A service folder makes the services described there startable on demand.
class TPrivateBus {
 public:
  explicit TPrivateBus(const std::string &Name, const std::string &ServiceFolder = "")
      : FFolder(Name) {
    const std::string Daemon = QStandardPaths::findExecutable("dbus-daemon").toStdString();
    if (Daemon.empty()) return;
    const std::string Socket = FFolder.File("bus");
    std::ofstream(FFolder.File("bus.conf"))
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:path="
        << Socket << "</listen>"
        << (ServiceFolder.empty() ? "" : "<servicedir>" + ServiceFolder + "</servicedir>")
        << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    FDaemon = StartProgram({Daemon, "--nofork", "--config-file=" + FFolder.File("bus.conf")},
                           "/dev/null", FFolder.File("daemon.log"));
    // The socket's file appears when the daemon binds it, a moment before it listens: the bus
    // is there once a connection is taken.
    for (int Wait = 0; Wait < 1000; ++Wait) {
      if (Accepts(Socket)) {
        Address = "unix:path=" + Socket;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~TPrivateBus() {
    if (FDaemon <= 0) return;
    kill(FDaemon, SIGTERM);
    waitpid(FDaemon, nullptr, 0);
  }

  std::string Address;  // empty when no daemon could be started

 private:
  static bool Accepts(const std::string &Socket) {
    sockaddr_un Peer{};
    Peer.sun_family = AF_UNIX;
    if (Socket.size() >= sizeof Peer.sun_path) return false;
    std::memcpy(Peer.sun_path, Socket.c_str(), Socket.size() + 1);
    const int Client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Client < 0) return false;
    const bool Taken = ::connect(Client, reinterpret_cast<sockaddr *>(&Peer), sizeof Peer) == 0;
    ::close(Client);
    return Taken;
  }

  TTempFolder FFolder;
  int FDaemon = -1;
};
