// Groups of workers: membership with the cycle check, the running count along the chain of
// groups, and the operations that act on every member.

#include "worker/worker_group.h"

#include <algorithm>
#include <stdexcept>

// ===== Membership =====

void TBackgroundWorkerBase::SetThreadGroup(TBackgroundWorkerGroup *Group) {
  if (Group == FThreadGroup) return;
  for (const TBackgroundWorkerBase *Above = Group; Above; Above = Above->FThreadGroup)
    if (Above == this)
      throw std::invalid_argument("A worker group cannot contain itself, directly or below");
  std::vector<TBackgroundWorker *> Running;
  CollectWorkers(Running);
  std::erase_if(Running, [](const TBackgroundWorker *Worker) { return !Worker->Runs(); });
  if (TBackgroundWorkerGroup *Old = FThreadGroup) {
    for (TBackgroundWorker *Worker : Running) Old->MemberEnded(Worker, Worker->Thread());
    std::erase(Old->FMembers, this);
  }
  FThreadGroup = Group;
  if (Group) {
    Group->FMembers.push_back(this);
    for (TBackgroundWorker *Worker : Running) Group->MemberStarted(Worker, Worker->Thread());
  }
}

TBackgroundWorkerGroup::~TBackgroundWorkerGroup() {
  while (!FMembers.empty()) FMembers.back()->SetThreadGroup(nullptr);
  LeaveThreadGroup();
}

void TBackgroundWorkerGroup::Remove(TBackgroundWorkerBase *Member) {
  if (Member->ThreadGroup() == this) Member->SetThreadGroup(nullptr);
}

std::vector<TBackgroundWorker *> TBackgroundWorkerGroup::Workers() const {
  std::vector<TBackgroundWorker *> Result;
  CollectWorkers(Result);
  return Result;
}

void TBackgroundWorkerGroup::CollectWorkers(std::vector<TBackgroundWorker *> &Workers) const {
  for (const TBackgroundWorkerBase *Member : FMembers) Member->CollectWorkers(Workers);
}

// ===== Operations =====

void TBackgroundWorkerGroup::Start(void *Data) {
  for (TBackgroundWorkerBase *Member : FMembers) Member->Start(Data);
}

void TBackgroundWorkerGroup::Stop() {
  for (TBackgroundWorkerBase *Member : FMembers) Member->Stop();
}

void TBackgroundWorkerGroup::Suspend() {
  for (TBackgroundWorkerBase *Member : FMembers) Member->Suspend();
}

void TBackgroundWorkerGroup::Resume() {
  for (TBackgroundWorkerBase *Member : FMembers) Member->Resume();
}

// ===== The chain of groups =====

// Each group counts first and raises OnStart only after the whole chain has counted, so that
// every OnStart handler sees the counts of all groups up to the top.
void TBackgroundWorkerGroup::MemberStarted(TBackgroundWorker *Worker,
                                           TWorkerExecuteThread *Thread) {
  bool First;
  {
    std::lock_guard Lock(FLock);
    First = FRunningCount == 0;
    ++FRunningCount;
    if (OnThreadStart) OnThreadStart(Worker, Thread, Thread->Data);
  }
  if (ThreadGroup()) ThreadGroup()->MemberStarted(Worker, Thread);
  if (First && OnStart) {
    std::lock_guard Lock(FLock);
    OnStart(Worker, Thread, Thread->Data);
  }
}

void TBackgroundWorkerGroup::MemberEnded(TBackgroundWorker *Worker, TWorkerExecuteThread *Thread) {
  bool Last;
  {
    std::lock_guard Lock(FLock);
    if (FRunningCount > 0) --FRunningCount;
    Last = FRunningCount == 0;
    if (OnThreadTerminate) OnThreadTerminate(Worker, Thread, Thread->Data);
  }
  if (ThreadGroup()) ThreadGroup()->MemberEnded(Worker, Thread);
  if (Last && OnTerminate) {
    std::lock_guard Lock(FLock);
    OnTerminate(Worker, Thread, Thread->Data);
  }
}

void TBackgroundWorkerGroup::MemberUpdated(TBackgroundWorker *Worker,
                                           TWorkerExecuteThread *Thread) {
  {
    std::lock_guard Lock(FLock);
    if (OnThreadUpdate) OnThreadUpdate(Worker, Thread, Thread->Data, Thread->Percent());
    if (OnUpdate && !HigherUpdatePriorityRuns(Worker))
      OnUpdate(Worker, Thread, Thread->Data, Thread->Percent());
  }
  if (ThreadGroup()) ThreadGroup()->MemberUpdated(Worker, Thread);
}

bool TBackgroundWorkerGroup::HigherUpdatePriorityRuns(const TBackgroundWorker *Worker) const {
  const std::vector<TBackgroundWorker *> All = Workers();
  return std::any_of(All.begin(), All.end(), [Worker](const TBackgroundWorker *Other) {
    return Other->Runs() && Other->UpdatePriority() > Worker->UpdatePriority();
  });
}
