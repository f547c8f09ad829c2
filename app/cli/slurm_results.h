// The results folder of a batch run as a Slurm job array. It lies inside the output folder,
// named after the job, and holds the files in order ("inputs": each input, its output name and
// whether that output may replace a file, each ended by a NUL), convert's other words
// ("arguments", each ended by a NUL), the batch script, one Slurm log per element
// ("element-N.log", every attempt's in turn) and one result row per file whose conversion
// ended on its own ("row-N": the line tarnwick-cli convert printed for it, then the number of
// the element's attempt that recorded it, Slurm's restart count). Elements on
// any node write there, so every file appears under its final name in one rename.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr const char *InputsFileName = "inputs";
inline constexpr const char *BatchScriptName = "batch.sh";
inline constexpr const char *ArgumentsFileName = "arguments";
inline constexpr const char *ClusterFileName = "cluster";  // the cluster that runs the job
// How many files each element converts, one after another (absent: one).
inline constexpr const char *PackingFileName = "files-per-element";
// The job arrays after the first, when the elements are more than one array holds: a line
// "JOBID FIRST" each, FIRST the batch's number of the array's element 0 (absent: none).
inline constexpr const char *ArraysFileName = "arrays";

// One job array of a batch and the batch's number of its element 0.
struct TJobArray {
  std::string JobId;
  int FirstElement = 0;
};

// One file of the batch: its output name is decided for the whole batch at submit time, so
// that no two elements ever compete for a name.
struct TBatchFile {
  std::string Input;
  std::string Output;
  bool Replace = false;  // the output replaces a file that was there before the submit
};

// The results folder of job JobId inside the output folder Output.
std::string ResultsFolder(const std::string &Output, const std::string &JobId);

// The Slurm log of element Index, as sbatch names it (in a later array "array-FIRST.element-I.log",
// I its number in that array), and the row of file Index.
std::string ElementLogName(int Index, const std::vector<TJobArray> &Arrays = {});
std::string ElementRowName(int Index);
// The log of one attempt of element Index (1 the first), as the element writes it.
std::string AttemptLogName(int Index, int Attempt);

// The arrays of the batch whose first job is JobId: that one, then those recorded in Folder.
std::vector<TJobArray> ReadJobArrays(const std::string &Folder, const std::string &JobId);
std::string JobArraysText(const std::vector<TJobArray> &Later);

// The files per element recorded in Folder: 1 when none is.
int ReadFilesPerElement(const std::string &Folder);

// The files recorded in Folder; false with Error when they cannot be read.
bool ReadBatchFiles(const std::string &Folder, std::vector<TBatchFile> &Files, std::string &Error);
std::string BatchFilesText(const std::vector<TBatchFile> &Files);

// The words of Folder/Name, each ended by a NUL; false with Error when it cannot be read.
bool ReadWords(const std::string &Folder, const std::string &Name, std::vector<std::string> &Words,
               std::string &Error);
std::string WordsText(const std::vector<std::string> &Words);

// A row's cells, unescaped: input, state and the output or the reason.
std::vector<std::string> RowCells(const std::string &Line);

// The row recorded for file Index, and the attempt that recorded it (-1: not known).
struct TRecordedRow {
  std::string Line;
  int Attempt = -1;
};
std::optional<TRecordedRow> ReadRecordedRow(const std::string &Folder, int Index);
bool RecordRow(const std::string &Folder, int Index, const TRecordedRow &Row, std::string &Error);

// Takes back an earlier attempt's result of File, the batch's file Index: its row goes first,
// then the output it names (never a row without its file). Only a row of an attempt before
// Attempt goes (any, when Attempt is -1). The output removed, or empty.
std::string TakeBackRow(const std::string &Folder, int Index, const TBatchFile &File,
                        int Attempt = -1);

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

enum class TCollectOutcome {
  Read,
  NoResults,         // the results folder cannot be read
  SlurmUnavailable,  // the controller did not answer: asking again later may do
  UnknownJob,        // this controller does not know the job, and it did not run it
};

// The rows of job JobId whose results are in Output. An element Slurm shows pending is that,
// whatever rows exist (a requeued element runs again); while it runs, the files its attempt has
// recorded show their rows, the file it converts is running and the others pending. An ended
// element's files show the rows of its last attempt; a row of an earlier one, which the last
// attempt never reached, is taken back with its output. An element Slurm ended without a row gets a
// "Fail" row naming Slurm's state, which is recorded so that it outlives Slurm's memory of the job;
// a job this cluster does not know gives no verdict at all. Error says what went wrong when the
// outcome is not Read.
TCollectOutcome CollectRows(const std::string &Output, const std::string &JobId, TBatchRows &Result,
                            std::string &Error);
