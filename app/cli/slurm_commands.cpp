// Running the Slurm client programs and reading job array states from their output.

#include "slurm_commands.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "text/text_utils.h"

extern char **environ;

namespace {

// Closes the descriptors it holds when it goes.
struct TPipe {
  int Ends[2] = {-1, -1};
  ~TPipe() {
    for (int End : Ends)
      if (End >= 0) ::close(End);
  }
  void Close(int Index) {
    ::close(Ends[Index]);
    Ends[Index] = -1;
  }
};

// Reads both pipes to their end together, so that neither fills up while the other is read.
void ReadBoth(TPipe &Out, TPipe &Err, TCommandResult &Result) {
  pollfd Polls[2] = {{Out.Ends[0], POLLIN, 0}, {Err.Ends[0], POLLIN, 0}};
  std::string *Targets[2] = {&Result.Output, &Result.Errors};
  int Open = 2;
  while (Open > 0) {
    if (::poll(Polls, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int Index = 0; Index < 2; ++Index) {
      if (Polls[Index].fd < 0 || Polls[Index].revents == 0) continue;
      char Buffer[4096];
      const ssize_t Count = ::read(Polls[Index].fd, Buffer, sizeof Buffer);
      if (Count > 0) {
        Targets[Index]->append(Buffer, static_cast<size_t>(Count));
      } else if (Count == 0 || errno != EINTR) {
        Polls[Index].fd = -1;
        --Open;
      }
    }
  }
}

struct TStateName {
  const char *Name;
  TElementState State;
  bool StoppedBySlurm;
};

// The job states of Slurm 22.05 (squeue %T, sacct State).
constexpr TStateName StateNames[] = {
    {"PENDING", TElementState::Pending, false},
    {"REQUEUED", TElementState::Pending, false},
    {"REQUEUE_HOLD", TElementState::Pending, false},
    {"REQUEUE_FED", TElementState::Pending, false},
    {"RESV_DEL_HOLD", TElementState::Pending, false},
    {"COMPLETED", TElementState::Ended, false},
    {"FAILED", TElementState::Ended, false},
    {"SPECIAL_EXIT", TElementState::Ended, false},
    {"CANCELLED", TElementState::Ended, true},
    {"TIMEOUT", TElementState::Ended, true},
    {"NODE_FAIL", TElementState::Ended, true},
    {"PREEMPTED", TElementState::Ended, true},
    {"BOOT_FAIL", TElementState::Ended, true},
    {"DEADLINE", TElementState::Ended, true},
    {"OUT_OF_MEMORY", TElementState::Ended, true},
    {"REVOKED", TElementState::Ended, true},
};

const TStateName *FindState(const std::string &SlurmState) {
  for (const TStateName &Name : StateNames)
    if (SlurmState == Name.Name) return &Name;
  return nullptr;
}

bool IsSmallNumber(const std::string &Text) {
  return !Text.empty() && Text.size() <= 9 &&
         Text.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<std::string_view> SplitLines(std::string_view Text) {
  std::vector<std::string_view> Lines;
  while (!Text.empty()) {
    const size_t End = Text.find('\n');
    Lines.push_back(Text.substr(0, End));
    Text = End == std::string_view::npos ? std::string_view() : Text.substr(End + 1);
  }
  return Lines;
}

// "INDEX|STATE|RESTARTS" from squeue or "JOBID_INDEX|STATE" from sacct, the cells padded with
// blanks; false for any other line (a range of elements not yet started, a step, a word of no
// job).
bool ParseStateLine(std::string_view Line, const std::string &Prefix, int &Index,
                    TElementStatus &Status) {
  std::vector<std::string> Cells;
  while (true) {
    const size_t Bar = Line.find('|');
    Cells.push_back(TrimmedText(Line.substr(0, Bar)));
    if (Bar == std::string_view::npos) break;
    Line.remove_prefix(Bar + 1);
  }
  if (Cells.size() < 2 || !Cells[0].starts_with(Prefix)) return false;
  const std::string Element = Cells[0].substr(Prefix.size());
  if (!IsSmallNumber(Element)) return false;
  Index = std::stoi(Element);
  // sacct writes "CANCELLED by 0": the state is the first word.
  const std::string State = Cells[1].substr(0, Cells[1].find(' '));
  if (State.empty()) return false;
  Status = {ElementStateOf(State), State,
            Cells.size() > 2 && IsSmallNumber(Cells[2]) ? std::stoi(Cells[2]) : -1};
  return true;
}

std::string FirstLine(const std::string &Text) {
  const std::string Trimmed = TrimmedText(Text);
  return Trimmed.substr(0, Trimmed.find('\n'));
}

}  // namespace

TCommandResult RunCommand(const std::vector<std::string> &Arguments) {
  TCommandResult Result;
  TPipe Out, Err;
  if (::pipe2(Out.Ends, O_CLOEXEC) != 0 || ::pipe2(Err.Ends, O_CLOEXEC) != 0) {
    Result.Errors = std::strerror(errno);
    return Result;
  }
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&Actions, Out.Ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&Actions, Err.Ends[1], STDERR_FILENO);
  // A Ctrl-C at the terminal reaches this program only: an sbatch killed half way could leave a
  // job nobody knows the id of.
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  posix_spawnattr_setpgroup(&Attributes, 0);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETPGROUP);
  std::vector<char *> Argv;
  for (const std::string &Argument : Arguments)
    Argv.push_back(const_cast<char *>(Argument.c_str()));
  Argv.push_back(nullptr);
  pid_t Child = -1;
  const int Failure = ::posix_spawnp(&Child, Argv[0], &Actions, &Attributes, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attributes);
  if (Failure != 0) {
    Result.Errors = Arguments[0] + ": " + std::strerror(Failure);
    return Result;
  }
  Out.Close(1);
  Err.Close(1);
  ReadBoth(Out, Err, Result);
  int Status = 0;
  while (::waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  Result.Started = true;
  Result.ExitStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  return Result;
}

bool IsOnPath(const std::string &Name) {
  const char *Path = std::getenv("PATH");
  std::string_view Folders = Path ? Path : "/usr/bin:/bin";
  while (true) {
    const size_t Colon = Folders.find(':');
    std::string Folder(Folders.substr(0, Colon));
    if (Folder.empty()) Folder = ".";
    const std::string Candidate = Folder + "/" + Name;
    struct stat Info;
    if (::stat(Candidate.c_str(), &Info) == 0 && S_ISREG(Info.st_mode) &&
        ::access(Candidate.c_str(), X_OK) == 0)
      return true;
    if (Colon == std::string_view::npos) return false;
    Folders.remove_prefix(Colon + 1);
  }
}

TElementState ElementStateOf(const std::string &SlurmState) {
  const TStateName *Name = FindState(SlurmState);
  return Name ? Name->State : TElementState::Running;
}

bool IsStoppedBySlurm(const std::string &SlurmState) {
  const TStateName *Name = FindState(SlurmState);
  return Name && Name->StoppedBySlurm;
}

std::map<int, TElementStatus> ReadElementStates(const std::string &JobId, bool &Known,
                                                std::string &Error) {
  std::map<int, TElementStatus> States;
  Error.clear();
  Known = false;
  // squeue knows every element still queued or running and, for a few minutes, the ended ones.
  const TCommandResult Queue =
      RunCommand({"squeue", "--noheader", "--array", "--states=all", "--jobs=" + JobId,
                  "--Format=ArrayTaskID:|,State:|,RestartCnt"});
  if (!Queue.Started) {
    Error = "cannot run squeue: " + Queue.Errors;
    return States;
  }
  // A job the controller has forgotten is no error: its rows and sacct tell the rest.
  if (Queue.ExitStatus != 0 && Queue.Errors.find("Invalid job id") == std::string::npos) {
    Error = "squeue failed: " + FirstLine(Queue.Errors + Queue.Output);
    return States;
  }
  int Index = 0;
  TElementStatus Status;
  Known = Queue.ExitStatus == 0;
  if (Queue.ExitStatus == 0)
    for (std::string_view Line : SplitLines(Queue.Output))
      if (ParseStateLine(Line, "", Index, Status)) States[Index] = Status;

  // Without accounting sacct only says "accounting storage is disabled": squeue is all there is.
  const TCommandResult Accounting =
      RunCommand({"sacct", "--noheader", "--parsable2", "--allocations", "--jobs=" + JobId,
                  "--format=JobID,State"});
  if (!Accounting.Started || Accounting.ExitStatus != 0) return States;
  for (std::string_view Line : SplitLines(Accounting.Output))
    if (ParseStateLine(Line, JobId + "_", Index, Status) && !States.contains(Index)) {
      States[Index] = Status;
      Known = true;
    }
  return States;
}

std::string SlurmConfigValue(const std::string &Key) {
  const TCommandResult Config = RunCommand({"scontrol", "show", "config"});
  if (!Config.Started || Config.ExitStatus != 0) return {};
  for (std::string_view Line : SplitLines(Config.Output)) {
    if (!Line.starts_with(Key + " ") && !Line.starts_with(Key + "=")) continue;
    const size_t Equals = Line.find('=');
    if (Equals != std::string_view::npos) return TrimmedText(Line.substr(Equals + 1));
  }
  return {};
}
