// The background worker and its groups: where each event runs, starting twice, updates,
// cooperative stop, suspend and resume, group counting and cycles, and destroying a worker
// whose thread still runs. The suite brings its own main(): the worker needs a
// QCoreApplication for its timer and for the delivery of its thread's end.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "worker/background_worker.h"
#include "worker/worker_group.h"

namespace {

using namespace std::chrono_literals;

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
  QElapsedTimer Clock;
  Clock.start();
  ProcessEventsUntil([&] { return Clock.elapsed() >= Milliseconds; }, Milliseconds + 1000);
}

// Work that loops at safe points until released or asked to terminate.
struct TLoopingWork {
  std::atomic<bool> Release{false};
  std::atomic<int> Iterations{0};
  std::atomic<bool> Returned{false};
  void Attach(TBackgroundWorker &Worker) {
    Worker.OnExecute = [this](TBackgroundWorkerBase *, TWorkerExecuteThread *Thread, void *&) {
      while (!Release && Thread->WaitWhileSuspended()) {
        ++Iterations;
        std::this_thread::sleep_for(1ms);
      }
      Returned = true;
    };
  }
};

const std::thread::id MainThread = std::this_thread::get_id();

}  // namespace

// ===== One run: where the events run =====

TEST(WorkerRun, OnStartDoesAllTheWorkThenTheThreadEndsAndTerminateFollowsOnMainThread) {
  TBackgroundWorker Worker;
  Worker.SetUpdateEnabled(false);
  std::vector<std::string> Events;
  std::thread::id TerminateThread;
  int Given = 0, Replaced = 0;
  void *Seen = nullptr;
  Worker.OnStart = [&](TBackgroundWorkerBase *Sender, TWorkerExecuteThread *Thread, void *&Data) {
    EXPECT_EQ(Sender, &Worker);
    EXPECT_EQ(Thread, Worker.Thread());
    EXPECT_EQ(std::this_thread::get_id(), MainThread);
    EXPECT_EQ(Data, &Given);
    Data = &Replaced;  // by reference: the thread keeps it
    Events.push_back("start");
  };
  Worker.OnTerminate = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&Data) {
    TerminateThread = std::this_thread::get_id();
    Seen = Data;
    Events.push_back("terminate");
  };
  Worker.Start(&Given);
  EXPECT_EQ(Events, std::vector<std::string>{"start"});  // inside Start, to completion
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Worker.Runs(); }));
  EXPECT_EQ(Events, (std::vector<std::string>{"start", "terminate"}));
  EXPECT_EQ(TerminateThread, MainThread);
  EXPECT_EQ(Seen, &Replaced);
  EXPECT_FALSE(Worker.LastRunTerminated());
}

TEST(WorkerRun, StartWhileRunningDoesNothing) {
  TBackgroundWorker Worker;
  TLoopingWork Work;
  Work.Attach(Worker);
  int Starts = 0;
  Worker.OnStart = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&) {
    ++Starts;
    Worker.Start();  // from inside OnStart: the thread already exists
  };
  int Data = 0;
  Worker.Start(&Data);
  TWorkerExecuteThread *Thread = Worker.Thread();
  Worker.Start(nullptr);
  EXPECT_EQ(Starts, 1);
  EXPECT_EQ(Worker.Thread(), Thread);
  EXPECT_EQ(Thread->Data, &Data);
  Work.Release = true;
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Worker.Runs(); }));
}

// ===== Updates =====

TEST(WorkerUpdates, FollowUpdateEnabled) {
  struct TCase {
    const char *Name;
    bool Initially;
    std::optional<bool> SwitchedWhileRunning;
    bool ExpectUpdates;
  };
  const TCase Cases[] = {
      {"disabled", false, std::nullopt, false},
      {"enabled", true, std::nullopt, true},
      {"enabled while running", false, true, true},
      {"disabled while running", true, false, false},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TBackgroundWorker Worker;
    Worker.SetRefreshInterval(5);
    Worker.SetUpdateEnabled(Case.Initially);
    TLoopingWork Work;
    Worker.OnExecute = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *Thread, void *&) {
      Thread->SetPercent(42);
      while (!Work.Release) std::this_thread::sleep_for(1ms);
    };
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
    Work.Release = true;
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Worker.Runs(); }));
    EXPECT_EQ(!Percents.empty(), Case.ExpectUpdates);
  }
}

// ===== Stop, suspend, resume, priority =====

TEST(WorkerControl, StopIsARequestTheWorkHonours) {
  enum class TAction { None, Stop, SuspendThenStop };
  struct TCase {
    const char *Name;
    TAction Action;
    bool Terminated;
  };
  const TCase Cases[] = {
      {"ends by itself", TAction::None, false},
      {"stopped", TAction::Stop, true},
      {"stopped while suspended", TAction::SuspendThenStop, true},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TBackgroundWorker Worker;
    TLoopingWork Work;
    Work.Attach(Worker);
    bool Ended = false;
    Worker.OnTerminate = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&) {
      Ended = true;
    };
    Worker.Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Work.Iterations > 0; }));
    if (Case.Action == TAction::SuspendThenStop) Worker.Suspend();
    if (Case.Action == TAction::None)
      Work.Release = true;
    else
      Worker.Stop();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Ended; }));
    EXPECT_FALSE(Worker.Runs());
    EXPECT_EQ(Worker.LastRunTerminated(), Case.Terminated);
  }
}

TEST(WorkerControl, SuspendHoldsTheWorkAtItsNextSafePointUntilResume) {
  TBackgroundWorker Worker;
  TLoopingWork Work;
  Work.Attach(Worker);
  Worker.Start();
  ASSERT_TRUE(ProcessEventsUntil([&] { return Work.Iterations > 0; }));
  Worker.Suspend();
  EXPECT_TRUE(Worker.Thread()->Suspended());
  // An iteration past its safe point may still finish; no further one starts.
  const int Held = Work.Iterations + 1;
  ProcessEventsFor(50);
  EXPECT_LE(Work.Iterations, Held);
  Worker.Resume();
  EXPECT_TRUE(ProcessEventsUntil([&] { return Work.Iterations > Held; }));
  Work.Release = true;
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Worker.Runs(); }));
  EXPECT_FALSE(Worker.LastRunTerminated());
}

// ===== Groups =====

namespace {

// Records a group's events by name and sender.
struct TGroupLog {
  std::vector<std::string> Events;
  void Attach(TBackgroundWorkerGroup &Group, const std::string &Prefix = "") {
    auto Record = [this, Prefix](const char *Name) {
      return [this, Prefix, Name](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&) {
        Events.push_back(Prefix + Name);
      };
    };
    Group.OnStart = Record("start");
    Group.OnTerminate = Record("terminate");
    Group.OnThreadStart = Record("thread start");
    Group.OnThreadTerminate = Record("thread terminate");
  }
};

}  // namespace

TEST(WorkerGroup, TwoWorkersRaiseStartOnceAndTerminateOnce) {
  TBackgroundWorkerGroup Group;
  TBackgroundWorker First, Second;
  TLoopingWork FirstWork, SecondWork;
  FirstWork.Attach(First);
  SecondWork.Attach(Second);
  Group.Add(&First);
  Group.Add(&Second);
  TGroupLog Log;
  Log.Attach(Group);
  First.Start();
  Second.Start();
  EXPECT_EQ(Group.RunningCount(), 2);
  EXPECT_TRUE(Group.Runs());
  FirstWork.Release = true;
  ASSERT_TRUE(ProcessEventsUntil([&] { return !First.Runs(); }));
  EXPECT_EQ(Group.RunningCount(), 1);
  SecondWork.Release = true;
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Second.Runs(); }));
  EXPECT_FALSE(Group.Runs());
  EXPECT_EQ(Log.Events,
            (std::vector<std::string>{"thread start", "start", "thread start", "thread terminate",
                                      "thread terminate", "terminate"}));
}

TEST(WorkerGroup, RefusesAMemberThatWouldCloseACycle) {
  TBackgroundWorkerGroup Top, Middle, Bottom;
  Top.Add(&Middle);
  Middle.Add(&Bottom);
  struct TCase {
    const char *Name;
    TBackgroundWorkerGroup *Group;
    TBackgroundWorkerGroup *Member;
  };
  const TCase Cases[] = {
      {"itself", &Bottom, &Bottom},
      {"its own group", &Middle, &Top},
      {"a group above its group", &Bottom, &Top},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TBackgroundWorkerGroup *Before = Case.Member->ThreadGroup();
    EXPECT_THROW(Case.Group->Add(Case.Member), std::invalid_argument);
    EXPECT_EQ(Case.Member->ThreadGroup(), Before);
  }
  EXPECT_EQ(Top.Members(), std::vector<TBackgroundWorkerBase *>{&Middle});
  EXPECT_EQ(Middle.Members(), std::vector<TBackgroundWorkerBase *>{&Bottom});
  EXPECT_TRUE(Bottom.Members().empty());
}

// ===== Destruction =====

TEST(WorkerDestroy, WhileItsThreadRunsAsksItToTerminateAndWaits) {
  TBackgroundWorkerGroup Group;
  TGroupLog Log;
  Log.Attach(Group);
  TLoopingWork Work;
  bool Terminated = false;
  auto Worker = std::make_unique<TBackgroundWorker>();
  Work.Attach(*Worker);
  Worker->OnTerminate = [&](TBackgroundWorkerBase *, TWorkerExecuteThread *, void *&) {
    Terminated = true;
  };
  Group.Add(Worker.get());
  Worker->Start();
  ASSERT_TRUE(ProcessEventsUntil([&] { return Work.Iterations > 0; }));
  Worker.reset();
  EXPECT_TRUE(Work.Returned);
  EXPECT_FALSE(Terminated);
  EXPECT_TRUE(Group.Members().empty());
  EXPECT_FALSE(Group.Runs());
  EXPECT_EQ(Log.Events.back(), "terminate");
  ProcessEventsFor(20);  // nothing left to deliver to the destroyed worker
}

int main(int argc, char **argv) {
  QCoreApplication Application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
