// The pause and stop requests of a working thread.

#include "threads/pause_gate.h"

void TPauseGate::Pause() {
  std::lock_guard Lock(FLock);
  FPaused = true;
}

void TPauseGate::Resume() {
  {
    std::lock_guard Lock(FLock);
    FPaused = false;
  }
  FChanged.notify_all();
}

void TPauseGate::Stop() {
  {
    std::lock_guard Lock(FLock);
    FStopped = true;
  }
  FChanged.notify_all();
}

void TPauseGate::Reset() {
  {
    std::lock_guard Lock(FLock);
    FPaused = false;
    FStopped = false;
  }
  FChanged.notify_all();
}

bool TPauseGate::Wait() {
  if (!FPaused) return !FStopped;
  std::unique_lock Lock(FLock);
  FChanged.wait(Lock, [this] { return !FPaused || FStopped; });
  return !FStopped;
}
