// A batch as a Slurm job array: the batch script whose element N runs tarnwick-cli convert on
// input N and records its row, and its submission with sbatch.
#pragma once

#include <string>
#include <vector>

struct TBatchSettings {
  std::string Program;  // this program, by an absolute name every node sees
  std::string Entry;
  std::vector<std::string> Inputs;  // absolute names
  std::string Output;               // absolute name of the output folder
  // The options each element's convert gets after the output folder (--pick, --overwrite, ...).
  std::vector<std::string> ConvertOptions;
  std::string Partition;  // empty: Slurm's default
  int MaxParallel = 0;    // elements running at once; 0: no limit of our own
};

// The script each element runs. It finds the results folder by its job's id.
std::string BatchScript(const TBatchSettings &Settings);

// Writes the results folder and submits the job array, its elements released only once that
// folder is in place. The job's id, or empty with Error (Slurm's own message when sbatch
// refused the job).
std::string SubmitBatch(const TBatchSettings &Settings, std::string &Error);
