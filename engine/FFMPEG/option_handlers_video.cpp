// Option handlers for the picture: rate, size, aspect, pixel format, crop, pad, quality,
// quantiser matrices, codec choice, tags and frame hooks.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/option_values.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

void TCustomFFmpeg::OptFrameRate(const std::string &Text) {
  AVRational Rate{0, 0};
  if (av::av_parse_video_rate(&Rate, Text.c_str()) < 0)
    throw FFMpegException("Incorrect frame rate");
  FOptions.FFrameRate = Rate;
  FOptions.FSourceTiming = {};
}

void TCustomFFmpeg::OptFrameSize(const std::string &Text) {
  int Width = 0;
  int Height = 0;
  if (av::av_parse_video_size(&Width, &Height, Text.c_str()) < 0)
    throw FFMpegException("Incorrect frame size");
  FOptions.FFrameWidth = Width;
  FOptions.FFrameHeight = Height;
  if (Width % 2 != 0 || Height % 2 != 0)
    throw FFMpegException("Frame size must be a multiple of 2");
}

// "W:H" or a number.
void TCustomFFmpeg::OptFrameAspectRatio(const std::string &Text) {
  double Ratio = 0;
  const size_t Colon = Text.find(':');
  if (Colon != std::string::npos) {
    const int Width = OptionIntOrZero(Text.substr(0, Colon));
    const int Height = OptionIntOrZero(Text.substr(Colon + 1));
    if (Height > 0) Ratio = static_cast<double>(Width) / Height;
  } else {
    Ratio = OptionFloatOrZero(Text);
  }
  if (static_cast<float>(Ratio) == 0)
    throw FFMpegException("Incorrect aspect ratio specification.");
  FOptions.FFrameAspectRatio = static_cast<float>(Ratio);
}

// A pixel format by name, or "list" to log the known formats.
void TCustomFFmpeg::OptFramePixFmt(const std::string &Name) {
  if (Name != "list") {
    FOptions.FFramePixFmt = av::av_get_pix_fmt(Name.c_str());
    return;
  }
  if (!FOnLog) return;
  char Line[128];
  DoLog(1, TrimBlanks(av::av_get_pix_fmt_string(Line, sizeof Line, AV_PIX_FMT_NONE)));
  for (const AVPixFmtDescriptor *Descriptor = av::av_pix_fmt_desc_next(nullptr); Descriptor;
       Descriptor = av::av_pix_fmt_desc_next(Descriptor))
    DoLog(1, TrimBlanks(av::av_get_pix_fmt_string(Line, sizeof Line,
                                                  av::av_pix_fmt_desc_get_id(Descriptor))));
}

// The band is cut from the current picture, so a size given before the crops is the size
// before cropping.
void TCustomFFmpeg::SetCropBand(int &Band, int &Dimension, int Size, const char *Side,
                                const char *Direction) {
  if (Size < 0) return;
  if (Size % 2 != 0)
    throw FFMpegException(FormatText("%s crop size must be a multiple of 2", Side));
  if (Size >= Dimension)
    throw FFMpegException(
        FormatText("%s crop dimensions are outside the range of the original image.\n"
                   "Remember to crop first and scale second.",
                   Direction));
  Band = Size;
  Dimension -= Size;
}

void TCustomFFmpeg::OptFrameCropTop(int Size) {
  SetCropBand(FOptions.FFrameTopBand, FOptions.FFrameHeight, Size, "Top", "Vertical");
}

void TCustomFFmpeg::OptFrameCropBottom(int Size) {
  SetCropBand(FOptions.FFrameBottomBand, FOptions.FFrameHeight, Size, "Bottom", "Vertical");
}

void TCustomFFmpeg::OptFrameCropLeft(int Size) {
  SetCropBand(FOptions.FFrameLeftBand, FOptions.FFrameWidth, Size, "Left", "Horizontal");
}

void TCustomFFmpeg::OptFrameCropRight(int Size) {
  SetCropBand(FOptions.FFrameRightBand, FOptions.FFrameWidth, Size, "Right", "Horizontal");
}

void TCustomFFmpeg::SetPadSize(int &Pad, int Size, const char *Side) {
  if (Size < 0) return;
  if (Size % 2 != 0) throw FFMpegException(FormatText("%s pad size must be a multiple of 2", Side));
  Pad = Size;
}

namespace {

int SaturatedSum(int Size, int Before, int After) {
  const int64_t Sum = static_cast<int64_t>(Size) + Before + After;
  return static_cast<int>(std::clamp<int64_t>(Sum, INT32_MIN, INT32_MAX));
}

}  // namespace

int TCustomFFmpeg::PaddedWidth() const {
  return SaturatedSum(FOptions.FFrameWidth, FOptions.FFramePadLeft, FOptions.FFramePadRight);
}

int TCustomFFmpeg::PaddedHeight() const {
  return SaturatedSum(FOptions.FFrameHeight, FOptions.FFramePadTop, FOptions.FFramePadBottom);
}

void TCustomFFmpeg::OptFramePadTop(int Size) {
  SetPadSize(FOptions.FFramePadTop, Size, "Top");
}

void TCustomFFmpeg::OptFramePadBottom(int Size) {
  SetPadSize(FOptions.FFramePadBottom, Size, "Bottom");
}

void TCustomFFmpeg::OptFramePadLeft(int Size) {
  SetPadSize(FOptions.FFramePadLeft, Size, "Left");
}

void TCustomFFmpeg::OptFramePadRight(int Size) {
  SetPadSize(FOptions.FFramePadRight, Size, "Right");
}

// Color holds red in its lowest byte, then green, then blue; the pad colour is kept as Y, U,
// V in fixed point with 10 fractional bits.
void TCustomFFmpeg::OptPadColor(int Color) {
  const int R = Color & 0xFF;
  const int G = (Color >> 8) & 0xFF;
  const int B = (Color >> 16) & 0xFF;
  FOptions.FPadColor[0] = (307 * R + 602 * G + 117 * B + 512) >> 10;
  FOptions.FPadColor[1] = ((-173 * R - 340 * G + 512 * B + 511) >> 10) + 128;
  FOptions.FPadColor[2] = ((512 * R - 429 * G - 84 * B + 511) >> 10) + 128;
}

void TCustomFFmpeg::OptQScale(float QScale) {
  if (!(QScale > 0 && QScale <= 255)) throw FFMpegException("qscale must be > 0.0 and <= 255");
  FOptions.FVideoQScale = QScale;
}

void TCustomFFmpeg::OptVideoRcOverride(const std::string &Text) {
  FOptions.FVideoRcOverride = Text;
}

void TCustomFFmpeg::OptMeThreshold(int Threshold) {
  FOptions.FMeThreshold = Threshold;
}

void TCustomFFmpeg::OptPass(int Pass) {
  if (Pass != 1 && Pass != 2) throw FFMpegException("pass number can be only 1 or 2");
  FOptions.FDoPass = Pass;
}

// 64 comma-separated coefficients. The new table replaces the old one before parsing, so a
// refused text leaves the coefficients read so far.
void TCustomFFmpeg::SetMatrix(std::vector<uint16_t> &Matrix, const std::string &Text) {
  constexpr int Coefficients = 64;
  std::vector<uint16_t> Values(Coefficients);
  const char *P = Text.c_str();
  for (int I = 0; I < Coefficients; ++I) {
    // A 0 would make the encoder divide by zero; the field holds 16 bits.
    const long Value = std::strtol(P, nullptr, 10);
    if (Value < 1 || Value > 65535)
      throw FFMpegException(
          FormatText("Invalid coefficient %ld in matrix \"%s\" at coeff %d (1..65535)", Value,
                     Text.c_str(), I));
    Values[I] = static_cast<uint16_t>(Value);
    if (I == Coefficients - 1) break;
    P = std::strchr(P, ',');
    if (!P)
      throw FFMpegException(
          FormatText("Syntax error in matrix \"%s\" at coeff %d", Text.c_str(), I));
    ++P;
  }
  Matrix = std::move(Values);
}

void TCustomFFmpeg::OptIntraMatrix(const std::string &Text) {
  SetMatrix(FOptions.FIntraMatrix, Text);
}

void TCustomFFmpeg::OptInterMatrix(const std::string &Text) {
  SetMatrix(FOptions.FInterMatrix, Text);
}

void TCustomFFmpeg::OptTopFieldFirst(int Value) {
  FOptions.FTopFieldFirst = Value;
}

void TCustomFFmpeg::OptVideoCodec(const std::string &Name) {
  SetCodecChoice(FOptions.FVideoCodecName, FOptions.FVideoStreamCopy, Name);
}

void TCustomFFmpeg::OptVideoTag(const std::string &Tag) {
  FOptions.FVideoCodecTag = ParseTag(Tag, "video");
}

void TCustomFFmpeg::OptVideoChannel(int Channel) {
  FOptions.FVideoChannel = Channel;
}

void TCustomFFmpeg::OptVideoStandard(const std::string &Standard) {
  FOptions.FVideoStandard = Standard;
}

void TCustomFFmpeg::OptFrameHook(const std::string &CommandLine) {
  AddFrameHookCommandLine(FHooks, CommandLine);
  FOptions.FUsingVHook = true;
}
