#include "app/converted_output.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "engine/component/av_probe.h"

namespace {

// An output may end a little off its input: audio encoders pad their last frame, a new frame
// rate rounds the last picture. A stopped conversion misses far more than this.
constexpr int64_t DurationSlack = 200000;  // microseconds
constexpr int64_t DurationSlackPerMille = 10;

// The file's duration in microseconds, when it is known; Exact refuses one the libraries only
// estimated from the bit rate. A cut-off output's estimate is as short as its size, so an
// output's own may be estimated.
std::optional<int64_t> Duration(TAVProbe &Probe, const std::string &File, bool Exact) {
  std::error_code Ignored;
  if (!std::filesystem::is_regular_file(File, Ignored) || !Probe.LoadFile(File, "")) return {};
  TFormatInfo Info;
  Probe.GetFormatInfo(Info);
  Probe.Close();
  if (Info.Duration <= 0 || (Exact && Info.DurationEstimated)) return {};
  return Info.Duration;
}

}  // namespace

bool HoldsConversionOf(const std::string &Output, const std::string &Input) {
  try {
    TAVProbe Probe;
    const std::optional<int64_t> In = Duration(Probe, Input, true);
    if (!In) return false;
    const std::optional<int64_t> Out = Duration(Probe, Output, false);
    return Out && std::llabs(*Out - *In) <= DurationSlack + *In * DurationSlackPerMille / 1000;
  } catch (...) {
    return false;  // no media libraries: nothing is known about either file
  }
}
