// Several rows converting at once, with real conversions of clips long enough to overlap:
// what the rows, the bar and the status bar show, stop and resume, broken files among them,
// names two running rows both want, and the rules and the setting behind it.

#include <gtest/gtest.h>

#include <QSettings>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/job_rules.h"
#include "engine/component/convert_task.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

using TTexts = std::vector<std::string>;

constexpr char StopQuestion[] = "Stop all conversions?";

bool Converting(const std::string &Cell) {
  return !Cell.empty() && Cell.back() == '%';
}

// The clip's container duration in seconds as ffprobe reads it; negative when it cannot.
double ProbedDuration(const std::string &File) {
  const TProcessResult Probe = RunProgram({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                                           "format=duration", "-of", "default=nw=1:nk=1", File});
  return Probe.ExitStatus == 0 && !Probe.Output.empty() ? std::stod(Probe.Output) : -1.0;
}

class TParallelBatchTest : public TModelFixture {
 protected:
  static constexpr double ClipSeconds = 8.0;

  // One clip for the whole suite: 8 s of 640x360 video and sound, which takes the MP4 entry
  // long enough that rows started together report progress together.
  static void SetUpTestSuite() {
    Clips = new TTempFolder("parallel-clips");
    const std::string Seconds = std::to_string(static_cast<int>(ClipSeconds));
    const TProcessResult Made =
        RunProgram({"/usr/bin/ffmpeg",
                    "-nostdin",
                    "-hide_banner",
                    "-loglevel",
                    "error",
                    "-y",
                    "-f",
                    "lavfi",
                    "-i",
                    "testsrc=size=640x360:rate=25:duration=" + Seconds,
                    "-f",
                    "lavfi",
                    "-i",
                    "sine=frequency=440:sample_rate=44100:duration=" + Seconds,
                    "-c:v",
                    "libx264",
                    "-preset",
                    "ultrafast",
                    "-pix_fmt",
                    "yuv420p",
                    "-c:a",
                    "aac",
                    Clips->File("long.mov")});
    ASSERT_EQ(Made.ExitStatus, 0) << Made.Errors;
  }
  static void TearDownTestSuite() {
    delete Clips;
    Clips = nullptr;
  }

  void SetUp() override {
    TModelFixture::SetUp();
    Form.Engine().SetProgressInterval(100);
    // Set directly: two rows at once also on a machine with a single core.
    Options.SpinEditJobs = 2;
    Form.ListView1.OnChange = [this](int) { Overlap = std::max(Overlap, RowsConverting()); };
  }

  // Copies of the long clip, one per name, in Folder (names may hold a sub-folder).
  TTexts LongClips(const TTempFolder &Folder, const TTexts &Names) {
    TTexts Files;
    for (const std::string &Name : Names) {
      const fs::path File = Folder.File(Name);
      fs::create_directories(File.parent_path());
      fs::copy_file(Clips->File("long.mov"), File);
      Files.push_back(File.string());
    }
    return Files;
  }

  int RowsConverting() const {
    int Rows = 0;
    for (int Row = 0; Row < Form.ListView1.Count(); ++Row)
      Rows += Converting(Form.ListView1.Cell(Row, jcProgress));
    return Rows;
  }

  bool RowsStarted(int Rows) const {
    for (int Row = 0; Row < Rows; ++Row)
      if (!Converting(Form.ListView1.Cell(Row, jcProgress))) return false;
    return true;
  }

  // The most rows that showed a percentage at the same moment.
  int Overlap = 0;
  static TTempFolder *Clips;
};

TTempFolder *TParallelBatchTest::Clips = nullptr;

TEST_F(TParallelBatchTest, RowsConvertTogetherEachWithItsOwnProgressAndTheBarIsTheBatchs) {
  TTempFolder In("parallel-rows-in"), Out("parallel-rows-out");
  AddFiles(LongClips(In, {"a.mov", "b.mov", "c.mov", "d.mov"}));
  TTexts FileNotes;
  std::vector<int> Bar;
  int CodecThreads = -1, ThreadCount = -1;
  Form.OnViewChange = [&](TViewPart Part) {
    if (Part == TViewPart::StatusBar &&
        (FileNotes.empty() || FileNotes.back() != Form.StatusBar1[0]))
      FileNotes.push_back(Form.StatusBar1[0]);
    if (Part == TViewPart::ProgressBar && Form.TimerConvertAgain.Enabled())
      Bar.push_back(Form.ProgressBar1);
    // The first slot's task is the window's own engine's.
    if (CodecThreads < 0 && Form.Engine().Tasks().Count() == 1) {
      CodecThreads = Form.Engine().Tasks().Items(0).InputOptions.CodecThreads;
      ThreadCount = Form.Engine().Tasks().Items(0).Options().FThreadCount;
    }
  };
  ConvertInto(Out.Path());

  EXPECT_EQ(Overlap, 2);
  EXPECT_EQ(Form.SimultaneousJobs(), 2);
  EXPECT_EQ(ProgressCells(), (TTexts{"Done", "Done", "Done", "Done"}));
  EXPECT_EQ(Dialogs.Texts(), TTexts{"All Conversions Completed"});
  EXPECT_EQ(FileNotes, (TTexts{"File 1 of 4", "File 2 of 4", "File 3 of 4", "File 4 of 4", ""}));
  ASSERT_FALSE(Bar.empty());
  EXPECT_TRUE(std::is_sorted(Bar.begin(), Bar.end()))
      << "the batch's bar went back: " << testing::PrintToString(Bar);
  EXPECT_EQ(Bar.back(), 100);
  EXPECT_EQ(Form.ProgressBar1, 0);
  EXPECT_EQ(CodecThreads, JobCodecThreads(ProcessorCount(), 2));
  EXPECT_EQ(ThreadCount, CodecThreads);
  EXPECT_EQ(FilesIn(Out.Path()), (TTexts{"a.mp4", "b.mp4", "c.mp4", "d.mp4"}));
  for (int Row = 0; Row < 4; ++Row) {
    const std::string &Output = Form.ListView1.Row(Row).OutputFile;
    EXPECT_NEAR(ProbedDuration(Output), ClipSeconds, 0.2) << Output;
    EXPECT_GT(std::stoi(Form.ListView1.Cell(Row, jcFrames)), 0) << Row;
  }
}

// The question pauses every running row; Yes ends them all "Abort" with their files finished
// or removed and starts no further row, No lets every one of them go on to the end.
TEST_F(TParallelBatchTest, StopActsOnEveryRunningRowAndLeavesTheOthersUntouched) {
  TTempFolder In("parallel-stop-in");
  AddFiles(LongClips(In, {"a.mov", "b.mov", "c.mov", "d.mov"}));
  const struct {
    TModalResult Answer;
    TTexts Rows, Messages;
  } Cases[] = {
      {TModalResult::Yes, {"Abort", "Abort", "", ""}, {StopQuestion}},
      {TModalResult::No,
       {"Done", "Done", "Done", "Done"},
       {StopQuestion, "All Conversions Completed"}},
  };
  for (const auto &Case : Cases) {
    TTempFolder Out("parallel-stop-out");
    Dialogs.Messages.clear();
    Dialogs.Answers = {Case.Answer};
    Form.EditOutputFolder = Out.Path();
    Form.ButtonConvertClick();
    ASSERT_TRUE(RunEventsUntil([this] { return RowsStarted(2); }));
    Form.ButtonStopConvertClick();
    ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); })) << "a row never ended";
    EXPECT_EQ(ProgressCells(), Case.Rows);
    EXPECT_EQ(Dialogs.Texts(), Case.Messages);
    EXPECT_TRUE(Form.ControlsEnabled());
    for (const std::string &Name : FilesIn(Out.Path())) {
      SCOPED_TRACE(Name);
      EXPECT_TRUE(Name == "a.mp4" || Name == "b.mp4" || Case.Answer == TModalResult::No);
      EXPECT_GT(ProbedDuration(Out.File(Name)), 0.0) << "an unplayable output stayed";
    }
  }
}

TEST_F(TParallelBatchTest, ABrokenFileAmongRunningRowsFailsAndTheOthersAreDone) {
  TTempFolder In("parallel-broken-in");
  const TTexts Good = LongClips(In, {"a.mov", "b.mov", "c.mov"});
  const std::string Text = MediaFile("clip.mov");  // a text file
  const std::string Cut = MediaFile("truncated.mov");
  const struct {
    TTexts Files, Cells;
    const char *Message;
  } Cases[] = {
      {{Good[0], Text, Good[1], Good[2]},
       {"Done", "Fail", "Done", "Done"},
       "Conversions Completed with errors\n3 Done, 1 Fail"},
      // The last row fails while the others still convert: the end waits for them.
      {{Good[0], Good[1], Text},
       {"Done", "Done", "Fail"},
       "Conversions Completed with errors\n2 Done, 1 Fail"},
      {{Cut, Good[0], Text},
       {"Fail", "Done", "Fail"},
       "Conversions Completed with errors\n1 Done, 2 Fail"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Message);
    TTempFolder Out("parallel-broken-out");
    Form.ClearAllItems1Click();
    Dialogs.Messages.clear();
    AddFiles(Case.Files);
    ConvertInto(Out.Path());
    EXPECT_EQ(ProgressCells(), Case.Cells);
    EXPECT_EQ(Dialogs.Texts(), TTexts{Case.Message});
    for (int Row = 0; Row < Form.ListView1.Count(); ++Row)
      EXPECT_EQ(Form.ListView1.Row(Row).FailReason.empty(), Case.Cells[Row] == "Done") << Row;
  }
}

// Rows that want one name wait for each other, so the names come out as one after another
// and a user's file is never replaced; rows of other names still convert together.
TEST_F(TParallelBatchTest, RowsWantingOneNameGetTheirOwnFilesInTheListsOrder) {
  TTempFolder In("parallel-names-in");
  AddFiles(LongClips(In, {"x/clip.mov", "y/clip.mov", "z/clip-1.mov", "other.mov"}));
  Form.ListView1.SetChecked(3, false);
  const struct {
    bool Overwrite;
    std::vector<bool> Checked;
    TTexts Existing, Outputs;  // the rows' outputs; Existing stay as they are
    int Overlap;
  } Cases[] = {
      {false, {true, true, false, false}, {}, {"clip.mp4", "clip-1.mp4"}, 1},
      {false, {true, true, false, false}, {"clip.mp4"}, {"clip-1.mp4", "clip-2.mp4"}, 1},
      {true, {true, true, false, false}, {}, {"clip.mp4", "clip-1.mp4"}, 1},
      // Keeping files the first may number its way to the second's name.
      {false, {true, false, true, false}, {"clip.mp4"}, {"clip-1.mp4", "clip-1-1.mp4"}, 1},
      {true, {true, false, false, true}, {}, {"clip.mp4", "other.mp4"}, 2},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Outputs.back());
    TTempFolder Out("parallel-names-out");
    for (const std::string &Name : Case.Existing) std::ofstream(Out.File(Name)) << "a user's file";
    for (int Row = 0; Row < 4; ++Row) Form.ListView1.SetChecked(Row, Case.Checked[Row]);
    Options.SetCheckBoxOverWrite(Case.Overwrite);
    Overlap = 0;
    ConvertInto(Out.Path());
    TTexts Outputs, Written = Case.Existing;
    for (int Row = 0; Row < 4; ++Row) {
      if (!Case.Checked[Row]) continue;
      EXPECT_EQ(Form.ListView1.Cell(Row, jcProgress), "Done") << Row;
      const std::string &Output = Form.ListView1.Row(Row).OutputFile;
      Outputs.push_back(fs::path(Output).filename().string());
      EXPECT_NEAR(ProbedDuration(Output), ClipSeconds, 0.2) << Output;
    }
    EXPECT_EQ(Outputs, Case.Outputs);
    Written.insert(Written.end(), Outputs.begin(), Outputs.end());
    std::sort(Written.begin(), Written.end());
    EXPECT_EQ(FilesIn(Out.Path()), Written);
    EXPECT_EQ(Overlap, Case.Overlap);
    for (const std::string &Name : Case.Existing) EXPECT_EQ(fs::file_size(Out.File(Name)), 13u);
  }
}

TEST(ParallelRulesTest, OutputsMeetOnlyWhereAMoveCouldReplaceTheOthersFile) {
  TTempFolder Out("parallel-rules");
  const std::string Clip = Out.File("clip.mp4"), Other = Out.File("other.mp4");
  const struct {
    TJobOutput Left, Right;
    bool Meet;
  } Cases[] = {
      {{Clip, true, Clip}, {Clip, true, Clip}, true},
      {{Clip, false, Clip}, {Clip, false, Clip}, true},
      {{Clip, false, Clip}, {Clip, true, Clip}, true},
      {{Clip, false, Clip}, {Other, false, Other}, false},
      // A job keeping files may number its way to the name the other replaces.
      {{Clip, true, Clip}, {Out.File("clip-1.mp4"), false, ""}, true},
      {{Out.File("clip-12.mp4"), true, ""}, {Clip, true, Clip}, true},
      // One replacing files never numbers its way anywhere.
      {{Clip, false, Clip}, {Out.File("clip-1.mp4"), true, ""}, false},
      {{Clip, true, Clip}, {Out.File("clip-1.mkv"), false, ""}, false},
      {{Clip, true, Clip}, {Out.File("clip-01.mp4"), false, ""}, false},
      {{Clip, true, Clip}, {Out.File("clip-x.mp4"), false, ""}, false},
      {{Clip, true, Clip}, {Out.File("sub/clip-1.mp4"), false, ""}, false},
      {{Out.File("sub/../clip.mp4"), false, ""}, {Clip, false, Clip}, true},
  };
  for (const auto &Case : Cases)
    EXPECT_EQ(OutputsMayMeet(Case.Left, Case.Right), Case.Meet)
        << Case.Left.FileName << " " << Case.Left.KeepExisting << " / " << Case.Right.FileName
        << " " << Case.Right.KeepExisting;
}

TEST(ParallelRulesTest, CodecThreadsAreSharedOutOverTheJobs) {
  const struct {
    int Cores, Jobs, Threads;
  } Cases[] = {{8, 1, 0}, {8, 2, 4}, {8, 3, 2}, {2, 2, 1}, {2, 3, 1}, {1, 2, 1}, {16, 4, 4}};
  for (const auto &Case : Cases)
    EXPECT_EQ(JobCodecThreads(Case.Cores, Case.Jobs), Case.Threads)
        << Case.Cores << " cores, " << Case.Jobs << " jobs";
  EXPECT_GE(ProcessorCount(), 1);
}

TEST(ParallelSettingTest, SimultaneousConversionsStayWithinTheCoresAndAreSaved) {
  TTempFolder Folder("parallel-setting");
  const std::string File = Folder.File("Tarnwick.ini");
  const int Cores = TForm4::SpinEditJobsMax();
  const struct {
    QVariant Stored;  // invalid: settings saved before the option existed
    int Set, Want;
  } Cases[] = {
      {QVariant(), 1, 1},
      {QVariant(), 0, 1},
      {QVariant(1), Cores + 5, Cores},
      {QVariant(Cores + 3), Cores, Cores},
      {QVariant("two"), 1, 1},
  };
  for (const auto &Case : Cases) {
    WriteSettingsFile(File, Folder.Path(), 40, 1, "Simultaneous Conversions", Case.Stored);
    TQSettingsStore Store(File);
    TStartedForm Started(&Store);
    const int Loaded = Case.Stored.typeId() == QMetaType::Int ? Case.Stored.toInt() : 1;
    EXPECT_EQ(Started.Options.SpinEditJobs, std::clamp(Loaded, 1, Cores));
    // The values before it are read whatever it holds.
    EXPECT_TRUE(Started.Options.CheckBoxOverWrite);
    EXPECT_EQ(Started.Options.SpinEdit1, 40);
    EXPECT_EQ(Started.Form.ComboLetterBox.ItemIndex(), 1);
    Started.Options.SetSpinEditJobs(Case.Set);
    EXPECT_EQ(Started.Options.SpinEditJobs, Case.Want);
    ASSERT_TRUE(Started.Form.FormCloseQuery());
    Started.Form.FormClose();
    EXPECT_EQ(TQSettingsStore(File).ReadInteger("Simultaneous Conversions"), Case.Want);
  }
}

// "Conversions At Once" holds 0 for automatic. A file saved before it has only the count,
// whose 1 was written wherever the count was missing: that 1 becomes automatic, and what is
// stored from then on is kept.
TEST(ParallelSettingTest, AutomaticIsTheDefaultAndAnOldStoredOneBecomesIt) {
  TTempFolder Folder("parallel-automatic");
  const std::string File = Folder.File("Tarnwick.ini");
  const int Cores = TForm4::SpinEditJobsMax();
  const int Two = std::min(2, Cores);
  const struct {
    QVariant Count, AtOnce;  // invalid: not in the file
    bool Automatic;
    int Jobs;
  } Cases[] = {
      {QVariant(), QVariant(), true, 1},     {QVariant(1), QVariant(), true, 1},
      {QVariant(2), QVariant(), false, Two}, {QVariant(1), QVariant(1), false, 1},
      {QVariant(2), QVariant(0), true, Two}, {QVariant(1), QVariant(2), false, Two},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Count.toString().toStdString() + "/" + Case.AtOnce.toString().toStdString());
    WriteSettingsFile(File, Folder.Path(), 40, 1, "Simultaneous Conversions", Case.Count);
    if (Case.AtOnce.isValid())
      QSettings(QString::fromStdString(File), QSettings::IniFormat)
          .setValue("Conversions At Once", Case.AtOnce);
    for (int Start = 0; Start < 2; ++Start) {
      TQSettingsStore Store(File);
      TStartedForm Started(&Store);
      EXPECT_EQ(Started.Options.CheckBoxAutoJobs, Case.Automatic) << "start " << Start;
      EXPECT_EQ(Started.Options.SpinEditJobs, Case.Jobs);
      EXPECT_EQ(Started.Options.SimultaneousJobs(), Case.Automatic ? Cores : Case.Jobs);
      ASSERT_TRUE(Started.Form.FormCloseQuery());
      Started.Form.FormClose();
      EXPECT_EQ(TQSettingsStore(File).ReadInteger("Conversions At Once"),
                Case.Automatic ? 0 : Case.Jobs);
    }
  }
}

}  // namespace
