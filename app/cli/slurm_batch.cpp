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

std::string SlurmMessage(const TCommandResult &Result) {
  const std::string Text = TrimmedText(Result.Errors.empty() ? Result.Output : Result.Errors);
  return Text.empty() ? "exit status " + std::to_string(Result.ExitStatus) : Text;
}

// Removes what the submission wrote into Folder, then the folder itself; an element's log or
// row, should one have started, keeps it.
void RemoveResultsFolder(const std::string &Folder) {
  for (const char *Name :
       {InputsFileName, BatchScriptName, ArgumentsFileName, ClusterFileName, PackingFileName})
    ::unlink((Folder + "/" + Name).c_str());
  ::rmdir(Folder.c_str());
}

void Cancel(const std::string &JobId) {
  RunCommand({"scancel", JobId});
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

std::vector<std::string> SbatchArguments(const TBatchSettings &Settings,
                                         const std::string &Script) {
  std::string Array =
      "--array=0-" +
      std::to_string(ElementCount(Settings.Inputs.size(), Settings.FilesPerElement) - 1);
  if (Settings.MaxParallel > 0) Array += "%" + std::to_string(Settings.MaxParallel);
  std::vector<std::string> Arguments = {
      "sbatch", "--parsable", "--hold", "--job-name=tarnwick", Array, "--chdir=" + Settings.Output,
      // Each attempt of a requeued element adds to its log.
      "--open-mode=append", "--output=" + ResultsFolder(Settings.Output, "%A") + "/element-%a.log"};
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

std::string BatchScript(const TBatchSettings &Settings) {
  return "#!/bin/bash\n"
         "# A tarnwick-cli batch: element N converts file N of the results folder's list and\n"
         "# records its row there.\n"
         "exec " +
         Quoted(Settings.Program) + " element \"tarnwick-job-$SLURM_ARRAY_JOB_ID\"\n";
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
  const TCommandResult Submitted = RunCommand(SbatchArguments(Settings, Script));
  const std::string JobId = ParsedJobId(Submitted.Output);
  if (!Submitted.Started || Submitted.ExitStatus != 0 || JobId.empty()) {
    Error = "sbatch refused the job: " + SlurmMessage(Submitted);
    RemoveResultsFolder(Staging);
    return {};
  }
  const std::string Folder = ResultsFolder(Settings.Output, JobId);
  if (!ClaimFolder(Staging, Folder)) {
    Error = "cannot rename '" + Staging + "' to '" + Folder + "': " + std::strerror(errno);
    Cancel(JobId);
    RemoveResultsFolder(Staging);
    return {};
  }
  // Held, no element can have started: withdrawn now, the job leaves nothing behind.
  if (Interrupted()) {
    Error = "interrupted; job " + JobId + " cancelled";
    WithdrawBatch(Settings.Output, JobId);
    return {};
  }
  const TCommandResult Released = RunCommand({"scontrol", "release", JobId});
  if (!Released.Started || Released.ExitStatus != 0) {
    Error = "scontrol could not release job " + JobId + ": " + SlurmMessage(Released);
    Cancel(JobId);
    RemoveResultsFolder(Folder);
    return {};
  }
  return JobId;
}

void WithdrawBatch(const std::string &Output, const std::string &JobId) {
  Cancel(JobId);
  RemoveResultsFolder(ResultsFolder(Output, JobId));
}
