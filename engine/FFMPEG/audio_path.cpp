// The audio path's run: clock synchronisation, conversion to the encoder's format, the FIFO and
// encoding in whole frames. Runs on the task's thread.

#include "engine/FFMPEG/audio_path.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/FFMPEG/channel_layout.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

constexpr int MaxPaddedChunkBytes = 131072;  // a silence-padded chunk never grows beyond this
constexpr double SyncToleranceSamples = 50;

// Makes Buffer hold at least Samples samples of Channels planes (or one interleaved) in Format.
void Reserve(TSampleBuffer &Buffer, int Channels, int Samples, AVSampleFormat Format) {
  if (Samples <= Buffer.Samples && Format == Buffer.Format) return;
  const int Wanted = Samples + Samples / 4;
  Buffer.Data.reset();
  Buffer.Samples = 0;
  Buffer.Planes.assign(std::max(Channels, 1), nullptr);
  int LineSize = 0;
  if (av::av_samples_alloc(Buffer.Planes.data(), &LineSize, Channels, Wanted, Format, 0) < 0)
    throw std::bad_alloc();
  Buffer.Data.reset(Buffer.Planes[0]);
  Buffer.Samples = Wanted;
  Buffer.Format = Format;
}

int TruncatedInt(double Value) {
  return static_cast<int>(std::clamp<double>(Value, INT_MIN, INT_MAX));
}

}  // namespace

TAudioPath::TAudioPath(TOutputStream &Ost, const TAudioSettings &Settings, TLog Log)
    : FOst(Ost), FSettings(Settings), FLog(std::move(Log)) {}

void TAudioPath::MakeFifo() {
  const AVCodecContext &Enc = *FOst.Encoder;
  FFifo.reset(av::av_audio_fifo_alloc(Enc.sample_fmt, Enc.ch_layout.nb_channels, 1024));
  if (!FFifo) throw FFMpegException("av_fifo_init fail");
  FFifoFormat = Enc.sample_fmt;
  FFifoChannels = Enc.ch_layout.nb_channels;
}

// The resampler for 16-bit samples of InChannels/InRate/InMask, and the FIFO in the encoder's
// format: made on first use and again when the input changes. Made here rather than at set-up
// because the encoder may change its sample format when it opens.
void TAudioPath::PrepareConversion(int InChannels, int InRate, uint64_t InMask) {
  AVCodecContext &Enc = *FOst.Encoder;
  const int OutChannels = Enc.ch_layout.nb_channels;
  if (!FFifo || FFifoFormat != Enc.sample_fmt || FFifoChannels != OutChannels) MakeFifo();
  if (FResampleReady && FResampleInRate == InRate && FResampleInChannels == InChannels &&
      FResampleInLayout == InMask)
    return;
  FResample.reset();
  FLimiter.reset();
  FMixToEncoder.reset();
  FResampleReady = false;
  AVChannelLayout InLayout = LayoutOf(InMask, InChannels);
  if (FAudioResample || Enc.sample_fmt != AV_SAMPLE_FMT_S16 || Enc.sample_rate != InRate ||
      av::av_channel_layout_compare(&InLayout, &Enc.ch_layout) != 0) {
    const bool Mix = OutChannels < InChannels;
    const AVSampleFormat MixFormat = Mix ? AV_SAMPLE_FMT_FLTP : Enc.sample_fmt;
    SwrContext *Made = nullptr;
    int Result = av::swr_alloc_set_opts2(&Made, &Enc.ch_layout, MixFormat, Enc.sample_rate,
                                         &InLayout, AV_SAMPLE_FMT_S16, InRate, 0, nullptr);
    FResample.reset(Made);
    // One downmix level for every encoder format, the ffmpeg program's: the resampler would
    // normalise the mix for integer formats only (7.7 dB for 5.1 to stereo). Mixed in float,
    // the loud passages are limited below full scale instead of clipped, and the mix is
    // rounded once, at the encoder's format.
    if (Result >= 0 && Mix) {
      Result = av::av_opt_set(Made, "rematrix_maxval", "1000", 0);
      if (Result >= 0)
        Result = av::av_opt_set_int(Made, "internal_sample_fmt", AV_SAMPLE_FMT_FLTP, 0);
      FLimiter = std::make_unique<TPeakLimiter>(Enc.sample_rate);
      if (Enc.sample_fmt != MixFormat) {
        SwrContext *Converter = nullptr;
        Result =
            av::swr_alloc_set_opts2(&Converter, &Enc.ch_layout, Enc.sample_fmt, Enc.sample_rate,
                                    &Enc.ch_layout, MixFormat, Enc.sample_rate, 0, nullptr);
        FMixToEncoder.reset(Converter);
        if (Result >= 0) Result = av::swr_init(Converter);
      }
    }
    // Compensation needs the resampling filter even when the rates are equal.
    if (Result >= 0 && FSettings.SyncMethod >= 2)
      Result = av::av_opt_set_int(Made, "flags", SWR_FLAG_RESAMPLE, 0);
    if (Result >= 0) Result = av::swr_init(Made);
    if (Result < 0)
      throw FFMpegException(
          FormatText("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", InChannels,
                     InRate, OutChannels, Enc.sample_rate));
  }
  FResampleReady = true;
  FResampleInRate = InRate;
  FResampleInChannels = InChannels;
  FResampleInLayout = InMask;
}

void TAudioPath::WriteFifo(uint8_t *const *Planes, int Samples) {
  if (Samples <= 0) return;
  void *const *Data = reinterpret_cast<void *const *>(Planes);
  if (av::av_audio_fifo_write(FFifo.get(), const_cast<void **>(Data), Samples) < Samples)
    throw std::bad_alloc();
}

// Resampler output for In (null: what the resampler still holds) into the FIFO; false when
// nothing came out.
bool TAudioPath::ResampleIntoFifo(const uint8_t *In, int InSamples) {
  SwrContext *Resample = FResample.get();
  const int Room = av::swr_get_out_samples(Resample, InSamples);
  if (Room <= 0) return false;
  const AVCodecContext &Enc = *FOst.Encoder;
  Reserve(FConverted, Enc.ch_layout.nb_channels, Room,
          FLimiter ? AV_SAMPLE_FMT_FLTP : Enc.sample_fmt);
  const int Out = av::swr_convert(Resample, FConverted.Planes.data(), FConverted.Samples,
                                  In ? &In : nullptr, InSamples);
  if (Out < 0) throw FFMpegException("Audio encoding failed");
  if (FLimiter)
    LimitIntoFifo(Out);
  else
    WriteFifo(FConverted.Planes.data(), Out);
  return Out > 0;
}

void TAudioPath::LimitIntoFifo(int Samples) {
  if (Samples <= 0) return;
  const AVCodecContext &Enc = *FOst.Encoder;
  const int Channels = Enc.ch_layout.nb_channels;
  FLimiter->Process(reinterpret_cast<float *const *>(FConverted.Planes.data()), Channels, Samples);
  if (!FMixToEncoder) {
    WriteFifo(FConverted.Planes.data(), Samples);
    return;
  }
  Reserve(FMixed, Channels, Samples, Enc.sample_fmt);
  const uint8_t **Mix = const_cast<const uint8_t **>(FConverted.Planes.data());
  // Same rate and layout: every sample comes out at once.
  const int Out =
      av::swr_convert(FMixToEncoder.get(), FMixed.Planes.data(), FMixed.Samples, Mix, Samples);
  if (Out < 0) throw FFMpegException("Audio encoding failed");
  WriteFifo(FMixed.Planes.data(), Out);
}

// The FIFO and what the resampler holds.
int TAudioPath::Queued() const {
  int Queued = FFifo ? av::av_audio_fifo_size(FFifo.get()) : 0;
  if (FResample)
    Queued += static_cast<int>(av::swr_get_delay(FResample.get(), FOst.Encoder->sample_rate));
  return Queued;
}

void TAudioPath::Send(uint8_t *Data, int Size, TInputStream &Ist) {
  if (!FOst.Encoder || !Data || Size <= 0) return;
  const AVCodecContext *Dec = Ist.Decoder.get();
  // The samples' own facts once converted; before that, the decoder's.
  const TSampleConverter *S16 = Ist.ToS16.get();
  const int InChannels = S16 && S16->Channels() > 0 ? S16->Channels()
                         : Dec                      ? Dec->ch_layout.nb_channels
                                                    : 0;
  const int InRate = S16 && S16->Rate() > 0 ? S16->Rate() : Dec ? Dec->sample_rate : 0;
  if (InChannels <= 0 || InRate <= 0) return;
  if (FOst.Encoder->ch_layout.nb_channels != InChannels) FAudioResample = true;
  PrepareConversion(InChannels, InRate, S16 ? S16->Layout() : 0);
  // Once the recording time is reached the stream's clock stays where it is.
  if (int Room = Size; !LimitToRecordingTime(Room, InChannels, InRate)) return;
  if (!Synchronise(Ist, Data, Size, InChannels, InRate)) return;
  if (!LimitToRecordingTime(Size, InChannels, InRate)) return;
  const int InSamples = Size / (2 * InChannels);
  if (FResample)
    ResampleIntoFifo(Data, InSamples);
  else
    WriteFifo(&Data, InSamples);
  EncodeFifo(false);
}

bool TAudioPath::Synchronise(TInputStream &Ist, uint8_t *&Data, int &Size, int InChannels,
                             int InRate) {
  const int OutRate = FOst.Encoder->sample_rate;
  const TInputStream &SyncIst = FOst.SyncIst ? *FOst.SyncIst : Ist;
  const double SyncIpts = static_cast<double>(SyncIst.Pts - FSettings.StartTime) / 1e6;
  const int QueuedSamples = Queued();
  if (FSettings.SyncMethod == 0) {
    FOst.SyncOpts = std::llround(OutRate * SyncIpts) - QueuedSamples;
    return true;
  }
  const double Delta = OutRate * SyncIpts - static_cast<double>(FOst.SyncOpts) - QueuedSamples;
  if (std::fabs(Delta) <= SyncToleranceSamples) return true;
  const int FrameBytes = 2 * InChannels;
  if (Ist.IsStart || std::fabs(Delta) > FSettings.DriftThreshold * OutRate) {
    const double InDelta = std::trunc(Delta * InRate / OutRate);
    if (InDelta < 0) {
      const int Dropped = static_cast<int>(std::min<double>(-InDelta * FrameBytes, Size));
      Data += Dropped;
      Size -= Dropped;
      if (FSettings.Verbose > 2)
        Log(1, FormatText("discarding %d audio samples", TruncatedInt(-Delta)));
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
    if (!GrowBuffer(FSilence, FSilenceSize, size_t(Padding) + Size)) throw std::bad_alloc();
    std::memset(FSilence.get(), 0, Padding);
    std::memmove(FSilence.get() + Padding, Data, Size);
    Data = FSilence.get();
    Size += Padding;
    if (FSettings.Verbose > 2)
      Log(1, FormatText("adding %d audio samples of silence", TruncatedInt(Delta)));
  } else if (FSettings.SyncMethod > 1) {
    const int Compensation =
        std::clamp(TruncatedInt(Delta), -FSettings.SyncMethod, FSettings.SyncMethod);
    if (!FResample) throw EAssertionFailed("drift compensation without a resampler");
    if (FSettings.Verbose > 2)
      Log(1, FormatText("compensating audio timestamp drift:%.2f compensation:%d in:%d", Delta,
                        Compensation, OutRate));
    av::swr_set_compensation(FResample.get(), Compensation, OutRate);
  }
  return true;
}

bool TAudioPath::LimitToRecordingTime(int &Size, int InChannels, int InRate) const {
  if (FSettings.RecordingTime == INT64_MAX) return true;
  const int OutRate = FOst.Encoder->sample_rate;
  const double Limit = std::round(static_cast<double>(FSettings.RecordingTime) / 1e6 * OutRate);
  const double Left = Limit - static_cast<double>(FOst.SyncOpts + Queued());
  if (Left <= 0) return false;
  const double Allowed = std::ceil(Left * InRate / OutRate) * 2 * InChannels;
  if (Allowed < Size) Size = static_cast<int>(Allowed);
  return Size > 0;
}

void TAudioPath::EncodeFifo(bool Flush) {
  AVAudioFifo *Fifo = FFifo.get();
  const int FrameSize = FOst.Encoder->frame_size;
  if (FrameSize <= 1) {
    // PCM-like encoders take any number of samples.
    if (const int Samples = av::av_audio_fifo_size(Fifo); Samples > 0)
      EncodeFrame(Samples, Samples);
    return;
  }
  while (av::av_audio_fifo_size(Fifo) >= FrameSize) EncodeFrame(FrameSize, FrameSize);
  const int Rest = av::av_audio_fifo_size(Fifo);
  if (!Flush || Rest == 0) return;
  // Encoders that cannot take a short last frame get it padded rather than lose it.
  const bool SmallLastFrame = FOst.Encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
  EncodeFrame(Rest, SmallLastFrame ? Rest : FrameSize);
}

void TAudioPath::EncodeFrame(int Samples, int FrameSamples) {
  const AVCodecContext &Enc = *FOst.Encoder;
  if (!FFrame) FFrame.reset(av::av_frame_alloc());
  if (!FFrame) throw std::bad_alloc();
  AVFrame &Frame = *FFrame;
  av::av_frame_unref(&Frame);
  Frame.nb_samples = FrameSamples;
  Frame.format = Enc.sample_fmt;
  Frame.sample_rate = Enc.sample_rate;
  if (av::av_channel_layout_copy(&Frame.ch_layout, &Enc.ch_layout) < 0 ||
      av::av_frame_get_buffer(&Frame, 0) < 0)
    throw std::bad_alloc();
  av::av_audio_fifo_read(FFifo.get(), reinterpret_cast<void **>(Frame.extended_data), Samples);
  if (FrameSamples > Samples)
    av::av_samples_set_silence(Frame.extended_data, Samples, FrameSamples - Samples,
                               Enc.ch_layout.nb_channels, Enc.sample_fmt);
  // Re-stamping from the input clock may step back a sample or two; encoders and muxers want
  // rising timestamps.
  if (FNextFramePts != NoTimestamp) FOst.SyncOpts = std::max(FOst.SyncOpts, FNextFramePts);
  Frame.pts = FOst.SyncOpts;
  FOst.SyncOpts += FrameSamples;
  FNextFramePts = FOst.SyncOpts;
  FOst.Encoding->Send(&Frame, "Audio encoding failed");
  av::av_frame_unref(&Frame);
}

void TAudioPath::Flush() {
  if (!FOst.Encoder || !FOst.EncoderOpened || !FFifo) return;
  // The resampler holds the last few samples of its filter.
  if (FResample)
    for (int Pass = 0; Pass < 8 && ResampleIntoFifo(nullptr, 0); ++Pass) {
    }
  EncodeFifo(true);
}
