// The batch driver with real conversions of tiny clips: which rows it converts, what it names
// their outputs, what the rows and bars show, the stop question and closing.

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>
#include <fstream>

#include "tests/app/model_test_support.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

using TBatchDriverTest = TModelFixture;

std::string CopyInto(const std::string &Folder, const std::string &Name,
                     const std::string &Source = "sample.mov") {
  fs::create_directories(Folder);
  const std::string Path = Folder + "/" + Name;
  fs::copy_file(MediaFile(Source), Path);
  return Path;
}

void MakeFile(const std::string &Path) {
  std::ofstream(Path) << "a user's file";
}

// ===== Which rows are converted =====

TEST_F(TBatchDriverTest, NoCheckedRowConvertsNothingAndStillCompletes) {
  StartUp();
  TTempFolder Out("driver-none-checked");
  AddFiles({MediaFile("sample.mov"), MediaFile("film.mp4")});
  Form.UncheckAllItems1Click();
  ConvertInto(Out.Path());
  EXPECT_EQ(ProgressCells(), (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(FilesIn(Out.Path()).empty());
  EXPECT_EQ(Dialogs.Texts(), std::vector<std::string>{"All Conversions Completed"});
  EXPECT_TRUE(Form.ControlsEnabled());
  EXPECT_TRUE(Form.MainMenuEnabled());
}

TEST_F(TBatchDriverTest, UncheckedRowsAreSkippedAndKeepTheirCells) {
  StartUp();
  TTempFolder In("driver-skip-in"), Out("driver-skip-out");
  AddFiles(
      {CopyInto(In.Path(), "a.mov"), CopyInto(In.Path(), "b.mov"), CopyInto(In.Path(), "c.mov")});
  Form.ListView1.SetChecked(1, false);
  ConvertInto(Out.Path());
  EXPECT_EQ(ProgressCells(), (std::vector<std::string>{"Done", "", "Done"}));
  EXPECT_EQ(Form.ListView1.Cell(1, jcFrames), "");
  EXPECT_EQ(FilesIn(Out.Path()), (std::vector<std::string>{"a.mp4", "c.mp4"}));
  EXPECT_EQ(Dialogs.Texts(), std::vector<std::string>{"All Conversions Completed"});
  EXPECT_EQ(Form.ProgressBar1, 0);
}

TEST_F(TBatchDriverTest, AFileThatDoesNotOpenFailsWithTheEnginesReasonAndTheNextRowGoesOn) {
  StartUp();
  TTempFolder Out("driver-fail");
  AddFiles({MediaFile("clip.mov"), MediaFile("sample.mov")});
  EXPECT_EQ(ProgressCells(), (std::vector<std::string>{"Error", ""}));
  ConvertInto(Out.Path());
  EXPECT_EQ(ProgressCells(), (std::vector<std::string>{"Fail", "Done"}));
  EXPECT_NE(Form.ListView1.Row(0).FailReason, "");
  EXPECT_EQ(Form.ListView1.Row(1).OutputFile, Out.File("sample.mp4"));
}

// ===== Output names =====

TEST_F(TBatchDriverTest, ExistingFilesGiveNumberedNamesUnlessOverwriting) {
  StartUp();
  TTempFolder In("driver-names-in"), Out("driver-names-out");
  AddFiles({CopyInto(In.Path(), "clip.mov")});
  const struct {
    std::vector<const char *> Existing;
    bool Overwrite;
    const char *Written;
  } Cases[] = {
      {{}, false, "clip.mp4"},
      {{"clip.mp4"}, false, "clip-1.mp4"},
      {{"clip.mp4", "clip-1.mp4"}, false, "clip-2.mp4"},
      {{"clip.mp4"}, true, "clip.mp4"},
  };
  for (const auto &Case : Cases) {
    fs::remove_all(Out.Path());
    fs::create_directories(Out.Path());
    for (const char *Name : Case.Existing) MakeFile(Out.File(Name));
    Options.SetCheckBoxOverWrite(Case.Overwrite);
    ConvertInto(Out.Path());
    EXPECT_EQ(ProgressCells(), std::vector<std::string>{"Done"}) << Case.Written;
    EXPECT_EQ(Form.ListView1.Row(0).OutputFile, Out.File(Case.Written));
    EXPECT_GT(fs::file_size(Out.File(Case.Written)), 1000u) << Case.Written;
    // Files that were there and not chosen are untouched.
    for (const char *Name : Case.Existing)
      if (std::string(Name) != Case.Written) {
        EXPECT_EQ(fs::file_size(Out.File(Name)), 13u);
      }
  }
}

TEST_F(TBatchDriverTest, SameNamesFromTwoFoldersGetDistinctOutputs) {
  StartUp();
  TTempFolder In("driver-same-in"), Out("driver-same-out");
  AddFiles({CopyInto(In.File("a"), "clip.mov"), CopyInto(In.File("b"), "clip.mov")});
  ConvertInto(Out.Path());
  EXPECT_EQ(ProgressCells(), (std::vector<std::string>{"Done", "Done"}));
  EXPECT_EQ(FilesIn(Out.Path()), (std::vector<std::string>{"clip-1.mp4", "clip.mp4"}));
}

TEST_F(TBatchDriverTest, OverwritingNeverWritesOverAnInput) {
  StartUp();
  TTempFolder In("driver-input-kept");
  const std::string Input = CopyInto(In.Path(), "clip.mp4");
  const auto Size = fs::file_size(Input);
  Options.SetCheckBoxOverWrite(true);
  AddFiles({Input});
  ConvertInto(In.Path());
  EXPECT_EQ(ProgressCells(), std::vector<std::string>{"Done"});
  EXPECT_EQ(Form.ListView1.Row(0).OutputFile, In.File("clip-1.mp4"));
  EXPECT_EQ(fs::file_size(Input), Size);
}

// ===== The job's options =====

TEST_F(TBatchDriverTest, AspectVolumeAndRecordingTimeOfTheJob) {
  StartUp();
  TTempFolder Out("driver-options");
  const struct {
    const char *File;
    const char *VideoSize;  // the row's cell, as the user's list shows it
    int Aspect;
    int Volume;
    const char *AspectRatio;
    int AudioVolume;
    int32_t RecordingTime;
  } Cases[] = {
      {"sample.mov", nullptr, 0, 5, "1.3333", 255, -1},
      {"sample.mov", "1920x1080", 0, 10, "1.7778", 600, -1},
      {"sample.mov", "320x0", 0, 0, "1.3333", 1, -1},
      {"sample.mov", nullptr, 2, 5, "16:9", 255, -1},
      {"audio.m4a", nullptr, 0, 5, "1.3333", 255, -1},
      {"noduration.mkv", nullptr, 1, 5, "4:3", 255, 36000000},
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
    EXPECT_EQ(ProgressCells(), std::vector<std::string>{"Done"}) << Case.File;
  }
}

// ===== What the row and the bars show =====

TEST_F(TBatchDriverTest, ProgressIsHeldAt100AndAnUnknownFrameNumberShowsABlank) {
  StartUp();
  AddFiles({MediaFile("sample.mov")});
  Form.FCurrentJob = 0;
  const struct {
    int Frame, Current, Total;
    int64_t Size;
    const char *Progress, *Frames;
    int Bar;
  } Cases[] = {
      {10, 370, 1000, 2048, "37%", "10", 37},
      {50, 1000, 1000, 4096, "100%", "50", 100},
      {60, 1500, 1000, 5000, "100%", "60", 100},
      {-1, 0, 1000, 0, "0%", " ", 0},
  };
  for (const auto &Case : Cases) {
    Form.EngineProgress({0, Case.Frame, 25, Case.Current, 2.0f, 800.0f, Case.Size, Case.Total});
    EXPECT_EQ(Form.ListView1.Cell(0, jcProgress), Case.Progress);
    EXPECT_EQ(Form.ListView1.Cell(0, jcFrames), Case.Frames);
    EXPECT_EQ(Form.StatusBar1[1], "File Size : " + std::to_string(Case.Size));
    EXPECT_EQ(Form.ProgressBar1, Case.Bar);
  }
}

TEST_F(TBatchDriverTest, RowsShowProgressWhileConvertingAndControlsAreLocked) {
  StartUp();
  TTempFolder Out("driver-locked");
  AddFiles({MediaFile("sample.mov")});
  Form.EditOutputFolder = Out.Path();
  Form.ButtonConvertClick();
  EXPECT_TRUE(Form.Converting);
  EXPECT_FALSE(Form.ControlsEnabled());
  EXPECT_FALSE(Form.MainMenuEnabled());
  EXPECT_FALSE(Form.PopupMenuEnabled());
  // Neither adding nor clearing touches the list during a batch.
  Form.ButtonAddFileClick();
  Form.ClearAllItems1Click();
  EXPECT_EQ(Form.ListView1.Count(), 1);
  ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
  EXPECT_EQ(ProgressCells(), std::vector<std::string>{"Done"});
  EXPECT_TRUE(Form.ControlsEnabled());
}

// ===== Messages before a batch =====

TEST_F(TBatchDriverTest, ConvertChecksTheListAndTheOutputFolderFirst) {
  StartUp();
  TTempFolder Out("driver-checks");
  Form.ButtonConvertClick();
  AddFiles({MediaFile("sample.mov")});
  Form.EditOutputFolder = "";
  Form.ButtonConvertClick();
  Form.EditOutputFolder = Out.File("gone");
  Form.ButtonConvertClick();
  EXPECT_EQ(Dialogs.Texts(), (std::vector<std::string>{
                                 "Please Add Files To Convert!", "Please select an output folder!",
                                 "The output folder \"" + Out.File("gone") +
                                     "\"\n\rdoes not exist or has been deleted!\n\rPlease "
                                     "choose a new output folder."}));
  for (const TShownMessage &Message : Dialogs.Messages) {
    EXPECT_EQ(Message.Caption, "Information");
    EXPECT_EQ(Message.Icon, TMsgIcon::Information);
    EXPECT_EQ(Message.Buttons, TMsgButtons::Ok);
  }
  EXPECT_EQ(Dialogs.FolderBrowses, 2);
  EXPECT_FALSE(Form.Converting);
  EXPECT_TRUE(Form.Idle());
}

TEST_F(TBatchDriverTest, ConvertIsIgnoredWhileFilesAreBeingAdded) {
  StartUp();
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
  EXPECT_FALSE(Form.FAddingFiles);
  EXPECT_EQ(Form.ListView1.Count(), 2);
  EXPECT_TRUE(Dialogs.Messages.empty());
  EXPECT_TRUE(FilesIn(Out.Path()).empty());
}

// ===== Stopping and closing =====

TEST_F(TBatchDriverTest, NoToTheStopQuestionGoesOnYesAbortsWithoutCompletionMessage) {
  StartUp();
  TTempFolder Out("driver-stop");
  AddFiles({MediaFile("sample.mov"), MediaFile("film.mp4")});
  const struct {
    TModalResult Answer;
    std::vector<std::string> Rows;
    std::vector<std::string> Messages;
  } Cases[] = {
      {TModalResult::No, {"Done", "Done"}, {"Stop all conversions?", "All Conversions Completed"}},
      {TModalResult::Yes, {"Abort", ""}, {"Stop all conversions?"}},
  };
  for (const auto &Case : Cases) {
    Dialogs.Messages.clear();
    Dialogs.Answers = {Case.Answer};
    Form.EditOutputFolder = Out.Path();
    Form.ButtonConvertClick();
    Form.ButtonStopConvertClick();
    ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
    EXPECT_EQ(ProgressCells(), Case.Rows);
    EXPECT_EQ(Dialogs.Texts(), Case.Messages);
    EXPECT_EQ(Dialogs.Messages[0].Caption, "Confirmation");
    EXPECT_EQ(Dialogs.Messages[0].Icon, TMsgIcon::Question);
    EXPECT_EQ(Dialogs.Messages[0].Buttons, TMsgButtons::YesNo);
    EXPECT_TRUE(Form.ControlsEnabled());
  }
}

TEST_F(TBatchDriverTest, StopBetweenJobsEndsTheBatchAtOnceWithoutAQuestion) {
  StartUp();
  TTempFolder Out("driver-stop-between");
  AddFiles({MediaFile("sample.mov"), MediaFile("film.mp4")});
  Form.EditOutputFolder = Out.Path();
  Form.ButtonConvertClick();
  ASSERT_TRUE(RunEventsUntil([this] { return !Form.Converting; }));
  Form.ButtonStopSmallClick();
  EXPECT_TRUE(Form.Idle());
  RunEventsUntil([] { return false; }, 0.5);
  EXPECT_EQ(ProgressCells(), (std::vector<std::string>{"Done", ""}));
  EXPECT_TRUE(Dialogs.Messages.empty());
  EXPECT_EQ(FilesIn(Out.Path()), std::vector<std::string>{"sample.mp4"});
}

TEST_F(TBatchDriverTest, ClosingIsRefusedWhileConvertingAndSavesTheSettingsAfter) {
  StartUp();
  TTempFolder Out("driver-close");
  AddFiles({MediaFile("sample.mov")});
  Form.EditOutputFolder = Out.Path();
  Form.ButtonConvertClick();
  EXPECT_FALSE(Form.FormCloseQuery());
  EXPECT_TRUE(Dialogs.Messages.empty());
  ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); }));
  EXPECT_TRUE(Form.FormCloseQuery());
  EXPECT_FALSE(Form.Engine().OnProgress);
  EXPECT_FALSE(Form.Engine().OnTerminate);
  Form.FormClose();
  EXPECT_EQ(Memory.ReadString("Output Folder"), Out.Path());
  EXPECT_EQ(Memory.ReadInteger("ComboOutputFormat"), Form.ComboOutputFormat.IndexOf(Mp4Entry));
}

}  // namespace
