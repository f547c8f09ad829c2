// The batch: the checked rows become conversions, each through exactly one task of an engine
// component, started the moment a slot is free: a slot that frees asks the job timer for a tick
// at once, queued behind the event that freed it. With several simultaneous conversions each
// running row has a slot (job_slot.h) of its own and a free slot takes the next row; with one,
// the rows convert one after another in the first slot.

#include "app/batch.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "app/converted_output.h"
#include "app/folder_files.h"
#include "engine/component/stream_fit.h"
#include "profiles/format_settings.h"
#include "text/text_utils.h"

namespace {

bool IsFinalState(const std::string &Cell) {
  return Cell == "Done" || Cell == "Fail" || Cell == "Abort" || Cell == AlreadyConvertedState;
}

void FitFrameInBox(TOutputOptions &Options, const std::string &VideoSizeCell, bool LetterBox) {
  const TBoxedFrame Frame = BoxedFrame(Options.FrameSize, VideoSizeCell, LetterBox);
  if (!Frame.Fitted) return;
  Options.FrameSize = Frame.FrameSize;
  Options.AspectRatio = Frame.AspectRatio;
  if (!LetterBox) return;
  Options.PadLeft = Frame.PadLeft;
  Options.PadRight = Frame.PadRight;
  Options.PadTop = Frame.PadTop;
  Options.PadBottom = Frame.PadBottom;
}

}  // namespace

TBatch::TBatch(TJobList &Rows, const TFormatSettings &Formats, TJobTimer &Timer,
               TEngineEvents &Events, TConvertEngine &Engine)
    : FRows(Rows), FFormats(Formats), FTimer(Timer), FEngine(Engine) {
  FSlots.push_back(std::make_unique<TJobSlot>(Events, Engine));
  AttachSlot(*FSlots[0]);
}

TBatch::~TBatch() = default;

void TBatch::AttachSlot(TJobSlot &Slot) {
  Slot.Events.OnProgress = [this, &Slot](const TProgressEvent &Event) {
    JobProgress(Slot, Slot.Row, Event);
  };
  Slot.Events.OnTerminate = [this, &Slot](const TTerminateEvent &Event) {
    JobTerminate(Slot, Slot.Row, Event);
  };
  Slot.Events.Attach(Slot.Engine);
}

void TBatch::Close() {
  for (const auto &Slot : FSlots) {
    Slot->Events.Detach();
    Slot->Engine.StopConvert();
  }
}

void TBatch::Start(int Jobs) {
  FBatchFiles = 0;
  for (int Row = 0; Row < FRows.Count(); ++Row) FBatchFiles += FRows.Row(Row).Checked;
  // A slot more than the batch has rows would only take codec threads from the others.
  FJobs = static_cast<size_t>(std::clamp(Jobs, 1, std::max(FBatchFiles, 1)));
  FCodecThreads = JobCodecThreads(ProcessorCount(), static_cast<int>(FJobs));
  while (FSlots.size() < FJobs) {
    FSlots.push_back(std::make_unique<TJobSlot>(FEngine));
    AttachSlot(*FSlots.back());
  }
  for (const auto &Slot : FSlots) Slot->Reset();
  FBatchBytes = 0;
  SetBusy(*FSlots[0], true);
  FTimer.SetEnabled(true);
  Aborted = false;
  FWrittenOutputs.clear();
  FBatchFile = 0;
  FBatchStarted = std::chrono::steady_clock::now();
  FBatchStopped.reset();
  FPausedSince.reset();
  FPausedTime = {};
  FFinishing = false;
  WeighRows();
  if (OnLockControls) OnLockControls(true);
  FCurrentJob = -1;
  ConvertNextJob(*FSlots[0]);
  FillFreeSlots(1);
}

void TBatch::ConvertNextJob() {
  ConvertNextJob(*FSlots[0]);
}

void TBatch::ConvertNextJob(TJobSlot &Slot) {
  Slot.Engine.ClearTasks();
  // The old task is gone: whatever it still has queued belongs to no row any more.
  Slot.Events.NextGeneration();
  Slot.Reset();
  // With several rows at once the bar is the batch's and goes on.
  if (FJobs == 1) SetProgressBar(0);
  FLastJob = false;
  FBatchDone = false;

  ++FCurrentJob;
  while (FCurrentJob < FRows.Count() - 1 && !FRows.Row(FCurrentJob).Checked) ++FCurrentJob;
  FLastJob = FCurrentJob == FRows.Count() - 1;

  if (FCurrentJob >= FRows.Count() || !FRows.Row(FCurrentJob).Checked) {
    SetBusy(Slot, false);
  } else {
    Slot.Row = FCurrentJob;
    SetStatusPanel(0, BatchFileNote(++FBatchFile, FBatchFiles));
    if (!PrepareJob(Slot)) return;
  }
  try {
    Slot.Pending = Slot.Engine.Tasks().Count() > 0;
    SlotsChanged();
    Slot.Engine.StartConvert(1);
  } catch (...) {
    Slot.Pending = false;
    SlotsChanged();
    Slot.Engine.StopConvert();
    Unlock();
  }
  if (FLastJob) FBatchDone = true;
}

void TBatch::FillFreeSlots(size_t First) {
  for (size_t Index = First; Index < FJobs; ++Index) {
    TJobSlot &Slot = *FSlots[Index];
    if (Slot.Busy) continue;
    if (FBatchDone || !FTimer.Enabled() || NextJobWaits()) return;
    SetBusy(Slot, true);
    ConvertNextJob(Slot);
  }
}

bool TBatch::NextJobWaits() const {
  // Nothing running, nothing to meet: the output is worked out once, when the job starts.
  if (std::none_of(FSlots.begin(), FSlots.end(), [](const auto &Slot) { return Slot->Running(); }))
    return false;
  int Row = FCurrentJob + 1;
  while (Row < FRows.Count() - 1 && !FRows.Row(Row).Checked) ++Row;
  if (Row >= FRows.Count() || !FRows.Row(Row).Checked) return false;
  try {
    const TJobOutput Next = RowOutput(Row, ReadSettings());
    return std::any_of(FSlots.begin(), FSlots.end(), [&Next](const auto &Slot) {
      return Slot->Running() && OutputsMayMeet(Slot->Output, Next);
    });
  } catch (const std::exception &) {
    return false;  // its set-up meets the same error and tells the user
  }
}

TJobSettings TBatch::ReadSettings() const {
  return OnReadSettings ? OnReadSettings() : TJobSettings{};
}

TJobOutput TBatch::RowOutput(int Row, const TJobSettings &Settings) const {
  const std::string Extension = "." + LowerCaseText(FFormats.FOutputType);
  if (!Settings.OutputName.empty())
    return JobOutput(Settings.OutputName,
                     std::filesystem::path(Settings.OutputName).parent_path().string(),
                     std::filesystem::path(Settings.OutputName).extension().string(),
                     Settings.Overwrite, Inputs(), FWrittenOutputs);
  // The name exactly as listed: a trailing blank is part of a file's name.
  const std::string Folder = Settings.KeepFolders
                                 ? MirroredFolder(Settings.OutputFolder, FRows.Row(Row).SubFolder)
                                 : Settings.OutputFolder;
  return JobOutput(FRows.Row(Row).Caption, Folder, Extension, Settings.Overwrite, Inputs(),
                   FWrittenOutputs);
}

void TBatch::FillOutputOptions(int Row, const TJobSettings &Settings, const TJobOutput &Output) {
  TOutputOptions &Options = JobOutputOptions;
  InitOutputOptions(Options);
  const std::string &VideoSize = FRows.Cell(Row, jcVideoSize);
  const TJobSource Source{VideoSize, FRows.Cell(Row, jcFrameRate)};
  FFormats.FillJobOptions(Options, Settings.KeepFrameRate, &Source);
  Options.KeepSourceTags = Settings.KeepSourceTags;
  Options.PreferDefaultStreams = Settings.PreferDefaultStreams;
  Options.AudioVolume = Settings.AudioVolume;
  Options.AspectRatio = JobAspectRatio(FFormats.ComboAspectRatio.ItemIndex(), VideoSize);
  FitFrameInBox(Options, VideoSize, Settings.LetterBox);
  const int32_t RecordingTime = JobRecordingTime(FRows.Cell(Row, jcDuration));
  if (RecordingTime >= 0) Options.RecordingTime = RecordingTime;
  Options.KeepExisting = Output.KeepExisting;
  Options.RemoveWhenStopped = Settings.RemoveStoppedOutputs;
}

// Adds the job's task with its input and output. False when the job failed and has ended.
bool TBatch::PrepareJob(TJobSlot &Slot) {
  try {
    const TJobSettings Settings = ReadSettings();
    if (!PrepareRowFolder(Slot, Settings)) return false;
    const std::string Input = FRows.Row(Slot.Row).Caption;
    const TJobOutput Output = RowOutput(Slot.Row, Settings);

    TInputOptions InputOptions;
    InitInputOptions(InputOptions);
    InputOptions.FileName = Input;
    InputOptions.TimeStart = 0;
    InputOptions.PlainFileOnly = true;
    InputOptions.CodecThreads = FCodecThreads;
    // The row's sizes are the picture as shown, so the job turns it upright too.
    InputOptions.AutoRotate = true;
    const int TaskIndex = Slot.Engine.AddInputFile(Input, &InputOptions);
    if (TaskIndex < 0) {
      FRows.SetCell(Slot.Row, jcProgress, "Fail");
      EndFailedJob(Slot, Slot.Engine.LastErrorMsg);
      return false;
    }

    FillOutputOptions(Slot.Row, Settings, Output);
    if (Settings.CopyStreams)
      for (const TStreamFit &Fit : CopyFittingStreams(Input, Output.FileName, JobOutputOptions))
        if (OnJobLog) OnJobLog(Slot.Row, StreamFitText(Fit));
    if (!Slot.Engine.AddOutputFile(TaskIndex, Output.FileName, &JobOutputOptions)) {
      FRows.SetCell(Slot.Row, jcProgress, "Fail");
      const std::string Reason = Slot.Engine.LastErrorMsg;
      Slot.Engine.RemoveTask(TaskIndex);
      EndFailedJob(Slot, Reason);
      return false;
    }
    Slot.Output = Output;
    FRows.SetOutputFile(Slot.Row, Output.Expected);
    if (OnJobStarted) OnJobStarted(Slot.Row);
  } catch (const std::exception &) {
    if (OnSetUpError) OnSetUpError();
  }
  return true;
}

void TBatch::EndFailedJob(TJobSlot &Slot, const std::string &Reason) {
  FRows.SetFailReason(Slot.Row, Reason);
  EndJob(Slot.Row);
  const bool OthersBusy = std::any_of(FSlots.begin(), FSlots.end(), [&Slot](const auto &Other) {
    return Other.get() != &Slot && Other->Busy;
  });
  if (FLastJob && !OthersBusy) {
    FTimer.SetEnabled(false);
    BatchEnded();
    Slot.Engine.StopConvert();
    SetProgressBar(0);
    Unlock();
    SetBusy(Slot, false);
    FBatchDone = true;
  } else {
    // Rows still converting: the timer ends the batch after them.
    if (FLastJob) FBatchDone = true;
    SetBusy(Slot, false);
    ShowBatchProgress();
  }
}

void TBatch::Tick() {
  // The stop question, like a pause, holds the batch where it is until it is answered.
  if (FAskingStop || Paused()) return;
  if (FFinishing) {
    if (Converting) return;
    FTimer.SetEnabled(false);
    for (const auto &Slot : FSlots) Slot->Engine.ClearTasks();
    FBatchStopped = std::chrono::steady_clock::now();
    SetProgressBar(0);
    Unlock();
    return;
  }
  if (FBatchDone) {
    if (Converting) return;
    FTimer.SetEnabled(false);
    for (const auto &Slot : FSlots) Slot->Engine.ClearTasks();
    BatchEnded();
    SetProgressBar(0);
    Unlock();
    Converting = false;
    return;
  }
  FillFreeSlots(0);
}

void TBatch::EngineProgress(const TProgressEvent &Event) {
  JobProgress(*FSlots[0], FCurrentJob, Event);
}

void TBatch::JobProgress(TJobSlot &Slot, int Row, const TProgressEvent &Event) {
  if (Row < 0 || Row >= FRows.Count()) return;
  // With several rows at once the view follows the batch's front, not each report.
  FRows.MakeVisible(FJobs == 1 ? Row : FCurrentJob);
  const int Percent =
      ProgressPercent(Event.Progress.CurrentDuration, Event.Progress.TotalOutputDuration);
  // The batch's share of a row is its furthest plausible report: the engine's position steps
  // back when a lagging stream starts, and reads far past the end before any stream has one.
  if (Percent >= 0 && Percent <= 100) Slot.Percent = std::max(Slot.Percent, Percent);
  Slot.Size = Event.Progress.CurrentSize;
  FRows.SetCell(Row, jcProgress, std::to_string(std::min(Percent, 100)) + "%");
  if (FJobs == 1) SetStatusPanel(1, "File Size : " + std::to_string(Event.Progress.CurrentSize));
  FRows.SetCell(
      Row, jcFrames,
      Event.Progress.FrameNumber == -1 ? " " : std::to_string(Event.Progress.FrameNumber));
  if (OnRowProgress) OnRowProgress(Row);
  if (FJobs > 1) {
    ShowBatchProgress();
    return;
  }
  SetProgressBar(Percent);
  if (FBatchFiles > 0) ShowBatchTime(DoneShare());
}

void TBatch::ShowBatchProgress() {
  if (FJobs == 1 || !FTimer.Enabled()) return;
  int64_t Bytes = FBatchBytes;
  for (const auto &Slot : FSlots)
    if (Slot->Busy) Bytes += Slot->Size;
  SetStatusPanel(1, "Output Size : " + std::to_string(Bytes));
  SetProgressBar(BatchPercent());
  if (FBatchFiles > 0) ShowBatchTime(DoneShare());
}

void TBatch::WeighRows() {
  FWeights.assign(FRows.Count(), 0.0);
  double Known = 0.0;
  int KnownRows = 0;
  for (int Row = 0; Row < FRows.Count(); ++Row) {
    const double Seconds = DurationSeconds(FRows.Cell(Row, jcDuration));
    if (Seconds <= 0.0) continue;
    FWeights[Row] = Seconds;
    Known += Seconds;
    ++KnownRows;
  }
  const double Unknown = KnownRows > 0 ? Known / KnownRows : 1.0;
  for (double &Weight : FWeights)
    if (Weight <= 0.0) Weight = Unknown;
}

int TBatch::RunningPercent(int Row) const {
  for (const auto &Slot : FSlots)
    if (Slot->Busy && Slot->Row == Row) return Slot->Percent;
  return -1;
}

double TBatch::DoneShare() const {
  double Total = 0.0, Done = 0.0;
  for (int Row = 0; Row < FRows.Count() && Row < static_cast<int>(FWeights.size()); ++Row) {
    const double Weight = FWeights[Row];
    const int Running = RunningPercent(Row);
    if (IsFinalState(FRows.Cell(Row, jcProgress))) {
      Total += Weight;
      Done += Weight;
    } else if (Running >= 0) {
      Total += Weight;
      Done += Weight * Running / 100.0;
    } else if (Row > FCurrentJob && FRows.Row(Row).Checked) {
      Total += Weight;
    }
  }
  return Total > 0.0 ? Done / Total : 0.0;
}

int TBatch::BatchPercent() const {
  return static_cast<int>(DoneShare() * 100.0 + 1e-9);
}

double TBatch::ActiveSeconds() const {
  const auto Now = std::chrono::steady_clock::now();
  auto Held = FPausedTime;
  if (FPausedSince) Held += Now - *FPausedSince;
  return std::chrono::duration<double>(FBatchStopped.value_or(Now) - FBatchStarted - Held).count();
}

void TBatch::ShowBatchTime(double DoneShare) {
  FLastShare = DoneShare;
  const std::string Note = BatchTimeNote(ActiveSeconds(), DoneShare);
  SetStatusPanel(2, Paused() ? "Paused; " + Note : Note);
}

void TBatch::EngineTerminate(const TTerminateEvent &Event) {
  JobTerminate(*FSlots[0], FCurrentJob, Event);
}

void TBatch::JobTerminate(TJobSlot &Slot, int Row, const TTerminateEvent &Event) {
  SetBusy(Slot, false);
  if (Event.AIndex >= 0 && Row >= 0 && Row < FRows.Count()) {
    Slot.Pending = false;
    SlotsChanged();
    // A row whose conversion reached its end before the stop is done, whatever came after;
    // one that did not is never called done.
    const char *State = Event.AException ? "Fail" : !Event.AFinished ? "Abort" : "Done";
    FRows.SetCell(Row, jcProgress, State);
    if (!Event.AException && !Event.AOutputFile.empty()) {
      FRows.SetOutputFile(Row, Event.AOutputFile);
      FWrittenOutputs.push_back(Event.AOutputFile);
    } else if (!Event.AException && !Event.AFinished) {
      FRows.SetOutputFile(Row, "");  // stopped before anything was written: no file
    }
    if (Event.AException) FRows.SetFailReason(Row, Event.AMessage);
    if (!Event.AException) FBatchBytes += Slot.Size;  // a failed row leaves no file
    EndJob(Row);
    ShowBatchProgress();
  }
  if (FBatchDone && Event.AIndex < 0) {
    Slot.Engine.ClearTasks();
    // The batch's bar stays full until the batch ends.
    if (FJobs == 1) SetProgressBar(0);
  }
}

void TBatch::Pause() {
  for (const auto &Slot : FSlots) Slot->Engine.PauseConvert();
  if (!FPausedSince) FPausedSince = std::chrono::steady_clock::now();
  if (FBatchFiles > 0) ShowBatchTime(FLastShare);
}

void TBatch::Resume() {
  if (FPausedSince) FPausedTime += std::chrono::steady_clock::now() - *FPausedSince;
  FPausedSince.reset();
  for (const auto &Slot : FSlots) Slot->Engine.ResumeConvert();
  if (FBatchFiles > 0) ShowBatchTime(FLastShare);
  // Rows that ended while the batch was held left their slots free.
  FTimer.TickSoon();
}

void TBatch::FinishRunning() {
  FFinishing = true;
  FTimer.TickSoon();
}

void TBatch::SkipRunning() {
  TJobSlot *Newest = nullptr;
  for (const auto &Slot : FSlots)
    if (Slot->Busy && Slot->Row >= 0 && (Newest == nullptr || Slot->Row > Newest->Row))
      Newest = Slot.get();
  if (Newest != nullptr) Newest->Engine.StopConvert();
}

void TBatch::Stop() {
  if (Converting) Aborted = true;
  if (FPausedSince) FPausedTime += std::chrono::steady_clock::now() - *FPausedSince;
  FPausedSince.reset();
  FBatchDone = true;
  FTimer.SetEnabled(false);
  for (const auto &Slot : FSlots) Slot->Engine.StopConvert();
  SetProgressBar(0);
  Unlock();
  for (const auto &Slot : FSlots) Slot->Busy = false;
  Converting = false;
}

void TBatch::SetBusy(TJobSlot &Slot, bool Busy) {
  Slot.Busy = Busy;
  // The next row, or the batch's end, is the free slot's next tick, not the interval's.
  if (!Busy) FTimer.TickSoon();
  Converting =
      std::any_of(FSlots.begin(), FSlots.end(), [](const auto &Each) { return Each->Busy; });
}

void TBatch::SlotsChanged() {
  FJobPending =
      std::any_of(FSlots.begin(), FSlots.end(), [](const auto &Each) { return Each->Pending; });
}

void TBatch::BatchEnded() {
  const TJobStateCounts Counts = JobStateCounts();
  // The batch took until now, however long the message stays open.
  FBatchStopped = std::chrono::steady_clock::now();
  if (FBatchFiles > 0) ShowBatchTime(1.0);
  if (OnBatchEnded) OnBatchEnded(Counts);
}

void TBatch::Unlock() {
  // The batch's notes were told while it ran and in its end message: an idle window's status
  // bar is about the list again.
  if (FBatchFiles > 0) {
    for (int Panel = 0; Panel < 3; ++Panel) SetStatusPanel(Panel, "");
    FBatchFiles = 0;
  }
  if (OnLockControls) OnLockControls(false);
}

void TBatch::EndJob(int Row) {
  if (OnJobEnded) OnJobEnded(Row);
}

void TBatch::SetProgressBar(int Position) {
  FProgressBar = std::clamp(Position, 0, 100);
  if (OnProgressBar) OnProgressBar(FProgressBar);
}

void TBatch::SetStatusPanel(int Panel, const std::string &Text) {
  if (OnStatus) OnStatus(Panel, Text);
}

TJobStateCounts TBatch::JobStateCounts() const {
  std::vector<std::string> States;
  for (int Row = 0; Row < FRows.Count(); ++Row) States.push_back(FRows.Cell(Row, jcProgress));
  return CountJobStates(States);
}

std::vector<std::string> TBatch::Inputs() const {
  std::vector<std::string> Captions;
  for (int Row = 0; Row < FRows.Count(); ++Row) Captions.push_back(FRows.Row(Row).Caption);
  return Captions;
}
