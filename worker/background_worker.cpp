// The worker and its thread. The work runs on a std::thread; everything else runs on the
// main thread, which learns of the work's end through a call queued to the worker's timer.

#include "worker/background_worker.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

#include "worker/worker_group.h"

// ===== TWorkerExecuteThread =====

namespace {

// Held while the end is posted and taken before the posted call reads what it carries. Qt
// orders the two already, but its locks are invisible to the thread sanitizer.
std::mutex &EndHandOff() {
  static std::mutex Mutex;
  return Mutex;
}

}  // namespace

TWorkerExecuteThread::TWorkerExecuteThread(TBackgroundWorker *Owner, void *Data)
    : Data(Data), FOwner(Owner) {}

TWorkerExecuteThread::~TWorkerExecuteThread() {
  if (FThread.joinable()) FThread.join();
}

bool TWorkerExecuteThread::WaitWhileSuspended() {
  return FGate.Wait();
}

void TWorkerExecuteThread::Launch() {
  FThread = std::thread(&TWorkerExecuteThread::Execute, this);
  FThreadID = FThread.get_id();
}

void TWorkerExecuteThread::ApplyPriority(TThreadPriority Priority) {
  std::lock_guard Lock(FMutex);
  if (FSystemID == 0) return;
  // Never below the process's own nice value: the worker must not outrank the program.
  const int Nice = std::min(std::max(NiceValue(Priority), getpriority(PRIO_PROCESS, getpid())), 19);
  if (getpriority(PRIO_PROCESS, FSystemID) != Nice) setpriority(PRIO_PROCESS, FSystemID, Nice);
}

void TWorkerExecuteThread::Execute() {
  {
    std::lock_guard Lock(FMutex);
    FSystemID = static_cast<int>(syscall(SYS_gettid));
  }
  ApplyPriority(FOwner->Priority());
  try {
    FOwner->ThreadWork(this);
  } catch (...) {
    // Nobody above this thread could catch it; OnTerminate may look at it.
    FFatalException = std::current_exception();
  }
  {
    // From here on the kernel may reuse the id; priority changes must not reach it.
    std::lock_guard Lock(FMutex);
    FSystemID = 0;
  }
  TBackgroundWorker *Owner = FOwner;
  std::lock_guard HandOff(EndHandOff());
  QMetaObject::invokeMethod(
      Owner->FTimer.get(),
      [Owner] {
        { std::lock_guard Seen(EndHandOff()); }
        if (Owner->FDetaching)
          Owner->ThreadDetached();
        else
          Owner->ThreadEnded();
      },
      Qt::QueuedConnection);
}

// ===== TBackgroundWorker =====

TBackgroundWorker::TBackgroundWorker() : FTimer(std::make_unique<QTimer>()) {
  FTimer->setInterval(static_cast<int>(FRefreshInterval));
  QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { UpdateTick(); });
}

TBackgroundWorker::~TBackgroundWorker() {
  if (FThread) {
    FTimer->stop();
    // Leaving first lets the groups count this end while the thread is still known.
    LeaveThreadGroup();
    FDetaching = true;
    FThread->Terminate();
    while (FThread) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  LeaveThreadGroup();
}

void TBackgroundWorker::SetRefreshInterval(unsigned Milliseconds) {
  FRefreshInterval = Milliseconds;
  FTimer->setInterval(static_cast<int>(Milliseconds));
}

void TBackgroundWorker::SetPriority(TThreadPriority Value) {
  FPriority = Value;
  if (FThread) FThread->ApplyPriority(Value);
}

void TBackgroundWorker::SetUpdateEnabled(bool Value) {
  FUpdateEnabled = Value;
  SwitchTimer();
}

// The timer only ticks while a thread exists: a tick without one would do nothing.
void TBackgroundWorker::SwitchTimer() {
  if (FUpdateEnabled && FThread && !FDetaching) {
    if (!FTimer->isActive()) FTimer->start();
  } else {
    FTimer->stop();
  }
}

void TBackgroundWorker::Start(void *Data) {
  if (FThread) return;
  FThread = std::make_unique<TWorkerExecuteThread>(this, Data);
  FLastRunTerminated = false;
  TWorkerExecuteThread *Thread = FThread.get();
  if (ThreadGroup()) ThreadGroup()->MemberStarted(this, Thread);
  if (OnStart) {
    try {
      std::lock_guard Lock(FLock);
      OnStart(this, Thread, Thread->Data);
    } catch (...) {
      // No thread will run: forget it and let the groups count its end, so that the worker
      // does not run for ever and can start again.
      std::unique_ptr<TWorkerExecuteThread> Unstarted = std::move(FThread);
      if (ThreadGroup()) ThreadGroup()->MemberEnded(this, Unstarted.get());
      throw;
    }
  }
  Thread->Launch();
  SwitchTimer();
}

void TBackgroundWorker::Stop() {
  if (!FThread) return;
  FThread->Resume();
  FThread->Terminate();
}

void TBackgroundWorker::Suspend() {
  if (FThread) FThread->Suspend();
}

void TBackgroundWorker::Resume() {
  if (FThread) FThread->Resume();
}

void TBackgroundWorker::CollectWorkers(std::vector<TBackgroundWorker *> &Workers) const {
  Workers.push_back(const_cast<TBackgroundWorker *>(this));
}

void TBackgroundWorker::UpdateTick() {
  TWorkerExecuteThread *Thread = FThread.get();
  if (!Thread) return;
  if (ThreadGroup()) ThreadGroup()->MemberUpdated(this, Thread);
  if (OnUpdate) {
    std::lock_guard Lock(FLock);
    OnUpdate(this, Thread, Thread->Data, Thread->Percent());
  }
}

void TBackgroundWorker::ThreadWork(TWorkerExecuteThread *Thread) {
  if (OnExecute) OnExecute(this, Thread, Thread->Data);
  FLastRunTerminated = Thread->Terminated();
}

void TBackgroundWorker::ThreadEnded() {
  FTimer->stop();
  // Forgotten before the notices, so that their handlers may start the worker again.
  std::unique_ptr<TWorkerExecuteThread> Ended = std::move(FThread);
  if (ThreadGroup()) ThreadGroup()->MemberEnded(this, Ended.get());
  if (OnTerminate) {
    std::lock_guard Lock(FLock);
    OnTerminate(this, Ended.get(), Ended->Data);
  }
  SwitchTimer();
}

void TBackgroundWorker::ThreadDetached() {
  FThread.reset();
}
