// The background worker: runs one piece of work on its own thread and reports through events:
// OnStart before the thread begins, OnExecute on the thread, OnUpdate from a timer while it
// runs, OnTerminate once it has ended. Workers join groups (worker_group.h) that act on their
// members together.
//
// Threads: a worker is created, used and destroyed on one thread (the main thread), which runs
// a Qt event loop: the update timer and the delivery of the thread's end go through it. Only
// the work itself runs elsewhere. Suspending is cooperative: the work calls
// TWorkerExecuteThread::WaitWhileSuspended and Terminated at its safe points.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "threads/pause_gate.h"
#include "threads/thread_priority.h"

class QTimer;
class TBackgroundWorker;
class TBackgroundWorkerBase;
class TBackgroundWorkerGroup;
class TWorkerExecuteThread;

// Which events would be marshalled to the main thread by the worker: none ever is; the
// worker raises each event on the thread its declaration names.
enum class TSynchroMethods { smNone };

// Sender: the worker whose thread the event is about (also for a group's events). Data: the
// pointer given to Start, held by the thread; a handler may replace it.
using TWorkerDataNotifyEvent =
    std::function<void(TBackgroundWorkerBase *Sender, TWorkerExecuteThread *Thread, void *&Data)>;
using TWorkerUpdateNotifyEvent = std::function<void(
    TBackgroundWorkerBase *Sender, TWorkerExecuteThread *Thread, void *&Data, int Percent)>;

class TBackgroundWorkerBase {
 public:
  TBackgroundWorkerBase() = default;
  virtual ~TBackgroundWorkerBase() = default;
  TBackgroundWorkerBase(const TBackgroundWorkerBase &) = delete;
  TBackgroundWorkerBase &operator=(const TBackgroundWorkerBase &) = delete;

  // A group's OnUpdate is raised for the running member with the highest UpdatePriority.
  int UpdatePriority() const { return FUpdatePriority; }
  void SetUpdatePriority(int Value) { FUpdatePriority = Value; }
  TBackgroundWorkerGroup *ThreadGroup() const { return FThreadGroup; }
  // Leaves the current group and joins Group (nullptr: none). Running workers count as
  // started in the new group and as ended in the old one. Throws std::invalid_argument,
  // leaving everything as it was, when Group is this or lies below this.
  void SetThreadGroup(TBackgroundWorkerGroup *Group);

  // A thread exists (worker) or a member runs (group).
  virtual bool Runs() const = 0;
  virtual void Start() = 0;
  virtual void Start(void *Data) = 0;
  // Resumes the thread if suspended and asks it to terminate; the work watches for that.
  virtual void Stop() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;

  // This worker, or every worker below this group.
  virtual void CollectWorkers(std::vector<TBackgroundWorker *> &Workers) const = 0;

 protected:
  // Called by destructors of derived classes, whose members must still be alive.
  void LeaveThreadGroup() { SetThreadGroup(nullptr); }

  // Guards the event calls.
  std::recursive_mutex FLock;

 private:
  int FUpdatePriority = 0;
  TBackgroundWorkerGroup *FThreadGroup = nullptr;
};

// One run of a worker. Created by Start, it lives until its end has been handled on the main
// thread; the worker owns it.
class TWorkerExecuteThread {
 public:
  TWorkerExecuteThread(TBackgroundWorker *Owner, void *Data);
  // Joins the thread, which has returned from its work by then.
  ~TWorkerExecuteThread();
  TWorkerExecuteThread(const TWorkerExecuteThread &) = delete;
  TWorkerExecuteThread &operator=(const TWorkerExecuteThread &) = delete;

  TBackgroundWorker *Owner() const { return FOwner; }
  // Given to Start; passed by reference to every event. Handlers on different threads that
  // replace it must agree between themselves on when.
  void *Data;
  // Set by the work, passed to OnUpdate.
  int Percent() const { return FPercent; }
  void SetPercent(int Value) { FPercent = Value; }

  // ----- For the work, on this thread -----
  bool Terminated() const { return FGate.Stopped(); }
  // A safe point: waits while the thread is suspended. True when the work should go on,
  // false once it was asked to terminate (a stop request ends the wait).
  bool WaitWhileSuspended();

  // ----- From any thread -----
  void Terminate() { FGate.Stop(); }
  void Suspend() { FGate.Pause(); }
  void Resume() { FGate.Resume(); }
  bool Suspended() const { return FGate.Paused(); }
  std::thread::id ThreadID() const { return FThreadID; }
  // What OnExecute threw, if it threw; read it once the thread has ended.
  std::exception_ptr FatalException() const { return FFatalException; }

 private:
  friend class TBackgroundWorker;
  void Launch();
  void Execute();
  // Refusals by the system are ignored.
  void ApplyPriority(TThreadPriority Priority);

  TBackgroundWorker *FOwner;
  std::atomic<int> FPercent{0};
  TPauseGate FGate;
  mutable std::mutex FMutex;  // FSystemID
  int FSystemID = 0;          // the kernel's thread id while the work runs, else 0
  std::exception_ptr FFatalException;
  std::thread::id FThreadID;
  std::thread FThread;
};

class TBackgroundWorker : public TBackgroundWorkerBase {
 public:
  TBackgroundWorker();
  // With a thread running: stops the timer, asks the thread to terminate and processes
  // events until it has ended; OnTerminate is not raised, but the group learns of the end.
  ~TBackgroundWorker() override;

  // ===== Properties (main thread) =====
  unsigned RefreshInterval() const { return FRefreshInterval; }
  void SetRefreshInterval(unsigned Milliseconds);
  TThreadPriority Priority() const { return FPriority; }
  // Also applies to a running thread.
  void SetPriority(TThreadPriority Value);
  bool UpdateEnabled() const { return FUpdateEnabled; }
  // Switches the running thread's updates at once.
  void SetUpdateEnabled(bool Value);
  TSynchroMethods SynchroMethods() const { return TSynchroMethods::smNone; }
  // The running thread, or nullptr.
  TWorkerExecuteThread *Thread() const { return FThread.get(); }
  // Whether the last run's thread had been asked to terminate when its work returned.
  bool LastRunTerminated() const { return FLastRunTerminated; }

  // ===== Events (assign before Start) =====
  // On the thread that calls Start, under the lock, before the thread begins.
  TWorkerDataNotifyEvent OnStart;
  // On the worker's thread, without the lock: the work.
  TWorkerDataNotifyEvent OnExecute;
  // On the main thread, under the lock, every RefreshInterval ms while the thread exists and
  // UpdateEnabled is set.
  TWorkerUpdateNotifyEvent OnUpdate;
  // On the main thread, under the lock, after the work has returned.
  TWorkerDataNotifyEvent OnTerminate;

  // ===== Operations (main thread) =====
  bool Runs() const override { return FThread != nullptr; }
  void Start() override { Start(nullptr); }
  // Does nothing while a thread exists. An exception from OnStart passes to the caller; no
  // thread runs then, OnTerminate is not raised, and the groups learn of the end.
  void Start(void *Data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;
  void CollectWorkers(std::vector<TBackgroundWorker *> &Workers) const override;

 private:
  friend class TWorkerExecuteThread;
  void UpdateTick();
  void ThreadWork(TWorkerExecuteThread *Thread);
  void ThreadEnded();
  void ThreadDetached();
  void SwitchTimer();

  unsigned FRefreshInterval = 100;
  std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
  bool FUpdateEnabled = true;
  bool FDetaching = false;
  std::atomic<bool> FLastRunTerminated{false};
  // Also the anchor of the queued call that reports the thread's end to the main thread.
  std::unique_ptr<QTimer> FTimer;
  std::unique_ptr<TWorkerExecuteThread> FThread;
};
