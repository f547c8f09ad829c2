// tarnwick-cli element: one element of a submitted batch, as the batch script runs it on a
// node. It converts its files one after another, each into the output name decided at submit
// time, leaving nothing of a file when Slurm stops it (cancel, requeue, time limit, node down),
// and records each file's row only when its conversion ended on its own. A rerun of the element
// waits for any earlier attempt still running and takes back that attempt's results, so that
// an input has one output and one row however often Slurm runs it.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli_commands.h"
#include "slurm_commands.h"
#include "slurm_results.h"

namespace fs = std::filesystem;

const char ElementUsage[] =
    "  tarnwick-cli element FOLDER [FIRST]\n"
    "      Run by the script of a batch submit made, on the node: converts the files of\n"
    "      element FIRST + SLURM_ARRAY_TASK_ID listed in the results folder FOLDER (FIRST:\n"
    "      the batch's number of element 0 of a later job array, else 0), one after\n"
    "      another, each into the output name submit gave it, and records each file's row\n"
    "      there. Stopped by a signal, it leaves no output and no row of the file it was\n"
    "      converting; run again, it waits for an earlier attempt still running elsewhere\n"
    "      to end, and then removes each file's earlier row and the output that row names.\n";

namespace {

volatile sig_atomic_t Stopped = 0;

void NoteStop(int) {
  Stopped = 1;
}

int Fail(const std::string &Message) {
  std::fprintf(stderr, "tarnwick-cli element: %s\n", Message.c_str());
  return 1;
}

int EnvironmentNumber(const char *Name, int Default) {
  const char *Value = std::getenv(Name);
  if (Value == nullptr || *Value == '\0') return Default;
  const std::string Text = Value;
  if (Text.size() > 9 || Text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(Text);
}

// Each run of the element logs into a file of its own, since Slurm may start its log anew on a
// requeue: "element-N.attempt-K.log", K the first number not taken. Standard output and error
// go there from now on; the attempt's number, 0 when no log could be made (Slurm's log then
// takes everything).
int OpenAttemptLog(const std::string &Folder, int Element) {
  for (int Attempt = 1; Attempt < 100000; ++Attempt) {
    const std::string Name = AttemptLogName(Element, Attempt);
    const int File =
        ::open((Folder + "/" + Name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (File < 0 && errno == EEXIST) continue;
    if (File < 0) {
      std::printf("no log of its own (%s)\n", std::strerror(errno));
      break;
    }
    std::printf("attempt %d, logged in %s\n", Attempt, Name.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(File, STDOUT_FILENO);
    ::dup2(File, STDERR_FILENO);
    ::close(File);
    return Attempt;
  }
  std::fflush(stdout);
  return 0;
}

// One attempt of an element at a time: a rerun Slurm starts while an earlier attempt still runs
// on a node it lost (its node daemon killed, the node set down) waits here until that attempt
// has ended, and then takes back what it recorded. The lock goes with this process. False when
// a stop came first or the lock cannot be taken.
struct TLockFile {
  int Descriptor = -1;
  ~TLockFile() {
    if (Descriptor >= 0) ::close(Descriptor);
  }
};

bool WaitForEarlierAttempt(const std::string &Folder, int Element, TLockFile &Lock) {
  const std::string Path = Folder + "/element-" + std::to_string(Element) + ".lock";
  Lock.Descriptor = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (Lock.Descriptor < 0) {
    std::printf("cannot open %s: %s\n", Path.c_str(), std::strerror(errno));
    return false;
  }
  struct flock Whole {};
  Whole.l_type = F_WRLCK;
  Whole.l_whence = SEEK_SET;
  if (::fcntl(Lock.Descriptor, F_SETLK, &Whole) == 0) return true;
  std::printf("An earlier attempt of element %d still runs; waiting for it to end\n", Element);
  std::fflush(stdout);
  while (::fcntl(Lock.Descriptor, F_SETLKW, &Whole) != 0)
    if (errno != EINTR || Stopped) return false;
  return !Stopped;
}

// Converts file Index into its planned name; its row recorded unless a stop ended it. False
// when the element should end (a stop, a row it cannot record), with Status its exit status.
bool ConvertFile(const std::string &Folder, int Index, const TBatchFile &File,
                 const std::vector<std::string> &Arguments, int Attempt, int &Status) {
  const std::string Removed = TakeBackRow(Folder, Index, File);
  if (!Removed.empty()) std::printf("Removing the earlier attempt's output %s\n", Removed.c_str());
  std::fflush(stdout);
  const std::string Program = fs::read_symlink("/proc/self/exe").string();
  std::vector<std::string> Convert = {Program,     "convert",   Arguments[0], "--output-name",
                                      File.Output, "--on-stop", "remove"};
  if (File.Replace) Convert.push_back("--overwrite");
  Convert.insert(Convert.end(), Arguments.begin() + 1, Arguments.end());
  Convert.insert(Convert.end(), {"--", File.Input});
  if (Stopped) return false;
  const TCommandResult Result = RunCommand(Convert);
  std::fputs(Result.Errors.c_str(), stderr);
  Status = std::max(Status, Result.ExitStatus);
  if (!Result.Started) {
    Status = Fail(Result.Errors);
    return false;
  }
  // A row "Abort" or "Skipped" is a stop's: collect asks Slurm how the element ended.
  const std::string Line = Result.Output.substr(0, Result.Output.find('\n'));
  const std::vector<std::string> Cells = RowCells(Line);
  if (Cells.size() < 2 || (Cells[1] != "Done" && Cells[1] != "Fail")) return false;
  std::string Error;
  if (!RecordRow(Folder, Index, {Line, Attempt}, Error)) {
    Status = Fail(Error);
    return false;
  }
  return !Stopped;
}

}  // namespace

int RunElementCommand(const TCliArguments &Words) {
  if (Words.empty() || Words.size() > 2 ||
      (Words.size() == 2 && (Words[1].empty() || Words[1].size() > 9 ||
                             Words[1].find_first_not_of("0123456789") != std::string::npos)))
    return Fail(
        "expected the results folder and the array's first element (see tarnwick-cli "
        "--help)");
  const std::string &Folder = Words[0];
  const int Task = EnvironmentNumber("SLURM_ARRAY_TASK_ID", -1);
  if (Task < 0) return Fail("SLURM_ARRAY_TASK_ID names no element; Slurm runs this command");
  const int Element = Task + (Words.size() == 2 ? std::stoi(Words[1]) : 0);

  // Slurm's SIGTERM reaches convert too, which stops and removes its part; this process only
  // waits for it, and then records nothing.
  struct sigaction Action {};
  Action.sa_handler = NoteStop;
  for (int Signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(Signal, &Action, nullptr);

  std::vector<TBatchFile> Files;
  std::vector<std::string> Arguments;
  std::string Error;
  if (!ReadBatchFiles(Folder, Files, Error) ||
      !ReadWords(Folder, ArgumentsFileName, Arguments, Error))
    return Fail(Error);
  const int PerElement = ReadFilesPerElement(Folder);
  const int First = Element * PerElement;
  const int End = std::min(static_cast<int>(Files.size()), First + PerElement);
  if (First >= End || Arguments.empty())
    return Fail("the results folder '" + Folder + "' lists no files for element " +
                std::to_string(Element));
  // Slurm's node name: several nodes may share one machine's host name.
  std::string Node = std::getenv("SLURMD_NODENAME") ? std::getenv("SLURMD_NODENAME") : "";
  if (Node.empty()) {
    char Host[256] = {};
    ::gethostname(Host, sizeof Host - 1);
    Node = Host;
  }
  // Rows carry Slurm's count of restarts, by which collect tells this attempt's from earlier
  // ones; Slurm's log tells where each attempt's log went.
  const int Restarts = std::max(0, EnvironmentNumber("SLURM_RESTART_COUNT", 0));
  std::printf("Element %d, restart %d, on %s: ", Element, Restarts, Node.c_str());
  const int Attempt = OpenAttemptLog(Folder, Element);
  TLockFile Lock;
  if (!WaitForEarlierAttempt(Folder, Element, Lock)) return Stopped ? 128 + SIGTERM : 1;
  int Status = 0;
  for (int Index = First; Index < End; ++Index) {
    std::printf("Element %d, attempt %d, on %s: file %d, %s\n", Element, Attempt, Node.c_str(),
                Index, Files[Index].Input.c_str());
    std::fflush(stdout);
    if (!ConvertFile(Folder, Index, Files[Index], Arguments, Restarts, Status)) break;
  }
  return Stopped ? 128 + SIGTERM : Status;
}
