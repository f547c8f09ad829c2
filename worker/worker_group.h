// A group of workers and groups: starts, stops, suspends and resumes its members together,
// counts the workers below it that run, and reports when the first starts and the last ends.
// Every member has at most one group, so groups form trees; a member that would close a
// cycle is refused.
//
// Threads: like the worker, a group lives on the main thread; all its events run there.
#pragma once

#include <vector>

#include "worker/background_worker.h"

class TBackgroundWorkerGroup : public TBackgroundWorkerBase {
 public:
  TBackgroundWorkerGroup() = default;
  // Its members leave it; it leaves its own group.
  ~TBackgroundWorkerGroup() override;

  // ===== Events (main thread, under the group's lock; Sender is the worker concerned) =====
  // The first worker below the group started.
  TWorkerDataNotifyEvent OnStart;
  // The last running worker below the group ended.
  TWorkerDataNotifyEvent OnTerminate;
  // A worker's update tick, unless a running worker below has a higher UpdatePriority.
  TWorkerUpdateNotifyEvent OnUpdate;
  // Every worker below: started, ended, update tick.
  TWorkerDataNotifyEvent OnThreadStart;
  TWorkerDataNotifyEvent OnThreadTerminate;
  TWorkerUpdateNotifyEvent OnThreadUpdate;

  // ===== Members =====
  // Same as Member->SetThreadGroup(this); throws std::invalid_argument on a cycle.
  void Add(TBackgroundWorkerBase *Member) { Member->SetThreadGroup(this); }
  // A member of another group is left alone.
  void Remove(TBackgroundWorkerBase *Member);
  // Direct members, in the order they joined.
  const std::vector<TBackgroundWorkerBase *> &Members() const { return FMembers; }
  // Every worker below the group, depth first.
  std::vector<TBackgroundWorker *> Workers() const;
  int RunningCount() const { return FRunningCount; }

  // ===== Operations: each applied to every direct member in order =====
  bool Runs() const override { return FRunningCount > 0; }
  void Start() override { Start(nullptr); }
  void Start(void *Data) override;
  void Stop() override;
  void Suspend() override;
  void Resume() override;
  void CollectWorkers(std::vector<TBackgroundWorker *> &Workers) const override;

 private:
  friend class TBackgroundWorkerBase;
  friend class TBackgroundWorker;
  // These walk up the chain of groups from this one.
  void MemberStarted(TBackgroundWorker *Worker, TWorkerExecuteThread *Thread);
  void MemberEnded(TBackgroundWorker *Worker, TWorkerExecuteThread *Thread);
  void MemberUpdated(TBackgroundWorker *Worker, TWorkerExecuteThread *Thread);
  bool HigherUpdatePriorityRuns(const TBackgroundWorker *Worker) const;

  std::vector<TBackgroundWorkerBase *> FMembers;
  int FRunningCount = 0;
};
