// Options passed through to the media libraries by name. Values are set on option holders
// (one codec context per media type, a format context and a scaler context) and copied onto
// the real contexts when inputs and outputs are set up. Options that FFmpeg keeps private to
// one codec or muxer cannot live on a holder: they are collected in dictionaries and handed
// over when the codec or file is opened.

#include <cstring>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/log_levels.h"
#include "engine/FFMPEG/option_values.h"
#include "engine/binding/av_api.h"

namespace {

// Option names and values the option set was designed with that FFmpeg 5.1 knows under
// another name; a null value matches, or keeps, any value.
struct TRenamedOption {
  const char *Name;
  const char *Value;
  const char *NewName;
  const char *NewValue;
};
constexpr TRenamedOption RenamedOptions[] = {
    {"gop", nullptr, "g", nullptr},
    // The flag is gone; the MPEG-2 encoder has a private option instead.
    {"flags", "+SCAN_OFFSET", "scan_offset", "1"},
};

// FFmpeg 5.1 marks these for audio as well; they address the video encoder only, so that an
// audio encoder never inherits the video bit rate.
constexpr const char *VideoOnlyOptions[] = {"b", "maxrate", "minrate"};

// The media-type flag each codec holder matches, in holder order (video, audio, data,
// subtitle, attachment). 0 matches any option.
constexpr int HolderTypeFlags[MediaTypeCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM,
                                                 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

int EngineOptionFlags(const AVOption *Option) {
  for (const char *Name : VideoOnlyOptions)
    if (std::strcmp(Option->name, Name) == 0) return Option->flags & ~AV_OPT_FLAG_AUDIO_PARAM;
  return Option->flags;
}

bool HasFlags(const AVOption *Option, int Flags) {
  return (EngineOptionFlags(Option) & Flags) == Flags;
}

// Sets Name on Holder; the option's description on success.
const AVOption *SetOnHolder(void *Holder, const char *Name, const char *Value) {
  if (!Holder || av::av_opt_set(Holder, Name, Value, 0) < 0) return nullptr;
  return av::av_opt_find(Holder, Name, nullptr, 0, 0);
}

// True when Name is an option of one of Class's children (a codec, muxer, demuxer or
// protocol) but not of the class itself, for a child option of media type Flags.
bool IsPrivateOption(const AVClass *Class, const char *Name, int Flags) {
  if (av::av_opt_find(&Class, Name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ)) return false;
  return av::av_opt_find(&Class, Name, nullptr, Flags,
                         AV_OPT_SEARCH_CHILDREN | AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

}  // namespace

bool TCustomFFmpeg::SetDefaultOption(const std::string &AName, const std::string &AValue) {
  if (TrimBlanks(AName).empty() || TrimBlanks(AValue).empty()) return false;
  if (!FCodecOptions[AVMEDIA_TYPE_VIDEO]) return false;  // no holders before Reset
  std::string Name = AName;
  std::string Value = AValue;
  for (const TRenamedOption &Renamed : RenamedOptions)
    if (Name == Renamed.Name && (!Renamed.Value || Value == Renamed.Value)) {
      Name = Renamed.NewName;
      if (Renamed.NewValue) Value = Renamed.NewValue;
      break;
    }

  // The codec holders, by the media type of the option.
  const AVOption *Option = nullptr;
  AVCodecContext *VideoHolder = FCodecOptions[AVMEDIA_TYPE_VIDEO].get();
  for (int Type = 0; Type < MediaTypeCount; ++Type) {
    const AVOption *Known =
        av::av_opt_find(VideoHolder, Name.c_str(), nullptr, HolderTypeFlags[Type], 0);
    if (Known && HasFlags(Known, HolderTypeFlags[Type]))
      Option = SetOnHolder(FCodecOptions[Type].get(), Name.c_str(), Value.c_str());
  }
  if (!Option) Option = SetOnHolder(FFormatOptions.get(), Name.c_str(), Value.c_str());
  if (!Option) Option = SetOnHolder(FScaleOptions.get(), Name.c_str(), Value.c_str());
  // "aXXX", "vXXX", "sXXX": XXX for that media type only.
  if (!Option && Name.size() > 1) {
    const char Prefix = Name[0];
    const int Type = Prefix == 'a'   ? AVMEDIA_TYPE_AUDIO
                     : Prefix == 'v' ? AVMEDIA_TYPE_VIDEO
                     : Prefix == 's' ? AVMEDIA_TYPE_SUBTITLE
                                     : -1;
    if (Type >= 0) Option = SetOnHolder(FCodecOptions[Type].get(), Name.c_str() + 1, Value.c_str());
  }

  bool Collected = false;
  if (!Option) {
    for (int Type = 0; Type < MediaTypeCount; ++Type)
      if (IsPrivateOption(av::avcodec_get_class(), Name.c_str(), HolderTypeFlags[Type])) {
        FCodecPrivateOptions[Type].Set(Name.c_str(), Value.c_str());
        Collected = true;
      }
    if (!Collected && IsPrivateOption(av::avformat_get_class(), Name.c_str(), 0)) {
      FFormatPrivateOptions.Set(Name.c_str(), Value.c_str());
      Collected = true;
    }
    if (!Collected) return false;
  }

  if (Option) FOptionNames.push_back(Option->name);
  if (VideoHolder->debug != 0 || FFormatOptions->debug != 0) {
    av::av_log_set_level(LibraryLogLevel(2));
    RefreshAVLogLevel();
    FOptions.FVerbose = 2;
  }
  return true;
}

void TCustomFFmpeg::ApplyDefaultOptions(void *Source, void *Target, int Flags) {
  for (const char *Name : FOptionNames) {
    const AVOption *Option = av::av_opt_find(Source, Name, nullptr, 0, 0);
    if (!Option) continue;
    uint8_t *Text = nullptr;
    if (av::av_opt_get(Source, Name, 0, &Text) < 0 || !Text) continue;
    if (HasFlags(Option, Flags))
      av::av_opt_set(Target, Name, reinterpret_cast<const char *>(Text), 0);
    av::av_free(Text);
  }
}

void TCustomFFmpeg::CopyCodecPrivateOptions(int MediaType, AVDictionary **Target) const {
  if (MediaType < 0 || MediaType >= MediaTypeCount) return;
  av::av_dict_copy(Target, FCodecPrivateOptions[MediaType].Get(), 0);
}

void TCustomFFmpeg::CopyFormatPrivateOptions(AVDictionary **Target) const {
  av::av_dict_copy(Target, FFormatPrivateOptions.Get(), 0);
}

bool TCustomFFmpeg::SetStrOption(const std::string &Name, const std::string &Value) {
  return SetDefaultOption(Name, Value);
}

bool TCustomFFmpeg::SetIntOption(const std::string &Name, int Value) {
  return SetDefaultOption(Name, std::to_string(Value));
}

void TCustomFFmpeg::OptBitrate(const std::string &Name, const std::string &Value) {
  if (!SetDefaultOption(Name, Value) || !FOnLog) return;
  const int Type = !Name.empty() && Name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
  int64_t BitRate = 0;
  av::av_opt_get_int(FCodecOptions[Type].get(), "b", 0, &BitRate);
  if (BitRate < 1000)
    DoLog(1,
          "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
          "kbits/s");
}
