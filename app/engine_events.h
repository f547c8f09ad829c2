// The one place where the engine component's worker-thread events cross to the main thread.
// Each event is posted as a queued call to a QObject living on the main thread and runs there
// in the order the worker raised it; events of a task that ended before the receiver's last
// NextGeneration() are dropped, so a stopped job's late news never lands on the next job's row.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "engine/component/convert_engine.h"

struct TProgressEvent {
  int AIndex;
  TProgressInfo Progress;
};

struct TTerminateEvent {
  int AIndex;
  bool AFinished;
  bool AException;
  std::string AMessage;
  std::string AOutputFile;  // the task's first output as written (its name may have changed)
};

class TEngineEvents {
 public:
  // Handlers run on the main thread (the thread that constructs this object).
  std::function<void(const TProgressEvent &)> OnProgress;
  std::function<void(const TTerminateEvent &)> OnTerminate;
  std::function<void(int AIndex, TLogLevel ALogLevel, const std::string &AMsg)> OnLog;

  TEngineEvents();
  // Detaches from the engine; queued calls not yet run are dropped.
  ~TEngineEvents();
  TEngineEvents(const TEngineEvents &) = delete;
  TEngineEvents &operator=(const TEngineEvents &) = delete;

  // Sets the engine's OnProgress, OnTerminate and OnLog (OnLog only when this has one),
  // safely while its tasks run.
  void Attach(TCustomConvertEngine &Engine);
  // Clears all five event handlers of the attached engine; when it returns, no OnLog,
  // OnProgress or OnTerminate of the engine is still being delivered into this object.
  void Detach();
  // Events raised from now on belong to a new job. Main thread; call after the engine holds
  // no running task (ClearTasks), so every event of the old ones is already stamped.
  void NextGeneration() { ++FGeneration; }

 private:
  template <typename Call>
  void Post(Call &&Function);

  std::unique_ptr<QObject> FReceiver;
  TCustomConvertEngine *FEngine = nullptr;
  std::atomic<int> FGeneration{0};
};
