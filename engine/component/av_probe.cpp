// The media probe over FFmpeg's demuxers. Container tags now live in a metadata dictionary;
// the record keeps its fixed-size texts.

#include "av_probe.h"

#include <cstdlib>
#include <cstring>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/open_error.h"
#include "engine/FFMPEG/picture_turn.h"
#include "engine/FFMPEG/plain_file.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_bindings.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

namespace {

void CheckLibrariesLoaded() {
  struct TCheck {
    bool (*Loaded)();
    const char *Message;
  };
  static constexpr TCheck Checks[] = {
      {AVCodecLibLoaded, "LibAVCodec not loaded."},
      {AVFormatLibLoaded, "LibAVFormat not loaded."},
      {AVUtilLibLoaded, "LibAVUtil not loaded."},
      {SwScaleLibLoaded, "LibSwScale not loaded."},
      {SwResampleLibLoaded, "LibSwResample not loaded."},
  };
  for (const TCheck &Check : Checks)
    if (!Check.Loaded()) throw FFMpegException(Check.Message);
}

// The first of Keys present in Metadata, or nullptr.
const char *FindTag(AVDictionary *Metadata, std::initializer_list<const char *> Keys) {
  for (const char *Key : Keys)
    if (const AVDictionaryEntry *Entry = av::av_dict_get(Metadata, Key, nullptr, 0))
      return Entry->value;
  return nullptr;
}

template <size_t N>
void CopyTag(char (&Target)[N], AVDictionary *Metadata, std::initializer_list<const char *> Keys) {
  if (const char *Value = FindTag(Metadata, Keys)) av::av_strlcpy(Target, Value, N);
}

// The leading number of a tag such as "2008" or "3/12"; 0 without one.
int NumberTag(AVDictionary *Metadata, std::initializer_list<const char *> Keys) {
  const char *Value = FindTag(Metadata, Keys);
  return Value ? static_cast<int>(std::strtol(Value, nullptr, 10)) : 0;
}

int ClampToInt(int64_t Value) {
  if (Value > INT32_MAX) return INT32_MAX;
  if (Value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(Value);
}

void LogInfo(const char *Text) {
  av::av_log(nullptr, AV_LOG_INFO, "%s", Text);
}

}  // namespace

TAVProbe::TAVProbe() = default;

TAVProbe::~TAVProbe() = default;

bool TAVProbe::LoadFile(const std::string &FileName, const std::string &AFormatName) {
  CheckLibrariesLoaded();
  Close();
  const AVInputFormat *Format = nullptr;
  if (!AFormatName.empty()) {
    Format = av::av_find_input_format(AFormatName.c_str());
    if (!Format) {
      FLastError = FormatText("Unknown input format: %s", AFormatName.c_str());
      return false;
    }
  }
  // A FIFO would block the open until someone writes to it: it is never opened.
  FLastError = PlainFileRefusal(FileName);
  if (!FLastError.empty()) return false;
  AVFormatContext *Context = av::avformat_alloc_context();
  if (!Context) {
    FLastError = FormatOpenError(FileName, OpenErrorNoMemory);
    return false;
  }
  const std::string Url = PlainFileUrl(FileName);
  TDictionary Options;
  AllowFileProtocolOnly(Options.Address());
  // On failure avformat_open_input frees the context itself.
  const int Result = av::avformat_open_input(&Context, Url.c_str(), Format, Options.Address());
  if (Result < 0) {
    FLastError = FormatOpenError(FileName, InputOpenErrorCode(Url, Result));
    return false;
  }
  TInputContextPtr Opened(Context);
  // Without the engine's codec lock: the libraries serialise the decoders whose opening is not
  // thread-safe themselves, and probes on several threads must not wait for each other.
  if (av::avformat_find_stream_info(Opened.get(), nullptr) < 0) {
    FLastError = FormatText("%s: could not find codec parameters", FileName.c_str());
    return false;
  }
  FFormatContext = std::move(Opened);
  CountStreams();
  FFormatName = AFormatName;
  return true;
}

void TAVProbe::Close() {
  FFormatContext.reset();
  CountStreams();
}

void TAVProbe::CountStreams() {
  FStreamCount = FProgramCount = -1;
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStream = FFirstVideoStream = FFirstSubtitleStream = -1;
  if (!FFormatContext) return;
  FStreamCount = static_cast<int>(FFormatContext->nb_streams);
  FProgramCount = static_cast<int>(FFormatContext->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int I = 0; I < FStreamCount; ++I) {
    switch (FFormatContext->streams[I]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        ++FVideoStreamCount;
        if (FFirstVideoStream < 0) FFirstVideoStream = I;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++FAudioStreamCount;
        if (FFirstAudioStream < 0) FFirstAudioStream = I;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++FSubtitleStreamCount;
        if (FFirstSubtitleStream < 0) FFirstSubtitleStream = I;
        break;
      default:
        break;
    }
  }
}

void TAVProbe::GetFormatInfo(TFormatInfo &Info) const {
  std::memset(&Info, 0, sizeof Info);
  if (!FFormatContext) {
    Info.StartTime = Info.Duration = Info.Timestamp = -1;
    Info.BitRate = Info.Year = Info.Track = -1;
    LogInfo("file not loaded.\n");
    return;
  }
  const AVFormatContext *Context = FFormatContext.get();
  AVDictionary *Tags = Context->metadata;
  Info.StartTime = Context->start_time;
  Info.Duration = Context->duration;
  Info.DurationEstimated = Context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
  Info.BitRate = ClampToInt(Context->bit_rate);
  if (const char *Created = FindTag(Tags, {"creation_time"})) {
    int64_t Microseconds = 0;
    if (av::av_parse_time(&Microseconds, Created, 0) == 0) Info.Timestamp = Microseconds / 1000000;
  }
  CopyTag(Info.Title, Tags, {"title"});
  CopyTag(Info.Author, Tags, {"artist", "author"});
  CopyTag(Info.Copyright, Tags, {"copyright"});
  CopyTag(Info.Comment, Tags, {"comment"});
  CopyTag(Info.Album, Tags, {"album"});
  Info.Year = NumberTag(Tags, {"date", "year"});
  Info.Track = NumberTag(Tags, {"track"});
  CopyTag(Info.Genre, Tags, {"genre"});
}

void TAVProbe::GetVideoStreamInfo(TVideoStreamInfo &Info) const {
  GetVideoStreamInfo(-1, Info);
}

void TAVProbe::GetVideoStreamInfo(int StreamIndex, TVideoStreamInfo &Info) const {
  std::memset(&Info, 0, sizeof Info);
  Info.StartTime = Info.StartTimeScaled = Info.Duration = Info.DurationScaled = -1;
  Info.BitRate = Info.Height = Info.Width = Info.PixelFormat = -1;
  Info.FrameRateNum = Info.FrameRateDen = -1;
  Info.DisplayAspect = -1;
  if (!FFormatContext) {
    LogInfo("file not loaded.\n");
    return;
  }
  if (StreamIndex == -1) {
    if (FFirstVideoStream < 0) {
      av::av_log(nullptr, AV_LOG_ERROR, "no video stream.\n");
      return;
    }
    StreamIndex = FFirstVideoStream;
  }
  if (StreamIndex < 0 || StreamIndex >= FStreamCount) {
    av::av_log(nullptr, AV_LOG_ERROR, "stream index #%d is invalid.\n", StreamIndex);
    return;
  }
  const AVStream *Stream = FFormatContext->streams[StreamIndex];
  const AVCodecParameters *Codec = Stream->codecpar;
  if (Codec->codec_type != AVMEDIA_TYPE_VIDEO) {
    av::av_log(nullptr, AV_LOG_ERROR, "stream #%d is not video stream.\n", StreamIndex);
    return;
  }
  CopyTag(Info.Language, Stream->metadata, {"language"});
  av::av_strlcpy(Info.CodecName, av::avcodec_get_name(Codec->codec_id), sizeof Info.CodecName);
  constexpr AVRational Microseconds{1, AV_TIME_BASE};
  Info.StartTime = Stream->start_time;
  if (Stream->start_time != AV_NOPTS_VALUE)
    Info.StartTimeScaled = av::av_rescale_q(Stream->start_time, Microseconds, Stream->time_base);
  Info.Duration = Stream->duration;
  if (Stream->duration != AV_NOPTS_VALUE)
    Info.DurationScaled = av::av_rescale_q(Stream->duration, Microseconds, Stream->time_base);
  Info.BitRate = ClampToInt(Codec->bit_rate);
  Info.Height = Codec->height;
  Info.Width = Codec->width;
  const AVRational Aspect = Codec->sample_aspect_ratio;
  Info.DisplayAspect = (Codec->height > 0 && Aspect.den != 0)
                           ? static_cast<float>(Codec->width * av_q2d(Aspect) / Codec->height)
                           : 0.0f;
  TurnOfMatrix(av_compat::DisplayMatrix(*Stream), &Info.Rotation);
  Info.PixelFormat = Codec->format;
  Info.FrameRateNum = Stream->r_frame_rate.num;
  Info.FrameRateDen = Stream->r_frame_rate.den;
}
