// Option handlers for audio and subtitles, and the codec choice and tag rules they share
// with video.

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

// "copy" turns stream copy on for the media type (it stays on); any other name is the codec.
void TCustomFFmpeg::SetCodecChoice(std::string &CodecName, int &StreamCopy,
                                   const std::string &Name) {
  if (Name.empty()) return;
  CodecName.clear();
  if (Name == "copy")
    StreamCopy = 1;
  else
    CodecName = Name;
}

// Four characters, the first in the lowest byte.
uint32_t TCustomFFmpeg::ParseTag(const std::string &Tag, const char *Kind) {
  if (Tag.size() != 4) throw EAssertionFailed(FormatText("%s tag parameter must be 4 chars", Kind));
  uint32_t Value = 0;
  for (int I = 3; I >= 0; --I) Value = (Value << 8) | static_cast<uint8_t>(Tag[I]);
  return Value;
}

void TCustomFFmpeg::OptAudioRate(int SampleRate) {
  if (SampleRate > 0) FOptions.FAudioSampleRate = SampleRate;
}

void TCustomFFmpeg::OptAudioChannels(int Channels) {
  if (Channels > 0) FOptions.FAudioChannels = Channels;
}

void TCustomFFmpeg::OptAudioCodec(const std::string &Name) {
  SetCodecChoice(FOptions.FAudioCodecName, FOptions.FAudioStreamCopy, Name);
}

void TCustomFFmpeg::OptAudioTag(const std::string &Tag) {
  FOptions.FAudioCodecTag = ParseTag(Tag, "audio");
}

void TCustomFFmpeg::OptSubtitleCodec(const std::string &Name) {
  SetCodecChoice(FOptions.FSubtitleCodecName, FOptions.FSubtitleStreamCopy, Name);
}
