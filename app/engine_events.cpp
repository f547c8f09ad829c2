// The queued crossing of the engine's worker-thread events to the main thread.

#include "app/engine_events.h"

#include <QMetaObject>

TEngineEvents::TEngineEvents() : FReceiver(std::make_unique<QObject>()) {}

TEngineEvents::~TEngineEvents() {
  Detach();
}

template <typename Call>
void TEngineEvents::Post(Call &&Function) {
  // Stamped on the raising thread; compared on the main thread when the call runs.
  const int Generation = FGeneration.load();
  QMetaObject::invokeMethod(
      FReceiver.get(),
      [this, Generation, Function = std::forward<Call>(Function)]() {
        if (Generation == FGeneration.load()) Function();
      },
      Qt::QueuedConnection);
}

void TEngineEvents::Attach(TCustomConvertEngine &Engine) {
  auto Progress = [this](int AIndex, const TProgressInfo &AProgress) {
    const TProgressEvent Event{AIndex, AProgress};
    Post([this, Event] {
      if (OnProgress) OnProgress(Event);
    });
  };
  auto Terminate = [this, &Engine](int AIndex, bool AFinished, bool AException,
                                   const std::string &AMessage) {
    // The task is still in the list here; by the time the call runs it may be gone.
    std::string Output;
    if (AIndex >= 0 && AIndex < Engine.TaskCount()) Output = Engine.OutputFileName(AIndex, 0);
    TTerminateEvent Event{AIndex, AFinished, AException, AMessage, std::move(Output)};
    Post([this, Event = std::move(Event)] {
      if (OnTerminate) OnTerminate(Event);
    });
  };
  auto Log = [this](int AIndex, TLogLevel ALogLevel, const std::string &AMsg) {
    Post([this, AIndex, ALogLevel, AMsg] {
      if (OnLog) OnLog(AIndex, ALogLevel, AMsg);
    });
  };
  // A worker may be raising events right now: the engine swaps them under its own locks.
  Engine.ChangeEvents([&] {
    Engine.OnProgress = Progress;
    Engine.OnTerminate = Terminate;
    if (OnLog) Engine.OnLog = Log;
  });
  FEngine = &Engine;
}

// Once the engine has swapped its events, none of them is still running into this object.
void TEngineEvents::Detach() {
  if (!FEngine) return;
  TCustomConvertEngine &Engine = *FEngine;
  Engine.ChangeEvents([&Engine] {
    Engine.OnBeforeHook = nullptr;
    Engine.OnCustomHook = nullptr;
    Engine.OnLog = nullptr;
    Engine.OnProgress = nullptr;
    Engine.OnTerminate = nullptr;
  });
  FEngine = nullptr;
}
