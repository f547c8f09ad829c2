// The Slurm client programs as tarnwick-cli uses them: submitting a held job array, releasing
// and cancelling it, and reading its elements' states from squeue and, where accounting is
// configured, from sacct. The programs are found on the PATH and run without a shell.
#pragma once

#include <map>
#include <string>
#include <vector>

struct TCommandResult {
  bool Started = false;  // false: the program could not be run (Errors says why)
  int ExitStatus = -1;
  std::string Output;
  std::string Errors;
};

// Runs a program found on the PATH with its arguments and collects what it prints.
TCommandResult RunCommand(const std::vector<std::string> &Arguments);

// True when Name is an executable file in one of the PATH's folders.
bool IsOnPath(const std::string &Name);

enum class TElementState { Pending, Running, Ended };

struct TElementStatus {
  TElementState State = TElementState::Pending;
  std::string SlurmState;  // the word Slurm uses, e.g. "CANCELLED"
  // How often Slurm has started the element again (a requeue, a node failure); -1 when not
  // known (only sacct still knows the element, and it does not tell).
  int Restarts = -1;
};

// Which of the three a Slurm job state word means; a state this list does not know is taken as
// still running, so that it never ends a row too early.
TElementState ElementStateOf(const std::string &SlurmState);

// True for the states in which Slurm itself ended an element (cancel, time limit, node failure).
bool IsStoppedBySlurm(const std::string &SlurmState);

// The known elements of array job JobId by their index. Empty Error when the states were read
// (an element Slurm no longer knows is simply missing; Known false when it knows none of the
// job); otherwise what went wrong.
std::map<int, TElementStatus> ReadElementStates(const std::string &JobId, bool &Known,
                                                std::string &Error);

// A value of the configuration of the cluster the Slurm commands talk to ("ClusterName",
// "MaxArraySize"); empty when it cannot be read.
std::string SlurmConfigValue(const std::string &Key);
inline std::string ClusterName() {
  return SlurmConfigValue("ClusterName");
}
