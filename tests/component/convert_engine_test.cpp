// The engine component: its task list and option records, scheduling on the main thread and on
// workers with real conversions of a tiny clip, stop and pause, the library log as lines, and
// every catalogue entry converted through it.

#include "engine/component/convert_engine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "engine/FFMPEG/tbitmap.h"
#include "engine/binding/av_api.h"
#include "engine/component/convert_task.h"
#include "engine/component/engine_log.h"
#include "profiles/catalogue.h"
#include "profiles/format_settings.h"
#include "tests/engine/transcode_test_support.h"
#include "text/text_utils.h"

namespace {

struct TTermination {
  int Index;
  bool Finished, Exception;
  std::string Message;
  std::thread::id Thread;
  std::chrono::steady_clock::time_point At;
};

class TEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    LoadSystemLibraries();
    Clip = std::string(TARNWICK_BINARY_DIR) + "/test-media/engine-clip.mov";
    if (std::filesystem::exists(Clip)) return;
    // Made under a name of its own and renamed: test processes run side by side.
    const std::string Part = Clip + "." + std::to_string(getpid()) + ".mov";
    ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                          "testsrc=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                          "sine=frequency=440:sample_rate=44100:duration=1", "-ac", "2", "-c:v",
                          "mpeg4", "-c:a", "aac", Part})
                  .ExitStatus,
              0);
    std::filesystem::rename(Part, Clip);
  }

  void SetUp() override {
    ASSERT_TRUE(Engine.LoadAVLib("", true)) << Engine.LastErrorMsg;
    Engine.OnTerminate = [this](int Index, bool Finished, bool Exception, const std::string &Text) {
      std::lock_guard Lock(EventLock);
      Ends.push_back({Index, Finished, Exception, Text, std::this_thread::get_id(),
                      std::chrono::steady_clock::now()});
      EventChanged.notify_all();
    };
  }

  // Adds a task converting Input (the clip by default) into Name in the test folder.
  int AddTask(const std::string &Name, const std::string &Input = "") {
    const int Index = Engine.AddInputFile(Input.empty() ? Clip : Input);
    EXPECT_GE(Index, 0) << Engine.LastErrorMsg;
    TOutputOptions Options;
    Options.VideoCodec = "mpeg4";
    EXPECT_TRUE(Engine.AddOutputFile(Index, Folder.File(Name), &Options)) << Engine.LastErrorMsg;
    return Index;
  }

  // Waits for the end-of-run notice, running the event loop (main-thread mode needs it).
  bool WaitForEndOfRun(int Seconds = 30 * TARNWICK_TEST_SLOWDOWN) {
    QElapsedTimer Timer;
    Timer.start();
    if (WaitForNotice(Timer, Seconds)) return true;
    // A test that gives up must not return while workers still call handlers that capture its
    // locals: the run is stopped and its end awaited first.
    Engine.StopConvert();
    WaitForNotice(Timer, 2 * Seconds);
    return false;
  }

  bool WaitForNotice(const QElapsedTimer &Timer, int Seconds) {
    while (Timer.elapsed() < Seconds * 1000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      std::unique_lock Lock(EventLock);
      if (EventChanged.wait_for(Lock, std::chrono::milliseconds(5),
                                [this] { return !Ends.empty() && Ends.back().Index == -1; }))
        return true;
    }
    return false;
  }

  int Notices() {
    std::lock_guard Lock(EventLock);
    return static_cast<int>(std::count_if(Ends.begin(), Ends.end(),
                                          [](const TTermination &E) { return E.Index == -1; }));
  }

  static std::string Clip;
  TTempFolder Folder{"engine"};
  std::mutex EventLock;
  std::condition_variable EventChanged;
  std::vector<TTermination> Ends;
  TConvertEngine Engine;  // last: its end may still report into the members above
};
std::string TEngineTest::Clip;

TEST_F(TEngineTest, PropertiesAndTaskList) {
  EXPECT_STREQ(TConvertEngine::Version(), "2.0b");
  for (auto [Set, Read] : {std::pair{50, 100}, {100, 100}, {250, 250}}) {
    Engine.SetProgressInterval(Set);
    EXPECT_EQ(Engine.ProgressInterval(), Read);
  }
  TInputOptions Options;
  EXPECT_EQ(Engine.AddInputFile(Clip, &Options), 0);
  EXPECT_EQ(Options.FileName, Clip);  // filled into the caller's record
  AddTask("b.avi");
  AddTask("c.avi");
  Engine.RemoveTask(0);
  ASSERT_EQ(Engine.Tasks().Count(), 2);
  EXPECT_EQ(Engine.Tasks().Items(0).Index, 0);
  EXPECT_EQ(Engine.Tasks().Items(1).Index, 1);
  EXPECT_THROW(Engine.Tasks().Items(2), std::out_of_range);
  EXPECT_EQ(Engine.AddInputFile(MediaFile("clip.mov")), -1);
  EXPECT_FALSE(Engine.LastErrorMsg.empty());
  Engine.ClearTasks();
  EXPECT_EQ(Engine.Tasks().Count(), 0);
  EXPECT_TRUE(Engine.LastErrorMsg.empty());
}

TEST_F(TEngineTest, RecordsReachTheTask) {
  TInputOptions Input;
  Input.ExtOptions = "re\r\nitsoffset=2";
  const int Index = Engine.AddInputFile(Clip, &Input);
  ASSERT_EQ(Index, 0) << Engine.LastErrorMsg;
  const TFFmpeg &Task = Engine.Tasks().Items(0);
  EXPECT_EQ(Task.Options().FInputTsOffset, 2000000);
  EXPECT_EQ(Task.FInputFiles[0]->RateEmu, 1);

  TOutputOptions Output;
  Output.HookRanges = "1000-2000, 500-800, 3000-100";
  Output.AudioTag = "abc";  // a tag has four characters
  EXPECT_FALSE(Engine.AddOutputFile(Index, Folder.File("tag.avi"), &Output));
  Output.AudioTag.clear();
  ASSERT_TRUE(Engine.AddOutputFile(Index, Folder.File("ranges.avi"), &Output));
  ASSERT_EQ(Task.FHookSettings.Ranges.size(), 2u);
  EXPECT_EQ(Task.FHookSettings.Ranges[0].Start, 500000);
  EXPECT_EQ(Task.FHookSettings.Ranges[0].Stop, 800000);
  EXPECT_EQ(Task.FHookSettings.Ranges[1].Start, 1000000);
  EXPECT_EQ(Task.FHookSettings.Ranges[1].Stop, 2000000);
  EXPECT_EQ(Task.FHookSettings.RangeCount, 2);
}

// Worker count 0: one task after another on the main thread, each 100 ms after the last.
TEST_F(TEngineTest, MainThreadModeRunsTasksOneAfterAnother) {
  for (const char *Name : {"a.avi", "b.avi", "c.avi"}) AddTask(Name);
  const auto Started = std::chrono::steady_clock::now();
  Engine.StartConvert(0);
  EXPECT_TRUE(Ends.empty());  // nothing runs before the event loop does
  ASSERT_TRUE(WaitForEndOfRun());
  ASSERT_EQ(Ends.size(), 4u);
  for (int I = 0; I < 3; ++I) {
    EXPECT_EQ(Ends[I].Index, I);
    EXPECT_TRUE(Ends[I].Finished);
    EXPECT_EQ(Ends[I].Thread, std::this_thread::get_id());
  }
  EXPECT_GE(Ends[0].At - Started, std::chrono::milliseconds(100));
  EXPECT_EQ(Ends[3].Index, -1);
}

// Two workers: two tasks at once, the third after one of them; one end-of-run notice.
TEST_F(TEngineTest, WorkersRunTasksTwoAtATime) {
  std::set<int> Running;
  size_t MostAtOnce = 0;
  bool Waited = false;
  std::mutex RunningLock;
  std::condition_variable RunningChanged;
  // The first task to reach its picture hook waits there until another one reaches its own
  // (hooks run outside the component's event lock), so a loaded machine cannot end the first
  // before the second starts; a single worker would never meet one.
  Engine.OnCustomHook = [&](int Index, TBitmap *, int, int64_t, bool &, bool &) {
    std::unique_lock Lock(RunningLock);
    Running.insert(Index);
    MostAtOnce = std::max(MostAtOnce, Running.size());
    RunningChanged.notify_all();
    if (Waited) return;
    Waited = true;
    RunningChanged.wait_for(Lock, std::chrono::seconds(20 * TARNWICK_TEST_SLOWDOWN),
                            [&] { return Running.size() >= 2; });
  };
  // What the third task was doing when each of the first two ended.
  std::vector<bool> ThirdIdleAtEnd;
  auto Ended = Engine.OnTerminate;
  Engine.OnTerminate = [&](int Index, bool Finished, bool Exception, const std::string &Text) {
    {
      std::lock_guard Lock(RunningLock);
      Running.erase(Index);
    }
    {
      std::lock_guard Lock(EventLock);
      if (Index == 0 || Index == 1) {
        const TFFmpeg &Third = Engine.Tasks().Items(2);
        ThirdIdleAtEnd.push_back(!Third.FRunning && !Third.FTerminated);
      }
    }
    Ended(Index, Finished, Exception, Text);
  };
  TInputOptions Slow;  // at the clip's own pace: a second each
  Slow.ExtOptions = "re";
  for (const char *Name : {"a.avi", "b.avi", "c.avi"}) {
    const int Index = Engine.AddInputFile(Clip, &Slow);
    TOutputOptions Options;
    Options.CustomHook = true;
    ASSERT_TRUE(Engine.AddOutputFile(Index, Folder.File(Name), &Options));
  }
  Engine.StartConvert(2);
  ASSERT_TRUE(WaitForEndOfRun());
  EXPECT_EQ(Notices(), 1);
  EXPECT_EQ(MostAtOnce, 2u);
  ASSERT_EQ(Ends.size(), 4u);
  std::set<int> Indexes;
  for (int I = 0; I < 3; ++I) {
    Indexes.insert(Ends[I].Index);
    EXPECT_TRUE(Ends[I].Finished);
    EXPECT_NE(Ends[I].Thread, std::this_thread::get_id());
  }
  EXPECT_EQ(Indexes, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(Ends[3].Index, -1);
  // The third starts when one of the first two ends, in whichever order they end: not before
  // the first end, and already by the second.
  EXPECT_EQ(ThirdIdleAtEnd, (std::vector<bool>{true, false}));
}

// A stop that lands while a task is ending, again and again: each run still delivers exactly
// one end of its task and one end-of-run notice.
TEST_F(TEngineTest, StopsAtTheEndNeverDeliverASecondTermination) {
  constexpr int Runs = 300;
  for (int Run = 0; Run < Runs; ++Run) {
    SCOPED_TRACE(Run);
    Ends.clear();
    AddTask("stop" + std::to_string(Run) + ".avi", MediaFile("raw.avi"));
    Engine.StartConvert(1);
    // Stops from the first moment until the notice: some land mid-run, many while it ends.
    while (Notices() == 0) {
      Engine.StopConvert();
      std::this_thread::yield();
    }
    Engine.ClearTasks();  // waits for every thread that could still deliver an end
    ASSERT_EQ(Ends.size(), 2u);
    EXPECT_EQ(Ends[0].Index, 0);
    EXPECT_FALSE(Ends[0].Exception) << Ends[0].Message;
    EXPECT_EQ(Ends[1].Index, -1);
  }
}

// The window swaps its handlers while a worker raises events: every swap is safe and the run
// ends as usual.
TEST_F(TEngineTest, EventsChangedWhileATaskRaisesThem) {
  std::atomic<int> Calls{0}, RunEnds{0}, TaskEnds{0};
  auto Count = [&Calls](auto &&...) { ++Calls; };
  auto Terminate = [&](int Index, bool, bool, const std::string &) {
    ++(Index < 0 ? RunEnds : TaskEnds);
  };
  Engine.SetProgressInterval(100);
  TInputOptions Slow;
  Slow.ExtOptions = "re";
  const int Index = Engine.AddInputFile(Clip, &Slow);
  TOutputOptions Options;
  Options.CustomHook = true;
  ASSERT_TRUE(Engine.AddOutputFile(Index, Folder.File("swapped.avi"), &Options));
  Engine.ChangeEvents([&] { Engine.OnTerminate = Terminate; });
  Engine.StartConvert(1);
  for (int Swap = 0; RunEnds == 0; ++Swap) {
    const bool Set = Swap % 3 != 2;
    Engine.ChangeEvents([&] {
      Engine.OnLog = Set ? decltype(Engine.OnLog)(Count) : nullptr;
      Engine.OnProgress = Set ? decltype(Engine.OnProgress)(Count) : nullptr;
      Engine.OnCustomHook = Set ? decltype(Engine.OnCustomHook)(Count) : nullptr;
      Engine.OnBeforeHook = Set ? decltype(Engine.OnBeforeHook)(Count) : nullptr;
      Engine.OnTerminate = Terminate;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Engine.ClearTasks();
  EXPECT_EQ(TaskEnds, 1);
  EXPECT_EQ(RunEnds, 1);
  EXPECT_GT(Calls, 0);
}

// The custom hook runs without the bitmap's lock: a handler may lock it itself, or hand the
// bitmap to another thread that does, and every picture still passes.
TEST_F(TEngineTest, HookHandlersThatLockTheBitmapComplete) {
  const struct {
    const char *Name;
    std::function<void(TBitmap &)> Draw;
  } Cases[] = {
      {"locked on the hook's thread",
       [](TBitmap &Bitmap) {
         TBitmapLock Lock(Bitmap);
         Bitmap.ScanLine(0)[0] = 255;
       }},
      {"locked on another thread",
       [](TBitmap &Bitmap) {
         std::thread([&Bitmap] {
           TBitmapLock Lock(Bitmap);
           Bitmap.ScanLine(0)[0] = 255;
         }).join();
       }},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Ends.clear();
    Engine.ClearTasks();
    std::atomic<int> Pictures{0};
    Engine.OnCustomHook = [&](int, TBitmap *Bitmap, int, int64_t, bool &Update, bool &) {
      Case.Draw(*Bitmap);
      Update = true;
      ++Pictures;
    };
    const int Index = Engine.AddInputFile(MediaFile("raw.avi"));
    TOutputOptions Options;
    Options.VideoCodec = "mpeg4";
    Options.CustomHook = true;
    ASSERT_TRUE(
        Engine.AddOutputFile(Index, Folder.File(std::string(Case.Name) + ".avi"), &Options));
    Engine.StartConvert(1);
    ASSERT_TRUE(WaitForEndOfRun());
    ASSERT_EQ(Ends.size(), 2u);
    EXPECT_TRUE(Ends[0].Finished) << Ends[0].Message;
    EXPECT_EQ(Pictures, 5);  // 0.2 s at 25 pictures a second
  }
}

// Main-thread mode: a start timer that fires after its run was stopped or its list changed
// starts nothing, in particular not the task now at its index.
TEST_F(TEngineTest, StaleStartTimersStartNothing) {
  const struct {
    const char *Name;
    int Tasks;
    std::function<void(TConvertEngine &)> Between;
    size_t EndsDelivered;
  } Cases[] = {
      {"stopped, then cleared", 1,
       [](TConvertEngine &E) {
         E.StopConvert();
         E.ClearTasks();
       },
       2},
      {"cleared", 1, [](TConvertEngine &E) { E.ClearTasks(); }, 0},
      {"first task removed", 2, [](TConvertEngine &E) { E.RemoveTask(0); }, 0},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Engine.ClearTasks();
    Ends.clear();
    for (int Task = 0; Task < Case.Tasks; ++Task)
      AddTask(std::string(Case.Name) + std::to_string(Task) + ".avi", MediaFile("raw.avi"));
    Engine.StartConvert(0);
    Case.Between(Engine);
    if (Engine.Tasks().Count() == 0) AddTask(std::string(Case.Name) + "-new.avi");
    // Well past the 100 ms of a start timer.
    QElapsedTimer Timer;
    Timer.start();
    while (Timer.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const TFFmpeg &Waiting = Engine.Tasks().Items(0);
    EXPECT_FALSE(Waiting.FRunning || Waiting.FTerminated);
    EXPECT_EQ(Ends.size(), Case.EndsDelivered);
  }
}

TEST_F(TEngineTest, NothingToStartRaisesNothing) {
  Engine.StartConvert(1);
  Engine.StopConvert();
  QCoreApplication::processEvents();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  QCoreApplication::processEvents();
  EXPECT_TRUE(Ends.empty());
}

// Stop with one running and two pending: the pending ones still end, not finished; one notice;
// a stop after the end raises nothing more.
TEST_F(TEngineTest, StopEndsRunningAndPendingTasks) {
  TInputOptions Slow;
  Slow.ExtOptions = "re";
  for (const char *Name : {"a.avi", "b.avi", "c.avi"}) {
    const int Index = Engine.AddInputFile(Clip, &Slow);
    TOutputOptions Options;
    ASSERT_TRUE(Engine.AddOutputFile(Index, Folder.File(Name), &Options));
  }
  Engine.StartConvert(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Engine.PauseConvert();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Engine.StopConvert();
  ASSERT_TRUE(WaitForEndOfRun());
  ASSERT_EQ(Ends.size(), 4u);
  int Stopped = 0;
  for (int I = 0; I < 3; ++I) Stopped += !Ends[I].Finished && !Ends[I].Exception;
  EXPECT_EQ(Stopped, 3);
  EXPECT_EQ(Ends[3].Index, -1);
  Engine.StopConvert();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Ends.size(), 4u);
}

// A task stopped after its header but before its first packet has nothing playable: it
// leaves no file behind and tells no output name.
TEST_F(TEngineTest, AStopBeforeTheFirstPacketLeavesNoFile) {
  const int Index = AddTask("early.avi");
  std::atomic<bool> Held{false};
  Engine.OnLog = [this, &Held](int AIndex, TLogLevel, const std::string &Msg) {
    // Set-up is over; the loop waits at its first turn, before reading a packet.
    if (AIndex >= 0 && !Held && Msg.find("Stream mapping") != std::string::npos) {
      Engine.Tasks().Items(AIndex).Pause();
      Held = true;
    }
  };
  Engine.StartConvert(1);
  QElapsedTimer Timer;
  Timer.start();
  while (!Held && Timer.elapsed() < 20000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(Held);
  Engine.StopConvert();
  ASSERT_TRUE(WaitForEndOfRun());
  ASSERT_GE(Ends.size(), 1u);
  EXPECT_FALSE(Ends[0].Finished);
  EXPECT_FALSE(Ends[0].Exception) << Ends[0].Message;
  EXPECT_EQ(Engine.OutputFileName(Index, 0), "");
  EXPECT_EQ(Folder.Names(), std::vector<std::string>{});
}

TEST_F(TEngineTest, DestroyingTheComponentWaitsForItsTasks) {
  std::vector<int> Ended;
  std::mutex Lock;
  {
    TConvertEngine Local;
    Local.OnTerminate = [&](int Index, bool, bool, const std::string &) {
      std::lock_guard Guard(Lock);
      Ended.push_back(Index);
    };
    TInputOptions Slow;
    Slow.ExtOptions = "re";
    for (const char *Name : {"a.avi", "b.avi"}) {
      const int Index = Local.AddInputFile(Clip, &Slow);
      TOutputOptions Options;
      ASSERT_TRUE(Local.AddOutputFile(Index, Folder.File(Name), &Options));
    }
    Local.StartConvert(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::sort(Ended.begin(), Ended.end());
  EXPECT_EQ(Ended, (std::vector<int>{-1, 0, 1}));
}

// The library log arrives in pieces per thread and leaves as lines with the object's prefix.
TEST_F(TEngineTest, LogPiecesBecomeLinesPerThread) {
  std::vector<std::pair<int, std::string>> Lines;
  std::mutex Lock;
  Engine.OnLog = [&](int Index, TLogLevel, const std::string &Text) {
    std::lock_guard Guard(Lock);
    Lines.emplace_back(Index, Text);
  };
  AVCodecContext *Object = av::avcodec_alloc_context3(nullptr);
  std::thread Other([] {
    AssembleLogText(nullptr, AV_LOG_ERROR, "x\ny");
    AssembleLogText(nullptr, AV_LOG_ERROR, "z\n");
  });
  AssembleLogText(Object, AV_LOG_ERROR, "abc");
  Other.join();
  AssembleLogText(Object, AV_LOG_ERROR, "def\n");
  av::avcodec_free_context(&Object);
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0], std::make_pair(-1, std::string("x")));
  EXPECT_EQ(Lines[1], std::make_pair(-1, std::string("yz")));
  EXPECT_EQ(Lines[2].first, -1);
  EXPECT_EQ(Lines[2].second.find("[NULL @ "), 0u);
  EXPECT_EQ(Lines[2].second.substr(Lines[2].second.size() - 7), "]abcdef");
}

// Every catalogue entry's default settings convert through the component.
TEST_F(TEngineTest, EveryCatalogueEntryConverts) {
  auto CodecName = [](const std::string &Encoder) -> std::string {
    if (Encoder == "libfaac") return "aac";
    if (Encoder == "vorbis") return "vorbis";
    const AVCodec *Codec = av::avcodec_find_encoder_by_name(Encoder.c_str());
    return Codec ? av::avcodec_get_name(Codec->id) : Encoder;
  };
  const std::span<const TCatalogueEntry> Catalogue = OutputFormatCatalogue();
  int Converted = 0;
  for (size_t Position = 0; Position < Catalogue.size(); ++Position) {
    const TCatalogueEntry &Entry = Catalogue[Position];
    if (IsSeparator(Entry.Text)) continue;
    SCOPED_TRACE(Entry.Text);
    TFormatSettings Settings;
    Settings.FillOutputFormatList();
    Settings.ComboOutputFormat.SetItemIndex(static_cast<int>(Position));
    Settings.ComboOutputFormatChange();
    TOutputOptions Options;
    Settings.SetJobOptions(Options);
    Options.FrameRate = Settings.GetFrameRateText(Options);
    Options.AudioVolume = 255;
    Options.AspectRatio = "1.3333";
    const std::string Output =
        Folder.File("entry" + std::to_string(Position) + "." + LowerCaseText(Entry.OutputType));
    Ends.clear();
    Engine.ClearTasks();
    const int Index = Engine.AddInputFile(Clip);
    ASSERT_GE(Index, 0);
    ASSERT_TRUE(Engine.AddOutputFile(Index, Output, &Options)) << Engine.LastErrorMsg;
    Engine.StartConvert(1);
    ASSERT_TRUE(WaitForEndOfRun());
    ASSERT_EQ(Ends.size(), 2u);
    EXPECT_TRUE(Ends[0].Finished) << Ends[0].Message;
    const TProbedFile File = Probe(Output);
    ASSERT_FALSE(File.FormatName.empty());
    const TProbedStream *Video = File.First("video");
    EXPECT_EQ(Video != nullptr, !Options.DisableVideo);
    if (Video && !Options.VideoCodec.empty()) {
      EXPECT_EQ(Video->at("codec_name"), CodecName(Options.VideoCodec));
    }
    const TProbedStream *Audio = File.First("audio");
    ASSERT_TRUE(Audio);
    if (!Options.AudioCodec.empty() && Options.AudioCodec != "libamr_nb") {
      EXPECT_EQ(Audio->at("codec_name"), CodecName(Options.AudioCodec));
    }
    ++Converted;
  }
  EXPECT_EQ(Converted, 54);
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication Application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
