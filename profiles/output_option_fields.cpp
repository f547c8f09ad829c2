#include "profiles/output_option_fields.h"

#include <charconv>
#include <cstring>
#include <variant>

namespace {

using TTag = char[512];
using TGenre = char[32];

using TFieldRef =
    std::variant<std::string TOutputOptions::*, int32_t TOutputOptions::*, float TOutputOptions::*,
                 double TOutputOptions::*, bool TOutputOptions::*, TTag TOutputOptions::*,
                 TGenre TOutputOptions::*>;

struct TOutputField {
  const char *Name;
  TFieldRef Ref;
};

#define FIELD(Name) \
  { #Name, &TOutputOptions::Name }

const TOutputField OutputFields[] = {
    FIELD(FileName),
    FIELD(ForceFormat),
    FIELD(PacketSize),
    FIELD(MuxRate),
    FIELD(MuxDelay),
    FIELD(MuxPreload),
    FIELD(AudioCodec),
    FIELD(DisableAudio),
    FIELD(AudioVolume),
    FIELD(AudioChannels),
    FIELD(AudioChannelLimit),
    FIELD(AudioSampleRate),
    FIELD(AudioBitrate),
    FIELD(AudioBitrateTolerance),
    FIELD(AudioLanguage),
    FIELD(AudioSync),
    FIELD(AudioTag),
    FIELD(VideoCodec),
    FIELD(DisableVideo),
    FIELD(FrameRate),
    FIELD(FrameSize),
    FIELD(AspectRatio),
    FIELD(CropTop),
    FIELD(CropBottom),
    FIELD(CropLeft),
    FIELD(CropRight),
    FIELD(PadTop),
    FIELD(PadBottom),
    FIELD(PadLeft),
    FIELD(PadRight),
    FIELD(PadColor),
    FIELD(GOPSize),
    FIELD(VideoBitrate),
    FIELD(VideoMaxRate),
    FIELD(VideoMinRate),
    FIELD(VideoBitrateTolerance),
    FIELD(VideoBufferSize),
    FIELD(VideoSync),
    FIELD(VideoTag),
    FIELD(PixelFormat),
    FIELD(VideoProfile),
    FIELD(DisableSubtitle),
    FIELD(SubtitleLanguage),
    FIELD(CopyTimestamps),
    FIELD(RecordingTime),
    FIELD(Timestamp),
    FIELD(Year),
    FIELD(Track),
    FIELD(Title),
    FIELD(Author),
    FIELD(Copyright),
    FIELD(Comment),
    FIELD(Album),
    FIELD(Genre),
    FIELD(TargetType),
    FIELD(TargetNorm),
    FIELD(DefaultNorm),
    FIELD(CustomHook),
    FIELD(BeforeHook),
    FIELD(HookRanges),
    FIELD(ExtOptions),
    FIELD(KeepSourceTags),
    FIELD(PreferDefaultStreams),
    FIELD(KeepSourceTiming),
};

#undef FIELD

template <typename T>
std::string ShortestText(T Value) {
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  return std::string(Buffer, Result.ptr);
}

template <std::size_t N>
std::string TagText(const char (&Tag)[N]) {
  return std::string(Tag, strnlen(Tag, N));
}

struct TFieldText {
  const TOutputOptions &Options;
  std::string operator()(std::string TOutputOptions::*Field) const { return Options.*Field; }
  std::string operator()(int32_t TOutputOptions::*Field) const {
    return std::to_string(Options.*Field);
  }
  std::string operator()(float TOutputOptions::*Field) const {
    return ShortestText(Options.*Field);
  }
  std::string operator()(double TOutputOptions::*Field) const {
    return ShortestText(Options.*Field);
  }
  std::string operator()(bool TOutputOptions::*Field) const {
    return Options.*Field ? "true" : "false";
  }
  std::string operator()(TTag TOutputOptions::*Field) const { return TagText(Options.*Field); }
  std::string operator()(TGenre TOutputOptions::*Field) const { return TagText(Options.*Field); }
};

}  // namespace

std::vector<std::pair<std::string, std::string>> ChangedOutputOptions(
    const TOutputOptions &Options) {
  const TOutputOptions Defaults;
  std::vector<std::pair<std::string, std::string>> Changed;
  for (const TOutputField &Field : OutputFields) {
    std::string Text = std::visit(TFieldText{Options}, Field.Ref);
    if (Text != std::visit(TFieldText{Defaults}, Field.Ref))
      Changed.emplace_back(Field.Name, std::move(Text));
  }
  return Changed;
}
