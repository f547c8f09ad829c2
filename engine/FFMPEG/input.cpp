// Opening an input: the file is opened and probed with the options collected so far, seeked to
// the requested start, and its picture and sound facts become the option state that the next
// output starts from. Streams carry only codec parameters now, so a decoder context is built
// beside every stream here and opened later by the session.

#include <cmath>
#include <filesystem>
#include <mutex>
#include <string_view>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/codec_lookup.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/open_error.h"
#include "engine/FFMPEG/picture_turn.h"
#include "engine/FFMPEG/plain_file.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"
#include "text/text_utils.h"

namespace {

bool IsKnownMediaType(int Type) {
  return Type >= AVMEDIA_TYPE_UNKNOWN && Type <= AVMEDIA_TYPE_ATTACHMENT;
}

// A RealMedia name: its lower-cased extension is a leading part of ".rmvb".
bool HasRealMediaExtension(const std::string &FileName) {
  const std::string Extension = LowerCaseText(std::filesystem::path(FileName).extension().string());
  return !Extension.empty() && std::string_view(".rmvb").starts_with(Extension);
}

// The start of the file as the input's own start time plus the requested start.
int64_t StartTimestamp(const AVFormatContext *Context, int64_t StartTime) {
  int64_t Timestamp = StartTime;
  if (Context->start_time != AV_NOPTS_VALUE) Timestamp += Context->start_time;
  return Timestamp;
}

// A stream is variable-rate when its average rate is unknown (a Matroska file written without
// a default duration) or differs by more than a thousandth from the rate its timestamps are
// laid out at. A constant-rate stream whose timestamps only jitter is not seen as one.
TSourceTiming SourceTimingOf(const AVStream &Stream) {
  TSourceTiming Timing;
  Timing.TimeBase = Stream.time_base;
  const AVRational Average = Stream.avg_frame_rate, Base = Stream.r_frame_rate;
  if (Average.num > 0 && Average.den > 0) Timing.Average = Average;
  Timing.Variable = Timing.Average.num == 0 || Base.num <= 0 || Base.den <= 0 ||
                    std::fabs(av_q2d(Average) / av_q2d(Base) - 1) > 0.001;
  return Timing;
}

}  // namespace

bool TCustomFFmpeg::FindCodec(const std::string &Name, AVMediaType MediaType, const AVCodec *&Codec,
                              bool Encoder) {
  const TCodecLookup Found = LookUpCodec(Name, MediaType, Encoder);
  if (!Found.Replaced.empty()) DoLog(1, Found.Replaced);
  if (!Found.Error.empty()) FLastErrorText = Found.Error;
  Codec = Found.Codec;
  return Found.Error.empty();
}

bool TCustomFFmpeg::FindCodec(const std::string &Name, AVMediaType MediaType, AVCodecID &CodecId,
                              bool Encoder) {
  const AVCodec *Codec = nullptr;
  const bool Found = FindCodec(Name, MediaType, Codec, Encoder);
  CodecId = Codec ? Codec->id : AV_CODEC_ID_NONE;
  return Found;
}

void TCustomFFmpeg::CheckInputStreamTypes(bool &HasVideo, bool &HasAudio, bool &HasSubtitle) {
  HasVideo = HasAudio = HasSubtitle = false;
  for (int File = 0; File < InputFileCount(); ++File) {
    const AVFormatContext *Context = FInputFiles[File]->Context.get();
    for (unsigned Index = 0; Index < Context->nb_streams; ++Index) {
      const int Type = Context->streams[Index]->codecpar->codec_type;
      if (!IsKnownMediaType(Type)) throw FFMpegException("invalid codec_type of input file");
      HasVideo |= Type == AVMEDIA_TYPE_VIDEO;
      HasAudio |= Type == AVMEDIA_TYPE_AUDIO;
      HasSubtitle |= Type == AVMEDIA_TYPE_SUBTITLE;
    }
  }
}

void TCustomFFmpeg::FillInputOpenOptions(AVDictionary **Options) {
  auto SetInt = [Options](const char *Key, int64_t Value) {
    av::av_dict_set(Options, Key, std::to_string(Value).c_str(), 0);
  };
  // Honoured only by the demuxers that declare these (raw and capture formats).
  if (FOptions.FFrameRate.num > 0 && FOptions.FFrameRate.den > 0)
    av::av_dict_set(Options, "framerate",
                    FormatText("%d/%d", FOptions.FFrameRate.num, FOptions.FFrameRate.den).c_str(),
                    0);
  if (FOptions.FAudioSampleRate > 0) SetInt("sample_rate", FOptions.FAudioSampleRate);
  if (FOptions.FAudioChannels > 0) SetInt("channels", FOptions.FAudioChannels);
  const int Width = PaddedWidth();
  const int Height = PaddedHeight();
  if (Width > 0 && Height > 0)
    av::av_dict_set(Options, "video_size", FormatText("%dx%d", Width, Height).c_str(), 0);
  if (FOptions.FFramePixFmt != AV_PIX_FMT_NONE)
    av::av_dict_set(Options, "pixel_format", av::av_get_pix_fmt_name(FOptions.FFramePixFmt), 0);
  if (FOptions.FVideoChannel != 0) SetInt("channel", FOptions.FVideoChannel);
  if (!FOptions.FVideoStandard.empty())
    av::av_dict_set(Options, "standard", FOptions.FVideoStandard.c_str(), 0);
  // Image sequences loop through their own demuxer option now.
  if (FOptions.FLoopInput) SetInt("loop", 1);
  CopyFormatPrivateOptions(Options);
}

void TCustomFFmpeg::EndInputOpen() {
  FOptions.FVideoCodecName.clear();
  FOptions.FAudioCodecName.clear();
  FOptions.FSubtitleCodecName.clear();
  FOptions.FInputFormat = nullptr;
  FOptions.FOutputFormat = nullptr;
  FOptions.FVideoChannel = 0;
  FOptions.FRateEmu = 0;
  FOptions.FAutoRotate = false;
}

bool TCustomFFmpeg::OpenInputFile(const std::string &FileName) {
  return OpenFile(&TCustomFFmpeg::TryOpenInputFile, &TCustomFFmpeg::EndInputOpen, FileName);
}

bool TCustomFFmpeg::OpenPlainInputFile(const std::string &FileName) {
  return OpenFile(&TCustomFFmpeg::TryOpenPlainInputFile, &TCustomFFmpeg::EndInputOpen, FileName);
}

bool TCustomFFmpeg::TryOpenInputFile(const std::string &FileName) {
  return TryOpenInput(FileName, FileName, false);
}

bool TCustomFFmpeg::TryOpenPlainInputFile(const std::string &FileName) {
  FLastErrorText = PlainFileRefusal(FileName);
  if (!FLastErrorText.empty()) return false;
  return TryOpenInput(FileName, PlainFileUrl(FileName), true);
}

bool TCustomFFmpeg::TryOpenInput(const std::string &FileName, const std::string &Url,
                                 bool PlainFile) {
  if (InputFileCount() >= MaxFiles) {
    FLastErrorText =
        FormatText("%s: too many input files (at most %d)", FileName.c_str(), MaxFiles);
    return false;
  }
  TOutputContextPtr Allocated(av::avformat_alloc_context());
  if (!Allocated) {
    FLastErrorText = FormatOpenError(FileName, OpenErrorNoMemory);
    return false;
  }
  // The codec names are decoders here, and are refused before the file is touched.
  AVCodecID VideoCodec, AudioCodec, SubtitleCodec;
  if (!FindCodec(FOptions.FVideoCodecName, AVMEDIA_TYPE_VIDEO, VideoCodec, false) ||
      !FindCodec(FOptions.FAudioCodecName, AVMEDIA_TYPE_AUDIO, AudioCodec, false) ||
      !FindCodec(FOptions.FSubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, SubtitleCodec, false))
    return false;
  TDictionary OpenOptions;
  FillInputOpenOptions(OpenOptions.Address());
  if (PlainFile) AllowFileProtocolOnly(OpenOptions.Address());
  ApplyDefaultOptions(FFormatOptions.get(), Allocated.get(), AV_OPT_FLAG_DECODING_PARAM);
  Allocated->video_codec_id = FOptions.FPgmyuvCompatibilityHack ? AV_CODEC_ID_PGMYUV : VideoCodec;
  Allocated->audio_codec_id = AudioCodec;
  Allocated->subtitle_codec_id = SubtitleCodec;

  // On failure avformat_open_input frees the context itself.
  AVFormatContext *Context = Allocated.release();
  const int Result =
      av::avformat_open_input(&Context, Url.c_str(), FOptions.FInputFormat, OpenOptions.Address());
  if (Result < 0) {
    FLastErrorText = FormatOpenError(FileName, InputOpenErrorCode(Url, Result));
    return false;
  }
  auto Input = std::make_unique<TInputFileContext>();
  Input->Context.reset(Context);
  Input->FileName = FileName;
  FInputFiles.reserve(FInputFiles.size() + 1);
  if (FOptions.FProgramId != 0)
    for (unsigned I = 0; I < Context->nb_programs; ++I)
      if (Context->programs[I]->id != FOptions.FProgramId)
        Context->programs[I]->discard = AVDISCARD_ALL;
  {
    std::lock_guard Lock(CodecOpenLock);
    if (av::avformat_find_stream_info(Context, nullptr) < 0 && FOptions.FVerbose >= 0) {
      FLastErrorText = FormatText("%s: could not find codec parameters", FileName.c_str());
      return false;
    }
  }
  // A read error while probing leaves streams without parameters; the error is the cause.
  if (const AVIOContext *Pb = Context->pb; Pb && Pb->error < 0 && Pb->error != AVERROR_EOF) {
    FLastErrorText = FormatText("Could not read '%s': %s", FileName.c_str(),
                                LibraryErrorText(Pb->error).c_str());
    return false;
  }

  const int64_t Timestamp = StartTimestamp(Context, FOptions.FStartTime);
  const bool Seeked = FOptions.FStartTime != 0;
  if (Seeked) {
    // A failed seek leaves the input where the library left it.
    av::av_seek_frame(Context, -1, Timestamp, AVSEEK_FLAG_BACKWARD);
    FOptions.FStartTime = 0;
  }
  Input->RateEmu = FOptions.FRateEmu;
  Input->AutoRotate = FOptions.FAutoRotate;
  const int FileIndex = InputFileCount();
  for (unsigned Index = 0; Index < Context->nb_streams; ++Index)
    TakeOverInputStream(*Input, FileIndex, Index, FileName);

  if (Context->duration != AV_NOPTS_VALUE && Context->duration / 1000 > FOptions.FOutputDurationMs)
    FOptions.FOutputDurationMs =
        static_cast<int>(std::min<int64_t>(Context->duration / 1000, INT32_MAX));

  FOptions.FInputFilesTsOffset[FileIndex] =
      FOptions.FCopyTs ? FOptions.FInputTsOffset : FOptions.FInputTsOffset - Timestamp;
  if (Seeked) Input->StartPts = Timestamp + FOptions.FInputFilesTsOffset[FileIndex];
  if (FOptions.FVerbose >= 0) av::av_dump_format(Context, FileIndex, FileName.c_str(), 0);
  FInputFiles.push_back(std::move(Input));
  return true;
}

void TCustomFFmpeg::TakeOverInputStream(TInputFileContext &Input, int FileIndex, unsigned Index,
                                        const std::string &FileName) {
  AVStream *Stream = Input.Context->streams[Index];
  const AVCodecParameters *Parameters = Stream->codecpar;
  if (!IsKnownMediaType(Parameters->codec_type)) throw FFMpegException("invalid codec_type");
  TCodecContextPtr Decoder(
      av::avcodec_alloc_context3(av::avcodec_find_decoder(Parameters->codec_id)));
  if (!Decoder || av::avcodec_parameters_to_context(Decoder.get(), Parameters) < 0)
    throw FFMpegException(FormatOpenError(FileName, OpenErrorNoMemory));
  Decoder->pkt_timebase = Stream->time_base;
  Decoder->thread_count = FOptions.FThreadCount;
  AVCodecContext *Dec = Decoder.get();
  switch (Parameters->codec_type) {
    case AVMEDIA_TYPE_VIDEO: {
      ApplyDefaultOptions(FCodecOptions[AVMEDIA_TYPE_VIDEO].get(), Dec,
                          AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
      // A picture turned upright by a quarter turn is taken over with its sides exchanged.
      const bool Swap =
          FOptions.FAutoRotate && TurnOfMatrix(av_compat::DisplayMatrix(*Stream)).Swap;
      FOptions.FFrameHeight = Swap ? Dec->width : Dec->height;
      FOptions.FFrameWidth = Swap ? Dec->height : Dec->width;
      const AVRational Sar =
          Swap ? AVRational{Dec->sample_aspect_ratio.den, Dec->sample_aspect_ratio.num}
               : Dec->sample_aspect_ratio;
      FOptions.FFrameAspectRatio =
          Sar.den != 0 && FOptions.FFrameHeight != 0
              ? static_cast<float>(static_cast<double>(Sar.num) / Sar.den * FOptions.FFrameWidth /
                                   FOptions.FFrameHeight)
              : 0;
      // A picture of unknown size has no shape to take over.
      if (FOptions.FFrameAspectRatio == 0 && FOptions.FFrameWidth > 0 && FOptions.FFrameHeight > 0)
        OptFrameAspectRatio(FormatText("%d:%d", FOptions.FFrameWidth, FOptions.FFrameHeight));
      if (Dec->pix_fmt == AV_PIX_FMT_NONE && HasRealMediaExtension(FileName))
        Dec->pix_fmt = AV_PIX_FMT_YUV420P;
      FOptions.FFramePixFmt = Dec->pix_fmt;
      // The rate a variable-rate stream is shown at on average, as the libraries guess it.
      FOptions.FFrameRate = av::av_guess_frame_rate(Input.Context.get(), Stream, nullptr);
      FOptions.FSourceTiming = SourceTimingOf(*Stream);
      if (FOptions.FVideoDisable)
        Stream->discard = AVDISCARD_ALL;
      else if (FOptions.FVideoDiscard != 0)
        Stream->discard = static_cast<AVDiscard>(FOptions.FVideoDiscard);
      break;
    }
    case AVMEDIA_TYPE_AUDIO:
      ApplyDefaultOptions(FCodecOptions[AVMEDIA_TYPE_AUDIO].get(), Dec,
                          AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
      FOptions.FAudioChannels = Dec->ch_layout.nb_channels;
      FOptions.FAudioSampleRate = Dec->sample_rate;
      if (FOptions.FAudioDisable) Stream->discard = AVDISCARD_ALL;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      if (FOptions.FSubtitleDisable) Stream->discard = AVDISCARD_ALL;
      break;
    default:
      break;
  }
  auto Record = std::make_unique<TInputStream>();
  Record->FileIndex = FileIndex;
  Record->Index = static_cast<int>(Index);
  Record->St = Stream;
  Record->Decoder = std::move(Decoder);
  Input.Streams.push_back(std::move(Record));
}
