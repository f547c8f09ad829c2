// Decoded audio to interleaved 16-bit samples at the decoder's rate and channels, with the
// volume applied. Runs on the task's thread.

#include "engine/FFMPEG/sample_converter.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/FFMPEG/audio_volume.h"
#include "engine/FFMPEG/channel_layout.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/binding/av_api.h"

void ApplyVolume(uint8_t *Data, int Size, int Volume) {
  if (Volume == AudioVolumeUnchanged || !Data) return;
  for (int Offset = 0; Offset + 1 < Size; Offset += 2) {
    int16_t Sample;
    std::memcpy(&Sample, Data + Offset, sizeof Sample);
    const int64_t Scaled = (int64_t{Sample} * Volume + 128) >> 8;
    Sample = static_cast<int16_t>(std::clamp<int64_t>(Scaled, INT16_MIN, INT16_MAX));
    std::memcpy(Data + Offset, &Sample, sizeof Sample);
  }
}

bool TSampleConverter::UseResampler(const AVFrame &Frame, uint64_t Mask) {
  const int Channels = Frame.ch_layout.nb_channels;
  if (FToS16 && FFormat == Frame.format && FRate == Frame.sample_rate && FChannels == Channels &&
      FLayout == Mask)
    return true;
  FToS16.reset();
  AVChannelLayout Layout = LayoutOf(Mask, Channels);
  SwrContext *Made = nullptr;
  if (av::swr_alloc_set_opts2(&Made, &Layout, AV_SAMPLE_FMT_S16, Frame.sample_rate, &Layout,
                              static_cast<AVSampleFormat>(Frame.format), Frame.sample_rate, 0,
                              nullptr) < 0)
    return false;
  FToS16.reset(Made);
  if (av::swr_init(Made) < 0) {
    FToS16.reset();
    return false;
  }
  return true;
}

bool TSampleConverter::Convert(const AVFrame &Frame, uint8_t *&Data, int &Size) {
  const int Channels = Frame.ch_layout.nb_channels;
  const int Samples = Frame.nb_samples;
  if (Channels <= 0 || Frame.sample_rate <= 0 || Samples < 0 || Frame.format < 0) return false;
  const int64_t Bytes = int64_t{Samples} * Channels * 2;
  if (Bytes > INT_MAX || !GrowBuffer(FSamples, FSamplesSize, Bytes)) return false;
  const uint64_t Mask = MaskOf(Frame.ch_layout);
  int Converted = Samples;
  if (Frame.format == AV_SAMPLE_FMT_S16) {
    if (Bytes > 0) std::memcpy(FSamples.get(), Frame.extended_data[0], Bytes);
  } else {
    if (!UseResampler(Frame, Mask)) return false;
    uint8_t *Out = FSamples.get();
    Converted = av::swr_convert(FToS16.get(), &Out, Samples,
                                const_cast<const uint8_t **>(Frame.extended_data), Samples);
    if (Converted < 0) return false;
  }
  FFormat = Frame.format;
  FRate = Frame.sample_rate;
  FChannels = Channels;
  FLayout = Mask;
  Data = FSamples.get();
  Size = Converted * Channels * 2;
  ApplyVolume(Data, Size, FVolume);
  return true;
}
