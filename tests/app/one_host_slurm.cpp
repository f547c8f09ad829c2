// Starting and stopping the test's own Slurm of two nodes on this machine.

#include "tests/app/one_host_slurm.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// A TCP port nobody listens on now; the daemons take it a moment later.
int FreePort() {
  const int Socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof Address;
  int Port = -1;
  if (::bind(Socket, reinterpret_cast<sockaddr *>(&Address), sizeof Address) == 0 &&
      ::getsockname(Socket, reinterpret_cast<sockaddr *>(&Address), &Length) == 0)
    Port = ntohs(Address.sin_port);
  ::close(Socket);
  return Port;
}

bool Exited(int Pid) {
  int Status = 0;
  const int Result = ::waitpid(Pid, &Status, WNOHANG);
  return Result == Pid || (Result < 0 && errno == ECHILD);
}

void Pause() {
  ::usleep(200 * 1000);
}

// Memory the node reports, a little under the machine's so that slurmd never finds less.
long NodeMemoryMegabytes() {
  const long Bytes = ::sysconf(_SC_PHYS_PAGES) * ::sysconf(_SC_PAGE_SIZE);
  return Bytes / (1024 * 1024) * 9 / 10;
}

std::string HostName() {
  char Name[256] = {};
  ::gethostname(Name, sizeof Name - 1);
  return Name;
}

}  // namespace

TOneHostSlurm::TOneHostSlurm() {
  if (!Start()) Stop();
}

TOneHostSlurm::~TOneHostSlurm() {
  if (FProblem.empty()) RunProgram({"/usr/bin/scancel", "--user=root"});
  Stop();
}

bool TOneHostSlurm::Start() {
  for (const char *Program : {"/usr/sbin/munged", "/usr/sbin/slurmctld", "/usr/sbin/slurmd"}) {
    if (::access(Program, X_OK) != 0) {
      FProblem = std::string(Program) + " is not installed (scripts/install-deps.sh installs it)";
      return false;
    }
  }
  if (::geteuid() != 0) {
    FProblem = "the Slurm daemons of the test run as root, and this is not root";
    return false;
  }
  // Short, because a socket's path is limited to about a hundred bytes.
  char Template[] = "/tmp/tarnwick-slurm-XXXXXX";
  if (::mkdtemp(Template) == nullptr) {
    FProblem = "cannot create a folder in /tmp";
    return false;
  }
  FFolder = Template;
  ::chmod(FFolder.c_str(), 0755);
  fs::create_directory(FFolder + "/state");
  for (const char *Node : Nodes) fs::create_directory(FFolder + "/spool-" + Node);

  const std::string Key = FFolder + "/munge.key";
  {
    std::ifstream Random("/dev/urandom", std::ios::binary);
    std::string Bytes(1024, '\0');
    Random.read(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    std::ofstream(Key, std::ios::binary) << Bytes;
  }
  ::chmod(Key.c_str(), 0400);
  const std::string Socket = FFolder + "/munge.socket";
  if (!StartDaemon(
          {"/usr/sbin/munged", "--foreground", "--force", "--key-file=" + Key, "--socket=" + Socket,
           "--pid-file=" + FFolder + "/munged.pid", "--log-file=" + FFolder + "/munged.log",
           "--seed-file=" + FFolder + "/munged.seed"},
          "munged"))
    return false;
  for (int Try = 0; Try < 50 && !fs::exists(Socket); ++Try) Pause();
  if (!fs::exists(Socket)) {
    FProblem = "munged made no socket: " + LogTail("munged.log");
    return false;
  }

  FSocket = Socket;
  const std::string Config = WriteConfig("tarnwicktest", "");
  // The Slurm commands the tests and the program run find this cluster through these.
  ::setenv("SLURM_CONF", Config.c_str(), 1);
  ::setenv("MUNGE_SOCKET", Socket.c_str(), 1);

  FConfig = Config;
  if (!StartController()) return false;
  // Each node daemon finds its own port, spool, pid and log files by its node name.
  for (const char *Node : Nodes)
    if (!StartNodeDaemon(Node)) return false;
  return WaitUntilIdle();
}

std::string TOneHostSlurm::WriteConfig(const std::string &Cluster, const std::string &Prefix) {
  const std::string Own = FFolder + "/" + Prefix;
  fs::create_directories(Own + "state");
  std::ofstream Config(Own + "slurm.conf");
  Config << "ClusterName=" << Cluster << "\n"
         << "SlurmctldHost=localhost\n"
         << "SlurmctldPort=" << FreePort() << "\nSlurmdPort=" << FreePort() << "\n"
         << "SlurmUser=root\nSlurmdUser=root\n"
         << "AuthType=auth/munge\nCredType=cred/munge\nAuthInfo=socket="
         << FSocket
         // A requeued job waits out the credential's lifetime before it starts again (120 s by
         // default); it also keeps a rerun from meeting the revoked credential of its last run.
         << ",cred_expire=15\n"
         << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
         << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
         << "StateSaveLocation=" << Own << "state\nSlurmdSpoolDir=" << FFolder << "/spool-%n\n"
         << "SlurmctldPidFile=" << Own << "slurmctld.pid\n"
         << "SlurmdPidFile=" << FFolder << "/slurmd-%n.pid\n"
         << "SlurmctldLogFile=" << Own << "slurmctld.log\n"
         << "SlurmdLogFile=" << FFolder << "/slurmd-%n.log\n"
         << "AccountingStorageType=accounting_storage/none\nJobCompType=jobcomp/none\n"
         << "MpiDefault=none\nKillWait=5\n"
         // A node set down stays down until resumed; one that only stopped answering returns.
         << "ReturnToService=1\n"
         // Small, so that a batch of a few files needs several job arrays.
         << "MaxArraySize=" << MaxArraySize << "\n";
  for (const char *Node : Nodes)
    Config << "NodeName=" << Node << " NodeAddr=127.0.0.1 NodeHostname=" << HostName()
           << " Port=" << FreePort() << " CPUs=" << ::sysconf(_SC_NPROCESSORS_ONLN)
           << " RealMemory=" << NodeMemoryMegabytes() << " State=UNKNOWN\n";
  Config << "PartitionName=batch Nodes=" << Nodes[0] << "," << Nodes[1]
         << " Default=YES MaxTime=INFINITE State=UP\n";
  return Own + "slurm.conf";
}

std::string TOneHostSlurm::StartOtherCluster() {
  const std::string Config = WriteConfig("tarnwickother", "other-");
  if (!StartDaemon({"/usr/sbin/slurmctld", "-D", "-i", "-f", Config}, "other-slurmctld")) return {};
  for (int Try = 0; Try < 150; ++Try) {
    if (RunProgram({"/usr/bin/env", "SLURM_CONF=" + Config, "/usr/bin/squeue"}).ExitStatus == 0)
      return Config;
    Pause();
  }
  FProblem = "the other controller did not answer: " + LogTail("other-slurmctld.log");
  return {};
}

void TOneHostSlurm::StopController() {
  ::kill(FController, SIGTERM);
  ::waitpid(FController, nullptr, 0);
  std::erase_if(FDaemons, [this](const auto &Daemon) { return Daemon.first == FController; });
  FController = -1;
}

bool TOneHostSlurm::StartController() {
  if (!StartDaemon({"/usr/sbin/slurmctld", "-D", "-i", "-f", FConfig}, "slurmctld")) return false;
  FController = FDaemons.back().first;
  if (FDaemons.size() < 3) return true;  // at the cluster's start WaitUntilIdle follows
  for (int Try = 0; Try < 150; ++Try) {
    if (RunProgram({"/usr/bin/squeue", "--noheader"}).ExitStatus == 0) return true;
    Pause();
  }
  FProblem = "the controller did not answer again: " + LogTail("slurmctld.log");
  return false;
}

bool TOneHostSlurm::StartDaemon(const std::vector<std::string> &Arguments,
                                const std::string &Name) {
  const std::string Output = FFolder + "/" + Name + ".out";
  const int Pid = StartProgram(Arguments, Output, Output);
  if (Pid < 0) {
    FProblem = "cannot start " + Name;
    return false;
  }
  FDaemons.emplace_back(Pid, Name);
  return true;
}

bool TOneHostSlurm::WaitUntilIdle() {
  std::string Idle;
  for (size_t Node = 0; Node < std::size(Nodes); ++Node) Idle += "idle\n";
  for (int Try = 0; Try < 150; ++Try) {
    for (auto Daemon = FDaemons.begin(); Daemon != FDaemons.end(); ++Daemon) {
      if (!Exited(Daemon->first)) continue;
      const std::string Name = Daemon->second;
      FDaemons.erase(Daemon);
      FProblem = Name + " ended at start: " + LogTail(Name + ".log") + LogTail(Name + ".out");
      return false;
    }
    const TProcessResult States =
        RunProgram({"/usr/bin/sinfo", "--noheader", "--Node", "--format=%T"});
    if (States.ExitStatus == 0 && States.Output == Idle) return true;
    Pause();
  }
  FProblem = "the nodes did not become idle: " + LogTail("slurmctld.log") +
             LogTail("slurmd-node1.log") + LogTail("slurmd-node2.log");
  return false;
}

bool TOneHostSlurm::SetNodeDown(const std::string &Node) {
  const TProcessResult Down =
      RunProgram({"/usr/bin/scontrol", "update", "nodename=" + Node, "state=DOWN", "reason=test"});
  if (Down.ExitStatus != 0) FProblem = "scontrol could not set " + Node + " down: " + Down.Errors;
  return Down.ExitStatus == 0;
}

bool TOneHostSlurm::StartNodeDaemon(const std::string &Node) {
  return StartDaemon({"/usr/sbin/slurmd", "-D", "-f", FConfig, "-N", Node}, "slurmd-" + Node);
}

void TOneHostSlurm::KillNodeDaemon(const std::string &Node) {
  for (auto Daemon = FDaemons.begin(); Daemon != FDaemons.end(); ++Daemon) {
    if (Daemon->second != "slurmd-" + Node) continue;
    ::kill(Daemon->first, SIGKILL);
    ::waitpid(Daemon->first, nullptr, 0);
    FDaemons.erase(Daemon);
    return;
  }
}

bool TOneHostSlurm::ReturnNode(const std::string &Node) {
  const bool Running = std::any_of(FDaemons.begin(), FDaemons.end(), [&](const auto &Daemon) {
    return Daemon.second == "slurmd-" + Node;
  });
  if (!Running && !StartNodeDaemon(Node)) return false;
  RunProgram({"/usr/bin/scontrol", "update", "nodename=" + Node, "state=RESUME"});
  for (int Try = 0; Try < 300; ++Try) {
    const TProcessResult State =
        RunProgram({"/usr/bin/sinfo", "--noheader", "--Node", "--nodes=" + Node, "--format=%T"});
    if (State.ExitStatus == 0 && State.Output == "idle\n") return true;
    Pause();
  }
  FProblem = Node + " did not become idle again: " + LogTail("slurmctld.log");
  return false;
}

std::string TOneHostSlurm::LogTail(const std::string &Name) const {
  const std::string Text = ReadFile(FFolder + "/" + Name);
  return Text.size() > 1500 ? Text.substr(Text.size() - 1500) : Text;
}

void TOneHostSlurm::Stop() {
  for (auto Daemon = FDaemons.rbegin(); Daemon != FDaemons.rend(); ++Daemon) {
    const int Pid = Daemon->first;
    ::kill(Pid, SIGTERM);
    int Tries = 0;
    while (!Exited(Pid) && ++Tries < 50) Pause();
    if (Tries >= 50) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, nullptr, 0);
    }
  }
  FDaemons.clear();
  std::error_code Ignored;
  if (!FFolder.empty()) fs::remove_all(FFolder, Ignored);
}
