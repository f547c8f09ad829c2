// TForm1: start-up, closing, the job list, the volume bar, the output folder and the menu
// commands. Adding files is in file_adding.cpp, the batch driver in batch_driver.cpp.

#include "app/main_form.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "app/additional_options.h"
#include "app/job_cells.h"
#include "app/job_rules.h"
#include "app/library_folder.h"
#include "app/list_summary.h"
#include "app/sleep_inhibitor.h"
#include "text/format_text.h"

TForm1::TForm1(TDialogs &Dialogs, TJobTimer &Timer)
    : TimerConvertAgain(Timer),
      Dialogs(Dialogs),
      FBatch(ListView1, *this, Timer, FEvents, FEngine) {
  OnWriteOutputCells = [this](const std::string &OutputType) {
    ListView1.SetCellOfAll(jcOutput, OutputType);
  };
  OnReadDropDownItems = [this] {
    if (Form4 == nullptr) throw ESettingsError("No additional options");
    return Form4->SpinEdit1;
  };
  TimerConvertAgain.OnTimer = [this] { TimerConvertAgainTimer(); };
  Worker1.SetUpdateEnabled(false);
  Worker1.OnStart = [this](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&) {
    Worker1Start();
  };
  AttachBatch();
  ListView1.OnEdited = [this] {
    ListJournal.Touch();
    if (FControlsEnabled) ShowListNote();
  };
  ListJournal.OnSnapshot = [this] { return JournalSnapshot(); };
  ListJournal.OnError = [this](const std::string &Error) {
    SetStatusPanel(0, "The list could not be saved for a restart: " + Error);
  };
}

TForm1::~TForm1() {
  TimerConvertAgain.OnTimer = nullptr;
  FEvents.Detach();
}

bool TForm1::FormCreate() {
  if (!FEngine.LoadAVLib(ApplicationLibraryFolder(), true)) {
    ShowInformation(Dialogs, "Some files are missing. Please re-install this software");
    return false;
  }
  Caption = "Tarnwick";
  HelpFile = ApplicationHelpFile();
  SetTrackBar1(HundredPercentStep);
  FillOutputFormatList();
  ComboOutputFormat.SetDropDownCount(DefaultDropDownItems);
  ComboAspectRatio.SetItemIndex(0);
  ComboLetterBox.Assign(std::vector<std::string>{"None", "LetterBox"}, 0);
  TimerConvertAgain.SetEnabled(false);
  return true;
}

void TForm1::FormShow() {
  ComboOutputFormatChange();
  OfferRestore();
}

bool TForm1::FormCloseQuery() {
  if (Busy()) return false;
  FBatch.Close();
  return true;
}

void TForm1::FormClose() {
  // Closed normally: there is nothing to restore at the next start.
  ListJournal.Remove();
  // SaveSettings swallows its own errors: closing goes on without the settings.
  if (Form4) Form4->SaveSettings();
}

// ===== Job list =====

void TForm1::DeleteSelectedItem1Click() {
  if (FAddingFiles) return;
  ListView1.DeleteSelected();
}

void TForm1::SelectAll1Click() {
  ListView1.SelectAll();
}

void TForm1::ClearAllItems1Click() {
  if (Busy()) return;
  FEngine.ClearTasks();
  ListView1.Clear();
  // Nothing said about the files before is true of an empty list.
  SetStatusPanel(0, "");
  SetStatusPanel(2, "");
}

void TForm1::ShowListNote() {
  SetStatusPanel(1, ListedFilesNote(ListView1));
}

void TForm1::ClearProgressCells(bool KeepErrors) {
  ListView1.SetCellOfAll(jcFrames, "");
  for (int Row = 0; Row < ListView1.Count(); ++Row) {
    // Adding files does not make an unreadable one readable: its mark is not a batch's result.
    if (!KeepErrors || ListView1.Cell(Row, jcProgress) != "Error")
      ListView1.SetCell(Row, jcProgress, "");
    ListView1.SetFailReason(Row, "");
    ListView1.SetOutputFile(Row, "");
  }
}

// ===== Settings and menu commands =====

void TForm1::SetTrackBar1(int Position) {
  TrackBar1 = std::clamp(Position, 0, VolumeStepCount - 1);
  TrackBar1Change();
}

void TForm1::TrackBar1Change() {
  LabelVolume = VolumeSteps[TrackBar1].Label;
  AudioVolumeSetting = VolumeSteps[TrackBar1].Volume;
  ViewChanged(TViewPart::Volume);
}

void TForm1::ButtonBrowseForFolderClick() {
  if (Converting) return;
  std::string Folder = EditOutputFolder;
  if (!Dialogs.BrowseForFolder(BrowseForFolderHeadline, Folder)) return;
  EditOutputFolder = Folder;
  ViewChanged(TViewPart::OutputFolder);
}

void TForm1::SetGeneralOptions1Click() {
  if (OnShowAdditionalOptions) OnShowAdditionalOptions();
}

void TForm1::OpenHelpFile1Click() {
  if (!Dialogs.ShowHelp(HelpFile))
    SetStatusPanel(0, "No browser could be started to show the help file " + HelpFile);
}

void TForm1::About1Click() {
  if (OnShowAbout) OnShowAbout();
}

void TForm1::Exit1Click() {
  // Files still being probed would only hold the end up.
  FStopAdding = true;
  if (!Busy()) ListJournal.Remove();
  if (OnTerminateApplication) OnTerminateApplication();
}

std::string ProjectPageAddress(const std::string &HelpFile) {
  std::string Address = "file://";
  for (const char C : std::filesystem::absolute(HelpFile).string()) {
    const unsigned char Byte = static_cast<unsigned char>(C);
    if (std::isalnum(Byte) || std::strchr("/-._~", C) != nullptr)
      Address += C;
    else
      Address += FormatText("%%%02X", Byte);
  }
  return Address + "#project";
}

void TForm1::VisitOurWebsite1Click() {
  const std::string Address = ProjectPageAddress(HelpFile);
  if (!Dialogs.OpenWebSite(Address))
    SetStatusPanel(0, "No browser could be started to open " + Address);
}

void TForm1::ViewChanged(TViewPart Part) {
  if (OnViewChange) OnViewChange(Part);
}
