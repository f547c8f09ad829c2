#include "profiles/job_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "profiles/number_text.h"
#include "text/text_utils.h"

namespace {

struct TCodecName {
  const char *ListText;  // lower case
  const char *Encoder;
};

constexpr TCodecName VideoEncoders[] = {{"h264", "libx264"}, {"xvid", "libxvid"}};
constexpr TCodecName AudioEncoders[] = {
    {"aac", "libfaac"}, {"mpeg4aac", "libfaac"}, {"mp3", "libmp3lame"}, {"amr_nb", "libamr_nb"}};

// ASF is not here: it is a video format whose profile offers video settings.
constexpr const char *AudioTypes[] = {"aac", "au", "m4a", "mp2", "mp3", "ogg", "ra", "wav", "wma"};

// A listed encoder name, otherwise the text itself in lower case.
template <std::size_t N>
std::string EncoderName(const TCodecName (&Table)[N], const std::string &ListText) {
  const std::string Lower = LowerCaseText(ListText);
  for (const TCodecName &Entry : Table)
    if (Lower == Entry.ListText) return Entry.Encoder;
  return Lower;
}

}  // namespace

std::string VideoCodecName(const std::string &ListText) {
  return EncoderName(VideoEncoders, ListText);
}

std::string AudioCodecName(const std::string &ListText) {
  return EncoderName(AudioEncoders, ListText);
}

bool IsAudioType(const std::string &OutputType) {
  const std::string Lower = LowerCaseText(OutputType);
  return std::any_of(std::begin(AudioTypes), std::end(AudioTypes),
                     [&](const char *Type) { return Lower == Type; });
}

void MapGeneralOptions(const TSettingsLists &Lists, const std::string &OutputType,
                       TOutputOptions &Options) {
  Options.VideoCodec = VideoCodecName(Lists.ComboVideoCodec.Text());
  Options.AudioCodec = AudioCodecName(Lists.ComboAudioCodec.Text());
  // "Auto" (the portable players' first size) is the input's size, fitted to the job by
  // FitAutoFrameSize; the frame size option would refuse the word.
  const std::string Size = Lists.ComboVideoSize.Text();
  if (Size != "Original Video Size" && Size != "Auto") Options.FrameSize = FrameSizeText(Size);
  Options.AudioChannels = Lists.ComboAudioChannels.Text() == "Stereo" ? 2 : 1;
  if (OutputType == "3GP" || OutputType == "3G2") Options.AudioChannels = 1;
  if (IsAudioType(OutputType)) Options.DisableVideo = true;

  // The numbers last: a failure leaves the fields above filled.
  Options.VideoBitrate = ThousandsValue(Lists.ComboVideoBitrate.Text());
  const std::string AudioRate = Lists.ComboAudioBitrate.Text();
  Options.AudioBitrate = AudioRate.find("Kbps") != std::string::npos
                             ? ThousandsValue(AudioRate)
                             : NumberValue(NumberPart(AudioRate));
  Options.AudioSampleRate = NumberValue(NumberPart(Lists.ComboSamplingRate.Text()));
}

void MapDeviceOptions(const TSettingsLists &Lists, TOutputOptions &Options) {
  // The players take stereo at most; a mono input stays mono.
  Options.AudioChannelLimit = 2;
  Options.VideoBitrate = ThousandsValue(Lists.ComboVideoBitrate.Text());
  Options.AudioBitrate = ThousandsValue(Lists.ComboAudioBitrate.Text());
  Options.AudioSampleRate = NumberValue(NumberPart(Lists.ComboSamplingRate.Text()));
  Options.VideoCodec = VideoCodecName(Lists.ComboVideoCodec.Text());
  Options.AudioCodec = "libfaac";
  Options.FrameSize = FrameSizeText(Lists.ComboVideoSize.Text());
}

void Map3gpOptions(const TSettingsLists &Lists, TOutputOptions &Options) {
  Options.VideoBitrate = ThousandsValue(Lists.ComboVideoBitrate.Text());
  // AMR rates are written in bps already.
  Options.AudioBitrate = NumberValue(NumberPart(Lists.ComboAudioBitrate.Text()));
  Options.AudioSampleRate = NumberValue(NumberPart(Lists.ComboSamplingRate.Text()));
  Options.VideoCodec = VideoCodecName(Lists.ComboVideoCodec.Text());
  Options.AudioCodec = "libamr_nb";
  Options.FrameSize = FrameSizeText(Lists.ComboVideoSize.Text());
  Options.AudioChannels = 1;
}

namespace {

struct TDeviceProfile {
  const char *Device;  // as the entries' texts name it
  int32_t Profile;
};
// The H.264 profiles the devices play: the iPods Baseline, Apple TV Main.
constexpr TDeviceProfile DeviceProfiles[] = {{"iPod", 66}, {"Apple TV", 77}};

}  // namespace

void MapPictureFormat(const std::string &FormatText, TJobMapping Mapping, TOutputOptions &Options) {
  const bool H264 = Options.VideoCodec == "libx264";
  if (Mapping != TJobMapping::Device && !H264) return;
  Options.PixelFormat = "yuv420p";
  if (!H264 || Mapping != TJobMapping::Device) return;
  for (const TDeviceProfile &Device : DeviceProfiles)
    if (FormatText.find(Device.Device) != std::string::npos) Options.VideoProfile = Device.Profile;
}

void MapJobOptions(TJobMapping Mapping, const TSettingsLists &Lists, const std::string &OutputType,
                   TOutputOptions &Options) {
  switch (Mapping) {
    case TJobMapping::General:
      MapGeneralOptions(Lists, OutputType, Options);
      break;
    case TJobMapping::Device:
      MapDeviceOptions(Lists, Options);
      break;
    case TJobMapping::Gp3:
      Map3gpOptions(Lists, Options);
      break;
    case TJobMapping::None:
      break;
  }
}

namespace {

// A rate text's number ("29.97 fps", "29.97"); 0 when it holds none.
double RateValue(const std::string &Text) {
  const std::string Trimmed = TrimmedText(Text);
  const std::string Number = Trimmed.find(' ') == std::string::npos ? Trimmed : NumberPart(Trimmed);
  char *End = nullptr;
  const double Value = std::strtod(Number.c_str(), &End);
  return End != Number.c_str() && *End == 0 && Value > 0 ? Value : 0;
}

// Empty keeps the input's rate; a capped list whose highest rate lies below it gives that.
std::string KeptFrameRate(const TAutoFrameRate &Auto, const TChoiceList &ComboVideoFramerate) {
  if (!Auto.Capped) return std::string();
  std::string Highest;
  for (const std::string &Item : ComboVideoFramerate.Items())
    if (RateValue(Item) > RateValue(Highest)) Highest = Item;
  const double Source = RateValue(Auto.SourceRate);
  // The cell holds two decimals: 29.97 is the list's 29.97 however it was rounded.
  if (Highest.empty() || Source <= RateValue(Highest) + 0.01) return std::string();
  return NumberPart(TrimmedText(Highest));
}

}  // namespace

std::string FrameRateText(const std::string &FormatText, const std::string &OutputType,
                          const TChoiceList &ComboVideoFramerate, TOutputOptions &Options,
                          const TAutoFrameRate &Auto) {
  if (LowerCaseText(OutputType) == "mpg") {
    Options.DefaultNorm = 1;
    // "Super Video CD" also contains "Video CD": the longer name is tested first.
    int Target = 0;
    if (FormatText.find("DVD") != std::string::npos)
      Target = 3;
    else if (FormatText.find("Super Video CD") != std::string::npos)
      Target = 2;
    else if (FormatText.find("Video CD") != std::string::npos)
      Target = 1;
    if (Target != 0) {
      Options.TargetType = Target;
      // "Auto", "PAL", "NTSC" give the norms 0, 1, 2.
      const int Norm = ComboVideoFramerate.ItemIndex();
      if (Norm >= 0 && Norm <= 2) Options.TargetNorm = Norm;
      return std::string();
    }
  }
  const std::string Rate = ComboVideoFramerate.Text();
  if (LowerCaseText(TrimmedText(Rate)) == "auto") {
    if (!Auto.KeepSource) return "25";
    std::string Kept = KeptFrameRate(Auto, ComboVideoFramerate);
    Options.KeepSourceTiming = Kept.empty();
    return Kept;
  }
  return NumberPart(Rate);
}

namespace {

// The nearest even number, at least 2.
long EvenSize(double Value) {
  return std::max(2L, 2 * std::lround(Value / 2));
}

}  // namespace

std::string AutoFrameSize(const std::string &SourceSize, const TChoiceList &ComboVideoSize) {
  TFrameDimensions Largest;
  auto Area = [](const TFrameDimensions &Size) { return long{Size.Width} * Size.Height; };
  for (const std::string &Item : ComboVideoSize.Items()) {
    const TFrameDimensions Size = FrameSizeValue(FrameSizeText(Item));
    if (Area(Size) > Area(Largest)) Largest = Size;
  }
  const TFrameDimensions Source = FrameSizeValue(SourceSize);
  if (Largest.Width == 0 || Source.Width == 0) return std::string();
  if (Source.Width <= Largest.Width && Source.Height <= Largest.Height) return std::string();
  const double Scale =
      std::min(double(Largest.Width) / Source.Width, double(Largest.Height) / Source.Height);
  const long Width = std::min(EvenSize(Source.Width * Scale), long{Largest.Width});
  const long Height = std::min(EvenSize(Source.Height * Scale), long{Largest.Height});
  return std::to_string(Width) + "x" + std::to_string(Height);
}
