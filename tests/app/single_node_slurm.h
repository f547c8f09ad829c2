// A Slurm cluster of this one machine for the tests: its own munge key and daemon, a controller
// and a node daemon with a generated configuration, all in a temporary folder and on free
// ports, so that nothing of the machine's own Slurm or munge set-up is used or changed.
#pragma once

#include <string>
#include <vector>

class TSingleNodeSlurm {
 public:
  TSingleNodeSlurm();
  // Cancels what is left of the jobs, stops the daemons and removes the folder.
  ~TSingleNodeSlurm();
  TSingleNodeSlurm(const TSingleNodeSlurm &) = delete;
  TSingleNodeSlurm &operator=(const TSingleNodeSlurm &) = delete;

  // Empty when the node is up and idle; otherwise why the cluster could not start.
  const std::string &Problem() const { return FProblem; }

  // The controller stopped, as for an upgrade or a crash (the node's jobs go on), and started
  // again from its saved state; false with Problem() set when it does not answer again.
  void StopController();
  bool StartController();

  // A second cluster's controller (no node) on the same machine: its configuration file for
  // SLURM_CONF, or empty with Problem() set.
  std::string StartOtherCluster();

 private:
  bool Start();
  std::string WriteConfig(const std::string &Cluster, const std::string &Prefix);
  bool StartDaemon(const std::vector<std::string> &Arguments, const std::string &Name);
  bool WaitUntilIdle();
  std::string LogTail(const std::string &Name) const;
  void Stop();

  std::string FFolder;
  std::string FConfig;
  std::string FSocket;
  int FController = -1;
  std::string FProblem;
  std::vector<int> FDaemons;  // started in this order, stopped in the reverse one
};
