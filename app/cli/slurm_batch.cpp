// Writing the batch script and submitting it. The job is submitted held and released once its
// results folder carries the job's id, so no element starts before its log and row have a
// place; a submission that goes wrong half way is cancelled and its folder removed.

#include "slurm_batch.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/job_rules.h"
#include "slurm_commands.h"
#include "slurm_results.h"
#include "text/text_utils.h"

namespace fs = std::filesystem;

namespace {

// A word for bash: single quotes keep everything but the single quote itself.
std::string Quoted(const std::string &Word) {
  std::string Result = "'";
  for (char C : Word) Result += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Result + "'";
}

// The script of the array whose element 0 is the batch's element First.
std::string LaterScriptName(int First) {
  return "batch-" + std::to_string(First) + ".sh";
}

std::string SlurmMessage(const TCommandResult &Result) {
  const std::string Text = TrimmedText(Result.Errors.empty() ? Result.Output : Result.Errors);
  return Text.empty() ? "exit status " + std::to_string(Result.ExitStatus) : Text;
}

// Removes what the submission wrote into Folder, then the folder itself; an element's log or
// row, should one have started, keeps it.
void RemoveResultsFolder(const std::string &Folder, const std::vector<TJobArray> &Arrays = {}) {
  for (const char *Name : {InputsFileName, BatchScriptName, ArgumentsFileName, ClusterFileName,
                           PackingFileName, ArraysFileName})
    ::unlink((Folder + "/" + Name).c_str());
  for (const TJobArray &Array : Arrays)
    ::unlink((Folder + "/" + LaterScriptName(Array.FirstElement)).c_str());
  ::rmdir(Folder.c_str());
}

void Cancel(const std::vector<TJobArray> &Arrays) {
  std::vector<std::string> Arguments = {"scancel"};
  for (const TJobArray &Array : Arrays) Arguments.push_back(Array.JobId);
  RunCommand(Arguments);
}

// Renames without replacing: another job's results folder of the same id stays as it is.
bool ClaimFolder(const std::string &From, const std::string &To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::access(To.c_str(), F_OK) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(From.c_str(), To.c_str()) == 0;
}

// The sbatch words of an array of Count elements, its element 0 the batch's element First,
// After the job it waits for (none: empty).
std::vector<std::string> SbatchArguments(const TBatchSettings &Settings, const std::string &Script,
                                         const std::string &Folder, int First, int Count,
                                         const std::string &After) {
  std::string Array = "--array=0-" + std::to_string(Count - 1);
  if (Settings.MaxParallel > 0) Array += "%" + std::to_string(Settings.MaxParallel);
  const std::string Log = First == 0 ? std::string("element-%a.log")
                                     : "array-" + std::to_string(First) + ".element-%a.log";
  std::vector<std::string> Arguments = {"sbatch", "--parsable", "--hold", "--job-name=tarnwick",
                                        Array, "--chdir=" + Settings.Output,
                                        // Each attempt of a requeued element adds to its log.
                                        "--open-mode=append", "--output=" + Folder + "/" + Log};
  if (!After.empty()) Arguments.push_back("--dependency=afterany:" + After);
  if (!Settings.Partition.empty()) Arguments.push_back("--partition=" + Settings.Partition);
  Arguments.push_back(Script);
  return Arguments;
}

// sbatch --parsable prints "ID" or "ID;CLUSTER".
std::string ParsedJobId(const std::string &Output) {
  const std::string Line = TrimmedText(Output);
  const std::string Id = Line.substr(0, Line.find(';'));
  if (Id.empty() || Id.find_first_not_of("0123456789") != std::string::npos) return {};
  return Id;
}

}  // namespace

int AutomaticFilesPerElement(const std::vector<double> &Durations, int MaxParallel,
                             int MaxArraySize) {
  constexpr double ElementSeconds = 60.0;
  const int Files = static_cast<int>(Durations.size());
  double Seconds = 0.0;
  for (double Duration : Durations) Seconds += Duration > 0.0 ? Duration : ElementSeconds;
  const double Mean = Files > 0 ? Seconds / Files : ElementSeconds;
  int PerElement = std::max(1, static_cast<int>(std::ceil(ElementSeconds / Mean)));
  const int Slots = MaxParallel > 0 ? MaxParallel : 8;
  PerElement = std::min(PerElement, std::max(1, Files / (2 * Slots)));
  if (MaxArraySize > 0)
    PerElement = std::max(PerElement, (Files + MaxArraySize - 1) / MaxArraySize);
  return PerElement;
}

int ElementCount(size_t Files, int FilesPerElement) {
  return static_cast<int>((Files + FilesPerElement - 1) / FilesPerElement);
}

std::vector<TBatchFile> PlannedOutputs(const TBatchSettings &Settings) {
  std::vector<TBatchFile> Files;
  std::vector<std::string> Given;
  for (const std::string &Input : Settings.Inputs) {
    const TJobOutput Output = JobOutput(Input, Settings.Output, Settings.Extension,
                                        Settings.Overwrite, Settings.Inputs, Given);
    TBatchFile File{Input, Output.FileName, !Output.KeepExisting};
    if (Output.KeepExisting) {
      File.Output = UniqueOutputName(Output.FileName, Settings.Extension, Given);
    } else {
      std::error_code Ignored;
      File.Replace = fs::exists(File.Output, Ignored) || fs::is_symlink(File.Output, Ignored);
    }
    Given.push_back(File.Output);
    Files.push_back(std::move(File));
  }
  return Files;
}

std::string BatchScript(const TBatchSettings &Settings, const std::string &FirstJobId,
                        int FirstElement) {
  const std::string Folder =
      FirstJobId.empty() ? std::string("\"tarnwick-job-$SLURM_ARRAY_JOB_ID\"")
                         : "tarnwick-job-" + FirstJobId + " " + std::to_string(FirstElement);
  return "#!/bin/bash\n"
         "# A tarnwick-cli batch: element N converts its files of the results folder's list and\n"
         "# records their rows there.\n"
         "exec " +
         Quoted(Settings.Program) + " element " + Folder + "\n";
}

std::string SubmitBatch(const TBatchSettings &Settings, const std::function<bool()> &Interrupted,
                        std::string &Error) {
  if (!IsOnPath("sbatch")) {
    Error =
        "sbatch was not found on the PATH; submitting needs the Slurm client commands (sbatch, "
        "squeue, scontrol, scancel)";
    return {};
  }
  // Slurm reads % and \ in a log's name as a pattern.
  if (Settings.Output.find_first_of("%\\") != std::string::npos) {
    Error = "the output folder '" + Settings.Output +
            "' holds a '%' or '\\', which Slurm reads as a file name pattern";
    return {};
  }
  std::string Staging = ResultsFolder(Settings.Output, "new.XXXXXX");
  if (::mkdtemp(Staging.data()) == nullptr) {
    Error = "cannot create a folder in '" + Settings.Output + "': " + std::strerror(errno);
    return {};
  }
  const std::string Script = Staging + "/" + BatchScriptName;
  std::vector<std::string> Arguments = {Settings.Entry};
  Arguments.insert(Arguments.end(), Settings.ConvertOptions.begin(), Settings.ConvertOptions.end());
  if (!WriteFileAtOnce(Staging, InputsFileName, BatchFilesText(PlannedOutputs(Settings)), Error) ||
      !WriteFileAtOnce(Staging, ArgumentsFileName, WordsText(Arguments), Error) ||
      !WriteFileAtOnce(Staging, ClusterFileName, ClusterName() + "\n", Error) ||
      !WriteFileAtOnce(Staging, PackingFileName, std::to_string(Settings.FilesPerElement) + "\n",
                       Error) ||
      !WriteFileAtOnce(Staging, BatchScriptName, BatchScript(Settings), Error)) {
    RemoveResultsFolder(Staging);
    return {};
  }
  const int Elements = ElementCount(Settings.Inputs.size(), Settings.FilesPerElement);
  const int PerArray = Settings.MaxArraySize > 0 ? Settings.MaxArraySize : Elements;
  const TCommandResult Submitted = RunCommand(SbatchArguments(
      Settings, Script, ResultsFolder(Settings.Output, "%A"), 0, std::min(Elements, PerArray), {}));
  const std::string JobId = ParsedJobId(Submitted.Output);
  if (!Submitted.Started || Submitted.ExitStatus != 0 || JobId.empty()) {
    Error = "sbatch refused the job: " + SlurmMessage(Submitted);
    RemoveResultsFolder(Staging);
    return {};
  }
  const std::string Folder = ResultsFolder(Settings.Output, JobId);
  std::vector<TJobArray> Arrays = {{JobId, 0}};
  if (!ClaimFolder(Staging, Folder)) {
    Error = "cannot rename '" + Staging + "' to '" + Folder + "': " + std::strerror(errno);
    Cancel(Arrays);
    RemoveResultsFolder(Staging);
    return {};
  }
  // The later arrays, held as well; each waits for the one before when the elements running at
  // once are limited.
  for (int First = PerArray; First < Elements && !Interrupted(); First += PerArray) {
    const std::string LaterScript = Folder + "/" + LaterScriptName(First);
    const TCommandResult Later =
        WriteFileAtOnce(Folder, LaterScriptName(First), BatchScript(Settings, JobId, First), Error)
            ? RunCommand(SbatchArguments(Settings, LaterScript, Folder, First,
                                         std::min(PerArray, Elements - First),
                                         Settings.MaxParallel > 0 ? Arrays.back().JobId : ""))
            : TCommandResult{};
    const std::string LaterId = ParsedJobId(Later.Output);
    if (!Later.Started || Later.ExitStatus != 0 || LaterId.empty()) {
      if (Later.Started) Error = "sbatch refused the job: " + SlurmMessage(Later);
      Arrays.push_back({{}, First});
      WithdrawBatch(Settings.Output, Arrays);
      return {};
    }
    Arrays.push_back({LaterId, First});
  }
  if (Arrays.size() > 1 &&
      !WriteFileAtOnce(Folder, ArraysFileName, JobArraysText({Arrays.begin() + 1, Arrays.end()}),
                       Error)) {
    WithdrawBatch(Settings.Output, Arrays);
    return {};
  }
  // Held, no element can have started: withdrawn now, the jobs leave nothing behind.
  if (Interrupted()) {
    Error = "interrupted; job " + JobId + " cancelled";
    WithdrawBatch(Settings.Output, Arrays);
    return {};
  }
  std::vector<std::string> Release = {"scontrol", "release"};
  std::string Ids;
  for (const TJobArray &Array : Arrays) Ids += (Ids.empty() ? "" : ",") + Array.JobId;
  Release.push_back(Ids);
  const TCommandResult Released = RunCommand(Release);
  if (!Released.Started || Released.ExitStatus != 0) {
    Error = "scontrol could not release job " + Ids + ": " + SlurmMessage(Released);
    WithdrawBatch(Settings.Output, Arrays);
    return {};
  }
  return JobId;
}

void WithdrawBatch(const std::string &Output, const std::vector<TJobArray> &Arrays) {
  std::vector<TJobArray> Submitted;
  for (const TJobArray &Array : Arrays)
    if (!Array.JobId.empty()) Submitted.push_back(Array);
  if (!Submitted.empty()) Cancel(Submitted);
  RemoveResultsFolder(ResultsFolder(Output, Arrays.front().JobId), Arrays);
}
