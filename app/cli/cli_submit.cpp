// tarnwick-cli submit and collect: a batch run as a Slurm job array, one element per file,
// each element running tarnwick-cli convert on its file; and the rows of such a batch gathered
// from its results folder and Slurm's states.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/additional_options.h"
#include "app/job_rules.h"
#include "cli_commands.h"
#include "cli_interrupt.h"
#include "slurm_batch.h"
#include "slurm_commands.h"
#include "slurm_results.h"

namespace fs = std::filesystem;

const char SubmitUsage[] =
    "  tarnwick-cli submit ENTRY FILE... --output DIR [--pick LIST=TEXT ...] [--overwrite]\n"
    "                     [--volume N] [--no-tags] [--first-tracks] [--auto-rate-25]\n"
    "                     [--partition NAME] [--max-parallel K] [--files-per-element F]\n"
    "                     [--wait]\n"
    "      Converts the files on a Slurm cluster as one job array: element N runs\n"
    "      \"tarnwick-cli convert\" with ENTRY, the picks and convert's other options on file N\n"
    "      and records its row in the results folder DIR/tarnwick-job-JOBID (with the list of\n"
    "      files, the batch script and one Slurm log per element, every attempt's in turn).\n"
    "      The output names are decided at once for the whole batch, in the files' order, as\n"
    "      convert names them (clip.mp4, clip-1.mp4, ...); --overwrite replaces only files\n"
    "      that were there before the submit, never an input. An element Slurm stops\n"
    "      (cancel, requeue, time limit, node failure) leaves no output and no row; run again,\n"
    "      it replaces its own earlier attempt. The job is submitted with sbatch to partition\n"
    "      NAME (default: the cluster's), at most K elements running at once, and its id is\n"
    "      printed. Each element converts F files one after another, each with its own row\n"
    "      and output (default: chosen from the files' durations, about a minute of media\n"
    "      per element since Slurm takes about a second to start one, at least two elements\n"
    "      per slot running at once, and never more elements than the cluster's MaxArraySize).\n"
    "      More elements than a job array holds (MaxArraySize) go as several arrays, each\n"
    "      after the one before when K is given, under the first job's results folder; the\n"
    "      first job's id stands for them all.\n"
    "      A signal before the job is released cancels it (exit status 128 and the\n"
    "      signal's number). The files, DIR and this program are named by absolute paths, so\n"
    "      they must be on storage every node sees under the same names. With --wait the id\n"
    "      goes to standard error instead, with the counts each time they change, and when\n"
    "      every element has ended the rows are printed as collect prints them, with its exit\n"
    "      status; the controller is asked every 2 s at first, at most every 30 s later, and\n"
    "      again after a failed answer. A refused submission prints Slurm's message and exits\n"
    "      with status 1.\n";

const char CollectUsage[] =
    "  tarnwick-cli collect JOBID --output DIR\n"
    "      Prints one row per file of the batch JOBID submitted into DIR, in the files'\n"
    "      order: the input, a tab and \"Pending\" while Slurm shows the file's element\n"
    "      pending (also after a requeue, whatever it recorded before); while the element\n"
    "      runs, the rows its attempt has recorded, \"Running\" for the file it converts and\n"
    "      \"Pending\" for the others; once it ended, its last attempt's row as convert prints\n"
    "      it (the input, a tab, \"Done\", \"Fail\" or \"Abort\", a tab and the output or the\n"
    "      reason). A row of an earlier attempt goes with its output. An element Slurm\n"
    "      ended without a row (cancelled, out of time, a node failure) is \"Fail\" with\n"
    "      Slurm's state. Works without Slurm accounting, from squeue and the recorded rows;\n"
    "      a cluster that does not know the job and did not run it gives an error, not rows.\n"
    "      Standard error ends with the rows counted by state. Exit status 0 when every row\n"
    "      is \"Done\", 1 otherwise, and 3 while elements are still pending or running.\n";

namespace {

constexpr int ExitStillRunning = 3;

struct TSubmitArguments {
  TBatchSettings Settings;
  bool Wait = false;
  bool AutomaticPacking = true;  // no --files-per-element
};

int Fail(const char *Command, const std::string &Message) {
  std::fprintf(stderr, "tarnwick-cli %s: %s\n", Command, Message.c_str());
  return 1;
}

// An absolute name for Path that still names the same file: no symbolic link is resolved, and
// "a/../b" is shortened only where it names the same folder as "b".
std::string AbsoluteName(const std::string &Path) {
  std::error_code Ignored;
  std::string Name = Path;
  if (!Name.starts_with('/')) {
    while (Name.starts_with("./")) Name.erase(0, 2);
    const std::string Folder = fs::current_path(Ignored).string();
    Name = Name.empty() || Name == "." ? Folder : Folder + "/" + Name;
  }
  std::string Normal = fs::path(Name).lexically_normal().string();
  while (Normal.size() > 1 && Normal.ends_with('/')) Normal.pop_back();
  std::error_code Error;
  const bool Same = Normal == Name || fs::equivalent(Normal, Name, Error);
  return Same && !Error ? Normal : Name;
}

bool IsCount(const std::string &Value, int Limit) {
  return !Value.empty() && Value.size() <= 6 &&
         Value.find_first_not_of("0123456789") == std::string::npos && std::stoi(Value) <= Limit;
}

// Empty when the words are fine, else what is wrong with them.
std::string ParseSubmit(const TCliArguments &Words, TSubmitArguments &Arguments) {
  TBatchSettings &Settings = Arguments.Settings;
  for (size_t Index = 0; Index < Words.size(); ++Index) {
    const std::string &Word = Words[Index];
    if (Word == "--wait" || Word == "--overwrite" || SourceSwitchOff(Word)) {
      if (Word == "--wait")
        Arguments.Wait = true;
      else if (Word == "--overwrite")
        Settings.Overwrite = true;
      else
        Settings.ConvertOptions.push_back(Word);
      continue;
    }
    if (!Word.starts_with("--")) {
      (Settings.Entry.empty() ? Settings.Entry : Settings.Inputs.emplace_back()) = Word;
      continue;
    }
    if (Word != "--output" && Word != "--pick" && Word != "--volume" && Word != "--partition" &&
        Word != "--max-parallel" && Word != "--files-per-element")
      return "unknown option '" + Word + "'";
    if (Index + 1 >= Words.size()) return Word + " needs a value";
    const std::string &Value = Words[++Index];
    if (Word == "--output") {
      Settings.Output = Value;
    } else if (Word == "--partition") {
      Settings.Partition = Value;
    } else if (Word == "--max-parallel") {
      if (!IsCount(Value, 100000) || std::stoi(Value) == 0)
        return "--max-parallel takes a number of elements, 1 or more";
      Settings.MaxParallel = std::stoi(Value);
    } else if (Word == "--files-per-element") {
      if (!IsCount(Value, 100000) || std::stoi(Value) == 0)
        return "--files-per-element takes a number of files, 1 or more";
      Settings.FilesPerElement = std::stoi(Value);
      Arguments.AutomaticPacking = false;
    } else {
      if (Word == "--volume" && VolumePosition(Value) < 0) return VolumeWordProblem;
      if (Word == "--pick" && Value.find('=') == std::string::npos)
        return "expected LIST=TEXT after --pick, got '" + Value + "'";
      Settings.ConvertOptions.insert(Settings.ConvertOptions.end(), {Word, Value});
    }
  }
  if (Settings.Entry.empty()) return "no format list entry given (see tarnwick-cli --help)";
  if (Settings.Inputs.empty()) return "no files given (see tarnwick-cli --help)";
  if (Settings.Output.empty()) return "no output folder given: --output DIR is needed";
  return {};
}

// Lets this program's profile command judge the entry and the picks before any node does, and
// tell the outputs' type.
std::string ProfileProblem(TBatchSettings &Settings) {
  std::vector<std::string> Arguments = {Settings.Program, "profile", Settings.Entry};
  for (size_t Index = 0; Index < Settings.ConvertOptions.size(); ++Index)
    if (Settings.ConvertOptions[Index] == "--pick")
      Arguments.insert(Arguments.end(), {"--pick", Settings.ConvertOptions[Index + 1]});
  const TCommandResult Result = RunCommand(Arguments);
  const std::string Type = "\nFOutputType=";
  const size_t At = ("\n" + Result.Output).find(Type);
  if (Result.Started && Result.ExitStatus == 0 && At != std::string::npos) {
    const size_t Start = At + Type.size() - 1;
    Settings.Extension =
        "." + LowerCaseText(Result.Output.substr(Start, Result.Output.find('\n', Start) - Start));
    return {};
  }
  std::string Message = Result.Errors;
  while (Message.ends_with('\n')) Message.pop_back();
  const std::string Prefix = "tarnwick-cli profile: ";
  if (Message.starts_with(Prefix)) Message.erase(0, Prefix.size());
  return Message.empty() ? "the entry or a pick is not usable" : Message;
}

std::string CountsText(const TBatchRows &Batch) {
  std::vector<std::string> States;
  int Pending = 0, Running = 0;
  for (const TBatchRow &Row : Batch.Rows) {
    States.push_back(Row.State);
    Pending += Row.State == "Pending";
    Running += Row.State == "Running";
  }
  std::string Text = JobStateCountsText(CountJobStates(States));
  if (Pending > 0) Text += ", " + std::to_string(Pending) + " Pending";
  if (Running > 0) Text += ", " + std::to_string(Running) + " Running";
  return Text;
}

int PrintRows(const TBatchRows &Batch) {
  for (const TBatchRow &Row : Batch.Rows) std::printf("%s\n", Row.Line.c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", CountsText(Batch).c_str());
  if (!Batch.Ended) return ExitStillRunning;
  for (const TBatchRow &Row : Batch.Rows)
    if (Row.State != "Done") return 1;
  return 0;
}

// Waiting: the controller is asked about every 2 s at first and less often as the batch goes
// on, up to every 30 s; a controller that does not answer (restarting, say) is asked again.
constexpr int FirstPollSeconds = 2, LongestPollSeconds = 30;
constexpr int LongestSilenceSeconds = 3600;

int Collect(const char *Command, const std::string &JobId, const std::string &Output, bool Wait) {
  TBatchRows Batch;
  std::string Error, Told;
  int Pause = FirstPollSeconds, Silence = 0;
  while (true) {
    const TCollectOutcome Outcome = CollectRows(Output, JobId, Batch, Error);
    if (Outcome == TCollectOutcome::SlurmUnavailable && Wait && Silence < LongestSilenceSeconds) {
      std::fprintf(stderr, "tarnwick-cli %s: %s; asking again in %d s\n", Command, Error.c_str(),
                   Pause);
      std::this_thread::sleep_for(std::chrono::seconds(Pause));
      Silence += Pause;
      Pause = std::min(Pause * 2, LongestPollSeconds);
      continue;
    }
    if (Outcome != TCollectOutcome::Read) return Fail(Command, Error);
    if (!Wait || Batch.Ended) break;
    Silence = 0;
    const std::string Counts = CountsText(Batch);
    if (Counts != Told)
      std::fprintf(stderr, "Waiting for job %s to end: %s\n", JobId.c_str(), Counts.c_str());
    else
      Pause = std::min(Pause + Pause / 2, LongestPollSeconds);
    Told = Counts;
    std::this_thread::sleep_for(std::chrono::seconds(Pause));
  }
  return PrintRows(Batch);
}

// The files' durations in seconds as probe tells them; 0 for a file it cannot tell.
std::vector<double> Durations(const TBatchSettings &Settings) {
  std::vector<std::string> Arguments = {Settings.Program, "probe", "--"};
  Arguments.insert(Arguments.end(), Settings.Inputs.begin(), Settings.Inputs.end());
  const TCommandResult Probed = RunCommand(Arguments);
  std::vector<double> Seconds;
  size_t Start = 0;
  for (size_t Index = 0; Index < Settings.Inputs.size(); ++Index) {
    const size_t End = Probed.Output.find('\n', Start);
    const std::vector<std::string> Cells =
        RowCells(Probed.Output.substr(Start, End == std::string::npos ? End : End - Start));
    Seconds.push_back(Cells.size() == 4 ? DurationSeconds(Cells[3]) : 0.0);
    Start = End == std::string::npos ? Probed.Output.size() : End + 1;
  }
  return Seconds;
}

// The files per element, chosen unless given, and the elements one job array holds.
void PackFiles(TSubmitArguments &Arguments) {
  TBatchSettings &Settings = Arguments.Settings;
  const std::string Limit = SlurmConfigValue("MaxArraySize");
  Settings.MaxArraySize = IsCount(Limit, 100000000) ? std::stoi(Limit) : 0;
  if (Arguments.AutomaticPacking)
    Settings.FilesPerElement =
        AutomaticFilesPerElement(Durations(Settings), Settings.MaxParallel, Settings.MaxArraySize);
}

}  // namespace

int RunSubmitCommand(const TCliArguments &Words) {
  TSubmitArguments Arguments;
  const std::string Problem = ParseSubmit(Words, Arguments);
  if (!Problem.empty()) return Fail("submit", Problem);
  TBatchSettings &Settings = Arguments.Settings;
  Settings.Output = AbsoluteName(Settings.Output);
  std::error_code Error;
  if (!fs::is_directory(Settings.Output, Error))
    return Fail("submit", "the output folder '" + Settings.Output + "' does not exist");
  for (std::string &Input : Settings.Inputs) Input = AbsoluteName(Input);
  Settings.Program = fs::read_symlink("/proc/self/exe", Error).string();
  if (Settings.Program.empty()) return Fail("submit", "cannot find this program's own file");
  const std::string Refused = ProfileProblem(Settings);
  if (!Refused.empty()) return Fail("submit", Refused);
  if (IsOnPath("sbatch")) PackFiles(Arguments);

  std::string Message, JobId;
  int Signal = 0;
  {
    // A signal while the job is held withdraws it; once released it is submitted, and its id
    // printed, before the signal ends this program.
    TInterruptPipe Interrupts;
    if (!Interrupts.Ready()) return Fail("submit", "cannot set up the signal handling");
    JobId = SubmitBatch(
        Settings,
        [&] {
          if (Signal == 0) Signal = Interrupts.PendingSignal();
          return Signal != 0;
        },
        Message);
    if (Signal == 0) Signal = Interrupts.PendingSignal();
  }
  if (JobId.empty()) {
    Fail("submit", Message);
    return Signal != 0 ? InterruptedExitStatus(Signal) : 1;
  }
  if (!Arguments.Wait || Signal != 0) {
    std::printf("%s\n", JobId.c_str());
    return Signal != 0 ? InterruptedExitStatus(Signal) : 0;
  }
  std::fprintf(stderr, "Submitted batch job %s; its rows follow when every element has ended\n",
               JobId.c_str());
  return Collect("submit", JobId, Settings.Output, true);
}

int RunCollectCommand(const TCliArguments &Words) {
  std::string JobId, Output;
  for (size_t Index = 0; Index < Words.size(); ++Index) {
    if (Words[Index] == "--output" && Index + 1 < Words.size()) {
      Output = Words[++Index];
    } else if (Words[Index].starts_with("--") || !JobId.empty()) {
      return Fail("collect", "unexpected '" + Words[Index] + "' (see tarnwick-cli --help)");
    } else {
      JobId = Words[Index];
    }
  }
  if (JobId.empty() || JobId.find_first_not_of("0123456789") != std::string::npos)
    return Fail("collect", "expected a job id, as submit printed it");
  if (Output.empty()) return Fail("collect", "no output folder given: --output DIR is needed");
  return Collect("collect", JobId, AbsoluteName(Output), false);
}
