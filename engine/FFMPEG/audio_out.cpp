// Decoded audio as the audio paths take it: interleaved 16-bit samples at the decoder's rate and
// channels, with the volume applied. Runs on the session's thread.

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

bool MakeToS16(TInputStream &Ist, const AVFrame &Frame, uint64_t Mask) {
  const int Channels = Frame.ch_layout.nb_channels;
  if (Ist.ToS16 && Ist.ToS16Format == Frame.format && Ist.ToS16Rate == Frame.sample_rate &&
      Ist.ToS16Channels == Channels && Ist.ToS16Layout == Mask)
    return true;
  Ist.ToS16.reset();
  AVChannelLayout Layout = LayoutOf(Mask, Channels);
  SwrContext *Made = nullptr;
  if (av::swr_alloc_set_opts2(&Made, &Layout, AV_SAMPLE_FMT_S16, Frame.sample_rate, &Layout,
                              static_cast<AVSampleFormat>(Frame.format), Frame.sample_rate, 0,
                              nullptr) < 0)
    return false;
  Ist.ToS16.reset(Made);
  if (av::swr_init(Made) < 0) {
    Ist.ToS16.reset();
    return false;
  }
  return true;
}

}  // namespace

bool TCustomFFmpeg::DecodedAudioToS16(TInputStream &Ist, const AVFrame &Frame, uint8_t *&Data,
                                      int &Size) {
  const int Channels = Frame.ch_layout.nb_channels;
  const int Samples = Frame.nb_samples;
  if (Channels <= 0 || Frame.sample_rate <= 0 || Samples < 0 || Frame.format < 0) return false;
  const int64_t Bytes = int64_t{Samples} * Channels * 2;
  if (Bytes > INT_MAX || !GrowBuffer(Ist.Samples, Ist.SamplesSize, Bytes)) return false;
  const uint64_t Mask = MaskOf(Frame.ch_layout);
  int Converted = Samples;
  if (Frame.format == AV_SAMPLE_FMT_S16) {
    if (Bytes > 0) std::memcpy(Ist.Samples.get(), Frame.extended_data[0], Bytes);
  } else {
    if (!MakeToS16(Ist, Frame, Mask)) return false;
    uint8_t *Out = Ist.Samples.get();
    Converted = av::swr_convert(Ist.ToS16.get(), &Out, Samples,
                                const_cast<const uint8_t **>(Frame.extended_data), Samples);
    if (Converted < 0) return false;
  }
  Ist.ToS16Format = Frame.format;
  Ist.ToS16Rate = Frame.sample_rate;
  Ist.ToS16Channels = Channels;
  Ist.ToS16Layout = Mask;
  Data = Ist.Samples.get();
  Size = Converted * Channels * 2;
  return true;
}

void TCustomFFmpeg::ApplyVolume(uint8_t *Data, int Size) {
  if (FAudioVolume == 256 || !Data) return;
  for (int Offset = 0; Offset + 1 < Size; Offset += 2) {
    int16_t Sample;
    std::memcpy(&Sample, Data + Offset, sizeof Sample);
    const int64_t Scaled = (int64_t{Sample} * FAudioVolume + 128) >> 8;
    Sample = static_cast<int16_t>(std::clamp<int64_t>(Scaled, INT16_MIN, INT16_MAX));
    std::memcpy(Data + Offset, &Sample, sizeof Sample);
  }
}
