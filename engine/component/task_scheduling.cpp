// Running the component's tasks: how many at once and on which thread, stop, pause and
// resume, and the termination that schedules the next task or ends the run. StartConvert and
// the controls run on the main thread; DoTerminate on the thread that ends a task.

#include <QObject>
#include <QTimer>

#include "engine/FFMPEG/ffmpeg_thread.h"
#include "engine/component/convert_engine.h"
#include "engine/component/convert_task.h"
#include "engine/component/engine_log.h"

void TCustomConvertEngine::StartConvert(int WorkerCount) {
  ClearLogLines();
  std::lock_guard Lock(FLock);
  ++FGeneration;
  FNextTask = 0;
  FFinishedCount = 0;
  FThreadCount = WorkerCount;
  FPendingCount = FTasks.Count();
  FRunTaskCount = FTasks.Count();
  for (int Started = 0; FPendingCount > 0;) {
    StartNextTask();
    if (++Started >= WorkerCount) break;
  }
}

void TCustomConvertEngine::StartNextTask() {
  if (FPendingCount <= 0) return;
  --FPendingCount;
  const int Index = FNextTask++;
  if (FThreadCount > 0) {
    StartTask(Index, FGeneration);
    return;
  }
  // Main-thread mode: each task starts from the event loop 100 ms later.
  if (!FTimerContext) return;                     // shutting down
  auto *Timer = new QTimer(FTimerContext.get());  // owned by the context, freed when it fires
  Timer->setSingleShot(true);
  const uint64_t Generation = FGeneration;
  QObject::connect(Timer, &QTimer::timeout, FTimerContext.get(), [this, Timer, Index, Generation] {
    Timer->deleteLater();
    StartTask(Index, Generation);
  });
  Timer->start(100);
}

void TCustomConvertEngine::StartTask(int Index, uint64_t Generation) {
  TFFmpeg *Task;
  {
    // The task list and the thread identities are read by the log delivery under FLock.
    std::lock_guard Lock(FLock);
    // An index is only the task's while the run and the list stay as they were: a stop, a
    // removal or a clear since the start was scheduled makes it someone else's or nobody's.
    if (Generation != FGeneration || Index < 0 || Index >= FTasks.Count()) return;
    Task = &FTasks.Items(Index);
    Task->FProgressIntervalUs = static_cast<int64_t>(FProgressInterval) * 1000;
    Task->OptVerbose(static_cast<int>(FLogLevel) - 1);
    if (FThreadCount > 0) {
      TFFmpegThread *Thread = Task->Start(true, FThreadPriority);
      if (Thread) Thread->Resume();
      Task->ThreadID = Thread ? Thread->ThreadID() : std::thread::id();
      return;
    }
    Task->ThreadID = std::this_thread::get_id();
  }
  // Main-thread mode: the whole conversion runs here, without the lock.
  Task->Start(false);
}

void TCustomConvertEngine::StopConvert() {
  std::lock_guard Lock(FLock);
  ++FGeneration;
  FPendingCount = 0;
  for (int I = 0; I < FTasks.Count(); ++I) FTasks.Items(I).Stop();
}

void TCustomConvertEngine::PauseConvert() {
  std::lock_guard Lock(FLock);
  for (int I = 0; I < FTasks.Count(); ++I) FTasks.Items(I).Pause();
}

void TCustomConvertEngine::ResumeConvert() {
  std::lock_guard Lock(FLock);
  for (int I = 0; I < FTasks.Count(); ++I) FTasks.Items(I).ResumeSession();
}

void TCustomConvertEngine::DoTerminate(TFFmpeg *Task) {
  std::lock_guard Lock(FLock);
  if (!Task) {
    EndOfRun();
    return;
  }
  if (OnTerminate)
    OnTerminate(Task->Index, Task->FFinished, Task->FExceptionRaised, Task->FExceptionMessage);
  ++FFinishedCount;
  if (FPendingCount < 1) {
    if (FFinishedCount >= FRunTaskCount) EndOfRun();
  } else {
    StartNextTask();
  }
}

// The last thing a run does: its handler may free the tasks.
void TCustomConvertEngine::EndOfRun() {
  if (OnTerminate) OnTerminate(-1, true, false, "");
  ClearLogLines();
}
