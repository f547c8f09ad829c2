// The batch object without a window: rows converted through real engines, the stop choices, a
// pause that holds the rows and the batch's clock, and the batch's share weighted by the rows'
// durations.

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "app/batch.h"
#include "app/file_probes.h"
#include "app/library_folder.h"
#include "profiles/format_settings.h"
#include "tests/app/model_test_support.h"

namespace {

using TTexts = std::vector<std::string>;

// A clip of Seconds of small video and sound.
std::string MakeClip(const TTempFolder &Folder, const std::string &Name, int Seconds) {
  const std::string Path = Folder.File(Name);
  const std::string Length = std::to_string(Seconds);
  const TProcessResult Made =
      RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                  "testsrc=size=320x240:rate=25:duration=" + Length, "-f", "lavfi", "-i",
                  "sine=frequency=440:duration=" + Length, "-c:v", "mpeg4", "-c:a", "mp2", Path});
  EXPECT_EQ(Made.ExitStatus, 0) << Made.Errors;
  return Path;
}

// A batch as the command line sets it up: its own list, format settings and engine.
struct TBatchRig {
  explicit TBatchRig(const std::string &OutputFolder) {
    EXPECT_TRUE(Engine.LoadAVLib(ApplicationLibraryFolder(), true)) << Engine.LastErrorMsg;
    Formats.FillOutputFormatList();
    EXPECT_TRUE(Formats.ComboOutputFormat.SelectText(Mp4Entry));
    Formats.ComboOutputFormatChange();
    Settings.OutputFolder = OutputFolder;
    Timer.OnTimer = [this] { Batch.Tick(); };
    Batch.OnReadSettings = [this] { return Settings; };
    Batch.OnBatchEnded = [this](const TJobStateCounts &Counts) { Ended = Counts; };
  }

  void Add(const TTexts &Files) {
    TFileProbes Probes(Files);
    Probes.Start();
    size_t Added = 0;
    while (Added < Files.size()) {
      Probes.WaitForNext();
      for (TProbedFile &Probed : Probes.TakeReady())
        Rows.Add(ProbedJobRow(Files[Added++], Probed, Formats.FOutputType));
    }
  }

  TTexts Cells() const {
    TTexts Result;
    for (int Row = 0; Row < Rows.Count(); ++Row) Result.push_back(Rows.Cell(Row, jcProgress));
    return Result;
  }

  TConvertEngine Engine;  // outlives the events, which detach from it when they end
  TEngineEvents Events;
  TFormatSettings Formats;
  TJobList Rows;
  TQtJobTimer Timer{100};
  TJobSettings Settings;
  std::optional<TJobStateCounts> Ended;  // the batch's end event, when it came
  TBatch Batch{Rows, Formats, Timer, Events, Engine};
};

class TBatchObjectTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Clips = new TTempFolder("batch-object-clips");
    // The long one converts for long enough that a question or a pause comes in its middle.
    for (const auto &[Name, Seconds] :
         {std::pair{"one.mkv", 1}, {"two.mkv", 2}, {"four.mkv", 4}, {"long.mkv", 40}})
      MakeClip(*Clips, Name, Seconds);
  }
  static void TearDownTestSuite() { delete Clips; }
  static std::string Clip(const std::string &Name) { return Clips->File(Name); }
  static TTempFolder *Clips;
};

TTempFolder *TBatchObjectTest::Clips = nullptr;

// What the stop question's answers do to a batch whose first row is converting: the answer is
// given as the window gives it, with the batch held while it is asked.
TEST_F(TBatchObjectTest, StopChoicesEndTheRowsTheySay) {
  const struct {
    const char *Name;
    std::function<void(TBatch &)> Answer;
    TTexts Cells;
    bool EndMessage;  // the batch ran to its end and says so
  } Cases[] = {
      {"stop now", [](TBatch &Batch) { Batch.Stop(); }, {"Abort", "", ""}, false},
      {"finish the running files",
       [](TBatch &Batch) {
         Batch.FinishRunning();
         Batch.Resume();
       },
       {"Done", "", ""},
       false},
      {"skip this file",
       [](TBatch &Batch) {
         Batch.SkipRunning();
         Batch.Resume();
       },
       {"Abort", "Done", "Done"},
       true},
      {"continue", [](TBatch &Batch) { Batch.Resume(); }, {"Done", "Done", "Done"}, true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTempFolder Out("batch-object-stop");
    TBatchRig Rig(Out.Path());
    Rig.Add({Clip("long.mkv"), Clip("one.mkv"), Clip("one.mkv")});
    bool Asked = false;
    Rig.Batch.OnRowProgress = [&](int Row) {
      if (Asked || Row != 0 || Rig.Rows.Cell(0, jcProgress) == "0%") return;
      Asked = true;
      Rig.Batch.Pause();
      Rig.Batch.FAskingStop = true;
      QCoreApplication::processEvents();  // the batch stays where it is while the question is open
      Rig.Batch.FAskingStop = false;
      Case.Answer(Rig.Batch);
    };
    Rig.Batch.Start(1);
    ASSERT_TRUE(RunEventsUntil([&] { return Rig.Batch.Idle(); })) << "the batch did not end";
    EXPECT_TRUE(Asked);
    EXPECT_EQ(Rig.Cells(), Case.Cells);
    EXPECT_EQ(Rig.Ended.has_value(), Case.EndMessage);
    EXPECT_FALSE(Rig.Batch.Converting);
    // A skipped or stopped row leaves its part; no further row wrote anything.
    size_t Outputs = 0;
    for (const std::string &Cell : Case.Cells) Outputs += !Cell.empty();
    EXPECT_EQ(Out.Names().size(), Outputs) << testing::PrintToString(Out.Names());
  }
}

// A paused batch holds its running row where it is, and the time it was held counts neither as
// elapsed nor towards the time left.
TEST_F(TBatchObjectTest, APauseHoldsTheRowsAndIsNotCounted) {
  TTempFolder Out("batch-object-pause");
  TBatchRig Rig(Out.Path());
  Rig.Add({Clip("long.mkv")});
  std::string FramesWhenHeld, FramesAfterHold;
  std::chrono::steady_clock::duration Held{};
  Rig.Batch.OnRowProgress = [&](int) {
    if (Rig.Batch.Paused() || !FramesWhenHeld.empty() || Rig.Rows.Cell(0, jcFrames) == "0") return;
    Rig.Batch.Pause();
    const auto Since = std::chrono::steady_clock::now();
    // What the worker had already reported lands first.
    RunEventsUntil([] { return false; }, 0.3);
    FramesWhenHeld = Rig.Rows.Cell(0, jcFrames);
    RunEventsUntil([] { return false; }, 1.5);
    FramesAfterHold = Rig.Rows.Cell(0, jcFrames);
    EXPECT_TRUE(Rig.Batch.Paused());
    EXPECT_TRUE(Rig.Batch.Converting);
    Held = std::chrono::steady_clock::now() - Since;
    Rig.Batch.Resume();
  };
  const auto Started = std::chrono::steady_clock::now();
  Rig.Batch.Start(1);
  ASSERT_TRUE(RunEventsUntil([&] { return Rig.Batch.Idle(); }));
  const auto Wall = std::chrono::steady_clock::now() - Started;

  ASSERT_FALSE(FramesWhenHeld.empty()) << "the row never reported a frame";
  EXPECT_EQ(FramesAfterHold, FramesWhenHeld) << "the row went on while held";
  EXPECT_EQ(Rig.Cells(), TTexts{"Done"});
  EXPECT_LE(Rig.Batch.ActiveSeconds(), std::chrono::duration<double>(Wall - Held).count());
  EXPECT_GT(Rig.Batch.ActiveSeconds(), 0.0);
}

// The batch's share weighs each row by its duration: a long row done is most of the batch, a
// short one little, and a row whose duration is not known weighs as the known ones on average.
TEST_F(TBatchObjectTest, TheBatchsShareIsWeightedByTheRowsDurations) {
  const struct {
    TTexts Clips;
    int Unknown;            // the row whose "Duration" says "Unknown", -1: none
    int PercentAfterFirst;  // when the first row has ended and the others wait
  } Cases[] = {
      {{"four.mkv", "one.mkv"}, -1, 80},
      {{"one.mkv", "four.mkv"}, -1, 20},
      {{"two.mkv", "one.mkv", "one.mkv"}, -1, 50},
      // The unknown row weighs (4 + 1) / 2: 4 of 7.5 done.
      {{"four.mkv", "two.mkv", "one.mkv"}, 1, 53},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Clips.front());
    TTempFolder Out("batch-object-weights");
    TBatchRig Rig(Out.Path());
    TTexts Files;
    for (const std::string &Name : Case.Clips) Files.push_back(Clip(Name));
    Rig.Add(Files);
    if (Case.Unknown >= 0) Rig.Rows.SetCell(Case.Unknown, jcDuration, "Unknown");
    int Percent = -1;
    Rig.Batch.OnJobEnded = [&](int Row) {
      if (Row == 0) Percent = Rig.Batch.BatchPercent();
    };
    Rig.Batch.Start(1);
    ASSERT_TRUE(RunEventsUntil([&] { return Rig.Batch.Idle(); }));
    EXPECT_EQ(Percent, Case.PercentAfterFirst);
  }
}

}  // namespace
