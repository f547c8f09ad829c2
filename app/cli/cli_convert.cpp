// tarnwick-cli convert: the window's batch (batch.h) without a window. The files become checked
// rows of a job list, the entry and the picks fill the settings lists, and the batch converts
// the rows exactly as "Convert Now !" does, one after another or --jobs at once. Messages
// go to standard error, the last line there counting the rows by their end; questions are answered
// No. Every file gets exactly one row line, also after a stop, and a closed standard output
// ends no conversion: it only changes the exit status.

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/additional_options.h"
#include "app/batch.h"
#include "app/batch_journal.h"
#include "app/cli/cli_entry.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/terminal_line.h"
#include "app/converted_output.h"
#include "app/file_probes.h"
#include "app/folder_files.h"
#include "app/job_rules.h"
#include "app/library_folder.h"
#include "app/main_form.h"
#include "app/message_text.h"
#include "app/presets.h"
#include "app/sleep_inhibitor.h"
#include "cli_commands.h"
#include "profiles/catalogue.h"
#include "profiles/format_settings.h"
#include "text/format_text.h"
#include "text/text_utils.h"

namespace {

class TConsoleDialogs : public TDialogs {
 public:
  // Set while a progress line waits for its line end.
  std::function<void()> OnBeforeMessage;

  // The last message printed.
  std::string LastText;

  TModalResult MessageBox(const std::string &Text, const std::string &, TMsgIcon,
                          TMsgButtons Buttons) override {
    if (OnBeforeMessage) OnBeforeMessage();
    LastText = ShownMessageText(Text);
    std::fprintf(stderr, "%s\n", LastText.c_str());
    return Buttons == TMsgButtons::YesNo ? TModalResult::No : TModalResult::Ok;
  }
  std::vector<std::string> OpenFiles(const std::string &, bool) override { return {}; }
  bool BrowseForFolder(const std::string &, std::string &) override { return false; }
  bool ShowHelp(const std::string &) override { return false; }
  bool OpenWebSite(const std::string &) override { return false; }
};

struct TConvertArguments {
  std::string Entry;
  std::optional<std::string> Preset;  // --preset: gives the entry, the picks, volume and options
  std::vector<std::string> Files;
  std::optional<std::string> Output;
  std::vector<std::pair<std::string, std::string>> Picks;
  bool Overwrite = false;
  std::optional<int> Volume;  // the volume bar's position; else the preset's or 100%
  bool Copy = true;
  std::vector<const TSourceSwitch *> SwitchedOff;  // --no-tags and its kind
  bool Verbose = false;
  bool RemoveStopped = false;  // --on-stop remove
  bool Resume = false;         // --resume: a journal in the output folder
  int Jobs = 0;                // rows converting at once; 0: automatic, as the window's default
  bool KeepFolders = false;    // --keep-folders
  bool SkipConverted = false;  // --skip-converted
  std::string OutputName;      // --output-name: the one file's output, exactly
};

// The state of a row the stop kept from starting, and its third cell.
const char *const SkippedState = "Skipped";
const char *const SkippedNote = "not started: the batch was stopped";

int UsageError(const std::string &Message) {
  std::fprintf(stderr, "tarnwick-cli convert: %s\n", Message.c_str());
  return 1;
}

// Empty when the words are fine, else what is wrong with them.
std::string ParseArguments(const TCliArguments &Words, TConvertArguments &Arguments) {
  bool Options = true;  // until "--": after it every word is a file, "-v" too
  for (size_t Index = 0; Index < Words.size(); ++Index) {
    const std::string &Word = Words[Index];
    const bool HasValue = Index + 1 < Words.size();
    if (!Options) {
      (Arguments.Entry.empty() ? Arguments.Entry : Arguments.Files.emplace_back()) = Word;
    } else if (Word == "--") {
      Options = false;
    } else if (Word == "--resume") {
      Arguments.Resume = true;
    } else if (Word == "--overwrite") {
      Arguments.Overwrite = true;
    } else if (Word == "--no-copy") {
      Arguments.Copy = false;
    } else if (const TSourceSwitch *Switch = SourceSwitchOff(Word)) {
      Arguments.SwitchedOff.push_back(Switch);
    } else if (Word == "-v" || Word == "--verbose") {
      Arguments.Verbose = true;
    } else if (Word == "--keep-folders" || Word == "--skip-converted") {
      (Word == "--keep-folders" ? Arguments.KeepFolders : Arguments.SkipConverted) = true;
    } else if (Word == "--output" || Word == "--pick" || Word == "--volume" || Word == "--jobs" ||
               Word == "--on-stop" || Word == "--preset" || Word == "--output-name") {
      if (!HasValue) return Word + " needs a value";
      const std::string &Value = Words[++Index];
      if (Word == "--on-stop") {
        if (Value != "keep" && Value != "remove")
          return "--on-stop takes keep (the part converted stays) or remove (nothing stays)";
        Arguments.RemoveStopped = Value == "remove";
      } else if (Word == "--output") {
        Arguments.Output = Value;
      } else if (Word == "--preset") {
        Arguments.Preset = Value;
      } else if (Word == "--output-name") {
        if (Value.empty() || Value.ends_with('/'))
          return "--output-name takes the output's file name";
        Arguments.OutputName = Value;
      } else if (Word == "--volume") {
        Arguments.Volume = VolumePosition(Value);
        if (Arguments.Volume < 0) return VolumeWordProblem;
      } else if (Word == "--jobs") {
        const int Cores = TForm4::SpinEditJobsMax();
        if (Value.empty() || Value.size() > 4 ||
            Value.find_first_not_of("0123456789") != std::string::npos || std::stoi(Value) > Cores)
          return FormatText("--jobs takes 0 to %d conversions at once (0: one per processor core)",
                            Cores);
        Arguments.Jobs = std::stoi(Value);
      } else {
        const size_t Equals = Value.find('=');
        if (Equals == std::string::npos)
          return "expected LIST=TEXT after --pick, got '" + Value + "'";
        Arguments.Picks.emplace_back(Value.substr(0, Equals), Value.substr(Equals + 1));
      }
    } else if (Word.starts_with("--")) {
      return "unknown option '" + Word + "'";
    } else if (Arguments.Entry.empty()) {
      Arguments.Entry = Word;
    } else {
      Arguments.Files.push_back(Word);
    }
  }
  // A preset gives the entry: every word is a file.
  if (Arguments.Preset && !Arguments.Entry.empty())
    Arguments.Files.insert(Arguments.Files.begin(), std::exchange(Arguments.Entry, {}));
  if (Arguments.Entry.empty() && !Arguments.Preset)
    return "no format list entry given (see tarnwick-cli --help)";
  if (Arguments.Files.empty()) return "no files given (see tarnwick-cli --help)";
  if (!Arguments.OutputName.empty() &&
      (Arguments.Files.size() > 1 || Arguments.Output || Arguments.KeepFolders))
    return "--output-name names the output of one file; it goes without --output and "
           "--keep-folders";
  return {};
}

// The terminal's progress line on standard error, so that results sent to a file keep it:
// the row's file, i of n, the row's percentage and the batch's time left; with several rows at
// once the last started file, how many have started and the batch's percentage. It is wiped before
// anything else is printed and when the batch ends, so it never stays behind.
class TProgressLine {
 public:
  TProgressLine(const TBatch &Batch, const TJobList &Rows)
      : FBatch(Batch), FRows(Rows), FRowCount(Rows.Count()) {}

  void RowEnded() {
    ++FRowsEnded;
    End();
  }

  void Show() {
    if (!FTerminal || !FBatch.Converting) return;
    const int Row = FBatch.FCurrentJob;
    if (Row < 0 || Row >= FRows.Count()) return;
    const bool Batch = FBatch.SimultaneousJobs() > 1;
    const int Percent = FBatch.ProgressBar();
    const double Done = Batch ? Percent / 100.0 : (FRowsEnded + Percent / 100.0) / FRowCount;
    const double Elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - FStarted).count();
    const std::string File = std::filesystem::path(FRows.Row(Row).Caption).filename().string();
    const std::string Before = FormatText(
        "%d of %d %3d%% ", Batch ? FBatch.BatchFile() : FRowsEnded + 1, FRowCount, Percent);
    std::string After;
    if (Done > 0.0 && Done < 1.0)
      After = ", " + ClockText(static_cast<int64_t>(Elapsed * (1.0 - Done) / Done)) + " left";
    // A line wider than the terminal would wrap, and "\r" could not take it back; the terminal
    // may have been resized since the last line.
    const std::size_t Columns = TerminalColumns(STDERR_FILENO);
    const std::string Line = TerminalLine(Before, File, After, Columns, MaxNameWidth);
    const std::size_t Width = DisplayWidth(Line);
    // Blanks clear what a longer line before left behind.
    const std::size_t Covered = std::min(FWidth, Columns - 1);
    Write("\r" + Line + std::string(Covered > Width ? Covered - Width : 0, ' '));
    FWidth = Width;
  }

  // Ends a progress line, so that what is printed next starts on a line of its own.
  void End() {
    if (FWidth == 0) return;
    Write("\r" + std::string(std::min(FWidth, TerminalColumns(STDERR_FILENO) - 1), ' ') + "\r");
    FWidth = 0;
  }

 private:
  static constexpr std::size_t MaxNameWidth = 40;

  static void Write(const std::string &Text) {
    std::fputs(Text.c_str(), stderr);
    std::fflush(stderr);
  }

  const TBatch &FBatch;
  const TJobList &FRows;
  const int FRowCount;
  const bool FTerminal = isatty(STDERR_FILENO) == 1;
  const std::chrono::steady_clock::time_point FStarted = std::chrono::steady_clock::now();
  int FRowsEnded = 0;
  std::size_t FWidth = 0;  // of the line on screen; 0 when none is
};

// The row lines on standard output, in the list's order however the rows end. A write that
// fails (a reader gone) is remembered, and the batch goes on.
class TRowLines {
 public:
  explicit TRowLines(TJobList &Rows) : FRows(Rows), FEnded(Rows.Count()) {}

  void Ended(int Row) {
    FEnded.at(Row) = true;
    Tell();
  }

  // After a stop: the rows it kept from starting become "Skipped", and every row not told yet
  // is.
  void TellTheRest() {
    for (int Row = 0; Row < FRows.Count(); ++Row) {
      if (FEnded[Row]) continue;
      FRows.SetCell(Row, jcProgress, SkippedState);
      FEnded[Row] = true;
    }
    Tell();
  }

  // The errno of the first failed write; 0 when every line went out.
  int LostError() const { return FLostError; }

 private:
  void Tell() {
    for (; FTold < FEnded.size() && FEnded[FTold]; ++FTold) {
      const TJobRow &Job = FRows.Row(static_cast<int>(FTold));
      const std::string &State = Job.SubItems[jcProgress];
      const std::string Last =
          State == SkippedState ? SkippedNote
          : State != "Fail"     ? Job.OutputFile
                                : (Job.FailReason.empty() ? "Conversion failed" : Job.FailReason);
      if (std::printf("%s\t%s\t%s\n", EscapedCell(Job.Caption).c_str(), State.c_str(),
                      EscapedCell(Last).c_str()) < 0)
        Lost();
    }
    if (std::fflush(stdout) != 0) Lost();
  }

  void Lost() {
    if (FLostError == 0) FLostError = errno != 0 ? errno : EIO;
  }

  TJobList &FRows;
  std::vector<bool> FEnded;
  size_t FTold = 0;
  int FLostError = 0;
};

// The entry of ENTRY selected and applied; false after printing what is wrong.
bool SelectEntry(TFormatSettings &Formats, const std::string &Word) {
  const TEntryMatch Entry = MatchFormatEntry(Formats.ComboOutputFormat, Word);
  if (Entry.Position < 0 || IsSeparator(Formats.ComboOutputFormat.Items()[Entry.Position])) {
    UsageError(Entry.Position < 0 ? Entry.Problem
                                  : "'" + Word +
                                        "' is a separator line of the format list, not an "
                                        "entry (see tarnwick-cli formats)");
    return false;
  }
  Formats.ComboOutputFormat.SetItemIndex(Entry.Position);
  Formats.ComboOutputFormatChange();
  return true;
}

// The --pick words over the entry's lists; false after printing what is wrong.
bool SelectPicks(TFormatSettings &Formats, const TConvertArguments &Arguments) {
  for (const auto &[Name, Text] : Arguments.Picks) {
    TChoiceList *List = FindSettingsList(Formats, Name);
    if (List == nullptr || !List->SelectText(Text)) {
      UsageError(List ? Name + " holds no item '" + Text + "' (items: " + ItemsText(*List) + ")"
                      : "no settings list named '" + Name + "' (lists: " + SettingsListsText() +
                            ")");
      return false;
    }
  }
  return true;
}

// The entry (ENTRY's or the preset's) and the picks in the settings lists; false after printing
// what is wrong.
bool SetUpFormats(TFormatSettings &Formats, const TConvertArguments &Arguments,
                  const TPreset *Preset) {
  Formats.FillOutputFormatList();
  Formats.ComboAspectRatio.SetItemIndex(0);
  if (Preset != nullptr) {
    const std::vector<std::string> Missed = ApplyPresetLists(Formats, *Preset);
    // Without its entry a preset converts into nothing it meant.
    if (Formats.ComboOutputFormat.Text() != Preset->Entry) {
      UsageError("the preset \"" + Preset->Name + "\" cannot be used: " + Missed.front());
      return false;
    }
    for (const std::string &Line : Missed)
      std::fprintf(stderr, "tarnwick-cli convert: the preset \"%s\" is applied without this: %s\n",
                   Preset->Name.c_str(), Line.c_str());
  } else if (!SelectEntry(Formats, Arguments.Entry)) {
    return false;
  }
  return SelectPicks(Formats, Arguments);
}

// Probes the files in their order into rows, as adding them to the window's list does; a file
// listed twice gets two rows. Stops early, leaving the rest out, when Stopped says so.
void AddRows(TJobList &Rows, const std::vector<TListedFile> &Files, const std::string &OutputType,
             const std::function<bool()> &Stopped) {
  std::vector<std::string> Names;
  for (const TListedFile &File : Files) Names.push_back(File.File);
  TFileProbes Probes(Names);
  Probes.Start();
  size_t Added = 0;
  while (Added < Files.size() && !Stopped()) {
    Probes.WaitForNext();
    for (TProbedFile &Probed : Probes.TakeReady()) {
      if (Probed.Outcome == TProbeOutcome::Raised) return;
      TJobRow Row = ProbedJobRow(Files[Added].File, Probed, OutputType);
      Row.SubFolder = Files[Added++].SubFolder;
      Rows.Add(std::move(Row));
    }
  }
}

// Whether the kept-source switch Box stays on: only its word or the preset turns it off.
bool SourceSwitchOn(const TConvertArguments &Arguments, const TPreset *Preset, bool TForm4::*Box) {
  if (Preset != nullptr && !PresetOption(*Preset, Box)) return false;
  return std::none_of(Arguments.SwitchedOff.begin(), Arguments.SwitchedOff.end(),
                      [Box](const TSourceSwitch *Switch) { return Switch->Box == Box; });
}

// Where --resume keeps its journal: TARNWICK_JOURNAL when set, else in the output folder.
std::string JournalPath(const std::string &OutputFolder) {
  const char *Override = std::getenv("TARNWICK_JOURNAL");
  if (Override != nullptr && *Override != '\0') return Override;
  return (std::filesystem::path(TrimmedText(OutputFolder)) / ".tarnwick-batch.json").string();
}

// --resume: the journal of the same files and output folder marks the rows an earlier run
// converted "Done" and leaves them out of this batch; the journal of another batch is replaced.
class TResumeJournal {
 public:
  TResumeJournal(const TConvertArguments &Arguments, const TFormatSettings &Formats,
                 const TJobSettings &Settings, int Volume, TJobList &Rows)
      : FPath(JournalPath(Settings.OutputFolder)), FRows(Rows) {
    FJournal.Entry = Formats.ComboOutputFormat.Text();
    FJournal.Picks = Arguments.Picks;
    FJournal.OutputFolder = Settings.OutputFolder;
    FJournal.Overwrite = Settings.Overwrite;
    FJournal.CopyStreams = Settings.CopyStreams;
    FJournal.Volume = Volume;
  }

  // The rows already converted, now "Done" and unticked.
  std::vector<int> PickUp() {
    const TJournalRead Earlier = ReadBatchJournal(FPath);
    if (Earlier.Outcome == TJournalOutcome::SetAside)
      std::fprintf(stderr, "tarnwick-cli convert: %s\n", Earlier.Message.c_str());
    std::vector<int> Converted;
    if (Earlier.Outcome != TJournalOutcome::Read) return Converted;
    if (!SameBatch(Earlier.Journal)) {
      std::fprintf(stderr,
                   "tarnwick-cli convert: the journal %s is of another batch; this one starts "
                   "anew\n",
                   FPath.c_str());
      return Converted;
    }
    for (int Row = 0; Row < FRows.Count(); ++Row) {
      const TJournalRow &Was = Earlier.Journal.Rows[Row];
      if (!JournalRowConverted(Was, Earlier.Journal.Overwrite)) continue;
      FRows.SetCell(Row, jcProgress, "Done");
      FRows.SetOutputFile(Row, Was.Output);
      FRows.SetChecked(Row, false);
      Converted.push_back(Row);
    }
    return Converted;
  }

  void Write() {
    FJournal.Rows = JournalRows(FRows);
    // A resumed row stays ticked in the journal: it belongs to the batch.
    for (TJournalRow &Row : FJournal.Rows) Row.Checked = true;
    std::string Error;
    if (!WriteBatchJournal(FPath, FJournal, Error) && !FWarned) {
      FWarned = true;
      std::fprintf(stderr, "tarnwick-cli convert: the journal could not be written: %s\n",
                   Error.c_str());
    }
  }

 private:
  bool SameBatch(const TBatchJournal &Earlier) const {
    if (Earlier.Rows.size() != static_cast<size_t>(FRows.Count())) return false;
    if (TrimmedText(Earlier.OutputFolder) != TrimmedText(FJournal.OutputFolder)) return false;
    for (int Row = 0; Row < FRows.Count(); ++Row)
      if (Earlier.Rows[Row].File != FRows.Row(Row).Caption) return false;
    return true;
  }

  const std::string FPath;
  TJobList &FRows;
  TBatchJournal FJournal;
  bool FWarned = false;
};

// The output folder's problem as "Convert Now !" tells it; empty when there is none.
std::string OutputFolderProblem(const std::string &Folder) {
  if (Folder.empty()) return "Please select an output folder!";
  std::error_code Ignored;
  if (!std::filesystem::is_directory(TrimmedText(Folder), Ignored))
    return "The output folder \"" + Folder +
           "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.";
  return {};
}

// --output names the folder to convert into: one that does not exist yet is made (with the
// folders above it). The reason when it cannot be; empty when it exists or was made.
std::string CreatedOutputFolder(const std::string &Folder) {
  const std::string Path = TrimmedText(Folder);
  std::error_code Error;
  if (Path.empty() || std::filesystem::exists(Path, Error)) return {};
  if (std::filesystem::create_directories(Path, Error) || !Error) return {};
  return "The output folder \"" + Folder + "\" could not be created: " + Error.message();
}

int Convert(const TConvertArguments &Arguments) {
  TConsoleDialogs Dialogs;
  // The events detach from the engine when they end, so the engine outlives them.
  TConvertEngine Engine;
  TEngineEvents Events;
  if (!Engine.LoadAVLib(ApplicationLibraryFolder(), true)) {
    ShowInformation(Dialogs, "Some files are missing. Please re-install this software");
    std::fprintf(stderr, "%s\n", Engine.LastErrorMsg.c_str());
    return ExitLibraryLoadFailed;
  }
  std::optional<TPreset> Preset;
  if (Arguments.Preset) {
    const std::string Problem = FindCliPreset(*Arguments.Preset, Preset.emplace());
    if (!Problem.empty()) return UsageError(Problem);
  }
  const TPreset *Chosen = Preset ? &*Preset : nullptr;
  TFormatSettings Formats;
  if (!SetUpFormats(Formats, Arguments, Chosen)) return 1;
  const int Volume = Arguments.Volume.value_or(Preset ? Preset->Volume : HundredPercentStep);
  TJobSettings Settings;
  std::error_code Ignored;
  Settings.OutputFolder =
      Arguments.Output ? *Arguments.Output : std::filesystem::current_path(Ignored).string();
  Settings.Overwrite = Arguments.Overwrite;
  Settings.CopyStreams =
      Arguments.Copy && (!Preset || PresetOption(*Preset, &TForm4::CheckBoxCopyStreams));
  Settings.RemoveStoppedOutputs = Arguments.RemoveStopped;
  Settings.AudioVolume = VolumeSteps[Volume].Volume;
  Settings.KeepFolders = Arguments.KeepFolders;
  Settings.SkipConverted = Arguments.SkipConverted;
  if (!Arguments.OutputName.empty()) {
    const std::filesystem::path Name(Arguments.OutputName);
    Settings.OutputName = std::filesystem::absolute(Name, Ignored).string();
    Settings.OutputFolder = std::filesystem::path(Settings.OutputName).parent_path().string();
  }
  Settings.KeepSourceTags = SourceSwitchOn(Arguments, Chosen, &TForm4::CheckBoxKeepTags);
  Settings.PreferDefaultStreams = SourceSwitchOn(Arguments, Chosen, &TForm4::CheckBoxDefaultTracks);
  Settings.KeepFrameRate = SourceSwitchOn(Arguments, Chosen, &TForm4::CheckBoxKeepFrameRate);

  TJobList Rows;
  TQtJobTimer Timer(100);
  TBatch Batch(Rows, Formats, Timer, Events, Engine);
  Timer.OnTimer = [&Batch] { Batch.Tick(); };
  Batch.OnReadSettings = [&Settings] { return Settings; };
  Batch.OnSetUpError = [&Dialogs] { ShowInformation(Dialogs, "Fail to add file to list!"); };
  // The machine stays awake while the batch converts, not while its end is told.
  std::unique_ptr<TSleepInhibitor> Awake;
  Batch.OnLockControls = [&Awake](bool Locked) {
    if (Locked)
      Awake = std::make_unique<TSleepInhibitor>("Converting files");
    else
      Awake.reset();
  };
  Batch.OnBatchEnded = [&Dialogs, &Awake](const TJobStateCounts &Counts) {
    Awake.reset();
    ShowInformation(Dialogs, CompletionMessage(Counts));
  };

  // A signal stops the batch as Ctrl-C does, from the probing of the files on: the running row
  // ends "Abort" with its file finished, and no further row starts.
  int Signal = 0;
  TInterruptPipe Interrupts;
  if (!Interrupts.Ready()) return 1;
  QSocketNotifier Notifier(Interrupts.ReadEnd(), QSocketNotifier::Read);
  QObject::connect(&Notifier, &QSocketNotifier::activated, [&] {
    char Byte = 0;
    if (read(Interrupts.ReadEnd(), &Byte, 1) == 1 && Signal == 0) Signal = Byte;
    Batch.Stop();
  });

  // A folder brings its media files.
  const std::vector<TListedFile> Files = ListedFiles(Arguments.Files);
  if (Files.empty()) return UsageError("no media files in the folders given");
  if (!Settings.OutputName.empty() && Files.size() != 1)
    return UsageError("--output-name names the output of one file, and the folder gave " +
                      std::to_string(Files.size()));
  AddRows(Rows, Files, Formats.FOutputType, [&] {
    if (Signal == 0) Signal = Interrupts.PendingSignal();
    return Signal != 0;
  });

  TProgressLine Progress(Batch, Rows);
  Dialogs.OnBeforeMessage = [&Progress] { Progress.End(); };
  Batch.OnProgressBar = [&Progress](int) { Progress.Show(); };
  if (Arguments.Verbose)
    Batch.OnJobLog = [&Rows, &Progress](int Row, const std::string &Line) {
      Progress.End();
      std::fprintf(stderr, "%s: %s\n", Rows.Row(Row).Caption.c_str(), Line.c_str());
    };
  // Rows converting at once end in any order; they are told in the list's.
  TRowLines Lines(Rows);
  std::optional<TResumeJournal> Journal;
  if (Arguments.Resume) Journal.emplace(Arguments, Formats, Settings, Volume, Rows);
  Batch.OnJobEnded = [&Progress, &Lines](int Row) {
    Progress.RowEnded();
    Lines.Ended(Row);
  };

  if (Signal == 0) Signal = Interrupts.PendingSignal();
  if (Signal == 0) {
    // As "Convert Now !": the rows start without a mark, an unreadable file's too.
    Rows.SetCellOfAll(jcProgress, "");
    std::string Problem = Arguments.Output ? CreatedOutputFolder(*Arguments.Output) : "";
    if (Problem.empty()) Problem = OutputFolderProblem(Settings.OutputFolder);
    if (!Problem.empty()) {
      ShowInformation(Dialogs, Problem);
    } else {
      if (Journal) {
        for (int Row : Journal->PickUp()) {
          Progress.RowEnded();
          Lines.Ended(Row);
        }
        Journal->Write();
        Batch.OnJobStarted = [&Journal](int) { Journal->Write(); };
        Batch.OnJobEnded = [&Progress, &Lines, &Journal](int Row) {
          Journal->Write();
          Progress.RowEnded();
          Lines.Ended(Row);
        };
      }
      Batch.Start(Arguments.Jobs == 0 ? TForm4::SpinEditJobsMax() : Arguments.Jobs);
    }
  }
  QTimer Watch;
  QObject::connect(&Watch, &QTimer::timeout, [&Batch] {
    if (Batch.Idle()) QCoreApplication::quit();
  });
  Watch.start(20);
  if (!Batch.Idle()) QCoreApplication::exec();
  Progress.End();
  Notifier.setEnabled(false);
  // A batch that never began (no output folder) has no rows to tell; a stopped one has all.
  if (Signal != 0) Lines.TellTheRest();

  // The counts are always the last line; a completion message with errors already ends so.
  const std::string Counts = JobStateCountsText(Batch.JobStateCounts());
  if (Lines.LostError() != 0)
    std::fprintf(stderr, "tarnwick-cli convert: the rows could not be written: %s\n",
                 std::strerror(Lines.LostError()));
  if (!Dialogs.LastText.ends_with("\n" + Counts)) std::fprintf(stderr, "%s\n", Counts.c_str());
  if (Signal != 0) return InterruptedExitStatus(Signal);
  if (Lines.LostError() != 0) return 1;
  for (int Row = 0; Row < Rows.Count(); ++Row) {
    const std::string &State = Rows.Cell(Row, jcProgress);
    if (State != "Done" && State != AlreadyConvertedState) return 1;
  }
  return 0;
}

}  // namespace

int RunConvertCommand(const TCliArguments &Words) {
  TConvertArguments Arguments;
  const std::string Problem = ParseArguments(Words, Arguments);
  if (!Problem.empty()) return UsageError(Problem);
  static int Argc = 1;
  static char Name[] = "tarnwick-cli";
  static char *Argv[] = {Name, nullptr};
  QCoreApplication Application(Argc, Argv);
  return Convert(Arguments);
}
