// TForm1's batch driver: the checked rows become conversions, each through exactly one task of
// an engine component, started the moment a slot is free: a slot that frees asks the job timer
// for a tick at once, queued behind the event that freed it. With several simultaneous
// conversions each running row has a slot (job_slot.h) of its own and a free slot takes the next
// row; with one, the rows convert one after another in the first slot.

#include <algorithm>
#include <exception>
#include <filesystem>

#include "app/additional_options.h"
#include "app/job_rules.h"
#include "app/main_form.h"
#include "engine/component/stream_fit.h"
#include "text/text_utils.h"

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string &Path) {
  std::error_code Ignored;
  return fs::is_directory(Path, Ignored);
}

bool IsFinalState(const std::string &Cell) {
  return Cell == "Done" || Cell == "Fail" || Cell == "Abort";
}

}  // namespace

void TForm1::ButtonConvertClick() {
  if (Busy()) return;
  ClearProgressCells();
  if (ListView1.Count() == 0) {
    ShowInformation(Dialogs, "Please Add Files To Convert!");
    return;
  }
  if (EditOutputFolder.empty()) {
    ShowInformation(Dialogs, "Please select an output folder!");
    ButtonBrowseForFolderClick();
    return;
  }
  if (!IsFolder(TrimmedText(EditOutputFolder))) {
    ShowInformation(Dialogs, "The output folder \"" + EditOutputFolder +
                                 "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a "
                                 "new output folder.");
    ButtonBrowseForFolderClick();
    return;
  }
  FBatchFiles = 0;
  for (int Row = 0; Row < ListView1.Count(); ++Row) FBatchFiles += ListView1.Row(Row).Checked;
  // A slot more than the batch has rows would only take codec threads from the others.
  FJobs = static_cast<size_t>(
      std::clamp(Form4 ? Form4->SimultaneousJobs() : 1, 1, std::max(FBatchFiles, 1)));
  FCodecThreads = JobCodecThreads(ProcessorCount(), static_cast<int>(FJobs));
  while (FSlots.size() < FJobs) {
    FSlots.push_back(std::make_unique<TJobSlot>(FEngine));
    AttachSlot(*FSlots.back());
  }
  for (const auto &Slot : FSlots) Slot->Reset();
  FBatchBytes = 0;
  SetBusy(*FSlots[0], true);
  TimerConvertAgain.SetEnabled(true);
  Aborted = false;
  FWrittenOutputs.clear();
  FBatchFile = 0;
  FBatchStarted = std::chrono::steady_clock::now();
  FBatchStopped.reset();
  DisableControls();
  FCurrentJob = -1;
  ConvertNextJob(*FSlots[0]);
  FillFreeSlots(1);
}

void TForm1::ConvertNextJob() {
  ConvertNextJob(*FSlots[0]);
}

void TForm1::ConvertNextJob(TJobSlot &Slot) {
  Slot.Engine.ClearTasks();
  // The old task is gone: whatever it still has queued belongs to no row any more.
  Slot.Events.NextGeneration();
  Slot.Reset();
  // With several rows at once the bar is the batch's and goes on.
  if (FJobs == 1) SetProgressBar(0);
  FLastJob = false;
  FBatchDone = false;

  ++FCurrentJob;
  while (FCurrentJob < ListView1.Count() - 1 && !ListView1.Row(FCurrentJob).Checked) ++FCurrentJob;
  FLastJob = FCurrentJob == ListView1.Count() - 1;

  if (FCurrentJob >= ListView1.Count() || !ListView1.Row(FCurrentJob).Checked) {
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
    EnableControls();
  }
  if (FLastJob) FBatchDone = true;
}

void TForm1::FillFreeSlots(size_t First) {
  for (size_t Index = First; Index < FJobs; ++Index) {
    TJobSlot &Slot = *FSlots[Index];
    if (Slot.Busy) continue;
    if (FBatchDone || !TimerConvertAgain.Enabled() || NextJobWaits()) return;
    SetBusy(Slot, true);
    ConvertNextJob(Slot);
  }
}

bool TForm1::NextJobWaits() const {
  // Nothing running, nothing to meet: the output is worked out once, when the job starts.
  if (std::none_of(FSlots.begin(), FSlots.end(), [](const auto &Slot) { return Slot->Running(); }))
    return false;
  int Row = FCurrentJob + 1;
  while (Row < ListView1.Count() - 1 && !ListView1.Row(Row).Checked) ++Row;
  if (Row >= ListView1.Count() || !ListView1.Row(Row).Checked) return false;
  try {
    const TJobOutput Next = RowOutput(Row);
    return std::any_of(FSlots.begin(), FSlots.end(), [&Next](const auto &Slot) {
      return Slot->Running() && OutputsMayMeet(Slot->Output, Next);
    });
  } catch (const std::exception &) {
    return false;  // its set-up meets the same error and tells the user
  }
}

TJobOutput TForm1::RowOutput(int Row) const {
  const std::string Extension = "." + LowerCaseText(FOutputType);
  const bool Overwrite = Form4 != nullptr && Form4->CheckBoxOverWrite;
  // The name exactly as listed: a trailing blank is part of a file's name.
  return JobOutput(ListView1.Row(Row).Caption, EditOutputFolder, Extension, Overwrite, Inputs(),
                   FWrittenOutputs);
}

// Adds the job's task with its input and output. False when the job failed and has ended.
bool TForm1::PrepareJob(TJobSlot &Slot) {
  try {
    const std::string Input = ListView1.Row(Slot.Row).Caption;
    const TJobOutput Output = RowOutput(Slot.Row);

    TInputOptions InputOptions;
    InitInputOptions(InputOptions);
    InputOptions.FileName = Input;
    InputOptions.TimeStart = 0;
    InputOptions.PlainFileOnly = true;
    InputOptions.CodecThreads = FCodecThreads;
    const int TaskIndex = Slot.Engine.AddInputFile(Input, &InputOptions);
    if (TaskIndex < 0) {
      ListView1.SetCell(Slot.Row, jcProgress, "Fail");
      EndFailedJob(Slot, Slot.Engine.LastErrorMsg);
      return false;
    }

    InitOutputOptions(JobOutputOptions);
    SetJobOptions(JobOutputOptions);
    FitAutoFrameSize(JobOutputOptions, ListView1.Cell(Slot.Row, jcVideoSize));
    JobOutputOptions.FrameRate = GetFrameRateText(JobOutputOptions);
    JobOutputOptions.AudioVolume = AudioVolumeSetting;
    JobOutputOptions.AspectRatio =
        JobAspectRatio(ComboAspectRatio.ItemIndex(), ListView1.Cell(Slot.Row, jcVideoSize));
    const int32_t RecordingTime = JobRecordingTime(ListView1.Cell(Slot.Row, jcDuration));
    if (RecordingTime >= 0) JobOutputOptions.RecordingTime = RecordingTime;
    JobOutputOptions.KeepExisting = Output.KeepExisting;
    JobOutputOptions.RemoveWhenStopped = RemoveStoppedOutputs;
    if (Form4 == nullptr || Form4->CheckBoxCopyStreams)
      for (const TStreamFit &Fit : CopyFittingStreams(Input, Output.FileName, JobOutputOptions))
        if (OnJobLog) OnJobLog(Slot.Row, StreamFitText(Fit));
    if (!Slot.Engine.AddOutputFile(TaskIndex, Output.FileName, &JobOutputOptions)) {
      ListView1.SetCell(Slot.Row, jcProgress, "Fail");
      const std::string Reason = Slot.Engine.LastErrorMsg;
      Slot.Engine.RemoveTask(TaskIndex);
      EndFailedJob(Slot, Reason);
      return false;
    }
    Slot.Output = Output;
    ListView1.SetOutputFile(Slot.Row, Output.Expected);
  } catch (const std::exception &) {
    ShowInformation(Dialogs, "Fail to add file to list!");
  }
  return true;
}

void TForm1::EndFailedJob(TJobSlot &Slot, const std::string &Reason) {
  ListView1.SetFailReason(Slot.Row, Reason);
  EndJob(Slot.Row);
  const bool OthersBusy = std::any_of(FSlots.begin(), FSlots.end(), [&Slot](const auto &Other) {
    return Other.get() != &Slot && Other->Busy;
  });
  if (FLastJob && !OthersBusy) {
    TimerConvertAgain.SetEnabled(false);
    BatchEnded();
    Slot.Engine.StopConvert();
    SetProgressBar(0);
    EnableControls();
    SetBusy(Slot, false);
    FBatchDone = true;
  } else {
    // Rows still converting: the timer ends the batch after them.
    if (FLastJob) FBatchDone = true;
    SetBusy(Slot, false);
    ShowBatchProgress();
  }
}

void TForm1::TimerConvertAgainTimer() {
  // The stop question holds the batch where it is until it is answered.
  if (FAskingStop) return;
  if (FBatchDone) {
    if (Converting) return;
    TimerConvertAgain.SetEnabled(false);
    for (const auto &Slot : FSlots) Slot->Engine.ClearTasks();
    BatchEnded();
    SetProgressBar(0);
    EnableControls();
    Converting = false;
    return;
  }
  FillFreeSlots(0);
}

void TForm1::EngineProgress(const TProgressEvent &Event) {
  JobProgress(*FSlots[0], FCurrentJob, Event);
}

void TForm1::JobProgress(TJobSlot &Slot, int Row, const TProgressEvent &Event) {
  if (Row < 0 || Row >= ListView1.Count()) return;
  // With several rows at once the view follows the batch's front, not each report.
  ListView1.MakeVisible(FJobs == 1 ? Row : FCurrentJob);
  const int Percent =
      ProgressPercent(Event.Progress.CurrentDuration, Event.Progress.TotalOutputDuration);
  // The batch's share of a row is its furthest plausible report: the engine's position steps
  // back when a lagging stream starts, and reads far past the end before any stream has one.
  if (Percent >= 0 && Percent <= 100) Slot.Percent = std::max(Slot.Percent, Percent);
  Slot.Size = Event.Progress.CurrentSize;
  ListView1.SetCell(Row, jcProgress, std::to_string(std::min(Percent, 100)) + "%");
  if (FJobs == 1) SetStatusPanel(1, "File Size : " + std::to_string(Event.Progress.CurrentSize));
  ListView1.SetCell(
      Row, jcFrames,
      Event.Progress.FrameNumber == -1 ? " " : std::to_string(Event.Progress.FrameNumber));
  if (FJobs > 1) {
    ShowBatchProgress();
    return;
  }
  SetProgressBar(Percent);
  if (FBatchFiles > 0) ShowBatchTime((FBatchFile - 1 + ProgressBar1 / 100.0) / FBatchFiles);
}

void TForm1::ShowBatchProgress() {
  if (FJobs == 1 || !TimerConvertAgain.Enabled()) return;
  int64_t Bytes = FBatchBytes;
  for (const auto &Slot : FSlots)
    if (Slot->Busy) Bytes += Slot->Size;
  SetStatusPanel(1, "Output Size : " + std::to_string(Bytes));
  SetProgressBar(BatchPercent());
  if (FBatchFiles > 0) ShowBatchTime(ProgressBar1 / 100.0);
}

int TForm1::BatchPercent() const {
  int Rows = 0, Sum = 0;
  for (int Row = 0; Row < ListView1.Count(); ++Row) {
    const auto Running = std::find_if(FSlots.begin(), FSlots.end(), [Row](const auto &Slot) {
      return Slot->Busy && Slot->Row == Row;
    });
    if (IsFinalState(ListView1.Cell(Row, jcProgress))) {
      ++Rows;
      Sum += 100;
    } else if (Running != FSlots.end()) {
      ++Rows;
      Sum += (*Running)->Percent;
    } else if (Row > FCurrentJob && ListView1.Row(Row).Checked) {
      ++Rows;
    }
  }
  return Rows == 0 ? 0 : Sum / Rows;
}

void TForm1::ShowBatchTime(double DoneShare) {
  const double Elapsed =
      std::chrono::duration<double>(FBatchStopped.value_or(std::chrono::steady_clock::now()) -
                                    FBatchStarted)
          .count();
  SetStatusPanel(2, BatchTimeNote(Elapsed, DoneShare));
}

void TForm1::EngineTerminate(const TTerminateEvent &Event) {
  JobTerminate(*FSlots[0], FCurrentJob, Event);
}

void TForm1::JobTerminate(TJobSlot &Slot, int Row, const TTerminateEvent &Event) {
  SetBusy(Slot, false);
  if (Event.AIndex >= 0 && Row >= 0 && Row < ListView1.Count()) {
    Slot.Pending = false;
    SlotsChanged();
    // A row whose conversion reached its end before the stop is done, whatever came after;
    // one that did not is never called done.
    const char *State = Event.AException ? "Fail" : !Event.AFinished ? "Abort" : "Done";
    ListView1.SetCell(Row, jcProgress, State);
    if (!Event.AException && !Event.AOutputFile.empty()) {
      ListView1.SetOutputFile(Row, Event.AOutputFile);
      FWrittenOutputs.push_back(Event.AOutputFile);
    } else if (!Event.AException && !Event.AFinished) {
      ListView1.SetOutputFile(Row, "");  // stopped before anything was written: no file
    }
    if (Event.AException) ListView1.SetFailReason(Row, Event.AMessage);
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

void TForm1::ButtonStopConvertClick() {
  if (Converting) {
    for (const auto &Slot : FSlots) Slot->Engine.PauseConvert();
    FAskingStop = true;
    const TModalResult Answer = Dialogs.MessageBox("Stop all conversions?", "Confirmation",
                                                   TMsgIcon::Question, TMsgButtons::YesNo);
    FAskingStop = false;
    if (Answer != TModalResult::Yes) {
      for (const auto &Slot : FSlots) Slot->Engine.ResumeConvert();
      // Rows that ended while the question was open left their slots free.
      TimerConvertAgain.TickSoon();
      return;
    }
  }
  StopAllConversions();
}

void TForm1::StopAllConversions() {
  if (Converting) Aborted = true;
  FBatchDone = true;
  TimerConvertAgain.SetEnabled(false);
  for (const auto &Slot : FSlots) Slot->Engine.StopConvert();
  SetProgressBar(0);
  EnableControls();
  for (const auto &Slot : FSlots) Slot->Busy = false;
  Converting = false;
}

void TForm1::SetBusy(TJobSlot &Slot, bool Busy) {
  Slot.Busy = Busy;
  // The next row, or the batch's end, is the free slot's next tick, not the interval's.
  if (!Busy) TimerConvertAgain.TickSoon();
  Converting =
      std::any_of(FSlots.begin(), FSlots.end(), [](const auto &Each) { return Each->Busy; });
}

void TForm1::SlotsChanged() {
  FJobPending =
      std::any_of(FSlots.begin(), FSlots.end(), [](const auto &Each) { return Each->Pending; });
}

void TForm1::DisableControls() {
  FControlsEnabled = false;
  SetMainMenuEnabled(false);
}

void TForm1::BatchEnded() {
  const TJobStateCounts Counts = JobStateCounts();
  // The batch took until now, however long the message stays open.
  FBatchStopped = std::chrono::steady_clock::now();
  if (FBatchFiles > 0) ShowBatchTime(1.0);
  // Before the message, so that the desktop tells it while the message waits for the user.
  if (OnBatchEnded) OnBatchEnded(Counts);
  Dialogs.ShowBatchEnd(CompletionMessage(Counts), TrimmedText(EditOutputFolder));
}

void TForm1::EnableControls() {
  FControlsEnabled = true;
  // What is left of the batch's notes is how long it took.
  if (FBatchFiles > 0) {
    SetStatusPanel(0, "");
    ShowBatchTime(1.0);
    FBatchFiles = 0;
  }
  SetMainMenuEnabled(true);
}

void TForm1::SetMainMenuEnabled(bool Enabled) {
  FMainMenuEnabled = Enabled;
  ViewChanged(TViewPart::Controls);
}

void TForm1::EndJob(int Row) {
  if (OnJobEnded) OnJobEnded(Row);
}

void TForm1::SetProgressBar(int Position) {
  ProgressBar1 = std::clamp(Position, 0, 100);
  ViewChanged(TViewPart::ProgressBar);
}

void TForm1::SetStatusPanel(int Panel, const std::string &Text) {
  StatusBar1[Panel] = Text;
  ViewChanged(TViewPart::StatusBar);
}

TJobStateCounts TForm1::JobStateCounts() const {
  std::vector<std::string> States;
  for (int Row = 0; Row < ListView1.Count(); ++Row)
    States.push_back(ListView1.Cell(Row, jcProgress));
  return CountJobStates(States);
}

std::vector<std::string> TForm1::Inputs() const {
  std::vector<std::string> Captions;
  for (int Row = 0; Row < ListView1.Count(); ++Row) Captions.push_back(ListView1.Row(Row).Caption);
  return Captions;
}
