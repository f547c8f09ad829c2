// Reading a batch's results folder and merging it with Slurm's states into one row per input.

#include "slurm_results.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "cli_commands.h"
#include "slurm_commands.h"
#include "text/text_utils.h"

namespace fs = std::filesystem;

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

// The words that mark a file's output as replacing one or not in the inputs file.
constexpr const char *ReplaceWord = "replace";
constexpr const char *KeepWord = "keep";

// The reason given for an element that ended without a result of its own; its log is named
// when there is one (an element cancelled while pending has none).
std::string EndedWithoutRow(const std::optional<TElementStatus> &Status, const std::string &Log) {
  if (Status && IsStoppedBySlurm(Status->SlurmState))
    return "stopped by Slurm: " + Status->SlurmState;
  const std::string See = ::access(Log.c_str(), F_OK) == 0 ? "; see " + Log : std::string();
  if (!Status) return "no result recorded and Slurm no longer knows the element" + See;
  return "no result recorded (Slurm state " + Status->SlurmState + ")" + See;
}

}  // namespace

std::string ResultsFolder(const std::string &Output, const std::string &JobId) {
  return Output + "/tarnwick-job-" + JobId;
}

std::string ElementLogName(int Index, const std::vector<TJobArray> &Arrays) {
  for (auto Array = Arrays.rbegin(); Array != Arrays.rend(); ++Array)
    if (Array->FirstElement > 0 && Index >= Array->FirstElement)
      return "array-" + std::to_string(Array->FirstElement) + ".element-" +
             std::to_string(Index - Array->FirstElement) + ".log";
  return "element-" + std::to_string(Index) + ".log";
}

std::vector<TJobArray> ReadJobArrays(const std::string &Folder, const std::string &JobId) {
  std::vector<TJobArray> Arrays = {{JobId, 0}};
  const std::optional<std::string> Text = ReadWholeFile(Folder + "/" + ArraysFileName);
  if (!Text) return Arrays;
  size_t Start = 0;
  while (Start < Text->size()) {
    const size_t End = std::min(Text->find('\n', Start), Text->size());
    const std::string Line = Text->substr(Start, End - Start);
    Start = End + 1;
    const size_t Blank = Line.find(' ');
    if (Blank == std::string::npos || Blank == 0 || Blank + 1 >= Line.size() || Blank > 12 ||
        Line.size() - Blank > 10 || Line.find_first_not_of("0123456789 ") != std::string::npos)
      continue;
    Arrays.push_back({Line.substr(0, Blank), std::stoi(Line.substr(Blank + 1))});
  }
  return Arrays;
}

std::string JobArraysText(const std::vector<TJobArray> &Later) {
  std::string Text;
  for (const TJobArray &Array : Later)
    Text += Array.JobId + " " + std::to_string(Array.FirstElement) + "\n";
  return Text;
}
std::string AttemptLogName(int Index, int Attempt) {
  return "element-" + std::to_string(Index) + ".attempt-" + std::to_string(Attempt) + ".log";
}
std::string ElementRowName(int Index) {
  return "row-" + std::to_string(Index);
}

bool ReadWords(const std::string &Folder, const std::string &Name, std::vector<std::string> &Words,
               std::string &Error) {
  const std::string Path = Folder + "/" + Name;
  const std::optional<std::string> Text = ReadWholeFile(Path);
  if (!Text) {
    Error = "cannot read '" + Path + "': " + std::strerror(errno);
    return false;
  }
  Words.clear();
  for (size_t Start = 0; Start < Text->size();) {
    const size_t End = Text->find('\0', Start);
    if (End == std::string::npos) break;
    Words.push_back(Text->substr(Start, End - Start));
    Start = End + 1;
  }
  return true;
}

std::string WordsText(const std::vector<std::string> &Words) {
  std::string Text;
  for (const std::string &Word : Words) Text += Word + '\0';
  return Text;
}

int ReadFilesPerElement(const std::string &Folder) {
  const std::optional<std::string> Text = ReadWholeFile(Folder + "/" + PackingFileName);
  const std::string Number = Text ? TrimmedText(*Text) : std::string();
  if (Number.empty() || Number.size() > 6 ||
      Number.find_first_not_of("0123456789") != std::string::npos)
    return 1;
  return std::max(1, std::stoi(Number));
}

bool ReadBatchFiles(const std::string &Folder, std::vector<TBatchFile> &Files, std::string &Error) {
  std::vector<std::string> Words;
  if (!ReadWords(Folder, InputsFileName, Words, Error)) return false;
  if (Words.size() % 3 != 0) {
    Error = "'" + Folder + "/" + InputsFileName + "' is not a list of files of this program";
    return false;
  }
  Files.clear();
  for (size_t Index = 0; Index < Words.size(); Index += 3)
    Files.push_back({Words[Index], Words[Index + 1], Words[Index + 2] == ReplaceWord});
  return true;
}

std::string BatchFilesText(const std::vector<TBatchFile> &Files) {
  std::vector<std::string> Words;
  for (const TBatchFile &File : Files)
    Words.insert(Words.end(), {File.Input, File.Output, File.Replace ? ReplaceWord : KeepWord});
  return WordsText(Words);
}

std::vector<std::string> RowCells(const std::string &Line) {
  std::vector<std::string> Cells(1);
  for (size_t At = 0; At < Line.size(); ++At) {
    if (Line[At] == '\t') {
      Cells.emplace_back();
    } else if (Line[At] == '\\' && At + 1 < Line.size()) {
      const char Next = Line[++At];
      Cells.back() += Next == 't' ? '\t' : Next == 'n' ? '\n' : Next == 'r' ? '\r' : Next;
    } else {
      Cells.back() += Line[At];
    }
  }
  return Cells;
}

std::optional<TRecordedRow> ReadRecordedRow(const std::string &Folder, int Index) {
  const std::optional<std::string> Text = ReadWholeFile(Folder + "/" + ElementRowName(Index));
  if (!Text) return std::nullopt;
  TRecordedRow Row;
  const size_t End = Text->find('\n');
  Row.Line = Text->substr(0, End);
  const std::string Attempt =
      End == std::string::npos ? std::string() : TrimmedText(Text->substr(End + 1));
  if (!Attempt.empty() && Attempt.size() <= 9 &&
      Attempt.find_first_not_of("0123456789") == std::string::npos)
    Row.Attempt = std::stoi(Attempt);
  return Row;
}

bool RecordRow(const std::string &Folder, int Index, const TRecordedRow &Row, std::string &Error) {
  std::string Text = Row.Line + "\n";
  if (Row.Attempt >= 0) Text += std::to_string(Row.Attempt) + "\n";
  return WriteFileAtOnce(Folder, ElementRowName(Index), Text, Error);
}

std::string TakeBackRow(const std::string &Folder, int Index, const TBatchFile &File, int Attempt) {
  const std::optional<TRecordedRow> Row = ReadRecordedRow(Folder, Index);
  if (!Row || (Attempt >= 0 && Row->Attempt >= Attempt)) return {};
  const std::vector<std::string> Cells = RowCells(Row->Line);
  ::unlink((Folder + "/" + ElementRowName(Index)).c_str());
  if (Cells.size() < 3 || Cells[1] != "Done" || Cells[0] != File.Input) return {};
  // Only a file of this file's name family: a row can name nothing else the batch wrote.
  const fs::path Written(Cells[2]), Planned(File.Output);
  const std::string Stem = Written.stem().string(), Own = Planned.stem().string();
  if (Written.parent_path() != Planned.parent_path() || Cells[2] == File.Input ||
      (Stem != Own && !Stem.starts_with(Own + "-")))
    return {};
  ::unlink(Cells[2].c_str());
  return Cells[2];
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

TCollectOutcome CollectRows(const std::string &Output, const std::string &JobId, TBatchRows &Result,
                            std::string &Error) {
  const std::string Folder = ResultsFolder(Output, JobId);
  std::vector<TBatchFile> Files;
  if (!ReadBatchFiles(Folder, Files, Error)) {
    Error = "no results of job " + JobId + " in '" + Output + "' (" + Error + ")";
    return TCollectOutcome::NoResults;
  }
  // The states first: a row written after them is then still seen below.
  bool Known = false;
  std::map<int, TElementStatus> States;
  const std::vector<TJobArray> Arrays = ReadJobArrays(Folder, JobId);
  for (const TJobArray &Array : Arrays) {
    bool KnownArray = false;
    for (const auto &[Index, Status] : ReadElementStates(Array.JobId, KnownArray, Error))
      States[Array.FirstElement + Index] = Status;
    if (!Error.empty()) return TCollectOutcome::SlurmUnavailable;
    Known = Known || KnownArray;
  }

  const int FilesPerElement = ReadFilesPerElement(Folder);
  Result = {};
  Result.Ended = true;
  std::vector<std::optional<TRecordedRow>> RecordedRows;
  bool Unrecorded = false;
  for (int Index = 0; Index < static_cast<int>(Files.size()); ++Index) {
    RecordedRows.push_back(ReadRecordedRow(Folder, Index));
    Unrecorded = Unrecorded || !RecordedRows.back();
  }
  // A cluster that never knew the job cannot say how its elements ended.
  if (!Known && Unrecorded) {
    const std::optional<std::string> Ran = ReadWholeFile(Folder + "/" + ClusterFileName);
    const std::string Here = ClusterName();
    if (!Ran || TrimmedText(*Ran) != Here) {
      Error = "the Slurm cluster " + (Here.empty() ? std::string("asked") : "'" + Here + "'") +
              " does not know job " + JobId +
              (Ran ? ", which was submitted to '" + TrimmedText(*Ran) + "'" : std::string()) +
              "; ask that cluster's controller (SLURM_CONF)";
      return TCollectOutcome::UnknownJob;
    }
  }

  int ShownRunning = -1;  // the element whose converting file is shown Running
  for (int Index = 0; Index < static_cast<int>(Files.size()); ++Index) {
    const int Element = Index / FilesPerElement;
    const auto Found = States.find(Element);
    const std::optional<TElementStatus> Status =
        Found == States.end() ? std::nullopt : std::optional(Found->second);
    std::optional<TRecordedRow> &Recorded = RecordedRows[Index];
    const std::string &Input = Files[Index].Input;
    // A row of an attempt before Slurm's last one is not the file's result any more.
    const bool Earlier = Recorded && Status && Status->Restarts >= 0 && Recorded->Attempt >= 0 &&
                         Recorded->Attempt < Status->Restarts;
    const std::string State = Recorded && !Earlier ? RowState(Recorded->Line) : std::string();
    const TElementState Kind = Status ? Status->State : TElementState::Ended;
    if (Kind != TElementState::Ended) {
      Result.Ended = false;
      if (Kind == TElementState::Running && (State == "Done" || State == "Fail")) {
        Result.Rows.push_back({State, Recorded->Line});
        continue;
      }
      // An element converts its files in order: the first without a row is the one it is on.
      const bool Converting = Kind == TElementState::Running && ShownRunning != Element;
      if (Converting) ShownRunning = Element;
      const char *Word = Converting ? "Running" : "Pending";
      Result.Rows.push_back({Word, Row(Input, Word, {})});
      continue;
    }
    if (Earlier) {
      TakeBackRow(Folder, Index, Files[Index], Status->Restarts);
      Recorded.reset();
    }
    if (State == "Done" || State == "Fail") {
      Result.Rows.push_back({State, Recorded->Line});
      continue;
    }
    // An "Abort" row stays one unless Slurm says it stopped the element.
    if (State == "Abort" && !(Status && IsStoppedBySlurm(Status->SlurmState))) {
      Result.Rows.push_back({State, Recorded->Line});
      continue;
    }
    const std::string Failed =
        Row(Input, "Fail", EndedWithoutRow(Status, Folder + "/" + ElementLogName(Element, Arrays)));
    if (!RecordRow(Folder, Index, {Failed, Status ? Status->Restarts : -1}, Error))
      return TCollectOutcome::NoResults;
    Result.Rows.push_back({"Fail", Failed});
  }
  return TCollectOutcome::Read;
}
