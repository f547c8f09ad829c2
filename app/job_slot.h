// A place where one row of a batch converts: an engine component with at most one task, its
// events' crossing to the main thread, and where that row stands. Rows converting at once each
// have a slot of their own, so no row's task, events or stop ever reach another row's. The
// first slot uses the window's own component; the others own theirs. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "app/engine_events.h"
#include "app/job_rules.h"
#include "engine/component/convert_engine.h"

class TJobSlot {
  // First, so that the references below can be bound to them; the engine ends before the
  // events it delivers into.
  std::unique_ptr<TEngineEvents> FOwnEvents;
  std::unique_ptr<TConvertEngine> FOwnEngine;

 public:
  // Uses Events and Engine, which outlive it.
  TJobSlot(TEngineEvents &Events, TConvertEngine &Engine);
  // Owns an engine component set up like Model (log level, progress interval, priority).
  explicit TJobSlot(const TConvertEngine &Model);
  // Detaches the events before an owned engine ends its tasks.
  ~TJobSlot();
  TJobSlot(const TJobSlot &) = delete;
  TJobSlot &operator=(const TJobSlot &) = delete;

  TEngineEvents &Events;
  TConvertEngine &Engine;

  int Row = -1;          // the row converting here; -1 before its job is set up
  TJobOutput Output{};   // as handed to the engine, once the job is set up
  bool Busy = false;     // its job is being prepared or converted: the window's Converting
  bool Pending = false;  // its started task's end has not arrived
  int Percent = 0;       // the row's furthest progress, 0..100
  int64_t Size = 0;      // the row's output size so far

  // Free for the next row, with nothing left of the last one.
  void Reset();
  // Converting a row whose output is known.
  bool Running() const { return (Busy || Pending) && Row >= 0 && !Output.FileName.empty(); }
};
