// The video path of one encoded video output stream. Runs on the task's thread.

#include "engine/FFMPEG/video_path.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/FFMPEG/decode_checks.h"
#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/picture.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"
#include "threads/pause_gate.h"

namespace {

constexpr int InterlacedFlags = AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;

// How far repeated pictures may carry the output past the input's end: the last picture's own
// duration and the encoder's rounding fit well inside.
constexpr double RepeatMarginSeconds = 1.0;
constexpr double RepeatMarginShare = 0.05;

int64_t RoundHalfEven(double Value) {
  const double Rounded = std::nearbyint(Value);
  if (!(Rounded > static_cast<double>(INT64_MIN))) return INT64_MIN + 1;
  if (!(Rounded < static_cast<double>(INT64_MAX))) return INT64_MAX;
  return static_cast<int64_t>(Rounded);
}

}  // namespace

TVideoPath::TVideoPath(TOutputStream &Ost, const TVideoSettings &Settings, TVideoTaskState Task,
                       TPauseGate &Pause, TLog Log)
    : FOst(Ost),
      FSettings(Settings),
      FTask(Task),
      FPause(Pause),
      FLog(std::move(Log)),
      FTurner(Settings.Turn) {}

// ===== Set-up =====

std::string TVideoPath::SetUp(const AVCodecContext &Dec) {
  const AVCodecContext &Enc = *FOst.Encoder;
  if (std::string Defect = PictureDefect(Enc.pix_fmt, Enc.width, Enc.height); !Defect.empty())
    return Defect;
  const TVideoSettings &S = FSettings;
  FCrop = S.TopBand || S.BottomBand || S.LeftBand || S.RightBand;
  FPad = S.PadTop || S.PadBottom || S.PadLeft || S.PadRight;
  const TGeometry Source = Upright({Dec.pix_fmt, Dec.width, Dec.height});
  const int CroppedWidth = Source.Width - (S.LeftBand + S.RightBand);
  const int CroppedHeight = Source.Height - (S.TopBand + S.BottomBand);
  FResample = Enc.width != CroppedWidth + (S.PadLeft + S.PadRight) ||
              Enc.height != CroppedHeight + (S.PadTop + S.PadBottom) ||
              Enc.pix_fmt != Source.Format;
  if (FCrop) {
    FTopBand = S.TopBand;
    FLeftBand = S.LeftBand;
    FBottomBand = S.BottomBand;
    FRightBand = S.RightBand;
  }
  if (FPad) {
    FPadTop = S.PadTop;
    FPadBottom = S.PadBottom;
    FPadLeft = S.PadLeft;
    FPadRight = S.PadRight;
    if (!FResample && !AllocPictureBuffer(FPictTmp, Enc.pix_fmt, Enc.width, Enc.height))
      throw FFMpegException("avpicture_alloc fail");
  }
  if (FResample) {
    if (!AllocPictureBuffer(FPictTmp, Enc.pix_fmt, Enc.width, Enc.height))
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    int64_t Flags = 0;
    if (S.ScaleOptions &&
        av::av_opt_get_int(const_cast<SwsContext *>(S.ScaleOptions), "sws_flags", 0, &Flags) >= 0)
      FTask.SwsFlags = static_cast<int>(Flags);
    // Without a known source the first decoded picture brings its own format and size.
    if (PictureDefect(Source.Format, CroppedWidth, CroppedHeight).empty())
      UseScaler(Source.Format, CroppedWidth, CroppedHeight);
  }
  MakeFrame();
  return "";
}

void TVideoPath::MakeFrame() {
  if (!FFrame) FFrame.reset(av::av_frame_alloc());
  if (!FFrame) throw FFMpegException("av_malloc fail");
}

void TVideoPath::UseScaler(int SourceFormat, int Width, int Height) {
  const auto Format = static_cast<AVPixelFormat>(SourceFormat);
  if (FScaler && FScalerSourceFormat == SourceFormat && FScalerSourceWidth == Width &&
      FScalerSourceHeight == Height)
    return;
  const AVCodecContext &Enc = *FOst.Encoder;
  const int DstWidth = Enc.width - (FPadLeft + FPadRight);
  const int DstHeight = Enc.height - (FPadTop + FPadBottom);
  // The scaler aborts the process on a format it has no description of.
  std::string Defect = PictureDefect(Format, Width, Height);
  if (Defect.empty()) Defect = PictureDefect(Enc.pix_fmt, DstWidth, DstHeight);
  if (!Defect.empty()) throw FFMpegException("Cannot get resampling context: " + Defect);
  if (!CachedScaler(FScaler, Width, Height, Format, DstWidth, DstHeight, Enc.pix_fmt,
                    FTask.SwsFlags))
    throw FFMpegException("Cannot get resampling context");
  FScalerSourceFormat = SourceFormat;
  FScalerSourceWidth = Width;
  FScalerSourceHeight = Height;
  FScalerHeight = Height;
}

// ===== Synchronisation =====

bool TVideoPath::SyncOn() const {
  const double TimeBase = av_q2d(FOst.Encoder->time_base);
  return TimeBase > 0 &&
         (FSettings.SyncMethod >= 1 || (FSettings.SyncMethod < 0 && TimeBase > 0.001));
}

int TVideoPath::SyncFrameCount(const TInputStream &Ist) {
  const double TimeBase = av_q2d(FOst.Encoder->time_base);
  const TInputStream &SyncIst = FOst.SyncIst ? *FOst.SyncIst : Ist;
  const double SyncIpts = static_cast<double>(SyncIst.Pts - FSettings.StartTime) / 1e6;
  // A picture re-stamped onto or before one already written cannot follow it.
  const auto Restamp = [&] {
    const int64_t Opts = RoundHalfEven(SyncIpts / TimeBase);
    if (FOst.FrameNumber > 0 && Opts < FOst.SyncOpts) return false;
    FOst.SyncOpts = Opts;
    return true;
  };
  int NbFrames = 1;
  if (!SyncOn()) {
    if (TimeBase > 0 && !Restamp()) NbFrames = 0;
  } else {
    const double VDelta = SyncIpts / TimeBase - static_cast<double>(FOst.SyncOpts);
    if (VDelta < -1.1)
      NbFrames = 0;
    else if (FSettings.SyncMethod == 2)
      NbFrames = Restamp() ? 1 : 0;
    else if (VDelta > 1.1)
      NbFrames = static_cast<int>(std::min<int64_t>(RoundHalfEven(VDelta), INT_MAX));
  }
  if (NbFrames == 0) {
    ++FTask.FramesDrop;
    if (FSettings.Verbose > 2) Log(1, "*** drop!");
  } else if (NbFrames > 1) {
    FTask.FramesDup += NbFrames - 1;
    if (FSettings.Verbose > 2) Log(1, FormatText("*** %d dup!", NbFrames - 1));
  }
  return NbFrames;
}

int64_t TVideoPath::FrameLimit() const {
  const double TimeBase = av_q2d(FOst.Encoder->time_base);
  if (FSettings.RecordingTime == INT64_MAX || !(TimeBase > 0)) return INT64_MAX;
  // Frames that start before the recording time; the tolerance keeps 1 s at 25 fps at 25.
  const double Frames =
      std::ceil(static_cast<double>(FSettings.RecordingTime) / 1e6 / TimeBase - 1e-6);
  return Frames < 9e18 ? static_cast<int64_t>(Frames) : INT64_MAX;
}

void TVideoPath::CheckRepeat(int64_t Count) const {
  const double TimeBase = av_q2d(FOst.Encoder->time_base);
  if (Count <= 1 || FSettings.InputEnd == INT64_MAX || !(TimeBase > 0)) return;
  const double Length = static_cast<double>(FSettings.InputEnd - FSettings.StartTime) / 1e6;
  const double Until = static_cast<double>(FOst.SyncOpts + Count) * TimeBase;
  if (Until <= Length + std::max(RepeatMarginSeconds, Length * RepeatMarginShare)) return;
  throw FFMpegException(FormatText(
      "the pictures of %s would last until %s, past the input's end at %s: its timing is damaged",
      FSettings.Source.c_str(), PlayTimeText(static_cast<int64_t>(Until * 1e6), true).c_str(),
      PlayTimeText(static_cast<int64_t>(Length * 1e6), false).c_str()));
}

int64_t TVideoPath::Allowed(int64_t Wanted) const {
  Wanted = std::min<int64_t>(Wanted, static_cast<int64_t>(FSettings.MaxFrames) - FOst.FrameNumber);
  return std::min(Wanted, FrameLimit() - FOst.SyncOpts);
}

// ===== Turn, crop, scale, pad =====

TGeometry TVideoPath::Upright(const TGeometry &Stored) const {
  if (!FSettings.Turn.Turns()) return Stored;
  const TGeometry Turned = FTurner.Turned(Stored);
  if (Turned.Format != AV_PIX_FMT_NONE) return Turned;
  // Not known yet: the first picture brings its format.
  if (Stored.Format == AV_PIX_FMT_NONE && FSettings.Turn.Swap)
    return {AV_PIX_FMT_NONE, Stored.Height, Stored.Width};
  return Stored;
}

void TVideoPath::TurnUpright(TPicture &Picture, TGeometry &G) {
  if (!FSettings.Turn.Turns()) return;
  TPicture Turned{};
  if (FTurner.Apply(Picture, G, Turned)) {
    Picture = Turned;
    G = FTurner.Turned(G);
    return;
  }
  if (FTurnRefused) return;
  FTurnRefused = true;
  const char *Name = av::av_get_pix_fmt_name(G.Format);
  Log(0, FormatText("%s: pictures in %s cannot be turned upright; they are left as stored",
                    FSettings.Source.c_str(), Name ? Name : "an unknown format"));
}

bool TVideoPath::FitPicture(const AVFrame &InFrame, const TPicture &InPicture,
                            const AVCodecContext &Dec, TPicture &Final) {
  const AVCodecContext &Enc = *FOst.Encoder;
  TGeometry G = FrameGeometry(InFrame, Dec);
  TPicture Source = InPicture;
  TurnUpright(Source, G);
  TPicture Formatted = Source;
  int Width = G.Width, Height = G.Height;
  if (FCrop) {
    if (CropPicture(Formatted, Source, G.Format, FTopBand, FLeftBand) < 0) {
      Log(0, "error cropping picture");
      return false;
    }
    Width -= FLeftBand + FRightBand;
    Height -= FTopBand + FBottomBand;
    // A picture that shrank mid-stream may be smaller than the crop.
    if (Width <= 0 || Height <= 0) {
      Log(0, FormatText("picture %dx%d is smaller than the crop", G.Width, G.Height));
      return false;
    }
  }
  const bool Resample = FResample || G.Format != Enc.pix_fmt ||
                        Width != Enc.width - (FPadLeft + FPadRight) ||
                        Height != Enc.height - (FPadTop + FPadBottom);
  if (Resample) {
    if (!FPictTmp && !AllocPictureBuffer(FPictTmp, Enc.pix_fmt, Enc.width, Enc.height))
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    UseScaler(G.Format, Width, Height);
  }
  Final = Formatted;
  const TPicture *PadSource = &Formatted;
  TPicture ScaleTarget = FPictTmp.Picture;
  if (FPad) {
    Final = FPictTmp.Picture;
    if (Resample &&
        CropPicture(ScaleTarget, FPictTmp.Picture, Enc.pix_fmt, FPadTop, FPadLeft) < 0) {
      Log(0, "error padding picture");
      return false;
    }
  }
  if (Resample) {
    PadSource = nullptr;
    Final = FPictTmp.Picture;
    ScalePicture(FScaler.get(), Formatted, FScalerHeight, ScaleTarget);
  }
  if (FPad && PadPicture(Final, PadSource, Enc.height, Enc.width, Enc.pix_fmt, FPadTop, FPadBottom,
                         FPadLeft, FPadRight, FSettings.PadColor) < 0) {
    Log(0, "error padding picture");
    return false;
  }
  return true;
}

// ===== To the encoder =====

void TVideoPath::SendFrame(int &FrameSize, const AVFrame &InFrame, const TPicture &Final,
                           const TInputStream &Ist) {
  const AVCodecContext &Enc = *FOst.Encoder;
  AVFrame &Frame = *FFrame;
  for (int P = 0; P < 4; ++P) {
    Frame.data[P] = Final.data[P];
    Frame.linesize[P] = Final.linesize[P];
  }
  Frame.format = Enc.pix_fmt;
  Frame.width = Enc.width;
  Frame.height = Enc.height;
  Frame.pts = FOst.SyncOpts;
  // A quarter turn makes columns of the fields: the picture is no longer interlaced.
  av_compat::SetInterlacing(Frame, av_compat::Interlaced(InFrame) && !FSettings.Turn.Swap,
                            FSettings.InterlacedCoding &&
                                (FSettings.TopFieldFirst == -1 ? av_compat::TopFieldFirst(InFrame)
                                                               : FSettings.TopFieldFirst));
  Frame.quality =
      static_cast<int>(std::nearbyint(FSettings.SameQuality ? Ist.Quality : FOst.Quality));
  Frame.pict_type = AV_PICTURE_TYPE_NONE;
  const int Written = FOst.Encoding->Send(&Frame, "Video encoding failed");
  if (Written > 0) FrameSize = Written;  // a frame the encoder holds back leaves it alone
}

int TVideoPath::Send(const AVFrame &InFrame, const TPicture &InPicture, const TInputStream &Ist) {
  int FrameSize = 0;
  int64_t NbFrames = SyncFrameCount(Ist);
  if (SyncOn()) FHeldUntil = (FOst.SyncIst ? *FOst.SyncIst : Ist).NextPts;
  NbFrames = Allowed(NbFrames);
  CheckRepeat(NbFrames);
  if (NbFrames <= 0) return FrameSize;
  TPicture Final{};
  if (!FitPicture(InFrame, InPicture, *Ist.Decoder, Final)) return FrameSize;
  MakeFrame();
  for (int64_t I = 0; I < NbFrames; ++I) {
    FPause.Wait();
    if (FPause.Stopped()) break;
    SendFrame(FrameSize, InFrame, Final, Ist);
    ++FOst.SyncOpts;
    ++FOst.FrameNumber;
  }
  // Variable-rate sync never shows a held picture, so none is kept.
  if (SyncOn() && FSettings.SyncMethod != 2) Hold(InFrame, Final);
  return FrameSize;
}

// Runs for every picture: the stream's own scaled picture and the decoder's (by reference) are
// held as they are; only a picture in a buffer the hooks re-use is copied.
void TVideoPath::Hold(const AVFrame &InFrame, const TPicture &Final) {
  const AVCodecContext &Enc = *FOst.Encoder;
  FHasHeldPicture = false;
  if (FPictTmp && Final.data[0] == FPictTmp.Picture.data[0]) {
    FHeldPicture = Final;
  } else if (InFrame.buf[0] && Final.data[0] == InFrame.data[0]) {
    if (!FHeldFrame) FHeldFrame.reset(av::av_frame_alloc());
    if (!FHeldFrame) return;
    av::av_frame_unref(FHeldFrame.get());
    if (av::av_frame_ref(FHeldFrame.get(), &InFrame) < 0) return;
    FHeldPicture = Final;
  } else {
    if (!FHeldCopy && !AllocPictureBuffer(FHeldCopy, Enc.pix_fmt, Enc.width, Enc.height)) return;
    CopyPicture(FHeldCopy.Picture, Final, Enc.pix_fmt, Enc.width, Enc.height);
    FHeldPicture = FHeldCopy.Picture;
  }
  FHeldInterlaced = av_compat::Interlaced(InFrame);
  FHeldTopFieldFirst = av_compat::TopFieldFirst(InFrame);
  FHasHeldPicture = true;
}

void TVideoPath::ShowHeldPicture(const TInputStream &Source) {
  // Variable-rate sync (2) never duplicates.
  if (!FHasHeldPicture || FHeldUntil == NoTimestamp || FPause.Stopped() || !SyncOn() ||
      FSettings.SyncMethod == 2)
    return;
  const double TimeBase = av_q2d(FOst.Encoder->time_base);
  const double End = static_cast<double>(FHeldUntil - FSettings.StartTime) / 1e6 / TimeBase;
  const int64_t NbFrames = Allowed(RoundHalfEven(End - static_cast<double>(FOst.SyncOpts)));
  CheckRepeat(NbFrames);
  if (NbFrames <= 0) return;
  AVFrame Props{};
  av_compat::SetInterlacing(Props, FHeldInterlaced, FHeldTopFieldFirst);
  int FrameSize = 0;
  for (int64_t I = 0; I < NbFrames && !FPause.Stopped(); ++I) {
    SendFrame(FrameSize, Props, FHeldPicture, Source);
    ++FOst.SyncOpts;
    ++FOst.FrameNumber;
    ++FTask.FramesDup;
  }
}
