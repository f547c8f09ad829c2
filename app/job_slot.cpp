// The batch driver's conversion slots.

#include "app/job_slot.h"

TJobSlot::TJobSlot(TEngineEvents &Events, TConvertEngine &Engine)
    : Events(Events), Engine(Engine) {}

TJobSlot::TJobSlot(const TConvertEngine &Model)
    : FOwnEvents(std::make_unique<TEngineEvents>()),
      FOwnEngine(std::make_unique<TConvertEngine>()),
      Events(*FOwnEvents),
      Engine(*FOwnEngine) {
  Engine.SetLogLevel(Model.LogLevel());
  Engine.SetProgressInterval(Model.ProgressInterval());
  Engine.SetThreadPriority(Model.ThreadPriority());
}

TJobSlot::~TJobSlot() {
  // A task still ending must not post into a window that is going away.
  if (FOwnEvents) FOwnEvents->Detach();
}

void TJobSlot::Reset() {
  Row = -1;
  Output = {};
  Percent = 0;
  Size = 0;
}
