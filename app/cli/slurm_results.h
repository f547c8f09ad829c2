// The results folder of a batch run as a Slurm job array. It lies inside the output folder,
// named after the job, and holds the inputs in order ("inputs", each name ended by a NUL), the
// batch script, one Slurm log per element ("element-N.log") and one result row per element
// that has ended ("row-N", the line tarnwick-cli convert printed for its file). Elements on any
// node write there, so every file appears under its final name in one rename.
#pragma once

#include <string>
#include <vector>

inline constexpr const char *InputsFileName = "inputs";
inline constexpr const char *BatchScriptName = "batch.sh";

// The results folder of job JobId inside the output folder Output.
std::string ResultsFolder(const std::string &Output, const std::string &JobId);

// The Slurm log and the row of element Index, as the batch script names them.
std::string ElementLogName(int Index);
std::string ElementRowName(int Index);

// The inputs recorded in Folder; false with Error when they cannot be read.
bool ReadInputs(const std::string &Folder, std::vector<std::string> &Inputs, std::string &Error);

// Writes Text into Folder/Name under a temporary name first, so readers see all or nothing.
bool WriteFileAtOnce(const std::string &Folder, const std::string &Name, const std::string &Text,
                     std::string &Error);

struct TBatchRow {
  std::string State;  // Done, Fail, Abort, Pending or Running
  std::string Line;   // the row as printed, without its line feed
};

struct TBatchRows {
  std::vector<TBatchRow> Rows;  // in input order
  bool Ended = false;           // every element has ended
};

// The rows of job JobId whose results are in Output: recorded ones as they are, the others
// from Slurm's states. An element Slurm ended without a row gets a "Fail" row naming Slurm's
// state, which is recorded so that it outlives Slurm's memory of the job. False with Error when
// the results or the states cannot be read.
bool CollectRows(const std::string &Output, const std::string &JobId, TBatchRows &Result,
                 std::string &Error);
