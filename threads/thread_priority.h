// Thread priorities as nice values, shared by the background worker and the conversion
// tasks' workers (whose priorities are the first four of these).
#pragma once

enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// The nice value a thread of Priority asks for: 0 for normal, up to 19 for idle, below 0
// above normal.
int NiceValue(TThreadPriority Priority);
