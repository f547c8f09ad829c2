// The small records a task exchanges with whoever runs it: the hook's decision, the worker's
// priority, the windows in which hooks run and one progress report. No media library header
// here: the component hands these to the application, which never sees the libraries.
#pragma once

#include <cstdint>

enum class THookAction { haContinue, haIgnore, haStop };

// Thread priorities of a task's worker, lowest first.
enum class TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// A window of input time, in microseconds, in which the frame hooks run.
struct THookRange {
  int64_t Start;
  int64_t Stop;
};

// One progress report of a running task.
struct TProgressInfo {
  int FrameNumber = -1;  // pictures written to the first video output; -1 without video
  int FPS = -1;          // pictures per second since the session started
  // Milliseconds of output written, carried as 32 bits (before any position it wraps).
  int CurrentDuration = 0;
  float Quality = -1.0f;    // the first video encoder's quantiser
  float BitRate = 0.0f;     // kbit/s over the output written so far
  int64_t CurrentSize = 0;  // bytes of every output together
  // Milliseconds the outputs will last when complete; 0 or less when unknown.
  int TotalOutputDuration = 0;
};
