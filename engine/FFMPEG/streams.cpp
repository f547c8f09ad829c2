// Output streams with their encoder settings. A stream keeps only codec parameters now, so
// each encoded stream gets an encoder context in its record (TOutputStream) that the session
// opens later. The record is complete before the stream is added, so whatever is refused or
// thrown leaves the output as it was.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/option_values.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

namespace {

// "start,end,q" triples separated by "/": q > 0 is a fixed quantiser, otherwise -q percent of
// the normal quality.
std::vector<RcOverride> ParseRcOverride(const std::string &Text) {
  std::vector<RcOverride> Overrides;
  if (Text.empty()) return Overrides;
  for (const char *Rest = Text.c_str(); Rest;) {
    int Start, End, Q;
    if (std::sscanf(Rest, "%d,%d,%d", &Start, &End, &Q) != 3)
      throw FFMpegException("error parsing rc_override");
    // -Q of the smallest int does not exist.
    if (Q == INT32_MIN) throw FFMpegException("error parsing rc_override");
    RcOverride Entry{};
    Entry.start_frame = Start;
    Entry.end_frame = End;
    Entry.qscale = Q > 0 ? Q : 0;
    Entry.quality_factor = Q > 0 ? 1.0f : -Q / 100.0f;
    Overrides.push_back(Entry);
    Rest = std::strchr(Rest, '/');
    if (Rest) ++Rest;
  }
  return Overrides;
}

// The entry of Rates (ended by 0/0) nearest to Rate; the first of equally near ones.
AVRational NearestRate(AVRational Rate, const AVRational *Rates) {
  AVRational Best = Rate;
  AVRational BestError{INT32_MAX, 1};
  for (; Rates->den != 0; ++Rates) {
    const int64_t Numerator = std::llabs(static_cast<int64_t>(Rate.num) * Rates->den -
                                         static_cast<int64_t>(Rates->num) * Rate.den);
    AVRational Error;
    av::av_reduce(&Error.num, &Error.den, Numerator, static_cast<int64_t>(Rate.den) * Rates->den,
                  INT32_MAX);
    if (av_cmp_q(Error, BestError) < 0) {
      BestError = Error;
      Best = *Rates;
    }
  }
  return Best;
}

// Muxers of the QuickTime family store each sample's duration, so they hold any timing,
// though the libraries do not flag them as variable-rate.
constexpr const char *TimedSampleMuxers[] = {"mov", "mp4", "ipod", "psp", "3gp", "3g2", "ismv"};
// Encoders that code pictures at a fixed rate of their own: the H.263 family counts
// pictures, DV has its norms (MPEG-1/2 say it by their list of rates).
constexpr AVCodecID FixedRateCodecs[] = {AV_CODEC_ID_H263, AV_CODEC_ID_H263P, AV_CODEC_ID_RV10,
                                         AV_CODEC_ID_RV20, AV_CODEC_ID_DVVIDEO};

// Whether pictures written by Encoder into Format may keep timestamps of any spacing.
bool TakesVariableTiming(const AVOutputFormat &Format, const AVCodec *Encoder) {
  if (!Encoder || av_compat::FrameRates(Encoder) ||
      std::find(std::begin(FixedRateCodecs), std::end(FixedRateCodecs), Encoder->id) !=
          std::end(FixedRateCodecs))
    return false;
  if (Format.flags & AVFMT_NOTIMESTAMPS) return false;
  if (Format.flags & AVFMT_VARIABLE_FPS) return true;
  return std::any_of(std::begin(TimedSampleMuxers), std::end(TimedSampleMuxers),
                     [&](const char *Name) { return std::strcmp(Format.name, Name) == 0; });
}

// A copy from the libraries' allocator: the encoder context frees what it is given.
template <typename T>
T *LibraryCopy(const T *Source, size_t Count) {
  T *Copy = static_cast<T *>(av::av_malloc(sizeof(T) * Count));
  if (!Copy) throw std::bad_alloc();
  std::memcpy(Copy, Source, sizeof(T) * Count);
  return Copy;
}

// Adds a new stream to Output for the complete Record; nothing can fail after the stream is
// made, so a failure leaves neither a stream nor a record behind.
TOutputStream &AddStream(TOutputFileContext &Output, AVMediaType MediaType,
                         std::unique_ptr<TOutputStream> Record) {
  Output.Streams.reserve(Output.Streams.size() + 1);
  AVStream *Stream = av::avformat_new_stream(Output.Context.get(), nullptr);
  if (!Stream) throw FFMpegException("Could not alloc stream");
  Stream->id = Stream->index;
  Stream->codecpar->codec_type = MediaType;
  Record->Index = Stream->index;
  Record->St = Stream;
  Output.Streams.push_back(std::move(Record));
  return *Output.Streams.back();
}

void SetLanguage(AVStream *Stream, std::string &Language) {
  if (Language.empty()) return;
  char Code[4];
  av::av_strlcpy(Code, Language.c_str(), sizeof Code);
  av::av_dict_set(&Stream->metadata, "language", Code, 0);
  Language.clear();
}

// S16 where the encoder takes it (the audio path works in 16-bit samples), else its first.
AVSampleFormat EncoderSampleFormat(const AVCodec *Encoder, AVSampleFormat Wanted) {
  const AVSampleFormat *Formats = av_compat::SampleFormats(Encoder);
  if (!Formats) return Wanted;
  for (const AVSampleFormat *Format = Formats; *Format != AV_SAMPLE_FMT_NONE; ++Format)
    if (*Format == AV_SAMPLE_FMT_S16) return *Format;
  return Formats[0];
}

// The encoder named, or without a name the muxer's default for MediaType (which may have no
// encoder here: the session then refuses the stream when it opens it).
struct TChosenEncoder {
  const AVCodec *Encoder = nullptr;
  AVCodecID CodecId = AV_CODEC_ID_NONE;
};
TChosenEncoder ChooseEncoder(TCustomFFmpeg &Task, const std::string &Name, AVMediaType MediaType,
                             const AVFormatContext &Muxer) {
  TChosenEncoder Chosen;
  if (!Name.empty()) {
    if (!Task.FindCodec(Name, MediaType, Chosen.Encoder, true))
      throw FFMpegException(Task.FLastErrorText);
    Chosen.CodecId = Chosen.Encoder->id;
  } else {
    Chosen.CodecId = av::av_guess_codec(Muxer.oformat, nullptr, Muxer.url, nullptr, MediaType);
    Chosen.Encoder = av::avcodec_find_encoder(Chosen.CodecId);
  }
  return Chosen;
}

}  // namespace

TCodecContextPtr TCustomFFmpeg::NewEncoder(const AVCodec *Encoder, AVCodecID CodecId,
                                           AVMediaType MediaType, int TypeOptionFlag) {
  TCodecContextPtr Context(av::avcodec_alloc_context3(Encoder));
  if (!Context) throw std::bad_alloc();
  Context->codec_id = CodecId;
  Context->codec_type = MediaType;
  // Generic values first: copying a flag option replaces the whole flag word, so the
  // engine's own bits are or-ed in afterwards.
  ApplyDefaultOptions(FCodecOptions[MediaType].get(), Context.get(),
                      TypeOptionFlag | AV_OPT_FLAG_ENCODING_PARAM);
  Context->thread_count = FOptions.FThreadCount;
  return Context;
}

void TCustomFFmpeg::NewVideoStream(TOutputFileContext &Output) {
  const AVFormatContext &Muxer = *Output.Context;
  try {
    TChosenEncoder Chosen;
    std::vector<RcOverride> Overrides;
    if (!FOptions.FVideoStreamCopy) {
      Chosen = ChooseEncoder(*this, FOptions.FVideoCodecName, AVMEDIA_TYPE_VIDEO, Muxer);
      Overrides = ParseRcOverride(FOptions.FVideoRcOverride);
    }
    auto Made = std::make_unique<TOutputStream>();
    if (FOptions.FVideoStreamCopy) {
      Made->StreamCopy = true;
    } else {
      Made->Encoder =
          NewEncoder(Chosen.Encoder, Chosen.CodecId, AVMEDIA_TYPE_VIDEO, AV_OPT_FLAG_VIDEO_PARAM);
      CopyCodecPrivateOptions(AVMEDIA_TYPE_VIDEO, Made->EncoderOptions.Address());
      ConfigureVideoEncoder(*Made->Encoder, Chosen.Encoder, Overrides,
                            Muxer.oformat->flags & AVFMT_GLOBALHEADER);
      if (KeepsSourceTiming() && TakesVariableTiming(*Muxer.oformat, Chosen.Encoder))
        Made->VariableRate = KeepSourceTimestamps(*Made->Encoder);
      if (FOptions.FVideoQScale != 0 || FOptions.FSameQuality)
        Made->Quality = FOptions.FVideoQScale * FF_QP2LAMBDA;
    }
    TOutputStream &Record = AddStream(Output, AVMEDIA_TYPE_VIDEO, std::move(Made));
    AVStream *Stream = Record.St;
    if (Record.StreamCopy) {
      Stream->codecpar->codec_tag = FOptions.FVideoCodecTag;
    } else {
      Stream->sample_aspect_ratio = Record.Encoder->sample_aspect_ratio;
      Stream->time_base = Record.Encoder->time_base;
      av::avcodec_parameters_from_context(Stream->codecpar, Record.Encoder.get());
    }
  } catch (...) {
    FOptions.FVideoCodecName.clear();
    throw;
  }
  FOptions.FVideoDisable = 0;
  FOptions.FVideoCodecName.clear();
  FOptions.FVideoStreamCopy = 0;
}

void TCustomFFmpeg::ConfigureVideoEncoder(AVCodecContext &Enc, const AVCodec *Encoder,
                                          const std::vector<RcOverride> &Overrides,
                                          bool MuxerWantsGlobalHeader) {
  if (FOptions.FVideoCodecTag != 0) Enc.codec_tag = FOptions.FVideoCodecTag;
  if ((FOptions.FVideoGlobalHeader & 1) ||
      (FOptions.FVideoGlobalHeader == 0 && MuxerWantsGlobalHeader))
    Enc.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (FOptions.FVideoGlobalHeader & 2) Enc.flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;

  AVRational Fps = FOptions.FFrameRate.num != 0 ? FOptions.FFrameRate : AVRational{25, 1};
  // A variable-rate source at a fixed rate gets its average, not the rate its timestamps are
  // laid out at (a mix of 24 and 60 fps parts would be 120 fps, mostly repeated pictures).
  if (KeepsSourceTiming() && FOptions.FSourceTiming.Average.num > 0)
    Fps = FOptions.FSourceTiming.Average;
  const AVRational *Rates = av_compat::FrameRates(Encoder);
  AVRational Rate = Rates ? NearestRate(Fps, Rates) : Fps;
  // The MPEG-4 encoder refuses a time base denominator above 16 bits, as a phone clip's
  // 90000/2999 has: the nearest rate within them.
  if (Enc.codec_id == AV_CODEC_ID_MPEG4)
    av::av_reduce(&Rate.num, &Rate.den, Rate.num, Rate.den, 65535);
  Enc.time_base = AVRational{Rate.den, Rate.num};
  Enc.framerate = Rate;
  Enc.width = PaddedWidth();
  Enc.height = PaddedHeight();
  Enc.sample_aspect_ratio =
      Enc.width > 0 ? av::av_d2q(FOptions.FFrameAspectRatio * Enc.height / Enc.width, 255)
                    : AVRational{0, 1};
  Enc.pix_fmt = FOptions.FFramePixFmt;
  if (const AVPixelFormat *Formats = av_compat::PixelFormats(Encoder)) {
    const AVPixelFormat *Format = Formats;
    while (*Format != AV_PIX_FMT_NONE && *Format != Enc.pix_fmt) ++Format;
    if (*Format == AV_PIX_FMT_NONE) Enc.pix_fmt = Formats[0];
  }
  if (FOptions.FIntraOnly) Enc.gop_size = 0;
  if (FOptions.FVideoQScale != 0 || FOptions.FSameQuality) {
    Enc.flags |= AV_CODEC_FLAG_QSCALE;
    Enc.global_quality = static_cast<int>(FOptions.FVideoQScale * FF_QP2LAMBDA);
  }
  if (!FOptions.FIntraMatrix.empty())
    Enc.intra_matrix = LibraryCopy(FOptions.FIntraMatrix.data(), FOptions.FIntraMatrix.size());
  if (!FOptions.FInterMatrix.empty())
    Enc.inter_matrix = LibraryCopy(FOptions.FInterMatrix.data(), FOptions.FInterMatrix.size());
  if (!Overrides.empty()) {
    Enc.rc_override = LibraryCopy(Overrides.data(), Overrides.size());
    Enc.rc_override_count = static_cast<int>(Overrides.size());
  }
  // In 64 bits: three quarters of a buffer above 715 Mbit would overflow int.
  if (Enc.rc_initial_buffer_occupancy == 0)
    Enc.rc_initial_buffer_occupancy = static_cast<int>(int64_t{Enc.rc_buffer_size} * 3 / 4);
  av_compat::SetIntraDcPrecision(Enc, FOptions.FIntraDcPrecision);
  if (FOptions.FDoPsnr) Enc.flags |= AV_CODEC_FLAG_PSNR;
  if (FOptions.FDoPass == 1) Enc.flags |= AV_CODEC_FLAG_PASS1;
  if (FOptions.FDoPass == 2) Enc.flags |= AV_CODEC_FLAG_PASS2;
}

bool TCustomFFmpeg::KeepsSourceTiming() const {
  return FOptions.FKeepSourceTiming && FOptions.FSourceTiming.Variable;
}

bool TCustomFFmpeg::KeepSourceTimestamps(AVCodecContext &Enc) const {
  AVRational TimeBase = FOptions.FSourceTiming.TimeBase;
  if (TimeBase.num <= 0 || TimeBase.den <= 0) return false;
  // The MPEG-4 encoder's 16 bits: the source's clock slowed by the smallest whole factor
  // (a phone clip's 1/90000 becomes 1/45000).
  if (Enc.codec_id == AV_CODEC_ID_MPEG4 && TimeBase.den > 65535)
    TimeBase.den /= (TimeBase.den + 65534) / 65535;
  // The frame rate stays the average one the encoder's rate control plans with.
  Enc.time_base = TimeBase;
  return true;
}

void TCustomFFmpeg::NewAudioStream(TOutputFileContext &Output) {
  const AVFormatContext &Muxer = *Output.Context;
  try {
    TChosenEncoder Chosen;
    if (!FOptions.FAudioStreamCopy)
      Chosen = ChooseEncoder(*this, FOptions.FAudioCodecName, AVMEDIA_TYPE_AUDIO, Muxer);
    auto Made = std::make_unique<TOutputStream>();
    const AVRational TimeBase{1, FOptions.FAudioSampleRate};
    if (FOptions.FAudioStreamCopy) {
      Made->StreamCopy = true;
    } else {
      Made->Encoder =
          NewEncoder(Chosen.Encoder, Chosen.CodecId, AVMEDIA_TYPE_AUDIO, AV_OPT_FLAG_AUDIO_PARAM);
      CopyCodecPrivateOptions(AVMEDIA_TYPE_AUDIO, Made->EncoderOptions.Address());
    }
    TOutputStream &Record = AddStream(Output, AVMEDIA_TYPE_AUDIO, std::move(Made));
    AVStream *Stream = Record.St;
    if (Record.StreamCopy) {
      AVCodecParameters *Parameters = Stream->codecpar;
      Parameters->codec_tag = FOptions.FAudioCodecTag;
      av::av_channel_layout_uninit(&Parameters->ch_layout);
      av::av_channel_layout_default(&Parameters->ch_layout, FOptions.FAudioChannels);
      Parameters->sample_rate = FOptions.FAudioSampleRate;
    } else {
      AVCodecContext &Enc = *Record.Encoder;
      if (FOptions.FAudioCodecTag != 0) Enc.codec_tag = FOptions.FAudioCodecTag;
      if (Muxer.oformat->flags & AVFMT_GLOBALHEADER) Enc.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      if (FOptions.FAudioQScale > NoAudioQScale) {
        Enc.flags |= AV_CODEC_FLAG_QSCALE;
        Record.Quality = FOptions.FAudioQScale * FF_QP2LAMBDA;
        Enc.global_quality = SaturatedInteger<int>(Record.Quality);
      }
      av::av_channel_layout_uninit(&Enc.ch_layout);
      av::av_channel_layout_default(&Enc.ch_layout, FOptions.FAudioChannels);
      Enc.sample_rate = FOptions.FAudioSampleRate;
      Enc.time_base = TimeBase;
      Enc.sample_fmt = EncoderSampleFormat(Chosen.Encoder, FOptions.FAudioSampleFmt);
      av::avcodec_parameters_from_context(Stream->codecpar, &Enc);
    }
    Stream->time_base = TimeBase;
    SetLanguage(Stream, FOptions.FAudioLanguage);
  } catch (...) {
    FOptions.FAudioCodecName.clear();
    FOptions.FAudioLanguage.clear();
    throw;
  }
  FOptions.FAudioDisable = 0;
  FOptions.FAudioCodecName.clear();
  FOptions.FAudioStreamCopy = 0;
}

void TCustomFFmpeg::NewSubtitleStream(TOutputFileContext &Output) {
  try {
    // Muxers name a subtitle codec of their own now (mp4 and mov: mov_text), so a stream can
    // be wanted without a codec name: it gets the muxer's codec, as video and audio do.
    TChosenEncoder Chosen;
    if (!FOptions.FSubtitleStreamCopy)
      Chosen =
          ChooseEncoder(*this, FOptions.FSubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, *Output.Context);
    auto Made = std::make_unique<TOutputStream>();
    if (FOptions.FSubtitleStreamCopy) {
      Made->StreamCopy = true;
    } else {
      Made->Encoder = NewEncoder(Chosen.Encoder, Chosen.CodecId, AVMEDIA_TYPE_SUBTITLE,
                                 AV_OPT_FLAG_SUBTITLE_PARAM);
      CopyCodecPrivateOptions(AVMEDIA_TYPE_SUBTITLE, Made->EncoderOptions.Address());
    }
    TOutputStream &Record = AddStream(Output, AVMEDIA_TYPE_SUBTITLE, std::move(Made));
    AVStream *Stream = Record.St;
    if (!Record.StreamCopy) {
      // Subtitle encoders refuse to open without a time base; events are timed in
      // microseconds, as the decoders give them.
      Record.Encoder->time_base = AV_TIME_BASE_Q;
      Stream->time_base = AV_TIME_BASE_Q;
      av::avcodec_parameters_from_context(Stream->codecpar, Record.Encoder.get());
    }
    SetLanguage(Stream, FOptions.FSubtitleLanguage);
  } catch (...) {
    FOptions.FSubtitleCodecName.clear();
    FOptions.FSubtitleLanguage.clear();
    throw;
  }
  FOptions.FSubtitleDisable = 0;
  FOptions.FSubtitleCodecName.clear();
  FOptions.FSubtitleStreamCopy = 0;
}

void TCustomFFmpeg::NewCoverStream(TOutputFileContext &Output) {
  auto Made = std::make_unique<TOutputStream>();
  Made->StreamCopy = true;
  TOutputStream &Record = AddStream(Output, AVMEDIA_TYPE_VIDEO, std::move(Made));
  // The mapping looks for a cover picture for a stream marked as one.
  Record.St->disposition = AV_DISPOSITION_ATTACHED_PIC;
}
