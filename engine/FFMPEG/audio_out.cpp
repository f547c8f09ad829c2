// The audio output path: decoded samples to 16-bit, volume, clock synchronisation, conversion to
// the encoder's format, the FIFO and encoding in whole frames. Runs on the session's thread.

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/binding/av_api.h"
#include "engine/binding/format_text.h"

namespace {

constexpr int MaxPaddedChunkBytes = 131072;  // a silence-padded chunk never grows beyond this
constexpr double SyncToleranceSamples = 50;

uint64_t MaskOf(const AVChannelLayout &Layout) {
  return Layout.order == AV_CHANNEL_ORDER_NATIVE ? Layout.u.mask : 0;
}

// A layout without order or with a custom one is taken as the default of its channel count.
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

int TruncatedInt(double Value) {
  return static_cast<int>(std::clamp<double>(Value, INT_MIN, INT_MAX));
}

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

// The resampler for 16-bit samples of InChannels/InRate/InMask, and the FIFO in the encoder's
// format: made on first use and again when the input changes. Made here rather than at set-up
// because the encoder may change its sample format when it opens.
void PrepareConversion(TOutputStream &Ost, int InChannels, int InRate, uint64_t InMask,
                       bool Compensating) {
  AVCodecContext &Enc = *Ost.Encoder;
  const int OutChannels = Enc.ch_layout.nb_channels;
  if (!Ost.Fifo || Ost.FifoFormat != Enc.sample_fmt || Ost.FifoChannels != OutChannels) {
    Ost.Fifo.reset(av::av_audio_fifo_alloc(Enc.sample_fmt, OutChannels, 1024));
    if (!Ost.Fifo) throw FFMpegException("av_fifo_init fail");
    Ost.FifoFormat = Enc.sample_fmt;
    Ost.FifoChannels = OutChannels;
  }
  if (Ost.ResampleReady && Ost.ResampleInRate == InRate && Ost.ResampleInChannels == InChannels &&
      Ost.ResampleInLayout == InMask)
    return;
  Ost.Resample.reset();
  Ost.ResampleReady = false;
  AVChannelLayout InLayout = LayoutOf(InMask, InChannels);
  if (Ost.AudioResample || Enc.sample_fmt != AV_SAMPLE_FMT_S16 || Enc.sample_rate != InRate ||
      av::av_channel_layout_compare(&InLayout, &Enc.ch_layout) != 0) {
    SwrContext *Made = nullptr;
    int Result = av::swr_alloc_set_opts2(&Made, &Enc.ch_layout, Enc.sample_fmt, Enc.sample_rate,
                                         &InLayout, AV_SAMPLE_FMT_S16, InRate, 0, nullptr);
    Ost.Resample.reset(Made);
    // Compensation needs the resampling filter even when the rates are equal.
    if (Result >= 0 && Compensating)
      Result = av::av_opt_set_int(Made, "flags", SWR_FLAG_RESAMPLE, 0);
    if (Result >= 0) Result = av::swr_init(Made);
    if (Result < 0)
      throw FFMpegException(
          FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", InChannels,
                     InRate, OutChannels, Enc.sample_rate));
  }
  Ost.ResampleReady = true;
  Ost.ResampleInRate = InRate;
  Ost.ResampleInChannels = InChannels;
  Ost.ResampleInLayout = InMask;
}

void WriteFifo(TOutputStream &Ost, uint8_t *const *Planes, int Samples) {
  if (Samples <= 0) return;
  void *const *Data = reinterpret_cast<void *const *>(Planes);
  if (av::av_audio_fifo_write(Ost.Fifo.get(), const_cast<void **>(Data), Samples) < Samples)
    throw std::bad_alloc();
}

// Resampler output for In (null: what the resampler still holds) into the FIFO; false when
// nothing came out.
bool ResampleIntoFifo(TOutputStream &Ost, const uint8_t *In, int InSamples) {
  SwrContext *Resample = Ost.Resample.get();
  const int Room = av::swr_get_out_samples(Resample, InSamples);
  if (Room <= 0) return false;
  if (Room > Ost.ConvertedSamples) {
    const AVCodecContext &Enc = *Ost.Encoder;
    const int Samples = Room + Room / 4;
    Ost.Converted.reset();
    Ost.ConvertedSamples = 0;
    Ost.ConvertedPlanes.assign(std::max(Enc.ch_layout.nb_channels, 1), nullptr);
    int LineSize = 0;
    if (av::av_samples_alloc(Ost.ConvertedPlanes.data(), &LineSize, Enc.ch_layout.nb_channels,
                             Samples, Enc.sample_fmt, 0) < 0)
      throw std::bad_alloc();
    Ost.Converted.reset(Ost.ConvertedPlanes[0]);
    Ost.ConvertedSamples = Samples;
  }
  const int Out = av::swr_convert(Resample, Ost.ConvertedPlanes.data(), Ost.ConvertedSamples,
                                  In ? &In : nullptr, InSamples);
  if (Out < 0) throw FFMpegException("Audio encoding failed");
  WriteFifo(Ost, Ost.ConvertedPlanes.data(), Out);
  return Out > 0;
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

// The FIFO and what the resampler holds.
int TCustomFFmpeg::QueuedAudioSamples(const TOutputStream &Ost) const {
  int Queued = Ost.Fifo ? av::av_audio_fifo_size(Ost.Fifo.get()) : 0;
  if (Ost.Resample)
    Queued += static_cast<int>(av::swr_get_delay(Ost.Resample.get(), Ost.Encoder->sample_rate));
  return Queued;
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

void TCustomFFmpeg::DoAudioOut(TOutputFileContext &File, TOutputStream &Ost, int Size,
                               uint8_t *Data, TInputStream &Ist) {
  if (!Ost.Encoder || !Data || Size <= 0) return;
  const AVCodecContext *Dec = Ist.Decoder.get();
  const int InChannels = Ist.ToS16Channels > 0 ? Ist.ToS16Channels
                         : Dec                 ? Dec->ch_layout.nb_channels
                                               : 0;
  const int InRate = Ist.ToS16Rate > 0 ? Ist.ToS16Rate : Dec ? Dec->sample_rate : 0;
  if (InChannels <= 0 || InRate <= 0) return;
  if (Ost.Encoder->ch_layout.nb_channels != InChannels) Ost.AudioResample = 1;
  PrepareConversion(Ost, InChannels, InRate, Ist.ToS16Layout, FAudioSyncMethod >= 2);
  // Once the recording time is reached the stream's clock stays where it is.
  if (int Room = Size; !LimitAudioToRecordingTime(Ost, Room, InChannels, InRate)) return;
  if (!SynchroniseAudio(Ost, Ist, Data, Size, InChannels, InRate)) return;
  if (!LimitAudioToRecordingTime(Ost, Size, InChannels, InRate)) return;
  const int InSamples = Size / (2 * InChannels);
  if (Ost.Resample)
    ResampleIntoFifo(Ost, Data, InSamples);
  else
    WriteFifo(Ost, &Data, InSamples);
  EncodeAudioFifo(File, Ost, false);
}

bool TCustomFFmpeg::SynchroniseAudio(TOutputStream &Ost, TInputStream &Ist, uint8_t *&Data,
                                     int &Size, int InChannels, int InRate) {
  const int OutRate = Ost.Encoder->sample_rate;
  const TInputStream &SyncIst = Ost.SyncIst ? *Ost.SyncIst : Ist;
  const double SyncIpts = static_cast<double>(SyncIst.Pts - FStartTime) / 1e6;
  const int Queued = QueuedAudioSamples(Ost);
  if (FAudioSyncMethod == 0) {
    Ost.SyncOpts = std::llround(OutRate * SyncIpts) - Queued;
    return true;
  }
  const double Delta = OutRate * SyncIpts - static_cast<double>(Ost.SyncOpts) - Queued;
  if (std::fabs(Delta) <= SyncToleranceSamples) return true;
  const int FrameBytes = 2 * InChannels;
  if (Ist.IsStart || std::fabs(Delta) > FAudioDriftThreshold * OutRate) {
    const double InDelta = std::trunc(Delta * InRate / OutRate);
    if (InDelta < 0) {
      const int Dropped = static_cast<int>(std::min<double>(-InDelta * FrameBytes, Size));
      Data += Dropped;
      Size -= Dropped;
      if (FVerbose > 2) DoLog(1, FormatText("discarding %d audio samples", TruncatedInt(-Delta)));
      if (Size == 0) return false;
      Ist.IsStart = 0;
      return true;
    }
    int Padding = static_cast<int>(std::min<double>(InDelta * FrameBytes, MaxPaddedChunkBytes));
    if (Padding + int64_t{Size} > MaxPaddedChunkBytes) {
      // Limited: the padding goes on with the next chunk. A chunk already beyond the limit
      // gets none.
      Padding = std::max(MaxPaddedChunkBytes - Size, 0);
      Padding -= Padding % FrameBytes;
    } else {
      Ist.IsStart = 0;
    }
    if (!GrowBuffer(Ost.Silence, Ost.SilenceSize, size_t(Padding) + Size)) throw std::bad_alloc();
    std::memset(Ost.Silence.get(), 0, Padding);
    std::memmove(Ost.Silence.get() + Padding, Data, Size);
    Data = Ost.Silence.get();
    Size += Padding;
    if (FVerbose > 2)
      DoLog(1, FormatText("adding %d audio samples of silence", TruncatedInt(Delta)));
  } else if (FAudioSyncMethod > 1) {
    const int Compensation = std::clamp(TruncatedInt(Delta), -FAudioSyncMethod, FAudioSyncMethod);
    if (!Ost.Resample) throw EAssertionFailed("drift compensation without a resampler");
    if (FVerbose > 2)
      DoLog(1, FormatText("compensating audio timestamp drift:%.2f compensation:%d in:%d", Delta,
                          Compensation, OutRate));
    av::swr_set_compensation(Ost.Resample.get(), Compensation, OutRate);
  }
  return true;
}

bool TCustomFFmpeg::LimitAudioToRecordingTime(const TOutputStream &Ost, int &Size, int InChannels,
                                              int InRate) const {
  if (FRecordingTime == INT64_MAX) return true;
  const int OutRate = Ost.Encoder->sample_rate;
  const double Limit = std::round(static_cast<double>(FRecordingTime) / 1e6 * OutRate);
  const double Left = Limit - static_cast<double>(Ost.SyncOpts + QueuedAudioSamples(Ost));
  if (Left <= 0) return false;
  const double Allowed = std::ceil(Left * InRate / OutRate) * 2 * InChannels;
  if (Allowed < Size) Size = static_cast<int>(Allowed);
  return Size > 0;
}

void TCustomFFmpeg::EncodeAudioFifo(TOutputFileContext &File, TOutputStream &Ost, bool Flush) {
  AVAudioFifo *Fifo = Ost.Fifo.get();
  const int FrameSize = Ost.Encoder->frame_size;
  if (FrameSize <= 1) {
    // PCM-like encoders take any number of samples.
    if (const int Samples = av::av_audio_fifo_size(Fifo); Samples > 0)
      EncodeAudioFrame(File, Ost, Samples, Samples);
    return;
  }
  while (av::av_audio_fifo_size(Fifo) >= FrameSize)
    EncodeAudioFrame(File, Ost, FrameSize, FrameSize);
  const int Rest = av::av_audio_fifo_size(Fifo);
  if (!Flush || Rest == 0) return;
  // Encoders that cannot take a short last frame get it padded rather than lose it.
  const bool SmallLastFrame = Ost.Encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
  EncodeAudioFrame(File, Ost, Rest, SmallLastFrame ? Rest : FrameSize);
}

void TCustomFFmpeg::EncodeAudioFrame(TOutputFileContext &File, TOutputStream &Ost, int Samples,
                                     int FrameSamples) {
  const AVCodecContext &Enc = *Ost.Encoder;
  if (!Ost.AudioFrame) Ost.AudioFrame.reset(av::av_frame_alloc());
  if (!Ost.AudioFrame) throw std::bad_alloc();
  AVFrame &Frame = *Ost.AudioFrame;
  av::av_frame_unref(&Frame);
  Frame.nb_samples = FrameSamples;
  Frame.format = Enc.sample_fmt;
  Frame.sample_rate = Enc.sample_rate;
  if (av::av_channel_layout_copy(&Frame.ch_layout, &Enc.ch_layout) < 0 ||
      av::av_frame_get_buffer(&Frame, 0) < 0)
    throw std::bad_alloc();
  av::av_audio_fifo_read(Ost.Fifo.get(), reinterpret_cast<void **>(Frame.extended_data), Samples);
  if (FrameSamples > Samples)
    av::av_samples_set_silence(Frame.extended_data, Samples, FrameSamples - Samples,
                               Enc.ch_layout.nb_channels, Enc.sample_fmt);
  // Re-stamping from the input clock may step back a sample or two; encoders and muxers want
  // rising timestamps.
  if (Ost.NextFramePts != NoTimestamp) Ost.SyncOpts = std::max(Ost.SyncOpts, Ost.NextFramePts);
  Frame.pts = Ost.SyncOpts;
  Ost.SyncOpts += FrameSamples;
  Ost.NextFramePts = Ost.SyncOpts;
  Ost.Encoding->Send(&Frame, "Audio encoding failed");
  av::av_frame_unref(&Frame);
}

void TCustomFFmpeg::FlushAudioFifo(TOutputFileContext &File, TOutputStream &Ost) {
  if (!Ost.Encoder || !Ost.EncoderOpened || !Ost.Fifo) return;
  // The resampler holds the last few samples of its filter.
  if (Ost.Resample)
    for (int Pass = 0; Pass < 8 && ResampleIntoFifo(Ost, nullptr, 0); ++Pass) {
    }
  EncodeAudioFifo(File, Ost, true);
}
