// Disc and tape target presets: one step configures codecs, container, picture, rate control,
// audio and multiplexing for Video CD, Super Video CD, DVD and DV, by television norm. The
// presets are a table; each runs its steps, in its own order, through the option handlers.

#include <cmath>
#include <span>
#include <string_view>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

enum class TNorm { PAL, NTSC, Film };

enum class TPresetStep {
  Codecs,
  Format,
  Size,
  PixFmt,
  Rate,
  Gop,
  Bitrate,
  MaxRate,
  MinRate,
  BufSize,
  CodecFlags,
  AudioBitrate,
  SampleRate,
  Channels,
  PacketSize,
  MuxRate,
  Preload,
  Aspect,
};

enum class TChannelRule { Stereo, MonoToStereo };

// A value that differs between PAL and the NTSC-based norms (NTSC and film).
struct TByNorm {
  const char *Ntsc = nullptr;
  const char *Pal = nullptr;
  const char *For(TNorm Norm) const { return Norm == TNorm::PAL ? Pal : Ntsc; }
};

struct TTargetPreset {
  const char *Type = nullptr;
  const char *VideoCodec = nullptr;
  const char *AudioCodec = nullptr;
  const char *Format = nullptr;
  TByNorm Size = {};
  TByNorm PixFmt = {};
  TByNorm Gop = {};
  const char *Bitrate = nullptr;
  const char *MaxRate = nullptr;
  const char *MinRate = nullptr;
  const char *BufSize = nullptr;
  // Codec flags by their old names; the generic option path translates them.
  const char *Flags = nullptr;
  const char *AudioBitrate = nullptr;
  int SampleRate = 0;
  TChannelRule Channels = TChannelRule::Stereo;
  const char *PacketSize = nullptr;
  const char *MuxRate = nullptr;
  float Preload = 0;
  const char *Aspect = nullptr;
  std::span<const TPresetStep> Steps;
};

using enum TPresetStep;

// The order of the steps differs between the types.
constexpr TPresetStep VcdSteps[] = {
    Codecs,  Format,       Size,       Rate,     Gop,        Bitrate, MaxRate, MinRate,
    BufSize, AudioBitrate, SampleRate, Channels, PacketSize, MuxRate, Preload, Aspect};
constexpr TPresetStep SvcdSteps[] = {Codecs,       Format,     Size,       Rate,     Gop,
                                     Bitrate,      MaxRate,    MinRate,    BufSize,  CodecFlags,
                                     AudioBitrate, SampleRate, PacketSize, Channels, Aspect};
constexpr TPresetStep DvdSteps[] = {Codecs,  Format,       Size,       Rate,     Gop,
                                    Bitrate, MaxRate,      MinRate,    BufSize,  PacketSize,
                                    MuxRate, AudioBitrate, SampleRate, Channels, Aspect};
constexpr TPresetStep DvSteps[] = {Format, Size, PixFmt, Rate, SampleRate, Channels};

// clang-format off
const TTargetPreset TargetPresets[] = {
    {.Type = "vcd", .VideoCodec = "mpeg1video", .AudioCodec = "mp2", .Format = "vcd",
     .Size = {"352x240", "352x288"}, .Gop = {"18", "15"}, .Bitrate = "1150000",
     .MaxRate = "1150000", .MinRate = "1150000", .BufSize = "327680", .AudioBitrate = "224000",
     .SampleRate = 44100, .Channels = TChannelRule::Stereo, .PacketSize = "2324",
     .MuxRate = "1411200", .Preload = 0.44f, .Aspect = "4:3", .Steps = VcdSteps},
    {.Type = "svcd", .VideoCodec = "mpeg2video", .AudioCodec = "mp2", .Format = "svcd",
     .Size = {"480x480", "480x576"}, .Gop = {"18", "15"}, .Bitrate = "2040000",
     .MaxRate = "2516000", .MinRate = "0", .BufSize = "1835008", .Flags = "+SCAN_OFFSET",
     .AudioBitrate = "224000", .SampleRate = 44100, .Channels = TChannelRule::MonoToStereo,
     .PacketSize = "2324", .Aspect = "4:3", .Steps = SvcdSteps},
    {.Type = "dvd", .VideoCodec = "mpeg2video", .AudioCodec = "ac3", .Format = "dvd",
     .Size = {"720x480", "720x576"}, .Gop = {"18", "15"}, .Bitrate = "6000000",
     .MaxRate = "9000000", .MinRate = "0", .BufSize = "1835008", .AudioBitrate = "448000",
     .SampleRate = 48000, .Channels = TChannelRule::MonoToStereo, .PacketSize = "2048",
     .MuxRate = "10080000", .Aspect = "16:9", .Steps = DvdSteps},
    {.Type = "dv", .Format = "dv", .Size = {"720x480", "720x576"},
     .PixFmt = {"yuv411p", "yuv420p"}, .SampleRate = 48000, .Channels = TChannelRule::Stereo,
     .Steps = DvSteps},
    {.Type = "dv50", .Format = "dv", .Size = {"720x480", "720x576"},
     .PixFmt = {"yuv422p", "yuv422p"}, .SampleRate = 48000, .Channels = TChannelRule::Stereo,
     .Steps = DvSteps},
};
// clang-format on

const TTargetPreset *FindPreset(const std::string &Type) {
  for (const TTargetPreset &Preset : TargetPresets)
    if (Type == Preset.Type) return &Preset;
  return nullptr;
}

// PAL or NTSC from a frame rate, by its value in thousandths; film rates count as NTSC.
bool NormOfRate(double FramesPerSecond, TNorm &Norm) {
  const long Rate = std::lround(FramesPerSecond * 1000);
  if (Rate == 25000) {
    Norm = TNorm::PAL;
    return true;
  }
  if (Rate == 29970 || Rate == 23976) {
    Norm = TNorm::NTSC;
    return true;
  }
  return false;
}

const char *FrameRateOf(TNorm Norm) {
  switch (Norm) {
    case TNorm::PAL:
      return "25";
    case TNorm::NTSC:
      return "30000/1001";
    case TNorm::Film:
      return "24000/1001";
  }
  return "25";
}

void RunStep(TCustomFFmpeg &Task, TFFmpegOptionState &Options, const TTargetPreset &Preset,
             TNorm Norm, TPresetStep Step) {
  switch (Step) {
    case Codecs:
      Task.OptVideoCodec(Preset.VideoCodec);
      Task.OptAudioCodec(Preset.AudioCodec);
      break;
    case Format:
      Task.OptOutputFormat(Preset.Format);
      break;
    case Size:
      Task.OptFrameSize(Preset.Size.For(Norm));
      break;
    case PixFmt:
      Task.OptFramePixFmt(Preset.PixFmt.For(Norm));
      break;
    case Rate:
      Task.OptFrameRate(FrameRateOf(Norm));
      break;
    case Gop:
      Task.SetStrOption("gop", Preset.Gop.For(Norm));
      break;
    case Bitrate:
      Task.SetStrOption("b", Preset.Bitrate);
      break;
    case MaxRate:
      Task.SetStrOption("maxrate", Preset.MaxRate);
      break;
    case MinRate:
      Task.SetStrOption("minrate", Preset.MinRate);
      break;
    case BufSize:
      Task.SetStrOption("bufsize", Preset.BufSize);
      break;
    case CodecFlags:
      Task.SetStrOption("flags", Preset.Flags);
      break;
    case AudioBitrate:
      Task.SetStrOption("ab", Preset.AudioBitrate);
      break;
    case SampleRate:
      Options.FAudioSampleRate = Preset.SampleRate;
      break;
    case Channels:
      if (Preset.Channels == TChannelRule::Stereo || Options.FAudioChannels == 1)
        Options.FAudioChannels = 2;
      break;
    case PacketSize:
      Task.SetStrOption("packetsize", Preset.PacketSize);
      break;
    case MuxRate:
      Task.SetStrOption("muxrate", Preset.MuxRate);
      break;
    case Preload:
      Options.FMuxPreload = Preset.Preload;
      break;
    case Aspect:
      if (Options.FFrameAspectRatio == 0) Task.OptFrameAspectRatio(Preset.Aspect);
      break;
  }
}

}  // namespace

void TCustomFFmpeg::OptTarget(const std::string &Text) {
  const size_t First = Text.find_first_not_of(" \t\r\n");
  const std::string Trimmed =
      First == std::string::npos ? ""
                                 : Text.substr(First, Text.find_last_not_of(" \t\r\n") - First + 1);
  for (const char *Norm : {"pal", "ntsc", "film"}) {
    const std::string Prefix = std::string(Norm) + "-";
    if (Trimmed.starts_with(Prefix)) {
      ApplyTarget(Trimmed.substr(Prefix.size()), Norm, "ntsc");
      return;
    }
  }
  ApplyTarget(Trimmed, "auto", "ntsc");
}

void TCustomFFmpeg::ApplyTarget(const std::string &TargetType, const std::string &Norm,
                                const std::string &DefaultNorm) {
  TNorm Chosen;
  if (Norm == "pal") {
    Chosen = TNorm::PAL;
  } else if (Norm == "ntsc") {
    Chosen = TNorm::NTSC;
  } else if (Norm == "film") {
    Chosen = TNorm::Film;
  } else {
    if (FOptions.FFrameRate.den == 0) throw FFMpegException("frame_rate is invalid.");
    bool Found =
        NormOfRate(static_cast<double>(FOptions.FFrameRate.num) / FOptions.FFrameRate.den, Chosen);
    // The inputs' video streams, by their frame rate (decoder time bases no longer tell it).
    for (int File = 0; !Found && File < InputFileCount(); ++File) {
      const AVFormatContext *Context = FInputFiles[File]->Context.get();
      for (unsigned Index = 0; !Found && Index < Context->nb_streams; ++Index) {
        const AVStream *Stream = Context->streams[Index];
        if (Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        const AVRational Rate =
            Stream->r_frame_rate.den != 0 ? Stream->r_frame_rate : Stream->avg_frame_rate;
        if (Rate.num != 0 && Rate.den != 0)
          Found = NormOfRate(static_cast<double>(Rate.num) / Rate.den, Chosen);
      }
    }
    if (!Found)
      Chosen = DefaultNorm == "film"   ? TNorm::Film
               : DefaultNorm == "ntsc" ? TNorm::NTSC
                                       : TNorm::PAL;
    if (FOptions.FVerbose > 0)
      DoLog(1, FormatText("Assuming %s for target.", Chosen == TNorm::PAL ? "PAL" : "NTSC"));
  }
  const TTargetPreset *Preset = FindPreset(TargetType);
  if (!Preset) throw FFMpegException("Unknown target type");
  for (TPresetStep Step : Preset->Steps) RunStep(*this, FOptions, *Preset, Chosen, Step);
}
