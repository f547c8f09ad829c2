// The stream-fit decision over the media libraries: the facts come from the probe's streams,
// the target from the encoder the engine would choose, the container from the output's name.
// A whitelist of codecs and the containers known to take them as they are keeps every
// uncertain case on the encoding path.

#include "engine/component/stream_fit.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "engine/FFMPEG/codec_lookup.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "engine/component/av_probe.h"
#include "text/format_text.h"

namespace {

// Codecs copied without a bitstream filter, each into the containers listed.
struct TSafeCopy {
  const char *Codec;
  std::string_view Muxers;   // muxer names, each followed by a comma
  bool NeedsSetup;           // only with the decoder's set-up in the stream's header
  const char *Profile;       // the only profile the encoder makes; nullptr: any
  const char *WithoutSetup;  // why a stream without it is not copied
};

constexpr TSafeCopy SafeCopies[] = {
    {"mp3", "mp3,mp4,mov,ipod,psp,3gp,3g2,avi,matroska,flv,", false, nullptr, nullptr},
    {"mp2", "mp2,avi,matroska,", false, nullptr, nullptr},
    {"aac", "mp4,mov,ipod,psp,3gp,3g2,adts,matroska,flv,", true, "LC",
     "ADTS headers would need a bitstream filter"},
    {"vorbis", "ogg,matroska,", true, nullptr, "the Vorbis set-up headers are missing"},
    {"pcm_s16le", "wav,avi,matroska,", false, nullptr, nullptr},
    {"h264", "mp4,mov,ipod,psp,3gp,3g2,matroska,flv,", true, nullptr,
     "Annex B start codes would need a bitstream filter"},
    {"mpeg4", "mp4,mov,ipod,psp,3gp,3g2,avi,matroska,", true, nullptr,
     "no decoder set-up in the stream's header"},
};

const TSafeCopy *FindSafeCopy(const std::string &Codec) {
  for (const TSafeCopy &Safe : SafeCopies)
    if (Codec == Safe.Codec) return &Safe;
  return nullptr;
}

bool TakesMuxer(const TSafeCopy &Safe, const char *Muxer) {
  return ("," + std::string(Safe.Muxers)).find("," + std::string(Muxer) + ",") != std::string::npos;
}

// Some muxers answer the query only for codecs of their own kind (the MP3 muxer for cover
// pictures); their own default codec they take all the same.
bool TakesCodec(const AVOutputFormat &Format, AVCodecID Id) {
  const int Answer = av::avformat_query_codec(&Format, Id, FF_COMPLIANCE_NORMAL);
  return Answer == 1 || (Answer < 0 && (Id == Format.audio_codec || Id == Format.video_codec));
}

// The encoder the engine takes for Name (its aliases included), or the container's default.
struct TTarget {
  const AVCodec *Encoder = nullptr;
  AVCodecID CodecId = AV_CODEC_ID_NONE;
};

TTarget FindTarget(const std::string &Name, AVMediaType Type, const AVOutputFormat *Format,
                   const std::string &OutputFile) {
  TTarget Target;
  if (Name.empty()) {
    Target.CodecId = av::av_guess_codec(Format, nullptr, OutputFile.c_str(), nullptr, Type);
    Target.Encoder = av::avcodec_find_encoder(Target.CodecId);
    return Target;
  }
  Target.Encoder = LookUpCodec(Name, Type, true).Codec;
  if (Target.Encoder) Target.CodecId = Target.Encoder->id;
  return Target;
}

std::string KbPerSecond(int64_t BitRate) {
  return std::to_string((BitRate + 500) / 1000) + " kb/s";
}

std::string RateText(int Num, int Den) {
  return FormatText("%g", static_cast<double>(Num) / Den);
}

std::string ChannelsText(int Channels) {
  return std::to_string(Channels) + (Channels == 1 ? " channel" : " channels");
}

bool IsPcm(const std::string &Codec) {
  return Codec.starts_with("pcm_");
}

// The first setting the options change whatever the stream: empty when none.
std::string JobMisfit(const TOutputOptions &O) {
  if (O.TargetType >= 1 && O.TargetType <= 3) return "the entry writes a disc format";
  if (!O.ExtOptions.empty()) return "the entry sets further options";
  if (O.RecordingTime >= 0) return "the entry limits the length";
  return {};
}

// Encoder settings a copy could not honour.
std::string VideoSettingMisfit(const TOutputOptions &O) {
  if (O.CustomHook || O.BeforeHook || !O.HookRanges.empty()) return "a frame hook draws on it";
  if (std::max({O.CropTop, O.CropBottom, O.CropLeft, O.CropRight}) > 0)
    return "the entry crops the picture";
  if (std::max({O.PadTop, O.PadBottom, O.PadLeft, O.PadRight}) > 0)
    return "the entry pads the picture";
  if (O.GOPSize > 0) return "the entry sets the key frame interval";
  if (std::max({O.VideoMaxRate, O.VideoMinRate, O.VideoBitrateTolerance, O.VideoBufferSize}) > 0)
    return "the entry sets the encoder's rate control";
  if (!O.VideoTag.empty()) return "the entry sets the codec tag";
  if (O.VideoSync >= 0) return "the entry sets the frame sync";
  return {};
}

std::string AudioSettingMisfit(const TOutputOptions &O) {
  // The window's 100% scales by 255/256, which no one hears: a copy keeps the source whole
  // rather than re-encoding it for that.
  if (AudioVolumeGiven(O.AudioVolume) && O.AudioVolume != AudioVolumeHundredPercent &&
      O.AudioVolume != AudioVolumeUnchanged)
    return "the entry changes the volume";
  if (O.AudioBitrateTolerance > 0) return "the entry sets the encoder's rate control";
  if (!O.AudioTag.empty()) return "the entry sets the codec tag";
  if (O.AudioSync != 0) return "the entry sets the audio sync";
  return {};
}

// The aspect option as the engine reads it: "W:H" or a decimal; 0 when none.
double AskedAspect(const std::string &Text) {
  const size_t Colon = Text.find(':');
  if (Colon == std::string::npos) return std::strtod(Text.c_str(), nullptr);
  const double Height = std::strtod(Text.c_str() + Colon + 1, nullptr);
  return Height > 0 ? std::strtod(Text.c_str(), nullptr) / Height : 0;
}

std::string BitRateMisfit(const TStreamFacts &Facts, int32_t Asked) {
  if (Facts.BitRate <= 0) return "bit rate unknown";
  if (Asked <= 0) return "the entry leaves the bit rate to the encoder";
  if (Facts.BitRate > Asked)
    return "bit rate " + KbPerSecond(Facts.BitRate) + ", the entry asks " + KbPerSecond(Asked);
  return {};
}

// Size and rate: the input's, when the entry asks none.
std::string FrameMisfit(const TStreamFacts &Facts, const TOutputOptions &O) {
  if (Facts.Width <= 0 || Facts.Height <= 0) return "frame size unknown";
  int Width = 0, Height = 0;
  if (!O.FrameSize.empty() && (av::av_parse_video_size(&Width, &Height, O.FrameSize.c_str()) < 0 ||
                               Width != Facts.Width || Height != Facts.Height))
    return FormatText("frame size %dx%d, the entry asks %s", Facts.Width, Facts.Height,
                      O.FrameSize.c_str());
  if (Facts.RateNum <= 0 || Facts.RateDen <= 0 || Facts.AverageRateNum <= 0 ||
      Facts.AverageRateDen <= 0)
    return "frame rate unknown";
  if (int64_t{Facts.RateNum} * Facts.AverageRateDen !=
      int64_t{Facts.AverageRateNum} * Facts.RateDen)
    return "variable frame rate";
  AVRational Rate{0, 0};
  if (!O.FrameRate.empty() &&
      (av::av_parse_video_rate(&Rate, O.FrameRate.c_str()) < 0 ||
       int64_t{Rate.num} * Facts.RateDen != int64_t{Facts.RateNum} * Rate.den))
    return "frame rate " + RateText(Facts.RateNum, Facts.RateDen) + ", the entry asks " +
           O.FrameRate;
  return {};
}

// Pixel format and shape: the encoder's first format; the entry's aspect, if it asks one.
std::string PictureMisfit(const TStreamFacts &Facts, const TOutputOptions &O,
                          const AVCodec &Encoder) {
  const AVPixelFormat *Formats = av_compat::PixelFormats(&Encoder);
  if (!Formats) return "the encoder's pixel format is unknown";
  const char *Made = av::av_get_pix_fmt_name(Formats[0]);
  if (!Made || Facts.PixelFormat != Made)
    return "pixel format " + (Facts.PixelFormat.empty() ? "unknown" : Facts.PixelFormat) +
           ", the encoder makes " + (Made ? Made : "another");
  const double Aspect = AskedAspect(O.AspectRatio);
  if (Aspect <= 0) return {};
  // The engine turns the aspect into a pixel shape with a denominator up to 255.
  const AVRational Asked = av::av_d2q(Aspect * Facts.Height / Facts.Width, 255);
  const bool Square = Facts.SampleAspectNum <= 0 || Facts.SampleAspectDen <= 0;
  const int64_t Num = Square ? 1 : Facts.SampleAspectNum;
  const int64_t Den = Square ? 1 : Facts.SampleAspectDen;
  if (Asked.num * Den == Num * Asked.den) return {};
  return FormatText("display aspect %.4g, the entry asks %s",
                    static_cast<double>(Num * Facts.Width) / (Den * Facts.Height),
                    O.AspectRatio.c_str());
}

// The profile a job asks: Constrained Baseline is within every H.264 profile.
std::string ProfileMisfit(const TStreamFacts &Facts, const TOutputOptions &O,
                          const AVCodec &Encoder) {
  if (O.VideoProfile < 0) return {};
  const char *Asked = av::avcodec_profile_name(Encoder.id, O.VideoProfile);
  if (Asked && (Facts.Profile == Asked || Facts.Profile == "Constrained Baseline")) return {};
  return "profile " + (Facts.Profile.empty() ? std::string("unknown") : Facts.Profile) +
         ", the entry asks " + (Asked ? Asked : std::to_string(O.VideoProfile));
}

std::string VideoMisfit(const TStreamFacts &Facts, const TOutputOptions &O,
                        const AVCodec &Encoder) {
  for (std::string Misfit : {VideoSettingMisfit(O), FrameMisfit(Facts, O),
                             PictureMisfit(Facts, O, Encoder), ProfileMisfit(Facts, O, Encoder)})
    if (!Misfit.empty()) return Misfit;
  return BitRateMisfit(Facts, O.VideoBitrate);
}

std::string AudioMisfit(const TStreamFacts &Facts, const TOutputOptions &O) {
  if (std::string Misfit = AudioSettingMisfit(O); !Misfit.empty()) return Misfit;
  if (Facts.SampleRate <= 0) return "sample rate unknown";
  if (O.AudioSampleRate > 0 && O.AudioSampleRate != Facts.SampleRate)
    return FormatText("sample rate %d Hz, the entry asks %d Hz", Facts.SampleRate,
                      O.AudioSampleRate);
  if (Facts.Channels <= 0) return "channel count unknown";
  if (O.AudioChannels > 0 && O.AudioChannels != Facts.Channels)
    return ChannelsText(Facts.Channels) + FormatText(", the entry asks %d", O.AudioChannels);
  if (O.AudioChannelLimit > 0 && Facts.Channels > O.AudioChannelLimit)
    return ChannelsText(Facts.Channels) +
           FormatText(", the entry takes at most %d", O.AudioChannelLimit);
  // PCM's rate follows from the sample rate and channels: the entry's bit rate cannot change it.
  if (IsPcm(Facts.Codec)) return {};
  return BitRateMisfit(Facts, O.AudioBitrate);
}

// Whether the stream may be copied into Format at all: its codec, the container and the form
// of its set-up data.
std::string CodecMisfit(const TStreamFacts &Facts, const TTarget &Target, const std::string &Name,
                        const AVOutputFormat &Format) {
  if (!Target.Encoder) return "no encoder '" + Name + "'";
  const std::string Asked = av::avcodec_get_name(Target.CodecId);
  if (Facts.Codec != Asked) return "codec " + Facts.Codec + ", the entry asks " + Asked;
  const TSafeCopy *Safe = FindSafeCopy(Facts.Codec);
  if (!Safe) return "no copy of " + Facts.Codec + " is known to be safe";
  if (!TakesMuxer(*Safe, Format.name) || !TakesCodec(Format, Target.CodecId))
    return FormatText("the %s container does not take %s as it is", Format.name,
                      Facts.Codec.c_str());
  if (Safe->NeedsSetup && !Facts.SetupInHeader) return Safe->WithoutSetup;
  if (Facts.MayPackFrames) return "DivX stream, its B-frames may be packed";
  if (Safe->Profile && Facts.Profile != Safe->Profile)
    return "profile " + (Facts.Profile.empty() ? std::string("unknown") : Facts.Profile) +
           ", the encoder makes " + Safe->Profile;
  return {};
}

std::string Description(const TStreamFacts &Facts) {
  if (Facts.Kind == TStreamKind::Video)
    return FormatText("%s %dx%d %s fps %s %s", Facts.Codec.c_str(), Facts.Width, Facts.Height,
                      RateText(Facts.RateNum, Facts.RateDen).c_str(), Facts.PixelFormat.c_str(),
                      KbPerSecond(Facts.BitRate).c_str());
  return FormatText("%s %d Hz %s %s", Facts.Codec.c_str(), Facts.SampleRate,
                    ChannelsText(Facts.Channels).c_str(), KbPerSecond(Facts.BitRate).c_str());
}

const AVOutputFormat *OutputFormat(const TOutputOptions &Options, const std::string &OutputFile) {
  if (!Options.ForceFormat.empty())
    return av::av_guess_format(Options.ForceFormat.c_str(), nullptr, nullptr);
  return av::av_guess_format(nullptr, OutputFile.c_str(), nullptr);
}

// H.264's set-up counts only as an AVC configuration record (version 1), not as start codes.
bool HasSetupInHeader(const AVCodecParameters &Par) {
  if (Par.extradata_size <= 0 || !Par.extradata) return false;
  return Par.codec_id != AV_CODEC_ID_H264 || Par.extradata[0] == 1;
}

bool NamesDivX(const AVCodecParameters &Par) {
  if (Par.codec_id != AV_CODEC_ID_MPEG4 || Par.extradata_size <= 0 || !Par.extradata) return false;
  const std::string_view Setup(reinterpret_cast<const char *>(Par.extradata),
                               static_cast<size_t>(Par.extradata_size));
  return Setup.find("DivX") != std::string_view::npos;
}

TStreamFacts FactsOf(const AVStream &Stream) {
  const AVCodecParameters &Par = *Stream.codecpar;
  TStreamFacts Facts;
  Facts.Index = Stream.index;
  Facts.Kind = Par.codec_type == AVMEDIA_TYPE_VIDEO ? TStreamKind::Video : TStreamKind::Audio;
  Facts.Codec = av::avcodec_get_name(Par.codec_id);
  if (const char *Profile = av::avcodec_profile_name(Par.codec_id, Par.profile))
    Facts.Profile = Profile;
  Facts.BitRate = Par.bit_rate;
  Facts.SetupInHeader = HasSetupInHeader(Par);
  Facts.MayPackFrames = NamesDivX(Par);
  if (Facts.Kind == TStreamKind::Video) {
    Facts.Width = Par.width;
    Facts.Height = Par.height;
    const AVRational Shape =
        Stream.sample_aspect_ratio.num > 0 ? Stream.sample_aspect_ratio : Par.sample_aspect_ratio;
    Facts.SampleAspectNum = Shape.num;
    Facts.SampleAspectDen = Shape.den;
    if (const char *Format = av::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Par.format)))
      Facts.PixelFormat = Format;
    Facts.RateNum = Stream.r_frame_rate.num;
    Facts.RateDen = Stream.r_frame_rate.den;
    Facts.AverageRateNum = Stream.avg_frame_rate.num;
    Facts.AverageRateDen = Stream.avg_frame_rate.den;
  } else {
    Facts.SampleRate = Par.sample_rate;
    Facts.Channels = Par.ch_layout.nb_channels;
  }
  return Facts;
}

}  // namespace

namespace {

// The stream of Type the engine takes when it prefers one marked default: marked and no cover
// picture first, then the first that is no cover, then the first; -1 when there is none.
int PreferredStream(const AVFormatContext &Context, AVMediaType Type) {
  int Best = -1, BestRank = 4;
  for (unsigned Index = 0; Index < Context.nb_streams; ++Index) {
    const AVStream &Stream = *Context.streams[Index];
    if (Stream.codecpar->codec_type != Type) continue;
    const int Rank = (Stream.disposition & AV_DISPOSITION_ATTACHED_PIC ? 2 : 0) +
                     (Stream.disposition & AV_DISPOSITION_DEFAULT ? 0 : 1);
    if (Rank < BestRank) {
      Best = static_cast<int>(Index);
      BestRank = Rank;
    }
  }
  return Best;
}

}  // namespace

std::vector<TStreamFacts> ProbedStreamFacts(const TAVProbe &Probe, bool PreferDefault) {
  std::vector<TStreamFacts> Streams;
  const AVFormatContext *Context = Probe.Context();
  if (!Context) return Streams;
  const int Video =
      PreferDefault ? PreferredStream(*Context, AVMEDIA_TYPE_VIDEO) : Probe.FirstVideoStream();
  const int Audio =
      PreferDefault ? PreferredStream(*Context, AVMEDIA_TYPE_AUDIO) : Probe.FirstAudioStream();
  for (const int Index : {Video, Audio})
    if (Index >= 0 && static_cast<unsigned>(Index) < Context->nb_streams)
      Streams.push_back(FactsOf(*Context->streams[Index]));
  return Streams;
}

std::vector<TStreamFit> FitStreams(const std::vector<TStreamFacts> &Streams,
                                   const TOutputOptions &Options, const std::string &OutputFile) {
  std::vector<TStreamFit> Fits;
  const AVOutputFormat *Format = OutputFormat(Options, OutputFile);
  if (!Format) return Fits;  // the engine tells why it cannot write the file
  for (const TStreamFacts &Facts : Streams) {
    const bool Video = Facts.Kind == TStreamKind::Video;
    if (Video ? Options.DisableVideo : Options.DisableAudio) continue;
    const std::string &Name = Video ? Options.VideoCodec : Options.AudioCodec;
    const TTarget Target =
        FindTarget(Name, Video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, Format, OutputFile);
    // Without a codec named or a default of the container, the output has no such stream.
    if (Name.empty() && Target.CodecId == AV_CODEC_ID_NONE) continue;
    TStreamFit Fit{Facts.Index, Facts.Kind, false, JobMisfit(Options)};
    if (Fit.Reason.empty()) Fit.Reason = CodecMisfit(Facts, Target, Name, *Format);
    if (Fit.Reason.empty())
      Fit.Reason =
          Video ? VideoMisfit(Facts, Options, *Target.Encoder) : AudioMisfit(Facts, Options);
    Fit.Copy = Fit.Reason.empty();
    if (Fit.Copy) Fit.Reason = "already " + Description(Facts);
    Fits.push_back(Fit);
  }
  return Fits;
}

void ApplyStreamFits(const std::vector<TStreamFit> &Fits, TOutputOptions &Options) {
  for (const TStreamFit &Fit : Fits) {
    if (!Fit.Copy) continue;
    if (Fit.Kind == TStreamKind::Video) {
      Options.VideoCodec = "copy";
      Options.FrameRate.clear();
      Options.FrameSize.clear();
      Options.AspectRatio.clear();
      Options.PixelFormat.clear();
      Options.VideoProfile = -1;
      Options.VideoBitrate = -1;
    } else {
      Options.AudioCodec = "copy";
      Options.AudioChannels = Options.AudioChannelLimit = -1;
      Options.AudioSampleRate = Options.AudioBitrate = -1;
      // The engine refuses a volume change on a copied stream.
      Options.AudioVolume = AudioVolumeUnchanged;
    }
  }
}

std::vector<TStreamFit> CopyFittingStreams(const std::string &InputFile,
                                           const std::string &OutputFile, TOutputOptions &Options) {
  TAVProbe Probe;
  if (!Probe.LoadFile(InputFile, "")) return {};
  const std::vector<TStreamFit> Fits =
      FitStreams(ProbedStreamFacts(Probe, Options.PreferDefaultStreams), Options, OutputFile);
  ApplyStreamFits(Fits, Options);
  return Fits;
}

std::string StreamFitText(const TStreamFit &Fit) {
  return FormatText("stream #0:%d %s: %s", Fit.Index, Fit.Copy ? "copied" : "re-encoded",
                    Fit.Reason.c_str());
}
