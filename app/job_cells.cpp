#include "job_cells.h"

#include <cmath>

#include "engine/component/av_probe.h"
#include "text/format_text.h"

std::string FormatDuration(double Seconds, char Separator) {
  int64_t Minutes = static_cast<int64_t>(std::trunc(Seconds / 60));
  const int64_t Rest = static_cast<int64_t>(std::nearbyint(Seconds - Minutes * 60.0));
  const int64_t Hours = Minutes / 60;
  Minutes %= 60;
  return FormatText("%02lld%c%02lld%c%02lld", static_cast<long long>(Hours), Separator,
                    static_cast<long long>(Minutes), Separator, static_cast<long long>(Rest));
}

std::string DurationCell(int64_t DurationMicroseconds) {
  const std::string Text = FormatDuration(static_cast<double>(DurationMicroseconds / 1000000), ':');
  return Text.find('-') == std::string::npos ? Text : "Unknown";
}

std::string FrameRateCell(int Numerator, int Denominator) {
  if (Denominator == 0) return "Unknown";
  // Hundredths as an integer, so the text carries no binary rounding noise.
  const long long Hundredths = std::llround(static_cast<double>(Numerator) / Denominator * 100.0);
  const long long Magnitude = std::llabs(Hundredths);
  std::string Text = FormatText("%s%lld", Hundredths < 0 ? "-" : "", Magnitude / 100);
  if (Magnitude % 100 != 0) {
    Text += FormatText(".%02lld", Magnitude % 100);
    if (Text.back() == '0') Text.pop_back();
  }
  return Text;
}

TJobCells ProbedJobCells(const TAVProbe &Probe) {
  TJobCells Cells{" ", " ", ""};
  if (Probe.VideoStreamCount() > 0) {
    TVideoStreamInfo Video;
    Probe.GetVideoStreamInfo(Video);
    // As it is shown: a portrait phone clip is stored on its side.
    const bool Sideways = Video.Rotation == 90 || Video.Rotation == 270;
    Cells.VideoSize = FormatText("%dx%d", Sideways ? Video.Height : Video.Width,
                                 Sideways ? Video.Width : Video.Height);
    Cells.FrameRate = FrameRateCell(Video.FrameRateNum, Video.FrameRateDen);
  }
  TFormatInfo Format;
  Probe.GetFormatInfo(Format);
  Cells.Duration = DurationCell(Format.Duration);
  return Cells;
}
