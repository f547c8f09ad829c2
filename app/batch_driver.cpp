// TForm1's batch driver: the handlers of "Convert Now !", the stop buttons, the job timer and
// the engine's events, over the batch (batch.h) that converts the rows; what the batch tells
// reaches the window's bar, status bar, controls and messages here.

#include <filesystem>
#include <utility>

#include "app/additional_options.h"
#include "app/main_form.h"
#include "app/sleep_inhibitor.h"
#include "text/text_utils.h"

namespace fs = std::filesystem;

namespace {

bool IsFolder(const std::string &Path) {
  std::error_code Ignored;
  return fs::is_directory(Path, Ignored);
}

}  // namespace

void TForm1::AttachBatch() {
  FBatch.OnReadSettings = [this] {
    TJobSettings Settings;
    Settings.OutputFolder = EditOutputFolder;
    Settings.Overwrite = Form4 != nullptr && Form4->CheckBoxOverWrite;
    Settings.CopyStreams = Form4 == nullptr || Form4->CheckBoxCopyStreams;
    Settings.RemoveStoppedOutputs = RemoveStoppedOutputs;
    Settings.AudioVolume = AudioVolumeSetting;
    Settings.LetterBox = ComboLetterBox.ItemIndex() == 1;
    if (Form4 != nullptr) {  // without the dialog, its defaults
      Settings.KeepFolders = Form4->CheckBoxKeepFolders;
      Settings.SkipConverted = Form4->CheckBoxSkipConverted;
      Settings.KeepSourceTags = Form4->CheckBoxKeepTags;
      Settings.PreferDefaultStreams = Form4->CheckBoxDefaultTracks;
      Settings.KeepFrameRate = Form4->CheckBoxKeepFrameRate;
    }
    return Settings;
  };
  FBatch.OnJobLog = [this](int Row, const std::string &Line) {
    if (OnJobLog) OnJobLog(Row, Line);
  };
  // Each row's start and end reach the journal at once: a kill may follow.
  FBatch.OnJobStarted = [this](int) { ListJournal.Write(); };
  FBatch.OnJobEnded = [this](int Row) {
    ListJournal.Write();
    if (OnJobEnded) OnJobEnded(Row);
  };
  FBatch.OnSetUpError = [this] { ShowInformation(Dialogs, "Fail to add file to list!"); };
  FBatch.OnBatchEnded = [this](const TJobStateCounts &Counts) {
    // Not held while the end message waits for someone who may have gone to bed.
    FAwake.reset();
    // Before the message, so that the desktop tells it while the message waits for the user.
    if (OnBatchEnded) OnBatchEnded(Counts);
    const std::string Folder = TrimmedText(EditOutputFolder);
    // Told once the batch's own notes have left the status bar.
    if (!Dialogs.ShowBatchEnd(CompletionMessage(Counts), Folder))
      FEndNote = "No file manager could be started to open the output folder " + Folder;
  };
  FBatch.OnProgressBar = [this](int Percent) { SetProgressBar(Percent); };
  FBatch.OnStatus = [this](int Panel, const std::string &Text) { SetStatusPanel(Panel, Text); };
  FBatch.OnLockControls = [this](bool Locked) {
    if (Locked) {
      DisableControls();
      FAwake = std::make_unique<TSleepInhibitor>("Converting files");
    } else {
      EnableControls();
      ShowListNote();
      SetStatusPanel(0, std::exchange(FEndNote, ""));
    }
  };
}

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
  ListJournal.Write();
  FBatch.Start(Form4 ? Form4->SimultaneousJobs() : 1);
}

void TForm1::ConvertNextJob() {
  FBatch.ConvertNextJob();
}

void TForm1::TimerConvertAgainTimer() {
  FBatch.Tick();
}

void TForm1::EngineProgress(const TProgressEvent &Event) {
  FBatch.EngineProgress(Event);
}

void TForm1::EngineTerminate(const TTerminateEvent &Event) {
  FBatch.EngineTerminate(Event);
}

void TForm1::ButtonStopConvertClick() {
  if (Converting) {
    // The question holds the batch, and its time, as a pause does.
    const bool WasPaused = FBatch.Paused();
    FBatch.Pause();
    FBatch.FAskingStop = true;
    const TStopChoice Choice = Dialogs.AskStop();
    FBatch.FAskingStop = false;
    if (Choice == TStopChoice::FinishRunning) FBatch.FinishRunning();
    if (Choice == TStopChoice::SkipFile) FBatch.SkipRunning();
    if (Choice != TStopChoice::StopNow) {
      // A batch the user had paused stays paused; its rows go on with Resume.
      if (!WasPaused) FBatch.Resume();
      ViewChanged(TViewPart::Controls);
      return;
    }
  }
  StopAllConversions();
}

void TForm1::ButtonPauseClick() {
  if (!Converting) return;
  if (FBatch.Paused())
    FBatch.Resume();
  else
    FBatch.Pause();
  ViewChanged(TViewPart::Controls);
}

void TForm1::StopAllConversions() {
  FBatch.Stop();
}

void TForm1::DisableControls() {
  FControlsEnabled = false;
  SetMainMenuEnabled(false);
}

void TForm1::EnableControls() {
  FAwake.reset();
  FControlsEnabled = true;
  SetMainMenuEnabled(true);
}

void TForm1::SetMainMenuEnabled(bool Enabled) {
  FMainMenuEnabled = Enabled;
  ViewChanged(TViewPart::Controls);
}

void TForm1::SetProgressBar(int Position) {
  ProgressBar1 = std::clamp(Position, 0, 100);
  ViewChanged(TViewPart::ProgressBar);
}

void TForm1::SetStatusPanel(int Panel, const std::string &Text) {
  StatusBar1[Panel] = Text;
  ViewChanged(TViewPart::StatusBar);
}
