// The worker thread of a task: created idle by TCustomFFmpeg::Start, started by Resume, it
// runs the task's session once. The task owns it and joins it when the task goes.
#pragma once

#include <mutex>
#include <thread>

#include "engine/FFMPEG/task_types.h"
#include "threads/thread_priority.h"

class TCustomFFmpeg;

class TFFmpegThread {
 public:
  TFFmpegThread(TCustomFFmpeg *Task, TConvertPriority Priority);
  // Joins the thread; from the worker itself (a task freed in its own termination
  // notification) the thread is detached instead.
  ~TFFmpegThread();
  TFFmpegThread(const TFFmpegThread &) = delete;
  TFFmpegThread &operator=(const TFFmpegThread &) = delete;

  // Starts the thread on the first call; later calls resume a paused task.
  void Resume();
  // Pauses the task at its next safe point.
  void Suspend();
  bool Started() const;
  std::thread::id ThreadID() const;
  TConvertPriority Priority() const { return FPriority; }

 private:
  void Execute();
  TCustomFFmpeg *FTask;
  TConvertPriority FPriority;
  // The handle is stored after the thread already runs: the worker (which may free the task,
  // and so this object, in its termination notification) and other threads read it only
  // under this lock, which Resume holds until the handle is in place.
  mutable std::mutex FHandleLock;
  std::thread FThread;
};

// A task's priority as a thread priority (the first four of them), for NiceValue.
TThreadPriority ThreadPriorityOf(TConvertPriority Priority);
