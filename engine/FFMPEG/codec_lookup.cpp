// Codec look-up by name with the encoder aliases.

#include "engine/FFMPEG/codec_lookup.h"

#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

// Encoders that the profiles name but this FFmpeg build lacks or only has in an experimental
// form, each with its replacements in order of preference.
struct TEncoderAlias {
  const char *Name;
  const char *Replacements[2];
};
constexpr TEncoderAlias EncoderAliases[] = {
    {"libfaac", {"aac", nullptr}},
    {"libamr_nb", {"libopencore_amrnb", "aac"}},
    {"vorbis", {"libvorbis", nullptr}},
};

const TEncoderAlias *FindEncoderAlias(const std::string &Name) {
  for (const TEncoderAlias &Alias : EncoderAliases)
    if (Name == Alias.Name) return &Alias;
  return nullptr;
}

}  // namespace

TCodecLookup LookUpCodec(const std::string &Name, AVMediaType MediaType, bool Encoder) {
  TCodecLookup Found;
  if (Name.empty()) return Found;
  const char *Kind = Encoder ? "encoder" : "decoder";
  if (const TEncoderAlias *Alias = Encoder ? FindEncoderAlias(Name) : nullptr) {
    for (const char *Replacement : Alias->Replacements) {
      if (!Replacement) break;
      Found.Codec = av::avcodec_find_encoder_by_name(Replacement);
      if (!Found.Codec) continue;
      Found.Replaced = FormatText("Using encoder '%s' for '%s'", Replacement, Name.c_str());
      break;
    }
  }
  if (!Found.Codec)
    Found.Codec = Encoder ? av::avcodec_find_encoder_by_name(Name.c_str())
                          : av::avcodec_find_decoder_by_name(Name.c_str());
  if (!Found.Codec) {
    Found.Error = FormatText("Unknown %s '%s'", Kind, Name.c_str());
  } else if (Found.Codec->type != MediaType) {
    Found.Error = FormatText("Invalid %s type '%s'", Kind, Name.c_str());
    Found.Codec = nullptr;
  }
  return Found;
}
