// The background worker and its groups. The suite brings its own main(): the worker needs a
// QCoreApplication for its timer and for the delivery of its thread's end.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "worker/background_worker.h"
#include "worker/worker_group.h"

namespace {

using namespace std::chrono_literals;
using TEvents = std::vector<std::string>;

const std::thread::id MainThread = std::this_thread::get_id();

// Runs the main thread's events until Done or the time-out; false on time-out.
bool ProcessEventsUntil(const std::function<bool()> &Done, int TimeoutMs = 5000) {
  QElapsedTimer Clock;
  Clock.start();
  while (!Done()) {
    if (Clock.elapsed() > TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

void ProcessEventsFor(int Milliseconds) {
  ProcessEventsUntil([] { return false; }, Milliseconds);
}

TWorkerDataNotifyEvent On(std::function<void()> Body) {
  return [Body](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&) { Body(); };
}

// Work that loops at safe points, reporting 42 %, until released or asked to terminate.
struct TLoopingWork {
  explicit TLoopingWork(TBackgroundWorker &Worker) : Worker(Worker) {
    Worker.OnExecute = [this](TBackgroundWorkerBase *, TWorkerExecuteThread *Thread, void *&) {
      Thread->SetPercent(42);
      while (!Release && Thread->WaitWhileSuspended()) {
        ++Iterations;
        std::this_thread::sleep_for(1ms);
      }
      Returned = true;
    };
  }
  bool StartLooping() {
    Worker.Start();
    return ProcessEventsUntil([this] { return Iterations > 0; });
  }
  bool Finish() {
    Release = true;
    return ProcessEventsUntil([this] { return !Worker.Runs(); });
  }

  TBackgroundWorker &Worker;
  std::atomic<bool> Release{false}, Returned{false};
  std::atomic<int> Iterations{0};
};

void Record(TBackgroundWorkerGroup &Group, TEvents &Events) {
  auto Note = [&Events](const char *Name) {
    return On([&Events, Name] { Events.push_back(Name); });
  };
  Group.OnStart = Note("start");
  Group.OnTerminate = Note("terminate");
  Group.OnThreadStart = Note("thread start");
  Group.OnThreadTerminate = Note("thread terminate");
}

}  // namespace

TEST(WorkerRun, OnStartDoesAllTheWorkThenTerminateFollowsOnMainThread) {
  TBackgroundWorker Worker;
  Worker.SetUpdateEnabled(false);
  TEvents Events;
  int Given = 0, Replaced = 0;
  Worker.OnStart = [&](TBackgroundWorkerBase *Sender, TWorkerExecuteThread *Thread, void *&Data) {
    EXPECT_EQ(Sender, &Worker);
    EXPECT_EQ(Thread, Worker.Thread());
    EXPECT_EQ(std::this_thread::get_id(), MainThread);
    EXPECT_EQ(Data, &Given);
    Data = &Replaced;  // by reference: the thread keeps it
    Events.push_back("start");
  };
  Worker.OnTerminate = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&Data) {
    EXPECT_EQ(std::this_thread::get_id(), MainThread);
    EXPECT_EQ(Data, &Replaced);
    Events.push_back("terminate");
  };
  Worker.Start(&Given);
  EXPECT_EQ(Events, TEvents{"start"});
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Worker.Runs(); }));
  EXPECT_EQ(Events, (TEvents{"start", "terminate"}));
  EXPECT_FALSE(Worker.LastRunTerminated());
}

TEST(WorkerRun, StartWhileRunningDoesNothing) {
  TBackgroundWorker Worker;
  TLoopingWork Work(Worker);
  int Starts = 0, Data = 0;
  Worker.OnStart = On([&] {
    ++Starts;
    Worker.Start();  // the thread already exists
  });
  Worker.Start(&Data);
  TWorkerExecuteThread *Thread = Worker.Thread();
  Worker.Start(nullptr);
  EXPECT_EQ(Starts, 1);
  EXPECT_EQ(Worker.Thread(), Thread);
  EXPECT_EQ(Thread->Data, &Data);
  ASSERT_TRUE(Work.Finish());
}

// A start event that throws leaves no thread behind: the caller gets the error, the worker
// and its group no longer count as running, and the next Start runs normally.
TEST(WorkerRun, AStartEventThatThrowsLeavesTheWorkerStartable) {
  TBackgroundWorkerGroup Group;
  TEvents Events;
  Record(Group, Events);
  TBackgroundWorker Worker;
  Group.Add(&Worker);
  bool Throw = true, Executed = false, Terminated = false;
  Worker.OnStart = On([&] {
    if (Throw) throw std::runtime_error("no files");
  });
  Worker.OnExecute = On([&] { Executed = true; });
  Worker.OnTerminate = On([&] { Terminated = true; });
  EXPECT_THROW(Worker.Start(), std::runtime_error);
  EXPECT_FALSE(Worker.Runs());
  EXPECT_FALSE(Group.Runs());
  EXPECT_EQ(Events, (TEvents{"thread start", "start", "thread terminate", "terminate"}));
  ProcessEventsFor(20);  // no end of a thread that never ran arrives
  EXPECT_FALSE(Executed || Terminated);
  Throw = false;
  Worker.Start();
  ASSERT_TRUE(ProcessEventsUntil([&] { return Terminated; }));
  EXPECT_TRUE(Executed);
  EXPECT_FALSE(Worker.Runs());
}

TEST(WorkerUpdates, FollowUpdateEnabled) {
  const struct {
    const char *Name;
    bool Initially;
    std::optional<bool> SwitchedWhileRunning;
    bool ExpectUpdates;
  } Cases[] = {
      {"disabled", false, std::nullopt, false},
      {"enabled", true, std::nullopt, true},
      {"enabled while running", false, true, true},
      {"disabled while running", true, false, false},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TBackgroundWorker Worker;
    Worker.SetRefreshInterval(5);
    Worker.SetUpdateEnabled(Case.Initially);
    TLoopingWork Work(Worker);
    std::vector<int> Percents;
    Worker.OnUpdate = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&, int Percent) {
      EXPECT_EQ(std::this_thread::get_id(), MainThread);
      Percents.push_back(Percent);
    };
    Worker.Start();
    if (Case.SwitchedWhileRunning) Worker.SetUpdateEnabled(*Case.SwitchedWhileRunning);
    if (Case.ExpectUpdates)
      EXPECT_TRUE(ProcessEventsUntil([&] { return !Percents.empty() && Percents.back() == 42; }));
    else
      ProcessEventsFor(100);
    ASSERT_TRUE(Work.Finish());
    EXPECT_EQ(!Percents.empty(), Case.ExpectUpdates);
  }
}

TEST(WorkerControl, SuspendHoldsTheWorkAtASafePointAndStopEndsItEvenWhenSuspended) {
  TBackgroundWorker Worker;
  TLoopingWork Work(Worker);
  bool Ended = false;
  Worker.OnTerminate = On([&] { Ended = true; });
  ASSERT_TRUE(Work.StartLooping());
  Worker.Suspend();
  EXPECT_TRUE(Worker.Thread()->Suspended());
  // An iteration past its safe point may still finish; no further one starts.
  const int Held = Work.Iterations + 1;
  ProcessEventsFor(50);
  EXPECT_LE(Work.Iterations, Held);
  Worker.Resume();
  EXPECT_TRUE(ProcessEventsUntil([&] { return Work.Iterations > Held; }));
  Worker.Suspend();
  Worker.Stop();
  ASSERT_TRUE(ProcessEventsUntil([&] { return Ended; }));
  EXPECT_FALSE(Worker.Runs());
  EXPECT_TRUE(Worker.LastRunTerminated());
}

TEST(WorkerGroup, TwoWorkersRaiseStartOnceAndTerminateOnce) {
  TBackgroundWorkerGroup Group;
  TEvents Events;
  Record(Group, Events);
  TBackgroundWorker First, Second;
  TLoopingWork FirstWork(First), SecondWork(Second);
  Group.Add(&First);
  Group.Add(&Second);
  First.Start();
  Second.Start();
  EXPECT_EQ(Group.RunningCount(), 2);
  ASSERT_TRUE(FirstWork.Finish());
  EXPECT_EQ(Group.RunningCount(), 1);
  ASSERT_TRUE(SecondWork.Finish());
  EXPECT_FALSE(Group.Runs());
  EXPECT_EQ(Events, (TEvents{"thread start", "start", "thread start", "thread terminate",
                             "thread terminate", "terminate"}));
}

TEST(WorkerGroup, RefusesAMemberThatWouldCloseACycle) {
  TBackgroundWorkerGroup Top, Middle, Bottom;
  Top.Add(&Middle);
  Middle.Add(&Bottom);
  const struct {
    const char *Name;
    TBackgroundWorkerGroup *Group, *Member;
  } Cases[] = {
      {"itself", &Bottom, &Bottom},
      {"its own group", &Middle, &Top},
      {"a group above its group", &Bottom, &Top},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TBackgroundWorkerGroup *Before = Case.Member->ThreadGroup();
    EXPECT_THROW(Case.Group->Add(Case.Member), std::invalid_argument);
    EXPECT_EQ(Case.Member->ThreadGroup(), Before);
  }
  EXPECT_EQ(Middle.Members(), std::vector<TBackgroundWorkerBase *>{&Bottom});
  EXPECT_TRUE(Bottom.Members().empty());
}

TEST(WorkerDestroy, WhileItsThreadRunsAsksItToTerminateAndWaits) {
  TBackgroundWorkerGroup Group;
  TEvents Events;
  Record(Group, Events);
  auto Worker = std::make_unique<TBackgroundWorker>();
  TLoopingWork Work(*Worker);
  bool Terminated = false;
  Worker->OnTerminate = On([&] { Terminated = true; });
  Group.Add(Worker.get());
  ASSERT_TRUE(Work.StartLooping());
  Worker.reset();
  EXPECT_TRUE(Work.Returned);
  EXPECT_FALSE(Terminated);
  EXPECT_TRUE(Group.Members().empty());
  EXPECT_FALSE(Group.Runs());
  EXPECT_EQ(Events.back(), "terminate");
  ProcessEventsFor(20);  // nothing left to deliver to the destroyed worker
}

int main(int argc, char **argv) {
  QCoreApplication Application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
