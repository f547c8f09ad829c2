// TBatch: one batch of conversions over the checked rows of a job list. It owns where every
// row stands (its state cell, its output), the slots converting at once (job_slot.h), the
// naming of the outputs and the batch's time and percentage; whoever shows it (the main
// window's model, the command line) starts, stops, pauses and resumes it and listens to its
// events. It asks no question and shows no message: a front end does that on an event.
//
// Threads: everything runs on the main thread; the engine's events reach it queued through
// TEngineEvents. The job timer's ticks (Tick) start rows as slots free and end the batch.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/engine_events.h"
#include "app/job_list.h"
#include "app/job_rules.h"
#include "app/job_slot.h"
#include "app/job_timer.h"
#include "engine/component/convert_engine.h"

class TFormatSettings;

// What a job reads as it starts: the user may change it between two rows.
struct TJobSettings {
  std::string OutputFolder;
  bool Overwrite = false;
  bool CopyStreams = true;
  // A stopped row leaves no partial file.
  bool RemoveStoppedOutputs = false;
  int AudioVolume = AudioVolumeHundredPercent;
  // Rows added from folders: each output in its row's subfolder under OutputFolder, and a row
  // whose expected output already holds its whole conversion ends "Already converted".
  bool KeepFolders = false;
  bool SkipConverted = false;
  // What a job keeps of its input: tags and cover art, the tracks marked default, and for an
  // "Auto" frame rate the source's rate (off: 25).
  bool KeepSourceTags = true;
  bool PreferDefaultStreams = true;
  bool KeepFrameRate = true;
  // A picture fitted inside a fixed frame size of the other orientation is padded out to it.
  bool LetterBox = false;
  // When set, the batch's one row is written exactly here (a name decided by whoever split a
  // batch into parts); empty: named after its input in OutputFolder.
  std::string OutputName;
};

class TBatch {
 public:
  // The first slot converts on Engine (its events through Events); Rows, Formats and Timer
  // outlive the batch.
  TBatch(TJobList &Rows, const TFormatSettings &Formats, TJobTimer &Timer, TEngineEvents &Events,
         TConvertEngine &Engine);
  ~TBatch();
  TBatch(const TBatch &) = delete;
  TBatch &operator=(const TBatch &) = delete;

  // ===== Events (main thread) =====
  // The job's settings, read as each job starts.
  std::function<TJobSettings()> OnReadSettings;
  // A line of a row's job log: which streams are copied as they are and why others are not.
  std::function<void(int Row, const std::string &Line)> OnJobLog;
  // A row's job is set up: its output file is known, its conversion starts.
  std::function<void(int Row)> OnJobStarted;
  // A row received its final state ("Done", "Fail" or "Abort").
  std::function<void(int Row)> OnJobEnded;
  // A job could not be set up for another reason than its input or output.
  std::function<void()> OnSetUpError;
  // The batch ran to its end (not after a stop); the front end tells the user.
  std::function<void(const TJobStateCounts &Counts)> OnBatchEnded;
  // The batch's bar (0..100) and the status bar's panels.
  std::function<void(int Percent)> OnProgressBar;
  std::function<void(int Panel, const std::string &Text)> OnStatus;
  // The controls are locked while the batch runs (true) and unlocked after it.
  std::function<void(bool Locked)> OnLockControls;
  // A row's progress: its cells have just changed.
  std::function<void(int Row)> OnRowProgress;

  // ===== Interface =====
  // Starts the checked rows, Jobs (clamped to the checked rows) at once.
  void Start(int Jobs);
  // Every running row ends "Abort", no further row starts.
  void Stop();
  // Holds every running row where it is, and the batch's clock; no further row starts until
  // Resume lets them go on. Time held does not count as the batch's.
  void Pause();
  void Resume();
  bool Paused() const { return FPausedSince.has_value(); }
  // No further row starts; the batch ends, without its end message, once the running rows end.
  void FinishRunning();
  // The row started last ends "Abort" (its output as a stop leaves it), the batch goes on.
  void SkipRunning();
  // The job timer's tick: starts rows in free slots, or ends the batch.
  void Tick();
  // The first slot's next job, as the driver's own step.
  void ConvertNextJob();
  // The first slot's engine events, for rows driven one at a time.
  void EngineProgress(const TProgressEvent &Event);
  void EngineTerminate(const TTerminateEvent &Event);
  // Detaches every slot's events and stops its engine: the program is closing.
  void Close();

  // ===== State =====
  std::atomic<bool> Converting{false};
  std::atomic<bool> Aborted{false};
  TOutputOptions JobOutputOptions;
  int FCurrentJob = 0;  // the last row a job was started for
  bool FLastJob = false;
  bool FBatchDone = false;
  // The stop question is open: the batch stays where it is until it is answered.
  bool FAskingStop = false;

  // No batch runs and no started job still owes its end.
  bool Idle() const { return !Converting && !FTimer.Enabled() && !FJobPending; }
  bool Running() const { return Converting || FTimer.Enabled(); }
  int SimultaneousJobs() const { return static_cast<int>(FJobs); }
  // Started files of this batch, counted as "File k of n" counts them.
  int BatchFile() const { return FBatchFile; }
  int BatchFiles() const { return FBatchFiles; }
  // The batch's percentage over its rows: ended rows count whole, running rows by their
  // progress, checked rows not yet reached as nothing.
  int BatchPercent() const;
  // The rows this batch ended, by their state ("Done", "Fail", "Abort").
  TJobStateCounts JobStateCounts() const;
  // The bar's value as last set.
  int ProgressBar() const { return FProgressBar; }
  // The share of the batch done, 0..1, its rows weighted by their durations: what the time left
  // is worked out from.
  double DoneShare() const;
  // Seconds the batch has converted so far: since its start, without the time it was held.
  double ActiveSeconds() const;

 private:
  void ConvertNextJob(TJobSlot &Slot);
  // Starts rows in the free slots from First on, as long as the batch goes on.
  void FillFreeSlots(size_t First);
  // The next row's output could meet a running row's: it starts once that one has ended.
  bool NextJobWaits() const;
  TJobOutput RowOutput(int Row, const TJobSettings &Settings) const;
  // Before a row starts (folder_rows.cpp): its subfolder made, or the row ended as already
  // converted or failed (false: it has ended).
  bool PrepareRowFolder(TJobSlot &Slot, const TJobSettings &Settings);
  bool PrepareJob(TJobSlot &Slot);
  // JobOutputOptions for Row: the picks fitted to the row's cells, then the job's settings.
  // EConvertError when a pick holds no number.
  void FillOutputOptions(int Row, const TJobSettings &Settings, const TJobOutput &Output);
  void EndFailedJob(TJobSlot &Slot, const std::string &Reason);
  void JobProgress(TJobSlot &Slot, int Row, const TProgressEvent &Event);
  void JobTerminate(TJobSlot &Slot, int Row, const TTerminateEvent &Event);
  void AttachSlot(TJobSlot &Slot);
  // Converting and the pending job follow the slots.
  void SetBusy(TJobSlot &Slot, bool Busy);
  void SlotsChanged();
  // Several rows at once: the bar and the status bar tell the batch's progress.
  void ShowBatchProgress();
  void ShowBatchTime(double DoneShare);
  void EndJob(int Row);
  void BatchEnded();
  void Unlock();
  void SetProgressBar(int Position);
  void SetStatusPanel(int Panel, const std::string &Text);
  TJobSettings ReadSettings() const;
  std::vector<std::string> Inputs() const;

  TJobList &FRows;
  const TFormatSettings &FFormats;
  TJobTimer &FTimer;
  TConvertEngine &FEngine;
  // The first uses the given events and engine; a batch of several rows at once adds more.
  std::vector<std::unique_ptr<TJobSlot>> FSlots;
  size_t FJobs = 1;
  int FCodecThreads = 0;     // each job's, 0: the libraries' choice
  int64_t FBatchBytes = 0;   // the ended rows' output sizes
  bool FJobPending = false;  // a started job whose end has not arrived (any slot's)
  int FProgressBar = 0;
  // The outputs this batch has written so far: overwriting never replaces them.
  std::vector<std::string> FWrittenOutputs;
  // Where the batch stands for the status bar: its checked rows, the one under way (1-based).
  int FBatchFiles = 0;
  int FBatchFile = 0;
  std::chrono::steady_clock::time_point FBatchStarted;
  // Set when the last row of the batch has ended.
  std::optional<std::chrono::steady_clock::time_point> FBatchStopped;
  // While held: since when; and how long it was held before.
  std::optional<std::chrono::steady_clock::time_point> FPausedSince;
  std::chrono::steady_clock::duration FPausedTime{};
  double FLastShare = 0.0;  // of the batch done, as the status bar shows it
  bool FFinishing = false;  // FinishRunning: the running rows are the batch's last
  // Each row's weight in the batch's share: its duration in seconds; rows whose duration is not
  // known weigh as the known ones do on average.
  std::vector<double> FWeights;
  void WeighRows();
  // The row's part of its weight done, 0..100, when it is running; -1 when it is not.
  int RunningPercent(int Row) const;
};
