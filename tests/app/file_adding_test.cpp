// Adding files to the job list the fast way: the probing threads give every kind of file the
// cells of the one-by-one probe, in the chosen order; repeats are skipped wherever they stand;
// Exit stops an adding; the list appends a batch of rows with one notification.

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>

#include "app/file_probes.h"
#include "app/job_cells.h"
#include "engine/component/av_probe.h"
#include "tests/app/model_test_support.h"

namespace {

using TTexts = std::vector<std::string>;

// Size, frame rate, duration and progress cells of a row, joined by "|".
std::string CellsText(const TJobRow &Row) {
  return Row.SubItems[jcVideoSize] + "|" + Row.SubItems[jcFrameRate] + "|" +
         Row.SubItems[jcDuration] + "|" + Row.SubItems[jcProgress];
}

// The same cells as one probe gives them, one file after the other.
std::string OneByOneCells(TAVProbe &Probe, const std::string &File) {
  if (!Probe.LoadFile(File, "")) return "|||Error";
  const TJobCells Cells = ProbedJobCells(Probe);
  return Cells.VideoSize + "|" + Cells.FrameRate + "|" + Cells.Duration + "|";
}

// Every kind of input the list meets; Expected is empty where only the one-by-one probe is the
// reference.
const struct {
  const char *Source;
  const char *Expected;
} Kinds[] = {
    {"sample.mov", "320x240|25|00:00:02|"},
    {"ntsc.mp4", "320x240|29.97|00:00:02|"},
    {"film.mp4", "176x144|23.98|00:00:02|"},
    {"audio.m4a", " | |00:00:03|"},
    {"clip.mov", "|||Error"},
    {"truncated.mov", "|||Error"},
    {"Größe und Länge é.mov", "320x240|25|00:00:02|"},
    {"noduration.mkv", ""},
    {"subtitled.mkv", ""},
    {"wide.mp4", ""},
    {"raw.avi", ""},
    {"programs.ts", ""},
    {"", "|||Error"},  // a file that is not there
};

// Copies of every kind, interleaved, under distinct names; Rounds copies of each.
TTexts MixedList(const TTempFolder &Folder, int Rounds) {
  TTexts Files;
  for (int Round = 0; Round < Rounds; ++Round)
    for (size_t Kind = 0; Kind < std::size(Kinds); ++Kind) {
      const std::string Name = std::to_string(Round) + "-" + std::to_string(Kind) + "-" +
                               (*Kinds[Kind].Source ? Kinds[Kind].Source : "missing.mov");
      if (*Kinds[Kind].Source)
        Files.push_back(CopyMedia(Folder.Path(), Name, Kinds[Kind].Source));
      else
        Files.push_back(Folder.File(Name));
    }
  return Files;
}

class TFileAddingTest : public TModelFixture {
 protected:
  TTexts Captions() const {
    TTexts Result;
    for (int Row = 0; Row < Form.ListView1.Count(); ++Row)
      Result.push_back(Form.ListView1.Row(Row).Caption);
    return Result;
  }
  TTempFolder In{"file-adding"};
};

TEST_F(TFileAddingTest, AMixedListGetsTheOneByOneCellsInTheChosenOrder) {
  const TTexts Files = MixedList(In, 6);
  AddFiles(Files);
  ASSERT_EQ(Captions(), Files);
  TAVProbe Probe;
  for (size_t Row = 0; Row < Files.size(); ++Row) {
    SCOPED_TRACE(Files[Row]);
    const TJobRow &Added = Form.ListView1.Row(static_cast<int>(Row));
    const char *Expected = Kinds[Row % std::size(Kinds)].Expected;
    if (*Expected) {
      EXPECT_EQ(CellsText(Added), Expected);
    }
    EXPECT_EQ(CellsText(Added), OneByOneCells(Probe, Files[Row]));
    const bool Error = Added.SubItems[jcProgress] == "Error";
    EXPECT_EQ(Added.SubItems[jcOutput], Error ? "" : Form.FOutputType);
    EXPECT_TRUE(Added.Checked);
    EXPECT_EQ(Added.SubItems[jcFrames] + Added.SubItems[jcFrames + 1], "");
  }
}

// The probing threads may finish in any order and any number; the results never move.
TEST(FileProbesTest, ResultsComeInTheFilesOrderWhateverTheThreadCount) {
  LoadSystemLibraries();
  TTempFolder Folder("file-probes");
  const TTexts Files = MixedList(Folder, 3);
  TAVProbe Probe;
  TTexts Expected;
  for (const std::string &File : Files) Expected.push_back(OneByOneCells(Probe, File));
  for (const unsigned Threads : {1u, 2u, 5u, 64u}) {
    SCOPED_TRACE(Threads);
    TFileProbes Probes(Files);
    Probes.Start(Threads);
    TTexts Got;
    while (!Probes.AllTaken()) {
      Probes.WaitForNext();
      for (const TProbedFile &Probed : Probes.TakeReady()) {
        ASSERT_NE(Probed.Outcome, TProbeOutcome::Raised);
        Got.push_back(Probed.Outcome == TProbeOutcome::Readable
                          ? Probed.Cells.VideoSize + "|" + Probed.Cells.FrameRate + "|" +
                                Probed.Cells.Duration + "|"
                          : "|||Error");
      }
    }
    EXPECT_EQ(Got, Expected);
  }
}

TEST_F(TFileAddingTest, RepeatsAreSkippedWhereverTheyStandInALargeList) {
  TTexts First, Second;
  for (int Index = 0; Index < 40; ++Index)
    First.push_back(CopyMedia(In.Path(), "a" + std::to_string(Index) + ".mov"));
  TTexts Expected = First;
  for (int Index = 0; Index < 30; ++Index) {
    const std::string File =
        CopyMedia(In.Path(), "b" + std::to_string(Index) + ".m4a", "audio.m4a");
    Second.push_back(File);
    Expected.push_back(File);
    // Already listed, and twice in this very list.
    if (Index % 3 == 0) Second.push_back(First[Index]);
    if (Index % 5 == 0) Second.push_back(File);
  }
  const struct {
    const TTexts &Files;
    size_t Rows;
    const char *Note;
  } Steps[] = {
      {First, 40, ""},
      {Second, 70, "16 files were already in the list and were skipped"},
  };
  for (const auto &Step : Steps) {
    AddFiles(Step.Files);
    EXPECT_EQ(Form.ListView1.Count(), static_cast<int>(Step.Rows));
    EXPECT_EQ(Form.StatusBar1[0], Step.Note);
  }
  EXPECT_EQ(Captions(), Expected);
}

TEST_F(TFileAddingTest, ExitWhileAddingAppendsNoFurtherRowAndTheNextAddStartsAfresh) {
  const TTexts Files = MixedList(In, 4);
  int RowsAtExit = -1;
  bool Terminated = false;
  Form.OnTerminateApplication = [&Terminated] { Terminated = true; };
  Dialogs.OnOpenFiles = [this, &RowsAtExit] {
    QTimer::singleShot(0, [this, &RowsAtExit] {
      RowsAtExit = Form.ListView1.Count();
      Form.Exit1Click();
    });
  };
  AddFiles(Files);
  Dialogs.OnOpenFiles = nullptr;
  EXPECT_TRUE(Terminated);
  ASSERT_GE(RowsAtExit, 0) << "the event loop never turned while adding";
  ASSERT_LT(RowsAtExit, static_cast<int>(Files.size()));
  EXPECT_EQ(Form.ListView1.Count(), RowsAtExit);
  EXPECT_FALSE(Form.FAddingFiles);

  AddFiles(Files);
  EXPECT_EQ(Captions(), Files);
}

TJobRow RowOf(const char *Caption) {
  TJobRow Row;
  Row.Caption = Caption;
  return Row;
}

TEST(JobListTest, ABatchOfRowsIsAppendedInOrderWithOneNotification) {
  const struct {
    bool ViewTakesAppends;
    TTexts Notes;
  } Cases[] = {
      {true, {"appended from 1"}},
      {false, {"changed -1"}},
  };
  for (const auto &Case : Cases) {
    TJobList List;
    List.Add(RowOf("first"));
    TTexts Notes;
    List.OnChange = [&Notes](int Row) { Notes.push_back("changed " + std::to_string(Row)); };
    if (Case.ViewTakesAppends)
      List.OnRowsAppended = [&Notes](int First) {
        Notes.push_back("appended from " + std::to_string(First));
      };
    List.Add(std::vector<TJobRow>{});
    List.Add(std::vector<TJobRow>{RowOf("second"), RowOf("third")});
    EXPECT_EQ(Notes, Case.Notes);
    ASSERT_EQ(List.Count(), 3);
    EXPECT_EQ(List.Row(1).Caption + List.Row(2).Caption, "secondthird");
  }
}

}  // namespace
