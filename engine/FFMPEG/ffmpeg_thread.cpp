// The worker thread of a task and its priority (a nice value of the thread).

#include "engine/FFMPEG/ffmpeg_thread.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "engine/FFMPEG/ffmpeg.h"

TThreadPriority ThreadPriorityOf(TConvertPriority Priority) {
  static_assert(
      static_cast<int>(TConvertPriority::tpIdle) == static_cast<int>(TThreadPriority::tpIdle) &&
      static_cast<int>(TConvertPriority::tpNormal) == static_cast<int>(TThreadPriority::tpNormal));
  return static_cast<TThreadPriority>(Priority);
}

TFFmpegThread::TFFmpegThread(TCustomFFmpeg *Task, TConvertPriority Priority)
    : FTask(Task), FPriority(Priority) {}

TFFmpegThread::~TFFmpegThread() {
  std::unique_lock Lock(FHandleLock);
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id()) {
    FThread.detach();
    return;
  }
  Lock.unlock();
  FThread.join();
}

void TFFmpegThread::Resume() {
  {
    std::lock_guard Lock(FHandleLock);
    if (!FThread.joinable()) {
      FThread = std::thread(&TFFmpegThread::Execute, this);
      return;
    }
  }
  FTask->ResumeSession();
}

bool TFFmpegThread::Started() const {
  std::lock_guard Lock(FHandleLock);
  return FThread.joinable();
}

std::thread::id TFFmpegThread::ThreadID() const {
  std::lock_guard Lock(FHandleLock);
  return FThread.get_id();
}

void TFFmpegThread::Suspend() {
  FTask->Pause();
}

void TFFmpegThread::Execute() {
  // Until Resume has stored the handle, nothing here may look at it.
  { std::lock_guard Lock(FHandleLock); }
  // Never below the process's own priority; a refusal leaves the thread as it is.
  const int Nice = NiceValue(ThreadPriorityOf(FPriority));
  const pid_t Thread = static_cast<pid_t>(syscall(SYS_gettid));
  const int Current = getpriority(PRIO_PROCESS, Thread);
  if (Nice > Current) setpriority(PRIO_PROCESS, Thread, Nice);
  try {
    FTask->Run();
  } catch (...) {
    // A notification handler's exception after the session's clean-up: nobody above this
    // thread could receive it.
  }
  // The session's buffers are freed by now: hand their pages back, or the arenas keep what
  // each task used resident for the rest of the batch. The task (and this object) may be
  // gone by now: touch neither.
  malloc_trim(0);
}
