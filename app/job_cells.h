// The probed-value cells of a job row ("Video Size", "FrameRate", "Duration"), formatted as
// the job list shows them. Toolkit-free, so the window and the command line agree.
#pragma once

#include <cstdint>
#include <string>

class TAVProbe;

// Hours, minutes and seconds, each at least two digits, joined by Separator.
std::string FormatDuration(double Seconds, char Separator);

// The "Duration" cell for a container duration in microseconds: "Unknown" when it is not
// known or negative.
std::string DurationCell(int64_t DurationMicroseconds);

// The "FrameRate" cell: the rate rounded to two decimals in its shortest form (29.97, 25,
// 23.98); "Unknown" when the denominator is 0.
std::string FrameRateCell(int Numerator, int Denominator);

struct TJobCells {
  std::string VideoSize;  // "320x240" as shown (turned upright), or " " without video
  std::string FrameRate;  // or " " without video
  std::string Duration;
};

// The three cells of a file that Probe has open.
TJobCells ProbedJobCells(const TAVProbe &Probe);
