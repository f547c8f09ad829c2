// A Slurm cluster of this one machine for the tests: its own munge key and daemon, a controller
// and two node daemons ("node1" and "node2", as on a cluster of two machines) with a generated
// configuration, all in a temporary folder and on free ports, so that nothing of the machine's
// own Slurm or munge set-up is used or changed.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TOneHostSlurm {
 public:
  TOneHostSlurm();
  // Cancels what is left of the jobs, stops the daemons and removes the folder.
  ~TOneHostSlurm();
  TOneHostSlurm(const TOneHostSlurm &) = delete;
  TOneHostSlurm &operator=(const TOneHostSlurm &) = delete;

  static constexpr const char *Nodes[] = {"node1", "node2"};
  static constexpr int MaxArraySize = 4;

  // Empty when the nodes are up and idle; otherwise why the cluster could not start.
  const std::string &Problem() const { return FProblem; }

  // The controller stopped, as for an upgrade or a crash (the nodes' jobs go on), and started
  // again from its saved state; false with Problem() set when it does not answer again.
  void StopController();
  bool StartController();

  // A node taken out of service as an administrator would (state DOWN: Slurm requeues or ends
  // what ran there), and brought back until it is idle again; false with Problem() set.
  bool SetNodeDown(const std::string &Node);
  bool ReturnNode(const std::string &Node);
  // A node daemon killed as a crash would (the jobs it started run on, unwatched); ReturnNode
  // starts it again.
  void KillNodeDaemon(const std::string &Node);

  // A second cluster's controller (no node) on the same machine: its configuration file for
  // SLURM_CONF, or empty with Problem() set.
  std::string StartOtherCluster();

 private:
  bool Start();
  std::string WriteConfig(const std::string &Cluster, const std::string &Prefix);
  bool StartDaemon(const std::vector<std::string> &Arguments, const std::string &Name);
  bool StartNodeDaemon(const std::string &Node);
  bool WaitUntilIdle();
  std::string LogTail(const std::string &Name) const;
  void Stop();

  std::string FFolder;
  std::string FConfig;
  std::string FSocket;
  int FController = -1;
  std::string FProblem;
  // Each daemon's process and name, started in this order and stopped in the reverse one.
  std::vector<std::pair<int, std::string>> FDaemons;
};
