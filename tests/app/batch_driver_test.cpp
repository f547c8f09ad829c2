// The batch driver with real conversions of tiny clips: which rows it converts, what it names
// their outputs, what the rows and bars show, the stop question and closing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTimer>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

using TBatchDriverTest = TModelFixture;
using TTexts = std::vector<std::string>;

constexpr char StopQuestion[] = "Stop all conversions?";

TEST_F(TBatchDriverTest, OnlyCheckedRowsAreConvertedAndTheBatchCompletesEvenWithNone) {
  TTempFolder In("driver-checked-in");
  AddFiles({CopyMedia(In.Path(), "a.mov"), CopyMedia(In.Path(), "b.mov")});
  const struct {
    bool Checked[2];
    TTexts Cells, Written;
  } Cases[] = {
      {{false, false}, {"", ""}, {}},
      {{false, true}, {"", "Done"}, {"b.mp4"}},
  };
  for (const auto &Case : Cases) {
    TTempFolder Out("driver-checked-out");
    Dialogs.Messages.clear();
    for (int Row = 0; Row < 2; ++Row) Form.ListView1.SetChecked(Row, Case.Checked[Row]);
    ConvertInto(Out.Path());
    EXPECT_EQ(ProgressCells(), Case.Cells);
    EXPECT_EQ(Form.ListView1.Cell(0, jcFrames), "");
    EXPECT_EQ(FilesIn(Out.Path()), Case.Written);
    EXPECT_EQ(Dialogs.Texts(), TTexts{"All Conversions Completed"});
    EXPECT_TRUE(Form.ControlsEnabled() && Form.MainMenuEnabled());
    EXPECT_EQ(Form.ProgressBar1, 0);
  }
}

TEST_F(TBatchDriverTest, TheStatusBarTellsTheFileOfTheBatchAndTheTimeAndTheEndIsAnnounced) {
  TTempFolder In("driver-status-in"), Out("driver-status-out");
  AddFiles({CopyMedia(In.Path(), "a.mov"), CopyMedia(In.Path(), "b.mov"),
            CopyMedia(In.Path(), "c.mov")});
  Form.ListView1.SetChecked(1, false);
  TTexts FileNotes, TimeNotes;
  Form.OnViewChange = [&](TViewPart Part) {
    if (Part != TViewPart::StatusBar) return;
    if (FileNotes.empty() || FileNotes.back() != Form.StatusBar1[0])
      FileNotes.push_back(Form.StatusBar1[0]);
    TimeNotes.push_back(Form.StatusBar1[2]);
  };
  std::vector<TJobStateCounts> Announced;
  std::string TimeAtEnd;
  Form.OnBatchEnded = [&](const TJobStateCounts &Counts) {
    Announced.push_back(Counts);
    TimeAtEnd = Form.StatusBar1[2];
    EXPECT_TRUE(Dialogs.Messages.empty()) << "announced before the end message";
  };
  ConvertInto(Out.Path());
  EXPECT_EQ(FileNotes, (TTexts{"File 1 of 2", "File 2 of 2", ""}));
  // The time is the batch's, shown with its end message, and gone with the batch.
  EXPECT_TRUE(TimeAtEnd.starts_with("Elapsed 00:00:")) << TimeAtEnd;
  EXPECT_EQ(TimeAtEnd.find("left"), std::string::npos) << TimeAtEnd;
  ASSERT_FALSE(TimeNotes.empty());
  EXPECT_EQ(TimeNotes.back(), "");
  ASSERT_EQ(Announced.size(), 1u);
  EXPECT_EQ(Announced[0].Done, 2);
  EXPECT_EQ(Announced[0].Fail + Announced[0].Abort, 0);
}

TEST_F(TBatchDriverTest, AnIdleStatusBarTellsTheListNotTheLastBatch) {
  TTempFolder In("driver-idle-in"), Out("driver-idle-out");
  using TPanels = std::array<std::string, 3>;
  const std::string Listed = "3 files listed, 00:00:04 in all, 1 of unknown length";
  const struct {
    const char *Step;
    std::function<void()> Act;
    TPanels Panels;
  } Steps[] = {
      {"started", [] {}, {"", "", ""}},
      {"added",
       [&] {
         AddFiles({CopyMedia(In.Path(), "a.mov"), CopyMedia(In.Path(), "b.mov"),
                   CopyMedia(In.Path(), "c.mkv", "noduration.mkv")});
       },
       {"", Listed, ""}},
      {"converted, and the folder found no file manager",
       [&] {
         Dialogs.FolderOpens = false;
         ConvertInto(Out.Path());
       },
       {"No file manager could be started to open the output folder " + Out.Path(), Listed, ""}},
      {"one removed",
       [&] {
         Form.ListView1.SetSelectedRows({2});
         Form.DeleteSelectedItem1Click();
       },
       {"No file manager could be started to open the output folder " + Out.Path(),
        "2 files listed, 00:00:04 in all", ""}},
      {"cleared", [&] { Form.ClearAllItems1Click(); }, {"", "", ""}},
  };
  Options.SpinEditJobs = 2;
  for (const auto &Step : Steps) {
    Step.Act();
    EXPECT_EQ(Form.StatusBar1, Step.Panels) << Step.Step;
    EXPECT_EQ(Form.ProgressBar1, 0) << Step.Step;
  }
}

TEST_F(TBatchDriverTest, TheEndMessageCountsTheRowsWhenAnyFailed) {
  TTempFolder In("driver-counts-in");
  const std::string Good = CopyMedia(In.Path(), "good.mov");
  const std::string Good2 = CopyMedia(In.Path(), "good2.mov");
  const std::string Broken = MediaFile("clip.mov");  // a text file
  const std::string Broken2 = CopyMedia(In.Path(), "broken2.mov", "clip.mov");
  const struct {
    TTexts Files;
    std::vector<bool> Checked;
    TTexts Cells;
    const char *Message;
  } Cases[] = {
      {{Good, Good2}, {true, true}, {"Done", "Done"}, "All Conversions Completed"},
      // A failed row that is not converted is not counted.
      {{Broken, Good}, {false, true}, {"", "Done"}, "All Conversions Completed"},
      // The last row fails: the message comes from the failed set-up.
      {{Good, Good2, Broken},
       {true, true, true},
       {"Done", "Done", "Fail"},
       "Conversions Completed with errors\n2 Done, 1 Fail"},
      // The last row is done: the message comes from the timer.
      {{Broken, Broken2, Good},
       {true, true, true},
       {"Fail", "Fail", "Done"},
       "Conversions Completed with errors\n1 Done, 2 Fail"},
      {{Broken}, {true}, {"Fail"}, "Conversions Completed with errors\n1 Fail"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Message);
    TTempFolder Out("driver-counts-out");
    Form.ClearAllItems1Click();
    Dialogs.Messages.clear();
    AddFiles(Case.Files);
    for (size_t Row = 0; Row < Case.Checked.size(); ++Row)
      Form.ListView1.SetChecked(static_cast<int>(Row), Case.Checked[Row]);
    ConvertInto(Out.Path());
    EXPECT_EQ(ProgressCells(), Case.Cells);
    EXPECT_EQ(Dialogs.Texts(), TTexts{Case.Message});
  }
}

TEST_F(TBatchDriverTest, RowsNameTheirFileExactlyAndOnlyRegularFilesAreOpened) {
  TTempFolder In("driver-kinds-in"), Out("driver-kinds-out");
  // A trailing blank is part of the name: the clip beside it is a text file.
  const std::string Blank = CopyMedia(In.Path(), "clip.mov ");
  std::ofstream(In.File("clip.mov")) << "not a movie";
  const std::string Fifo = In.File("pipe.mov");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  // A folder is the media files in it.
  const std::string Inner = CopyMedia(In.File("folder.mov"), "inner.mov");
  const struct {
    std::string File;
    const char *Probed;  // the "Progress" cell after adding
    const char *State;
    std::string Reason;
  } Cases[] = {
      {Blank, "", "Done", ""},
      {Fifo, "Error", "Fail", "'" + Fifo + "' is a named pipe, not a regular file"},
      {Inner, "", "Done", ""},
  };
  TTexts Files;
  for (const auto &Case : Cases) Files.push_back(Case.File);
  Files.back() = In.File("folder.mov");
  AddFiles(Files);
  for (int Row = 0; Row < 3; ++Row) {
    EXPECT_EQ(Form.ListView1.Row(Row).Caption, Cases[Row].File);
    EXPECT_EQ(Form.ListView1.Cell(Row, jcProgress), Cases[Row].Probed);
  }
  ConvertInto(Out.Path());
  for (int Row = 0; Row < 3; ++Row) {
    SCOPED_TRACE(Cases[Row].File);
    EXPECT_EQ(Form.ListView1.Cell(Row, jcProgress), Cases[Row].State);
    EXPECT_EQ(Form.ListView1.Row(Row).FailReason, Cases[Row].Reason);
  }
  EXPECT_EQ(Form.ListView1.Row(0).OutputFile, Out.File("clip.mp4"));
  EXPECT_GT(fs::file_size(Out.File("clip.mp4")), 1000u);
}

TEST_F(TBatchDriverTest, ExistingFilesGiveTheFirstFreeNumberUnlessOverwriting) {
  TTempFolder In("driver-names-in");
  AddFiles({CopyMedia(In.Path(), "clip.mov")});
  const struct {
    TTexts Existing;
    bool Overwrite;
    const char *Written;
  } Cases[] = {
      {{"clip.mp4"}, false, "clip-1.mp4"},
      {{"clip.mp4", "clip-1.mp4"}, false, "clip-2.mp4"},
      {{"clip.mp4", "clip-2.mp4"}, false, "clip-1.mp4"},
      {{"clip.mp4"}, true, "clip.mp4"},
  };
  for (const auto &Case : Cases) {
    TTempFolder Out("driver-names-out");
    for (const std::string &Name : Case.Existing) std::ofstream(Out.File(Name)) << "a user's file";
    Options.SetCheckBoxOverWrite(Case.Overwrite);
    ConvertInto(Out.Path());
    EXPECT_EQ(Form.ListView1.Row(0).OutputFile, Out.File(Case.Written));
    EXPECT_GT(fs::file_size(Out.File(Case.Written)), 1000u) << Case.Written;
    for (const std::string &Name : Case.Existing)
      if (Name != Case.Written) {
        EXPECT_EQ(fs::file_size(Out.File(Name)), 13u) << Name;
      }
  }
}

TEST_F(TBatchDriverTest, SameNamesFromTwoFoldersGetDistinctOutputs) {
  TTempFolder In("driver-same-in"), Out("driver-same-out");
  AddFiles({CopyMedia(In.File("a"), "clip.mov"), CopyMedia(In.File("b"), "clip.mov")});
  ConvertInto(Out.Path());
  EXPECT_EQ(ProgressCells(), (TTexts{"Done", "Done"}));
  EXPECT_EQ(FilesIn(Out.Path()), (TTexts{"clip-1.mp4", "clip.mp4"}));
}

TEST_F(TBatchDriverTest, OverwritingNeverWritesOverAnInput) {
  TTempFolder In("driver-input-kept");
  const std::string Input = CopyMedia(In.Path(), "clip.mp4");
  const auto Size = fs::file_size(Input);
  Options.SetCheckBoxOverWrite(true);
  AddFiles({Input});
  ConvertInto(In.Path());
  EXPECT_EQ(Form.ListView1.Row(0).OutputFile, In.File("clip-1.mp4"));
  EXPECT_EQ(fs::file_size(Input), Size);
}

TEST_F(TBatchDriverTest, TheRowAndTheControlsGiveTheJobsAspectVolumeAndRecordingTime) {
  TTempFolder Out("driver-options");
  const struct {
    const char *File;
    const char *VideoSize;  // the row's cell as the user's list shows it; null: as probed
    int Aspect, Volume;
    const char *AspectRatio;
    int AudioVolume;
    int32_t RecordingTime;
  } Cases[] = {
      {"sample.mov", "1920x1080", 0, 10, "1.7778", 600, -1},
      {"audio.m4a", nullptr, 0, 5, "1.3333", 255, -1},
      {"noduration.mkv", nullptr, 1, 0, "4:3", 1, 36000000},
  };
  for (const auto &Case : Cases) {
    Form.ClearAllItems1Click();
    AddFiles({MediaFile(Case.File)});
    if (Case.VideoSize) Form.ListView1.SetCell(0, jcVideoSize, Case.VideoSize);
    Form.ComboAspectRatio.SetItemIndex(Case.Aspect);
    Form.SetTrackBar1(Case.Volume);
    ConvertInto(Out.Path());
    EXPECT_EQ(Form.JobOutputOptions.AspectRatio, Case.AspectRatio) << Case.File;
    EXPECT_EQ(Form.JobOutputOptions.AudioVolume, Case.AudioVolume) << Case.File;
    EXPECT_EQ(Form.JobOutputOptions.RecordingTime, Case.RecordingTime) << Case.File;
    EXPECT_EQ(ProgressCells(), TTexts{"Done"}) << Case.File;
  }
}

TEST_F(TBatchDriverTest, ProgressTruncatesIsHeldAt100AndAnUnknownFrameNumberShowsABlank) {
  AddFiles({MediaFile("sample.mov")});
  Form.FCurrentJob = 0;
  const struct {
    int Frame, Current, Total;
    int64_t Size;
    const char *Progress, *Frames;
    int Bar;
  } Cases[] = {
      {10, 999, 1000, 2048, "99%", "10", 99},
      {60, 1500, 1000, 5000, "100%", "60", 100},
      {-1, 10, 0, 0, "0%", " ", 0},
      {5, 10, -5, 0, "0%", "5", 0},
  };
  for (const auto &Case : Cases) {
    Form.EngineProgress({0, Case.Frame, 25, Case.Current, 2.0f, 800.0f, Case.Size, Case.Total});
    EXPECT_EQ(Form.ListView1.Cell(0, jcProgress), Case.Progress);
    EXPECT_EQ(Form.ListView1.Cell(0, jcFrames), Case.Frames);
    EXPECT_EQ(Form.StatusBar1[1], "File Size : " + std::to_string(Case.Size));
    EXPECT_EQ(Form.ProgressBar1, Case.Bar);
  }
}

TEST_F(TBatchDriverTest, ConvertChecksTheListAndTheOutputFolderFirst) {
  TTempFolder Out("driver-checks");
  Form.ButtonConvertClick();
  AddFiles({MediaFile("sample.mov")});
  Form.EditOutputFolder = "";
  Form.ButtonConvertClick();
  Form.EditOutputFolder = Out.File("gone");
  Form.ButtonConvertClick();
  EXPECT_EQ(Dialogs.Texts(),
            (TTexts{"Please Add Files To Convert!", "Please select an output folder!",
                    "The output folder \"" + Out.File("gone") +
                        "\"\n\rdoes not exist or has been deleted!\n\rPlease "
                        "choose a new output folder."}));
  for (const TShownMessage &Message : Dialogs.Messages) {
    EXPECT_EQ(Message.Caption, "Information");
    EXPECT_EQ(Message.Icon, TMsgIcon::Information);
    EXPECT_EQ(Message.Buttons, TMsgButtons::Ok);
  }
  EXPECT_EQ(Dialogs.FolderBrowses, 2);
  EXPECT_TRUE(Form.Idle());
}

TEST_F(TBatchDriverTest, ConvertIsIgnoredWhileFilesAreBeingAdded) {
  TTempFolder Out("driver-adding");
  Form.EditOutputFolder = Out.Path();
  Dialogs.FilesToOpen = {MediaFile("sample.mov"), MediaFile("film.mp4")};
  bool ClickedWhileAdding = false;
  // The click arrives while the window processes messages between two files.
  Dialogs.OnOpenFiles = [this, &ClickedWhileAdding] {
    QTimer::singleShot(0, [this, &ClickedWhileAdding] {
      ClickedWhileAdding = Form.FAddingFiles;
      Form.ButtonConvertClick();
      Form.DeleteSelectedItem1Click();
      Form.ClearAllItems1Click();
    });
  };
  Form.ButtonAddFileClick();
  EXPECT_TRUE(ClickedWhileAdding);
  EXPECT_FALSE(Form.Converting);
  EXPECT_EQ(Form.ListView1.Count(), 2);
  EXPECT_TRUE(Dialogs.Messages.empty());
  EXPECT_TRUE(FilesIn(Out.Path()).empty());
}

// Add, a drop, Convert and closing are all refused while files are being added, while a job
// converts and between two jobs of a batch: no row is added, no finished row is cleared, and
// the adding or the batch goes on as before.
TEST_F(TBatchDriverTest, AddDropConvertAndCloseAreRefusedWhileBusy) {
  TTempFolder Out("driver-busy");
  Form.EditOutputFolder = Out.Path();
  struct TAttempt {
    std::string When;
    int Rows, RowsAfter;
    TTexts Cells, CellsAfter;
    size_t Messages, MessagesAfter;
    bool CloseRefused, StillBusy;
  };
  std::vector<TAttempt> Attempts;
  auto TryEverything = [this, &Attempts](const char *When) {
    TAttempt Attempt{When, Form.ListView1.Count(),  0, ProgressCells(),
                     {},   Dialogs.Messages.size(), 0, false,
                     false};
    Form.FilesDropped({MediaFile("ntsc.mp4")});
    Form.ButtonAddFileClick();
    Form.ButtonConvertClick();
    Attempt.CloseRefused = !Form.FormCloseQuery();
    Attempt.RowsAfter = Form.ListView1.Count();
    Attempt.CellsAfter = ProgressCells();
    Attempt.MessagesAfter = Dialogs.Messages.size();
    Attempt.StillBusy = Form.Busy();
    Attempts.push_back(Attempt);
  };

  Dialogs.FilesToOpen = {MediaFile("sample.mov"), MediaFile("film.mp4")};
  Dialogs.OnOpenFiles = [&] { QTimer::singleShot(0, [&] { TryEverything("while adding"); }); };
  Form.ButtonAddFileClick();
  Dialogs.OnOpenFiles = nullptr;
  ASSERT_EQ(Form.ListView1.Count(), 2);
  EXPECT_FALSE(Form.Busy());

  Form.ButtonConvertClick();
  TryEverything("while a job converts");
  // The first row's end, before the next row starts: the batch waits between its jobs.
  Form.OnJobEnded = [&TryEverything](int Row) {
    if (Row == 0) TryEverything("between two jobs");
  };
  ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
  Form.OnJobEnded = nullptr;

  ASSERT_EQ(Attempts.size(), 3u);
  for (const TAttempt &Attempt : Attempts) {
    SCOPED_TRACE(Attempt.When);
    EXPECT_EQ(Attempt.RowsAfter, Attempt.Rows);
    EXPECT_EQ(Attempt.CellsAfter, Attempt.Cells);
    EXPECT_EQ(Attempt.MessagesAfter, Attempt.Messages);
    EXPECT_TRUE(Attempt.CloseRefused);
    EXPECT_TRUE(Attempt.StillBusy);
  }
  EXPECT_EQ(ProgressCells(), (TTexts{"Done", "Done"}));
  EXPECT_EQ(FilesIn(Out.Path()), (TTexts{"film.mp4", "sample.mp4"}));
  EXPECT_TRUE(Form.FormCloseQuery());
}

TEST_F(TBatchDriverTest, ABatchLocksTheListAndTheMenusAndRefusesToClose) {
  TTempFolder Out("driver-locked");
  AddFiles({MediaFile("sample.mov")});
  Form.EditOutputFolder = Out.Path();
  Form.ButtonConvertClick();
  EXPECT_FALSE(Form.ControlsEnabled() || Form.MainMenuEnabled() || Form.PopupMenuEnabled());
  Form.ButtonAddFileClick();
  Form.ClearAllItems1Click();
  EXPECT_EQ(Form.ListView1.Count(), 1);
  EXPECT_FALSE(Form.FormCloseQuery());
  EXPECT_TRUE(Dialogs.Messages.empty());
  ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
  EXPECT_EQ(ProgressCells(), TTexts{"Done"});
  EXPECT_TRUE(Form.ControlsEnabled());
  EXPECT_TRUE(Form.FormCloseQuery());
}

TEST_F(TBatchDriverTest, StopAsksWhileConvertingAndEndsTheBatchAtOnceBetweenJobs) {
  AddFiles({MediaFile("sample.mov"), MediaFile("film.mp4")});
  const struct {
    bool BetweenJobs;
    TModalResult Answer;
    TTexts Rows, Messages;
  } Cases[] = {
      {false, TModalResult::No, {"Done", "Done"}, {StopQuestion, "All Conversions Completed"}},
      {false, TModalResult::Yes, {"Abort", ""}, {StopQuestion}},
      {true, TModalResult::Yes, {"Done", ""}, {}},
  };
  for (const auto &Case : Cases) {
    TTempFolder Out("driver-stop");
    Dialogs.Messages.clear();
    Dialogs.Answers = {Case.Answer};
    Form.EditOutputFolder = Out.Path();
    Form.ButtonConvertClick();
    if (Case.BetweenJobs) {
      // The first row's end, before the next row starts: the batch waits between its jobs.
      Form.OnJobEnded = [this](int Row) {
        if (Row != 0) return;
        EXPECT_FALSE(Form.Converting);
        Form.ButtonStopSmallClick();
        EXPECT_TRUE(Form.Idle());
      };
      ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
      Form.OnJobEnded = nullptr;
      RunEventsUntil([] { return false; }, 0.5);
    } else {
      Form.ButtonStopConvertClick();
      ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
    }
    EXPECT_EQ(ProgressCells(), Case.Rows);
    EXPECT_EQ(Dialogs.Texts(), Case.Messages);
    if (!Case.Messages.empty()) {
      EXPECT_EQ(Dialogs.Messages[0].Caption, "Confirmation");
      EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Question);
      EXPECT_EQ(Dialogs.Messages[0].Buttons, TMsgButtons::YesNo);
    }
    EXPECT_TRUE(Form.ControlsEnabled());
  }
}

// The job timer's interval is longer than the batch may take: each row's start, and the batch's
// end, follow the row before at once, one row at a time or several.
TEST(BatchPaceTest, EachRowStartsAsTheRowBeforeEndsWithoutWaitingForATimerTick) {
  TTempFolder In("pace-in");
  const TTexts Files = {CopyMedia(In.Path(), "a.mov"), CopyMedia(In.Path(), "b.mov"),
                        CopyMedia(In.Path(), "c.mov"), CopyMedia(In.Path(), "d.mov")};
  const int Rows = static_cast<int>(Files.size());
  for (const int Jobs : {1, 2}) {
    SCOPED_TRACE(Jobs);
    TTempFolder Out("pace-out");
    TStartedForm Started(nullptr, 3600 * 1000);
    TForm1 &Form = Started.Form;
    ASSERT_TRUE(Form.ComboOutputFormat.SelectText(Mp4Entry));
    Form.ComboOutputFormatChange();
    Started.Options.CheckBoxAutoJobs = false;
    Started.Options.SpinEditJobs = Jobs;
    Started.Dialogs.FilesToOpen = Files;
    Form.ButtonAddFileClick();
    ASSERT_TRUE(RunEventsUntil([&Form] { return !Form.Worker1.Runs(); }, 10));

    // Rows ended, and rows started by the time the events the end queued have run.
    std::vector<std::pair<int, int>> AfterEnds;
    int Ended = 0;
    Form.OnJobEnded = [&](int) {
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [&AfterEnds, &Form, EndedNow = ++Ended] {
            AfterEnds.emplace_back(EndedNow, Form.BatchFile());
          },
          Qt::QueuedConnection);
    };
    Form.EditOutputFolder = Out.Path();
    Form.ButtonConvertClick();
    ASSERT_TRUE(RunEventsUntil([&Form] { return Form.Idle(); })) << "a row waited for a tick";

    EXPECT_EQ(Started.Dialogs.Texts(), TTexts{"All Conversions Completed"});
    ASSERT_EQ(AfterEnds.size(), Files.size());
    for (const auto &[EndedNow, StartedNow] : AfterEnds)
      EXPECT_GE(StartedNow, std::min(EndedNow + Jobs, Rows)) << EndedNow << " rows ended";
    for (int Row = 0; Row < Rows; ++Row) EXPECT_EQ(Form.ListView1.Cell(Row, jcProgress), "Done");
  }
}

}  // namespace
