// A batch as a Slurm job array: the output names of the whole batch, the batch script whose
// element N runs tarnwick-cli element (which converts file N and records its row), and its
// submission with sbatch.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "slurm_results.h"

struct TBatchSettings {
  std::string Program;  // this program, by an absolute name every node sees
  std::string Entry;
  std::vector<std::string> Inputs;  // absolute names
  std::string Output;               // absolute name of the output folder
  std::string Extension;            // of the entry's outputs, e.g. ".mp4"
  bool Overwrite = false;
  // The options each element's convert gets after its file (--pick, --volume, ...).
  std::vector<std::string> ConvertOptions;
  std::string Partition;  // empty: Slurm's default
  int MaxParallel = 0;    // elements running at once; 0: no limit of our own
  int FilesPerElement = 1;
  int MaxArraySize = 0;  // elements one job array holds; 0: no limit known
};

// Files per element when none is given: elements of about a minute of media each, since Slurm
// spends about a second starting each one, but at least two elements per slot running at once
// (MaxParallel, else a guess of 8), and never more elements than MaxArraySize allows.
// Durations in seconds, 0 when not known.
int AutomaticFilesPerElement(const std::vector<double> &Durations, int MaxParallel,
                             int MaxArraySize);

// How many elements Files files make at FilesPerElement.
int ElementCount(size_t Files, int FilesPerElement);

// The outputs of the whole batch, decided at once in the files' order as the batch object names
// them: an input's name with Extension, numbered past the files that exist and the names given
// to earlier files. With Overwrite a file that exists now is replaced, an input never.
std::vector<TBatchFile> PlannedOutputs(const TBatchSettings &Settings);

// The script each element runs. It finds the results folder by its job's id, or in a later
// array by the first job's id, FirstJobId, with the batch's number of the array's element 0; no
// file name is written into it (Slurm refuses a script with a carriage return, and a name is no
// code).
std::string BatchScript(const TBatchSettings &Settings, const std::string &FirstJobId = {},
                        int FirstElement = 0);

// Writes the results folder and submits the job array, its elements released only once that
// folder is in place; Interrupted, asked before the release, withdraws the held job. More
// elements than one array holds go as several arrays, the later ones recorded in the first's
// results folder (and with MaxParallel each starting once the one before has ended). The first
// job's id, or empty with Error (Slurm's own message when sbatch refused a job).
std::string SubmitBatch(const TBatchSettings &Settings, const std::function<bool()> &Interrupted,
                        std::string &Error);

// Cancels the jobs and removes their results folder: a submission its user interrupted.
void WithdrawBatch(const std::string &Output, const std::vector<TJobArray> &Arrays);
