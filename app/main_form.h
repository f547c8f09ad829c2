// TForm1, the main window's logic without a toolkit: the control models (the job list, the
// format and settings lists, the letterbox list, the volume bar, the progress bar, the status
// bar, the output folder, the job timer, the enabled states), the adding of files, start-up and
// the batch driver's handlers, a thin layer over the batch (batch.h) that converts the checked
// rows. A window shows these models (OnViewChange, the lists' own
// OnChange) and forwards the user's actions to the handlers below; it holds no logic of its own.
//
// Threads: everything runs on the main thread. The engine's events reach EngineProgress and
// EngineTerminate through TEngineEvents, queued onto the main thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/dialogs.h"
#include "app/engine_events.h"
#include "app/job_list.h"
#include "app/job_rules.h"
#include "app/job_slot.h"
#include "app/job_timer.h"
#include "app/list_journal.h"
#include "engine/component/convert_engine.h"
#include "profiles/format_settings.h"
#include "worker/background_worker.h"

class TForm4;
class TPresetList;
class TSleepInhibitor;
struct TProbedFile;

inline constexpr char OpenDialogFilter[] =
    "All Supported Files|*.mov;*.qt;*.mp4;*.m4a;*.m4v|QuickTime Files (*.mov, *.qt, "
    "*.m4v)|*.mov; *.qt; *.m4v|MPEG-4 Audio Files (*.m4a, *.mp4)|*.m4a; *.mp4|";
inline constexpr char BrowseForFolderHeadline[] = "Choose the required output directory below :";
// What "Visit Our Website" opens: the help file's part about the project, as a file address
// (the program has no site of its own to send anyone to).
std::string ProjectPageAddress(const std::string &HelpFile);

// The controls that a batch locks, by their names.
inline constexpr const char *LockedControlNames[] = {
    "ButtonAddFile",     "ButtonClear",        "ButtonRemove",      "ButtonConvert",
    "ComboOutputFormat", "ComboVideoSize",     "ComboVideoBitrate", "ComboVideoFramerate",
    "ComboAudioBitrate", "ComboAudioChannels", "ComboVideoCodec",   "ComboSamplingRate",
    "ComboAudioCodec",   "TrackBar1",          "ComboAspectRatio",  "ComboLetterBox",
    "PresetBar",
};

// What a view refreshes after OnViewChange.
enum class TViewPart { Controls, ProgressBar, StatusBar, Volume, OutputFolder };

class TForm1 : public TFormatSettings {
  // Declared before the engine: the engine's end delivers its last events into it.
  TEngineEvents FEvents;
  TConvertEngine FEngine;

 public:
  TForm1(TDialogs &Dialogs, TJobTimer &Timer);
  ~TForm1();

  // ===== Control models =====
  TJobList ListView1;
  TChoiceList ComboLetterBox;          // "None", "LetterBox"
  int TrackBar1 = HundredPercentStep;  // 0..10; move it with SetTrackBar1
  std::string LabelVolume;             // "100%"
  std::string EditOutputFolder;        // read-only for the user
  int ProgressBar1 = 0;                // 0..100
  std::array<std::string, 3> StatusBar1;
  std::string Caption;
  std::string HelpFile;  // help.html beside the program
  TJobTimer &TimerConvertAgain;
  // Adds the chosen files in its OnStart, on the main thread; no updates.
  TBackgroundWorker Worker1;
  TDialogs &Dialogs;
  TForm4 *Form4 = nullptr;  // set by whoever creates both
  // The preset list beside the format list; set by whoever creates both (none: no presets).
  TPresetList *Presets = nullptr;
  TConvertEngine &Engine() { return FEngine; }
  // The list as the user works on it, for the next start after a crash or a kill; its File is
  // set by the program's start-up (none: nothing is journaled).
  TListJournal ListJournal;

 private:
  TBatch FBatch;  // after the list, the timer and the engine it uses

 public:
  // ===== State =====
  std::atomic<bool> &Converting = FBatch.Converting;
  std::atomic<bool> &Aborted = FBatch.Aborted;
  bool FAddingFiles = false;
  // Set by Exit: the adding under way appends no further row.
  bool FStopAdding = false;
  int AudioVolumeSetting = AudioVolumeHundredPercent;
  // A file already listed is not added again; the command line, converting exactly the files
  // it was given, turns this off.
  bool SkipListedFiles = true;
  // A stopped row leaves no partial file; the command line's choice for callers that will
  // convert the file again.
  bool RemoveStoppedOutputs = false;
  TOutputOptions &JobOutputOptions = FBatch.JobOutputOptions;
  int &FCurrentJob = FBatch.FCurrentJob;  // the last row a job was started for
  bool &FLastJob = FBatch.FLastJob;
  bool &FBatchDone = FBatch.FBatchDone;
  TBatch &Batch() { return FBatch; }

  bool ControlsEnabled() const { return FControlsEnabled; }
  bool MainMenuEnabled() const { return FMainMenuEnabled; }
  bool PopupMenuEnabled() const { return FControlsEnabled; }
  // No batch runs and no started job still owes its end.
  bool Idle() const { return FBatch.Idle(); }
  // A batch is under way (also between two of its jobs) or files are being added: adding,
  // dropping, converting and closing are refused.
  bool Busy() const { return Converting || TimerConvertAgain.Enabled() || FAddingFiles; }

  // ===== Notifications to the view (main thread) =====
  std::function<void(TViewPart Part)> OnViewChange;
  // A row received its final state ("Done", "Fail" or "Abort").
  std::function<void(int Row)> OnJobEnded;
  // A line of a row's job log: which streams are copied as they are and why others are not.
  std::function<void(int Row, const std::string &Line)> OnJobLog;
  // A batch ended, just before its end message; with the rows it ended by their state.
  std::function<void(const TJobStateCounts &Counts)> OnBatchEnded;
  std::function<void()> OnShowAdditionalOptions;  // non-modal, on top, centred on this window
  std::function<void()> OnShowAbout;              // modal
  std::function<void()> OnTerminateApplication;   // at once, without closing this window

  // ===== Start-up and closing =====
  // False when the media libraries did not load; the user was told and the program ends.
  bool FormCreate();
  void FormShow();
  // False (and nothing else) while busy; else detaches the engine's events and stops it.
  bool FormCloseQuery();
  void FormClose();

  // ===== Job list (adding: file_adding.cpp) =====
  void ButtonAddFileClick();
  void AddFiles1Click() { ButtonAddFileClick(); }
  // Files dropped onto the list take the same road as chosen ones.
  void FilesDropped(const std::vector<std::string> &Files);
  void Worker1Start();
  void AddFilesToList();
  void AddFilesToList(const std::vector<std::string> &Files);
  // Removes every selected row.
  void DeleteSelectedItem1Click();
  void SelectAll1Click();
  void ClearAllItems1Click();
  void CheckAllItems1Click() { ListView1.CheckAll(true); }
  void UncheckAllItems1Click() { ListView1.CheckAll(false); }

  // ===== Batch driver =====
  void ButtonConvertClick();
  void Convert1Click() { ButtonConvertClick(); }
  void ConvertNextJob();
  void TimerConvertAgainTimer();
  void EngineProgress(const TProgressEvent &Event);
  void EngineTerminate(const TTerminateEvent &Event);
  void ButtonStopConvertClick();
  void ButtonStopSmallClick() { ButtonStopConvertClick(); }
  // "Pause" / "Resume": holds every running row without a question, or lets them go on.
  void ButtonPauseClick();
  bool Paused() const { return FBatch.Paused(); }
  // What a confirmed stop does: every running row ends "Abort", no further row starts.
  void StopAllConversions();
  // How many rows this batch converts at once (Additional Options, when it started).
  int SimultaneousJobs() const { return FBatch.SimultaneousJobs(); }
  // Started files of this batch, counted as "File k of n" counts them.
  int BatchFile() const { return FBatch.BatchFile(); }
  // The batch's percentage over its rows: ended rows count whole, running rows by their
  // progress, checked rows not yet reached as nothing.
  int BatchPercent() const { return FBatch.BatchPercent(); }
  // The rows this batch ended, by their state ("Done", "Fail", "Abort").
  TJobStateCounts JobStateCounts() const { return FBatch.JobStateCounts(); }
  void DisableControls();
  void EnableControls();
  void SetMainMenuEnabled(bool Enabled);

  // ===== Settings and menu commands =====
  void SetTrackBar1(int Position);
  void TrackBar1Change();
  void ButtonBrowseForFolderClick();
  void SetGeneralOptions1Click();
  void OpenHelpFile1Click();
  void About1Click();
  void Exit1Click();
  void VisitOurWebsite1Click();

 private:
  void AddFilesClick(const std::vector<std::string> *Files);
  // The row of a probed file: its cells, or "Error" when it could not be read.
  TJobRow JobRow(const std::string &FileName, const TProbedFile &Probed) const;
  // The batch's events: its cells, bar, status bar and end reach the view from here.
  void AttachBatch();
  // ===== The list journal (list_restore.cpp) =====
  TBatchJournal JournalSnapshot() const;
  // A list the program did not end with is offered back.
  void OfferRestore();
  void RestoreList(const TBatchJournal &Journal);
  void SetProgressBar(int Position);
  void SetStatusPanel(int Panel, const std::string &Text);
  // While no batch runs, the middle panel counts the listed files and their duration.
  void ShowListNote();
  // Empties "Progress" and "Frames"; KeepErrors leaves the "Error" of unreadable files.
  void ClearProgressCells(bool KeepErrors = false);
  void ViewChanged(TViewPart Part);
  bool FControlsEnabled = true;
  bool FMainMenuEnabled = true;
  // What the batch's end has to tell once the controls are back (a folder that did not open).
  std::string FEndNote;
  // Keeps the machine awake from the batch's start to its end (sleep_inhibitor.h).
  std::unique_ptr<TSleepInhibitor> FAwake;
};
