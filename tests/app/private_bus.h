// A bus of a test's own: a dbus-daemon started for it, so that nothing reaches the desktop or
// the system of whoever runs the tests.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <QStandardPaths>
#include <chrono>
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
