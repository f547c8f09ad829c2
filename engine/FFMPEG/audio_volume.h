// The audio volume as every layer hands it on (the window's bar, the option records'
// AudioVolume, the task's "-vol"): a factor in 256ths applied to each decoded 16-bit sample.
// Its special values are named here once; nothing but constants, so any layer may include it.
#pragma once

// Not given: the volume the task holds stays. Any negative value counts as not given.
inline constexpr int AudioVolumeNotSet = -1;
// The window's "100%": it scales by 255/256 (0.03 dB down), as it always has.
inline constexpr int AudioVolumeHundredPercent = 255;
// The samples pass as they are.
inline constexpr int AudioVolumeUnchanged = 256;

constexpr bool AudioVolumeGiven(int Volume) {
  return Volume >= 0;
}
