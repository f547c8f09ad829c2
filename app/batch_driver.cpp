// TForm1's batch driver: the checked rows become conversions one after another, each through
// exactly one task of the engine, started by the job timer after the previous one ended.

#include <algorithm>
#include <exception>
#include <filesystem>

#include "app/additional_options.h"
#include "app/job_rules.h"
#include "app/main_form.h"
#include "text/text_utils.h"
#include "engine/component/stream_fit.h"

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string &Path) {
  std::error_code Ignored;
  return fs::is_directory(Path, Ignored);
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
  Converting = true;
  TimerConvertAgain.SetEnabled(true);
  Aborted = false;
  FWrittenOutputs.clear();
  FBatchFiles = 0;
  for (int Row = 0; Row < ListView1.Count(); ++Row) FBatchFiles += ListView1.Row(Row).Checked;
  FBatchFile = 0;
  FBatchStarted = std::chrono::steady_clock::now();
  DisableControls();
  FCurrentJob = -1;
  ConvertNextJob();
}

void TForm1::ConvertNextJob() {
  FEngine.ClearTasks();
  // The old task is gone: whatever it still has queued belongs to no row any more.
  FEvents.NextGeneration();
  SetProgressBar(0);
  FLastJob = false;
  FBatchDone = false;

  ++FCurrentJob;
  while (FCurrentJob < ListView1.Count() - 1 && !ListView1.Row(FCurrentJob).Checked) ++FCurrentJob;
  FLastJob = FCurrentJob == ListView1.Count() - 1;

  if (FCurrentJob >= ListView1.Count() || !ListView1.Row(FCurrentJob).Checked) {
    Converting = false;
  } else {
    SetStatusPanel(0, BatchFileNote(++FBatchFile, FBatchFiles));
    if (!PrepareJob()) return;
  }
  try {
    FJobPending = FEngine.Tasks().Count() > 0;
    FEngine.StartConvert(1);
  } catch (...) {
    FJobPending = false;
    FEngine.StopConvert();
    EnableControls();
  }
  if (FLastJob) FBatchDone = true;
}

// Adds the job's task with its input and output. False when the job failed and has ended.
bool TForm1::PrepareJob() {
  try {
    const std::string Extension = "." + LowerCaseText(FOutputType);
    // The name exactly as listed: a trailing blank is part of a file's name.
    const std::string Input = ListView1.Row(FCurrentJob).Caption;
    const bool Overwrite = Form4 != nullptr && Form4->CheckBoxOverWrite;
    const TJobOutput Output =
        JobOutput(Input, EditOutputFolder, Extension, Overwrite, Inputs(), FWrittenOutputs);

    TInputOptions InputOptions;
    InitInputOptions(InputOptions);
    InputOptions.FileName = Input;
    InputOptions.TimeStart = 0;
    InputOptions.PlainFileOnly = true;
    const int TaskIndex = FEngine.AddInputFile(Input, &InputOptions);
    if (TaskIndex < 0) {
      ListView1.SetCell(FCurrentJob, jcProgress, "Fail");
      EndFailedJob(FEngine.LastErrorMsg);
      return false;
    }

    InitOutputOptions(JobOutputOptions);
    SetJobOptions(JobOutputOptions);
    FitAutoFrameSize(JobOutputOptions, ListView1.Cell(FCurrentJob, jcVideoSize));
    JobOutputOptions.FrameRate = GetFrameRateText(JobOutputOptions);
    JobOutputOptions.AudioVolume = AudioVolumeSetting;
    JobOutputOptions.AspectRatio =
        JobAspectRatio(ComboAspectRatio.ItemIndex(), ListView1.Cell(FCurrentJob, jcVideoSize));
    const int32_t RecordingTime = JobRecordingTime(ListView1.Cell(FCurrentJob, jcDuration));
    if (RecordingTime >= 0) JobOutputOptions.RecordingTime = RecordingTime;
    JobOutputOptions.KeepExisting = Output.KeepExisting;
    if (Form4 == nullptr || Form4->CheckBoxCopyStreams)
      for (const TStreamFit &Fit : CopyFittingStreams(Input, Output.FileName, JobOutputOptions))
        if (OnJobLog) OnJobLog(FCurrentJob, StreamFitText(Fit));
    if (!FEngine.AddOutputFile(TaskIndex, Output.FileName, &JobOutputOptions)) {
      ListView1.SetCell(FCurrentJob, jcProgress, "Fail");
      const std::string Reason = FEngine.LastErrorMsg;
      FEngine.RemoveTask(TaskIndex);
      EndFailedJob(Reason);
      return false;
    }
    ListView1.SetOutputFile(FCurrentJob, Output.Expected);
  } catch (const std::exception &) {
    ShowInformation(Dialogs, "Fail to add file to list!");
  }
  return true;
}

void TForm1::EndFailedJob(const std::string &Reason) {
  ListView1.SetFailReason(FCurrentJob, Reason);
  EndJob(FCurrentJob);
  if (FLastJob) {
    TimerConvertAgain.SetEnabled(false);
    BatchEnded();
    FEngine.StopConvert();
    SetProgressBar(0);
    EnableControls();
    Converting = false;
    FBatchDone = true;
  } else {
    FRetryTicks = 0;
    Converting = false;
  }
}

void TForm1::TimerConvertAgainTimer() {
  // The stop question holds the batch where it is until it is answered.
  if (Converting || FAskingStop) return;
  if (FBatchDone) {
    TimerConvertAgain.SetEnabled(false);
    FEngine.ClearTasks();
    BatchEnded();
    SetProgressBar(0);
    EnableControls();
    Converting = false;
    return;
  }
  if (++FRetryTicks < 2) return;
  FRetryTicks = 0;
  Converting = true;
  ConvertNextJob();
}

void TForm1::EngineProgress(const TProgressEvent &Event) {
  if (FCurrentJob < 0 || FCurrentJob >= ListView1.Count()) return;
  ListView1.MakeVisible(FCurrentJob);
  const TProgressInfo &Progress = Event.Progress;
  const int Percent = ProgressPercent(Progress.CurrentDuration, Progress.TotalOutputDuration);
  ListView1.SetCell(FCurrentJob, jcProgress, std::to_string(std::min(Percent, 100)) + "%");
  SetStatusPanel(1, "File Size : " + std::to_string(Progress.CurrentSize));
  ListView1.SetCell(FCurrentJob, jcFrames,
                    Progress.FrameNumber == -1 ? " " : std::to_string(Progress.FrameNumber));
  SetProgressBar(Percent);
  if (FBatchFiles > 0) ShowBatchTime((FBatchFile - 1 + ProgressBar1 / 100.0) / FBatchFiles);
}

void TForm1::ShowBatchTime(double DoneShare) {
  const double Elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - FBatchStarted).count();
  SetStatusPanel(2, BatchTimeNote(Elapsed, DoneShare));
}

void TForm1::EngineTerminate(const TTerminateEvent &Event) {
  Converting = false;
  if (Event.AIndex >= 0 && FCurrentJob >= 0 && FCurrentJob < ListView1.Count()) {
    FJobPending = false;
    const char *State = Event.AException ? "Fail" : Aborted ? "Abort" : "Done";
    ListView1.SetCell(FCurrentJob, jcProgress, State);
    if (!Event.AException && !Event.AOutputFile.empty()) {
      ListView1.SetOutputFile(FCurrentJob, Event.AOutputFile);
      FWrittenOutputs.push_back(Event.AOutputFile);
    }
    if (Event.AException) ListView1.SetFailReason(FCurrentJob, Event.AMessage);
    EndJob(FCurrentJob);
  }
  if (FBatchDone && Event.AIndex < 0) {
    FEngine.ClearTasks();
    SetProgressBar(0);
    Converting = false;
  }
}

void TForm1::ButtonStopConvertClick() {
  if (Converting) {
    FEngine.PauseConvert();
    FAskingStop = true;
    const TModalResult Answer = Dialogs.MessageBox("Stop all conversions?", "Confirmation",
                                                   TMsgIcon::Question, TMsgButtons::YesNo);
    FAskingStop = false;
    if (Answer != TModalResult::Yes) {
      FEngine.ResumeConvert();
      return;
    }
  }
  StopAllConversions();
}

void TForm1::StopAllConversions() {
  if (Converting) Aborted = true;
  FBatchDone = true;
  TimerConvertAgain.SetEnabled(false);
  FEngine.StopConvert();
  SetProgressBar(0);
  EnableControls();
  Converting = false;
}

void TForm1::DisableControls() {
  FControlsEnabled = false;
  SetMainMenuEnabled(false);
}

void TForm1::BatchEnded() {
  const TJobStateCounts Counts = JobStateCounts();
  // First, so that the desktop tells it while the message waits for the user.
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
