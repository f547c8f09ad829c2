// A task of the component set up word by word from a converter's command line: what its dry
// run says each output would get, the log level its "-v" leaves, and the progress reports of
// a real conversion through the component, each figure in its place.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/component/convert_engine.h"
#include "tests/support/test_support.h"

namespace {

class TCommandLineTaskTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Engine.LoadAVLib("", true)) << Engine.LastErrorMsg; }

  // A new task from Words: "-i NAME" opens the generated media file NAME, "-name [value]" is
  // an option, any other word an output in the test folder. False at the first refusal.
  bool Add(const std::vector<std::string> &Words) {
    const int Task = Engine.AddTask();
    for (size_t I = 0; I < Words.size(); ++I) {
      const std::string Name = Words[I].substr(1);
      bool Applied;
      if (Words[I][0] != '-')
        Applied = Engine.AddOutputFile(Task, Folder.File(Words[I]));
      else if (!TConvertEngine::OptionTakesValue(Name))
        Applied = Engine.SetTaskOption(Task, Name, "");
      else if (Name == "i")
        Applied = Engine.AddTaskInput(Task, MediaFile(Words[++I]));
      else
        Applied = Engine.SetTaskOption(Task, Name, Words[++I]);
      if (!Applied) return false;
    }
    return true;
  }

  TTempFolder Folder{"command-line-task"};
  TConvertEngine Engine;  // last: its tasks go before the folder
};

TEST_F(TCommandLineTaskTest, DescribesWhatEachOutputWouldGet) {
  const struct {
    std::vector<std::string> Words;
    std::string Description;  // %s: the folder
  } Cases[] = {
      {{"-i", "ntsc.mp4", "-s", "176x144", "-ab", "64000", "a.avi", "-vn", "b.wav"},
       "output #0 muxer=avi file=%s/a.avi\n"
       "#0.0 video codec=mpeg4 width=176 height=144 time_base=1001/30000 pix_fmt=yuv420p "
       "bit_rate=200000\n"
       "#0.1 audio codec=libmp3lame sample_rate=48000 channels=1 bit_rate=64000\n"
       "output #1 muxer=wav file=%s/b.wav\n"
       "#1.0 audio codec=pcm_s16le sample_rate=48000 channels=1 bit_rate=64000\n"},
      {{"-i", "sample.mov", "-vcodec", "copy", "-an", "c.mov"},
       "output #0 muxer=mov file=%s/c.mov\n"
       "#0.0 video copy=1\n"},
      // No output yet: nothing to describe.
      {{"-i", "sample.mov"}, ""},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Words.back());
    ASSERT_TRUE(Add(Case.Words)) << Engine.LastErrorMsg;
    std::string Expected = Case.Description;
    for (size_t At; (At = Expected.find("%s")) != std::string::npos;)
      Expected.replace(At, 2, Folder.Path());
    EXPECT_EQ(Engine.DescribeOutputs(Engine.TaskCount() - 1), Expected);
    // Released unstarted, the tasks take their empty outputs with them.
    Engine.ClearTasks();
    EXPECT_TRUE(std::filesystem::is_empty(Folder.Path()));
  }
}

TEST_F(TCommandLineTaskTest, VerbosityBecomesTheComponentsLogLevel) {
  const struct {
    const char *Value;
    TLogLevel Level;
  } Cases[] = {{"-1", TLogLevel::llQuiet},
               {"0", TLogLevel::llError},
               {"2", TLogLevel::llDebug},
               {"3", TLogLevel::llAll},
               {"1", TLogLevel::llInfo}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Value);
    ASSERT_TRUE(Add({"-v", Case.Value}));
    EXPECT_EQ(Engine.LogLevel(), Case.Level);
  }
  // A refused value leaves the level alone.
  EXPECT_FALSE(Add({"-v", "loud"}));
  EXPECT_EQ(Engine.LogLevel(), TLogLevel::llInfo);
}

TEST_F(TCommandLineTaskTest, ProgressCarriesEachFigureInItsPlace) {
  std::mutex Lock;
  std::condition_variable Ended;
  bool RunEnded = false, Finished = false;
  std::vector<TProgressInfo> Reports;
  Engine.OnProgress = [&](int Index, const TProgressInfo &Progress) {
    std::lock_guard Guard(Lock);
    EXPECT_EQ(Index, 0);
    Reports.push_back(Progress);
  };
  Engine.OnTerminate = [&](int Index, bool TaskFinished, bool, const std::string &) {
    std::lock_guard Guard(Lock);
    if (Index == 0) Finished = TaskFinished;
    RunEnded = Index < 0;
    Ended.notify_all();
  };
  ASSERT_TRUE(Add({"-i", "sample.mov", "-vcodec", "mpeg4", "-qscale", "4", "out.avi"}))
      << Engine.LastErrorMsg;
  Engine.SetProgressInterval(100);
  Engine.StartConvert(1);
  {
    std::unique_lock Guard(Lock);
    Ended.wait(Guard, [&] { return RunEnded; });
  }
  ASSERT_TRUE(Finished);
  ASSERT_FALSE(Reports.empty());
  const int64_t Written = static_cast<int64_t>(std::filesystem::file_size(Folder.File("out.avi")));
  for (const TProgressInfo &Report : Reports) {
    // The clip lasts 2 s at 25 pictures a second.
    EXPECT_NEAR(Report.TotalOutputDuration, 2000, 50);
    EXPECT_GT(Report.CurrentDuration, 0);
    EXPECT_LE(Report.CurrentDuration, Report.TotalOutputDuration + 50);
    EXPECT_GT(Report.FrameNumber, 0);
    EXPECT_LE(Report.FrameNumber, 50);
    EXPECT_GE(Report.FPS, 0);
    EXPECT_FLOAT_EQ(Report.Quality, 4.0f);
    // Early reports may come before the muxer has written a byte.
    EXPECT_GE(Report.CurrentSize, 0);
    EXPECT_LE(Report.CurrentSize, Written);
    // kbit/s: the bytes so far over the time so far, which the milliseconds cut short.
    const double Bits = Report.CurrentSize * 8.0;
    EXPECT_GE(Report.BitRate, Bits / (Report.CurrentDuration + 1) * 0.9999);
    EXPECT_LE(Report.BitRate, Bits / Report.CurrentDuration * 1.0001);
  }
  EXPECT_EQ(Reports.back().FrameNumber, 50);
  EXPECT_GT(Reports.back().CurrentSize, 0);
}

}  // namespace
