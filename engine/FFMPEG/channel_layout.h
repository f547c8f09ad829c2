// Channel layouts reduced to a mask and a count, the form the sample converter and the audio
// paths compare and hand on; FFmpeg's layout structure is rebuilt from them where a resampler
// needs one.
#pragma once

#include <cstdint>

struct AVChannelLayout;

// The channel mask of a layout in native order, else 0.
uint64_t MaskOf(const AVChannelLayout &Layout);
// A layout without order or with a custom one is taken as the default of its channel count.
AVChannelLayout LayoutOf(uint64_t Mask, int Channels);
