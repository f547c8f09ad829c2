// Disc and tape target presets: one step configures codecs, container, picture, rate control,
// audio and multiplexing for Video CD, Super Video CD, DVD and DV, by television norm. The
// presets are a table; each runs its steps, in its own order, through the option handlers.

#include <cmath>
#include <span>
#include <string_view>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/format_text.h"

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
  const char *Ntsc;
  const char *Pal;
  const char *For(TNorm Norm) const { return Norm == TNorm::PAL ? Pal : Ntsc; }
};

struct TTargetPreset {
  const char *Type;
  const char *VideoCodec;
  const char *AudioCodec;
  const char *Format;
  TByNorm Size;
  TByNorm PixFmt;
  TByNorm Gop;
  const char *Bitrate;
  const char *MaxRate;
  const char *MinRate;
  const char *BufSize;
  // A codec-private switch (the old "+SCAN_OFFSET" flag is mpeg2video's "scan_offset" now).
  const char *CodecFlagName;
  const char *CodecFlagValue;
  const char *AudioBitrate;
  int SampleRate;
  TChannelRule Channels;
  const char *PacketSize;
  const char *MuxRate;
  float Preload;
  const char *Aspect;
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

const TTargetPreset TargetPresets[] = {
    {"vcd",
     "mpeg1video",
     "mp2",
     "vcd",
     {"352x240", "352x288"},
     {},
     {"18", "15"},
     "1150000",
     "1150000",
     "1150000",
     "327680",
     nullptr,
     nullptr,
     "224000",
     44100,
     TChannelRule::Stereo,
     "2324",
     "1411200",
     0.44f,
     "4:3",
     VcdSteps},
    {"svcd",
     "mpeg2video",
     "mp2",
     "svcd",
     {"480x480", "480x576"},
     {},
     {"18", "15"},
     "2040000",
     "2516000",
     "0",
     "1835008",
     "scan_offset",
     "1",
     "224000",
     44100,
     TChannelRule::MonoToStereo,
     "2324",
     nullptr,
     0,
     "4:3",
     SvcdSteps},
    {"dvd",
     "mpeg2video",
     "ac3",
     "dvd",
     {"720x480", "720x576"},
     {},
     {"18", "15"},
     "6000000",
     "9000000",
     "0",
     "1835008",
     nullptr,
     nullptr,
     "448000",
     48000,
     TChannelRule::MonoToStereo,
     "2048",
     "10080000",
     0,
     "16:9",
     DvdSteps},
    {"dv",
     nullptr,
     nullptr,
     "dv",
     {"720x480", "720x576"},
     {"yuv411p", "yuv420p"},
     {},
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     48000,
     TChannelRule::Stereo,
     nullptr,
     nullptr,
     0,
     nullptr,
     DvSteps},
    {"dv50",
     nullptr,
     nullptr,
     "dv",
     {"720x480", "720x576"},
     {"yuv422p", "yuv422p"},
     {},
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     48000,
     TChannelRule::Stereo,
     nullptr,
     nullptr,
     0,
     nullptr,
     DvSteps},
};

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

void RunStep(TCustomFFmpeg &Task, const TTargetPreset &Preset, TNorm Norm, TPresetStep Step) {
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
      Task.SetStrOption("g", Preset.Gop.For(Norm));
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
      Task.SetStrOption(Preset.CodecFlagName, Preset.CodecFlagValue);
      break;
    case AudioBitrate:
      Task.SetStrOption("ab", Preset.AudioBitrate);
      break;
    case SampleRate:
      Task.FAudioSampleRate = Preset.SampleRate;
      break;
    case Channels:
      if (Preset.Channels == TChannelRule::Stereo || Task.FAudioChannels == 1)
        Task.FAudioChannels = 2;
      break;
    case PacketSize:
      Task.SetStrOption("packetsize", Preset.PacketSize);
      break;
    case MuxRate:
      Task.SetStrOption("muxrate", Preset.MuxRate);
      break;
    case Preload:
      Task.FMuxPreload = Preset.Preload;
      break;
    case Aspect:
      if (Task.FFrameAspectRatio == 0) Task.OptFrameAspectRatio(Preset.Aspect);
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
    if (FFrameRate.den == 0) throw FFMpegException("frame_rate is invalid.");
    bool Found = NormOfRate(static_cast<double>(FFrameRate.num) / FFrameRate.den, Chosen);
    // The inputs' video streams, by their frame rate (decoder time bases no longer tell it).
    for (int File = 0; !Found && File < FInputFileCount; ++File) {
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
    if (FVerbose > 0)
      DoLog(1, FormatText("Assuming %s for target.", Chosen == TNorm::PAL ? "PAL" : "NTSC"));
  }
  const TTargetPreset *Preset = FindPreset(TargetType);
  if (!Preset) throw FFMpegException("Unknown target type");
  for (TPresetStep Step : Preset->Steps) RunStep(*this, *Preset, Chosen, Step);
}
