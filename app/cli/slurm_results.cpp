// Reading a batch's results folder and merging it with Slurm's states into one row per input.

#include "slurm_results.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "cli_commands.h"
#include "slurm_commands.h"

namespace {

std::optional<std::string> ReadWholeFile(const std::string &Path) {
  std::ifstream File(Path, std::ios::binary);
  if (!File) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

// The second cell of a row, which is how it ended.
std::string RowState(const std::string &Line) {
  const size_t First = Line.find('\t');
  if (First == std::string::npos) return {};
  const size_t Second = Line.find('\t', First + 1);
  return Line.substr(First + 1, Second == std::string::npos ? Second : Second - First - 1);
}

std::string Row(const std::string &Input, const char *State, const std::string &Last) {
  std::string Line = EscapedCell(Input) + "\t" + State;
  if (!Last.empty()) Line += "\t" + EscapedCell(Last);
  return Line;
}

// The reason given for an element that ended without a result of its own.
std::string EndedWithoutRow(const std::optional<TElementStatus> &Status, const std::string &Log) {
  if (!Status) return "no result recorded and Slurm no longer knows the element; see " + Log;
  if (IsStoppedBySlurm(Status->SlurmState)) return "stopped by Slurm: " + Status->SlurmState;
  return "no result recorded (Slurm state " + Status->SlurmState + "); see " + Log;
}

}  // namespace

std::string ResultsFolder(const std::string &Output, const std::string &JobId) {
  return Output + "/tarnwick-job-" + JobId;
}

std::string ElementLogName(int Index) {
  return "element-" + std::to_string(Index) + ".log";
}
std::string ElementRowName(int Index) {
  return "row-" + std::to_string(Index);
}

bool ReadInputs(const std::string &Folder, std::vector<std::string> &Inputs, std::string &Error) {
  const std::string Path = Folder + "/" + InputsFileName;
  const std::optional<std::string> Text = ReadWholeFile(Path);
  if (!Text) {
    Error = "cannot read '" + Path + "': " + std::strerror(errno);
    return false;
  }
  Inputs.clear();
  for (size_t Start = 0; Start < Text->size();) {
    const size_t End = Text->find('\0', Start);
    if (End == std::string::npos) break;
    Inputs.push_back(Text->substr(Start, End - Start));
    Start = End + 1;
  }
  return true;
}

bool WriteFileAtOnce(const std::string &Folder, const std::string &Name, const std::string &Text,
                     std::string &Error) {
  const std::string Final = Folder + "/" + Name;
  const std::string Temporary = Folder + "/." + Name + "." + std::to_string(::getpid());
  const int File = ::open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool Written = File >= 0;
  if (Written) {
    Written = ::write(File, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
    Written = ::close(File) == 0 && Written;
    Written = Written && ::rename(Temporary.c_str(), Final.c_str()) == 0;
    if (!Written) {
      const int Reason = errno;
      ::unlink(Temporary.c_str());
      errno = Reason;
    }
  }
  if (!Written) Error = "cannot write '" + Final + "': " + std::strerror(errno);
  return Written;
}

bool CollectRows(const std::string &Output, const std::string &JobId, TBatchRows &Result,
                 std::string &Error) {
  const std::string Folder = ResultsFolder(Output, JobId);
  std::vector<std::string> Inputs;
  if (!ReadInputs(Folder, Inputs, Error)) {
    Error = "no results of job " + JobId + " in '" + Output + "' (" + Error + ")";
    return false;
  }
  // The states first: a row written after them is then still seen below.
  const std::map<int, TElementStatus> States = ReadElementStates(JobId, Error);
  if (!Error.empty()) return false;

  Result = {};
  Result.Ended = true;
  for (int Index = 0; Index < static_cast<int>(Inputs.size()); ++Index) {
    const auto Found = States.find(Index);
    const std::optional<TElementStatus> Status =
        Found == States.end() ? std::nullopt : std::optional(Found->second);
    std::optional<std::string> Line = ReadWholeFile(Folder + "/" + ElementRowName(Index));
    if (Line && Line->ends_with('\n')) Line->pop_back();
    std::string State = Line ? RowState(*Line) : std::string();
    if (State == "Done" || State == "Fail") {
      Result.Rows.push_back({State, *Line});
      continue;
    }
    const TElementState Kind = Status ? Status->State : TElementState::Ended;
    if (Kind != TElementState::Ended) {
      Result.Ended = false;
      const char *Word = Kind == TElementState::Pending ? "Pending" : "Running";
      Result.Rows.push_back({Word, Row(Inputs[Index], Word, {})});
      continue;
    }
    // An "Abort" row stays one unless Slurm says it stopped the element.
    if (State == "Abort" && !(Status && IsStoppedBySlurm(Status->SlurmState))) {
      Result.Rows.push_back({State, *Line});
      continue;
    }
    const std::string Failed =
        Row(Inputs[Index], "Fail", EndedWithoutRow(Status, Folder + "/" + ElementLogName(Index)));
    if (!WriteFileAtOnce(Folder, ElementRowName(Index), Failed + "\n", Error)) return false;
    Result.Rows.push_back({"Fail", Failed});
  }
  return true;
}
