// Channel layouts as a mask and a count, and back.

#include "engine/FFMPEG/channel_layout.h"

#include <bit>

#include "engine/binding/av_api.h"

uint64_t MaskOf(const AVChannelLayout &Layout) {
  return Layout.order == AV_CHANNEL_ORDER_NATIVE ? Layout.u.mask : 0;
}

AVChannelLayout LayoutOf(uint64_t Mask, int Channels) {
  AVChannelLayout Layout{};
  if (Mask && std::popcount(Mask) == Channels) {
    Layout.order = AV_CHANNEL_ORDER_NATIVE;
    Layout.nb_channels = Channels;
    Layout.u.mask = Mask;
  } else {
    av::av_channel_layout_default(&Layout, Channels);
  }
  return Layout;
}
