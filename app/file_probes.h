// Probes the files being added to the job list on a few threads of its own, each with its own
// TAVProbe, and hands their cells back in the files' order as far as they are ready, so that
// the main thread only appends rows and keeps its event loop turning.
//
// Threads: the owner (the main thread) calls Start, TakeReady and the destructor; OnProbed runs
// on a probing thread. Results are handed over under one mutex.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/job_cells.h"
#include "app/job_list.h"

enum class TProbeOutcome {
  Pending,
  Readable,    // Cells hold the file's size, frame rate and duration
  Unreadable,  // the probe could not open or read it: an "Error" row
  Raised,      // the probe raised (no media libraries): adding ends before this file
};

struct TProbedFile {
  TProbeOutcome Outcome = TProbeOutcome::Pending;
  TJobCells Cells;
};

// The job row of a probed file: its cells and the output type, or "Error" when it could not be
// read.
TJobRow ProbedJobRow(const std::string &FileName, const TProbedFile &Probed,
                     const std::string &OutputType);

class TFileProbes {
 public:
  explicit TFileProbes(std::vector<std::string> Files);
  // Files not begun yet are left alone; returns once every thread has ended.
  ~TFileProbes();
  TFileProbes(const TFileProbes &) = delete;
  TFileProbes &operator=(const TFileProbes &) = delete;

  // One thread per processor core, at most 8, never more than there are files.
  static unsigned DefaultThreadCount(size_t Files);

  // Starts Threads threads (0: DefaultThreadCount). OnProbed runs on a probing thread after
  // each file and once more as the thread ends, outside the lock.
  void Start(unsigned Threads = 0, std::function<void()> OnProbed = nullptr);
  // The results after those already taken, in the files' order, up to the first not ready.
  std::vector<TProbedFile> TakeReady();
  // Every result has been taken.
  bool AllTaken() const;
  // No further result will come: every thread has ended (all files probed, or the probing
  // stopped after a raise).
  bool Finished() const { return FRunningThreads == 0; }
  // Blocks until the next result to take is ready (or all are taken).
  void WaitForNext();

 private:
  void Probe();

  const std::vector<std::string> FFiles;
  std::vector<TProbedFile> FResults;
  std::vector<std::thread> FThreads;
  std::function<void()> FOnProbed;
  std::atomic<size_t> FNextFile{0};
  std::atomic<bool> FStopping{false};
  std::atomic<unsigned> FRunningThreads{0};
  mutable std::mutex FLock;
  std::condition_variable FReady;
  size_t FTaken = 0;  // under FLock
};
