// The pause and stop requests a working thread honours at its safe points, shared by the
// background worker's thread and a conversion task's worker. Requests come from any thread;
// only the working thread calls Wait. A stop wakes a paused thread and stays until Reset.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

class TPauseGate {
 public:
  void Pause();
  // Pauses only when Allowed(), judged under the gate's lock: a Resume or Reset that follows
  // a change of what Allowed reads can never be overtaken by this pause.
  template <typename Predicate>
  void PauseIf(Predicate Allowed) {
    std::lock_guard Lock(FLock);
    if (Allowed()) FPaused = true;
  }
  void Resume();
  void Stop();
  // Neither paused nor stopped: a new run.
  void Reset();

  bool Paused() const { return FPaused; }
  bool Stopped() const { return FStopped; }
  // The stop request as a flag, for work that polls it between safe points.
  const std::atomic<bool> &StopFlag() const { return FStopped; }

  // A safe point: waits while paused and not stopped. True when the work should go on, false
  // once a stop was requested.
  bool Wait();

 private:
  // The flags change under it, so that a waiting thread cannot miss a wake-up.
  std::mutex FLock;
  std::condition_variable FChanged;
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FStopped{false};
};
