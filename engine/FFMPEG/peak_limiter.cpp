#include "engine/FFMPEG/peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double RecoverySeconds = 0.5;  // slow enough not to follow each wave of a tone

}  // namespace

TPeakLimiter::TPeakLimiter(int SampleRate)
    : FRecovery(static_cast<float>(std::exp(-1.0 / (RecoverySeconds * std::max(SampleRate, 1))))) {}

void TPeakLimiter::Process(float *const *Planes, int Channels, int Samples) {
  for (int I = 0; I < Samples; ++I) {
    float Peak = 0;
    for (int C = 0; C < Channels; ++C) Peak = std::max(Peak, std::fabs(Planes[C][I]));
    FGain = 1 - (1 - FGain) * FRecovery;
    if (Peak * FGain > Ceiling) FGain = Ceiling / Peak;
    if (FGain < 1)
      for (int C = 0; C < Channels; ++C) Planes[C][I] *= FGain;
  }
}
