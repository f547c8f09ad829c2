// The video output path: per-picture pre-processing (deinterlace, hooks) and per-output
// synchronisation, crop, scale, pad and encoding. Runs on the task's thread.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>

#include "engine/FFMPEG/decode_checks.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/tbitmap.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

constexpr int HookScaleFlags = SWS_BICUBIC;
constexpr int InterlacedFlags = AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;

struct TGeometry {
  AVPixelFormat Format;
  int Width, Height;
};

// The decoded frame's own geometry: it may differ from the decoder context's and change
// mid-stream.
TGeometry FrameGeometry(const AVFrame &Frame, const AVCodecContext &Dec) {
  if (Frame.width > 0 && Frame.height > 0 && Frame.format >= 0)
    return {static_cast<AVPixelFormat>(Frame.format), Frame.width, Frame.height};
  return {Dec.pix_fmt, Dec.width, Dec.height};
}

TGeometry DecodedGeometry(const TInputStream &Ist) {
  static const AVFrame NoFrame{};
  return FrameGeometry(Ist.Frame ? *Ist.Frame : NoFrame, *Ist.Decoder);
}

// Re-uses Context when its settings still fit, else replaces it; false when no context results.
bool CachedScaler(TScalerPtr &Context, int SrcWidth, int SrcHeight, AVPixelFormat SrcFormat,
                  int DstWidth, int DstHeight, AVPixelFormat DstFormat, int Flags) {
  Context.reset(av::sws_getCachedContext(Context.release(), SrcWidth, SrcHeight, SrcFormat,
                                         DstWidth, DstHeight, DstFormat, Flags, nullptr, nullptr,
                                         nullptr));
  return static_cast<bool>(Context);
}

void Scale(SwsContext *Context, const TPicture &Src, int SrcHeight, TPicture &Dst) {
  av::sws_scale(Context, Src.data, Src.linesize, 0, SrcHeight, Dst.data, Dst.linesize);
}

std::string ExceptionMessage(std::exception_ptr Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception &E) {
    return E.what();
  } catch (...) {
    return "";
  }
}

void CopyRowsToBitmap(const TPicture &Rgb, TBitmap &Bitmap, int Height) {
  const size_t Bytes = static_cast<size_t>(std::min(Rgb.linesize[0], Bitmap.Stride()));
  for (int Row = 0; Row < Height && Row < Bitmap.Height(); ++Row)
    std::memcpy(Bitmap.ScanLine(Row), Rgb.data[0] + static_cast<ptrdiff_t>(Row) * Rgb.linesize[0],
                Bytes);
}

void CopyRowsFromBitmap(const TBitmap &Bitmap, TPicture &Rgb, int Height) {
  const size_t Bytes = static_cast<size_t>(std::min(Rgb.linesize[0], Bitmap.Stride()));
  for (int Row = 0; Row < Height && Row < Bitmap.Height(); ++Row)
    std::memcpy(Rgb.data[0] + static_cast<ptrdiff_t>(Row) * Rgb.linesize[0], Bitmap.ScanLine(Row),
                Bytes);
}

int64_t RoundHalfEven(double Value) {
  const double Rounded = std::nearbyint(Value);
  if (!(Rounded > static_cast<double>(INT64_MIN))) return INT64_MIN + 1;
  if (!(Rounded < static_cast<double>(INT64_MAX))) return INT64_MAX;
  return static_cast<int64_t>(Rounded);
}

}  // namespace

// ===== Set-up =====

void TCustomFFmpeg::SetUpVideoOutput(TOutputStream &Ost, const TInputStream &Ist) {
  const AVCodecContext &Enc = *Ost.Encoder;
  const AVCodecContext &Dec = *Ist.Decoder;
  if (const std::string Defect = PictureDefect(Enc.pix_fmt, Enc.width, Enc.height); !Defect.empty())
    throw FFMpegException(StreamSetUpFailure(Ost, Ist, Defect));
  Ost.VideoCrop = FFrameTopBand || FFrameBottomBand || FFrameLeftBand || FFrameRightBand;
  Ost.VideoPad = FFramePadTop || FFramePadBottom || FFramePadLeft || FFramePadRight;
  const int CroppedWidth = Dec.width - (FFrameLeftBand + FFrameRightBand);
  const int CroppedHeight = Dec.height - (FFrameTopBand + FFrameBottomBand);
  Ost.VideoResample = Enc.width != CroppedWidth + (FFramePadLeft + FFramePadRight) ||
                      Enc.height != CroppedHeight + (FFramePadTop + FFramePadBottom) ||
                      Enc.pix_fmt != Dec.pix_fmt;
  if (Ost.VideoCrop) {
    Ost.TopBand = FFrameTopBand;
    Ost.LeftBand = FFrameLeftBand;
    Ost.BottomBand = FFrameBottomBand;
    Ost.RightBand = FFrameRightBand;
  }
  if (Ost.VideoPad) {
    Ost.PadTop = FFramePadTop;
    Ost.PadBottom = FFramePadBottom;
    Ost.PadLeft = FFramePadLeft;
    Ost.PadRight = FFramePadRight;
    if (!Ost.VideoResample && !AllocPictureBuffer(Ost.PictTmp, Enc.pix_fmt, Enc.width, Enc.height))
      throw FFMpegException("avpicture_alloc fail");
  }
  if (Ost.VideoResample) {
    if (!AllocPictureBuffer(Ost.PictTmp, Enc.pix_fmt, Enc.width, Enc.height))
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    int64_t Flags = 0;
    if (FScaleOptions && av::av_opt_get_int(FScaleOptions.get(), "sws_flags", 0, &Flags) >= 0)
      FSwsFlags = static_cast<int>(Flags);
    // Without a known source the first decoded picture brings its own format and size.
    if (PictureDefect(Dec.pix_fmt, CroppedWidth, CroppedHeight).empty())
      UseVideoScaler(Ost, Dec.pix_fmt, CroppedWidth, CroppedHeight);
  }
  if (!Ost.VideoFrame) Ost.VideoFrame.reset(av::av_frame_alloc());
  if (!Ost.VideoFrame) throw FFMpegException("av_malloc fail");
}

// The scaler from the cropped decoded picture to the encoder's picture inside its pads,
// re-created when the source differs from the one it was made for.
void TCustomFFmpeg::UseVideoScaler(TOutputStream &Ost, AVPixelFormat Format, int Width,
                                   int Height) {
  if (Ost.ImgResampleCtx && Ost.ResampleSourceFormat == Format &&
      Ost.ResampleSourceWidth == Width && Ost.ResampleSourceHeight == Height)
    return;
  const AVCodecContext &Enc = *Ost.Encoder;
  const int DstWidth = Enc.width - (Ost.PadLeft + Ost.PadRight);
  const int DstHeight = Enc.height - (Ost.PadTop + Ost.PadBottom);
  // The scaler aborts the process on a format it has no description of.
  std::string Defect = PictureDefect(Format, Width, Height);
  if (Defect.empty()) Defect = PictureDefect(Enc.pix_fmt, DstWidth, DstHeight);
  if (!Defect.empty()) throw FFMpegException("Cannot get resampling context: " + Defect);
  if (!CachedScaler(Ost.ImgResampleCtx, Width, Height, Format, DstWidth, DstHeight, Enc.pix_fmt,
                    FSwsFlags))
    throw FFMpegException("Cannot get resampling context");
  Ost.ResampleSourceFormat = Format;
  Ost.ResampleSourceWidth = Width;
  Ost.ResampleSourceHeight = Height;
  Ost.ResampleHeight = Height;
}

// ===== Pre-processing =====

void TCustomFFmpeg::DecideHookAction(int64_t Pts) {
  if (FOnBeforeHook) {
    try {
      FOnBeforeHook(this, FHookAction, Pts);
    } catch (...) {
      DoLog(0, "Error occurs OnBeforeHook: " + ExceptionMessage(std::current_exception()));
      FHookAction = THookAction::haStop;
    }
    if (FHookAction == THookAction::haStop) FUsingVHook = false;
    return;
  }
  if (FHookRangeCount <= 0) return;
  FHookAction = THookAction::haIgnore;
  const int Count = std::min(FHookRangeCount, static_cast<int>(FHookRanges.size()));
  for (int I = FHookRangeIndex; I < Count; ++I) {
    if (FHookRanges[I].Start <= Pts && Pts <= FHookRanges[I].Stop) {
      FHookRangeIndex = I;
      FHookAction = THookAction::haContinue;
      return;
    }
    if (I == Count - 1 && FHookRanges[I].Stop < Pts) {
      FHookAction = THookAction::haStop;
      FUsingVHook = false;
    }
  }
}

bool TCustomFFmpeg::MakeWorkingPicture(const TPicture &Picture, TPicture &Working,
                                       AVPixelFormat Format, int Width, int Height) {
  const int Size = PictureBufferSize(Format, Width, Height);
  if (Size <= 0 || !GrowBuffer(FHookBuffer, FHookBufferSize, Size)) {
    DoLog(0, "hook buf malloc error.");
    return false;
  }
  if (FillPicture(Working, FHookBuffer.get(), Format, Width, Height) < 0) {
    DoLog(0, "hook buf malloc error.");
    return false;
  }
  if (FDoDeinterlace && DeinterlacePicture(Working, Picture, Format, Width, Height) >= 0)
    return true;
  if (FDoDeinterlace) DoLog(0, "deinterlace error.");
  // A copy even when deinterlacing failed: hooks must not draw on the decoder's own frames.
  CopyPicture(Working, Picture, Format, Width, Height);
  return true;
}

bool TCustomFFmpeg::HookPictureToRGB(const TPicture &Working, TPicture &Rgb, AVPixelFormat Format,
                                     int Width, int Height) {
  if (Format == FHookRGBFormat) {
    Rgb = Working;
    return true;
  }
  const int Size = PictureBufferSize(FHookRGBFormat, Width, Height);
  if (Size <= 0 || !GrowBuffer(FRGBBuffer, FRGBBufferSize, Size) ||
      FillPicture(Rgb, FRGBBuffer.get(), FHookRGBFormat, Width, Height) < 0 ||
      !CachedScaler(FToRGBContext, Width, Height, Format, Width, Height, FHookRGBFormat,
                    HookScaleFlags)) {
    DoLog(0, "Cannot initialize the toRGB conversion context");
    return false;
  }
  Scale(FToRGBContext.get(), Working, Height, Rgb);
  return true;
}

void TCustomFFmpeg::RunCustomHook(TPicture &Working, AVPixelFormat Format, int Width, int Height,
                                  int64_t Pts) {
  bool Stop = false;
  if (!FHookBitmap || FHookBitmap->Width() != Width || FHookBitmap->Height() != Height)
    FHookBitmap = std::make_unique<TBitmap>(Width, Height, FHookBitmapFormat);
  TPicture Rgb{};
  if (!HookPictureToRGB(Working, Rgb, Format, Width, Height)) Stop = true;
  if (!Stop) {
    // The bitmap's lock is held only while the engine copies in and out: the handler may
    // take it itself, or hand the bitmap to a thread that does.
    {
      TBitmapLock Lock(*FHookBitmap);
      CopyRowsToBitmap(Rgb, *FHookBitmap, Height);
    }
    bool Update = true;
    try {
      FOnCustomHook(this, FHookBitmap.get(), FHookFrameNumber, Pts, Update, Stop);
    } catch (...) {
      DoLog(0, "Error occurs OnCustomHook: " + ExceptionMessage(std::current_exception()));
      Update = false;
    }
    if (Update) {
      {
        TBitmapLock Lock(*FHookBitmap);
        CopyRowsFromBitmap(*FHookBitmap, Rgb, Height);
      }
      if (Format != FHookRGBFormat) {
        if (CachedScaler(FFromRGBContext, Width, Height, FHookRGBFormat, Width, Height, Format,
                         HookScaleFlags)) {
          Scale(FFromRGBContext.get(), Rgb, Height, Working);
        } else {
          DoLog(0, "Cannot initialize the fromRGB conversion context");
          Stop = true;
        }
      }
    }
  }
  if (Stop) {
    FOnCustomHook = nullptr;
    FHookAction = THookAction::haStop;
    FUsingVHook = false;
  }
}

void TCustomFFmpeg::PreProcessVideoFrame(TInputStream &Ist, TPicture &Picture) {
  const TGeometry G = DecodedGeometry(Ist);
  ++FHookFrameNumber;
  const int64_t Pts = Ist.Pts;
  if (!FOnCustomHook && FUsingVHook) DecideHookAction(Pts);
  const bool ModulesRun = FUsingVHook && FHookAction == THookAction::haContinue;
  TPicture Working = Picture;
  bool Replaced = false;
  if (FDoDeinterlace || FOnCustomHook || ModulesRun) {
    if (!MakeWorkingPicture(Picture, Working, G.Format, G.Width, G.Height)) return;
    Replaced = true;
  }
  if (FOnCustomHook)
    RunCustomHook(Working, G.Format, G.Width, G.Height, Pts);
  else if (ModulesRun)
    ProcessFrameHooks(FHooks.First(), &Working, G.Format, G.Width, G.Height, Pts);
  if (Replaced) Picture = Working;
}

// ===== Output =====

bool TCustomFFmpeg::VideoSyncOn(const TOutputStream &Ost) const {
  const double TimeBase = av_q2d(Ost.Encoder->time_base);
  return TimeBase > 0 && (FVideoSyncMethod >= 1 || (FVideoSyncMethod < 0 && TimeBase > 0.001));
}

// How many times the picture is written: 0 drops it, more than 1 duplicates it.
int TCustomFFmpeg::VideoSyncFrameCount(TOutputStream &Ost, const TInputStream &Ist) {
  const AVCodecContext &Enc = *Ost.Encoder;
  const double TimeBase = av_q2d(Enc.time_base);
  const TInputStream &SyncIst = Ost.SyncIst ? *Ost.SyncIst : Ist;
  const double SyncIpts = static_cast<double>(SyncIst.Pts - FStartTime) / 1e6;
  // A picture re-stamped onto or before one already written cannot follow it.
  const auto Restamp = [&] {
    const int64_t Opts = RoundHalfEven(SyncIpts / TimeBase);
    if (Ost.FrameNumber > 0 && Opts < Ost.SyncOpts) return false;
    Ost.SyncOpts = Opts;
    return true;
  };
  int NbFrames = 1;
  if (!VideoSyncOn(Ost)) {
    if (TimeBase > 0 && !Restamp()) NbFrames = 0;
  } else {
    const double VDelta = SyncIpts / TimeBase - static_cast<double>(Ost.SyncOpts);
    if (VDelta < -1.1)
      NbFrames = 0;
    else if (FVideoSyncMethod == 2)
      NbFrames = Restamp() ? 1 : 0;
    else if (VDelta > 1.1)
      NbFrames = static_cast<int>(std::min<int64_t>(RoundHalfEven(VDelta), INT_MAX));
  }
  if (NbFrames == 0) {
    ++FFramesDrop;
    if (FVerbose > 2) DoLog(1, "*** drop!");
  } else if (NbFrames > 1) {
    FFramesDup += NbFrames - 1;
    if (FVerbose > 2) DoLog(1, FormatText("*** %d dup!", NbFrames - 1));
  }
  return NbFrames;
}

int64_t TCustomFFmpeg::VideoFrameLimit(const TOutputStream &Ost) const {
  const double TimeBase = av_q2d(Ost.Encoder->time_base);
  if (FRecordingTime == INT64_MAX || !(TimeBase > 0)) return INT64_MAX;
  // Frames that start before the recording time; the tolerance keeps 1 s at 25 fps at 25.
  const double Frames = std::ceil(static_cast<double>(FRecordingTime) / 1e6 / TimeBase - 1e-6);
  return Frames < 9e18 ? static_cast<int64_t>(Frames) : INT64_MAX;
}

// Crops, scales and pads the picture into what the encoder takes; false (logged) when the
// picture is skipped.
bool TCustomFFmpeg::FormatVideoPicture(TOutputStream &Ost, const AVFrame &InFrame,
                                       const TPicture &InPicture, const TInputStream &Ist,
                                       TPicture &Final) {
  const AVCodecContext &Enc = *Ost.Encoder;
  const TGeometry G = FrameGeometry(InFrame, *Ist.Decoder);
  TPicture Formatted = InPicture;
  int Width = G.Width, Height = G.Height;
  if (Ost.VideoCrop) {
    if (CropPicture(Formatted, InPicture, G.Format, Ost.TopBand, Ost.LeftBand) < 0) {
      DoLog(0, "error cropping picture");
      return false;
    }
    Width -= Ost.LeftBand + Ost.RightBand;
    Height -= Ost.TopBand + Ost.BottomBand;
    // A picture that shrank mid-stream may be smaller than the crop.
    if (Width <= 0 || Height <= 0) {
      DoLog(0, FormatText("picture %dx%d is smaller than the crop", G.Width, G.Height));
      return false;
    }
  }
  const bool Resample = Ost.VideoResample || G.Format != Enc.pix_fmt ||
                        Width != Enc.width - (Ost.PadLeft + Ost.PadRight) ||
                        Height != Enc.height - (Ost.PadTop + Ost.PadBottom);
  if (Resample) {
    if (!Ost.PictTmp && !AllocPictureBuffer(Ost.PictTmp, Enc.pix_fmt, Enc.width, Enc.height))
      throw FFMpegException("Cannot allocate temp picture, check pix fmt");
    UseVideoScaler(Ost, G.Format, Width, Height);
  }
  Final = Formatted;
  const TPicture *PadSource = &Formatted;
  TPicture ScaleTarget = Ost.PictTmp.Picture;
  if (Ost.VideoPad) {
    Final = Ost.PictTmp.Picture;
    if (Resample &&
        CropPicture(ScaleTarget, Ost.PictTmp.Picture, Enc.pix_fmt, Ost.PadTop, Ost.PadLeft) < 0) {
      DoLog(0, "error padding picture");
      return false;
    }
  }
  if (Resample) {
    PadSource = nullptr;
    Final = Ost.PictTmp.Picture;
    Scale(Ost.ImgResampleCtx.get(), Formatted, Ost.ResampleHeight, ScaleTarget);
  }
  if (Ost.VideoPad && PadPicture(Final, PadSource, Enc.height, Enc.width, Enc.pix_fmt, Ost.PadTop,
                                 Ost.PadBottom, Ost.PadLeft, Ost.PadRight, FPadColor) < 0) {
    DoLog(0, "error padding picture");
    return false;
  }
  return true;
}

void TCustomFFmpeg::SendVideoFrame(TOutputStream &Ost, int &FrameSize, const AVFrame &InFrame,
                                   const TPicture &Final, const TInputStream &Ist) {
  const AVCodecContext &Enc = *Ost.Encoder;
  AVFrame &Frame = *Ost.VideoFrame;
  for (int P = 0; P < 4; ++P) {
    Frame.data[P] = Final.data[P];
    Frame.linesize[P] = Final.linesize[P];
  }
  Frame.format = Enc.pix_fmt;
  Frame.width = Enc.width;
  Frame.height = Enc.height;
  Frame.pts = Ost.SyncOpts;
  Frame.interlaced_frame = InFrame.interlaced_frame;
  Frame.top_field_first = 0;
  if (FCodecOptions[0] && (FCodecOptions[0]->flags & InterlacedFlags))
    Frame.top_field_first = FTopFieldFirst == -1 ? InFrame.top_field_first : FTopFieldFirst;
  Frame.quality = static_cast<int>(std::nearbyint(FSameQuality ? Ist.Quality : Ost.Quality));
  Frame.pict_type = AV_PICTURE_TYPE_NONE;
  const int Written = Ost.Encoding->Send(&Frame, "Video encoding failed");
  if (Written > 0) FrameSize = Written;  // a frame the encoder holds back leaves it alone
}

void TCustomFFmpeg::DoVideoOut(TOutputStream &Ost, int &FrameSize, const AVFrame &InFrame,
                               const TPicture &InPicture, TInputStream &Ist) {
  FrameSize = 0;
  int64_t NbFrames = VideoSyncFrameCount(Ost, Ist);
  if (VideoSyncOn(Ost)) Ost.HeldUntil = (Ost.SyncIst ? *Ost.SyncIst : Ist).NextPts;
  NbFrames = std::min<int64_t>(NbFrames, static_cast<int64_t>(FMaxFrames[0]) - Ost.FrameNumber);
  NbFrames = std::min(NbFrames, VideoFrameLimit(Ost) - Ost.SyncOpts);
  if (NbFrames <= 0) return;
  TPicture Final{};
  if (!FormatVideoPicture(Ost, InFrame, InPicture, Ist, Final)) return;
  if (!Ost.VideoFrame) Ost.VideoFrame.reset(av::av_frame_alloc());
  if (!Ost.VideoFrame) throw FFMpegException("av_malloc fail");
  for (int64_t I = 0; I < NbFrames; ++I) {
    WaitWhilePaused();
    if (FStopRequested) break;
    SendVideoFrame(Ost, FrameSize, InFrame, Final, Ist);
    ++Ost.SyncOpts;
    ++Ost.FrameNumber;
  }
  if (VideoSyncOn(Ost)) HoldPicture(Ost, InFrame, Final);
}

// Runs for every picture: the stream's own scaled picture and the decoder's (by reference) are
// held as they are; only a picture in a buffer the hooks re-use is copied.
void TCustomFFmpeg::HoldPicture(TOutputStream &Ost, const AVFrame &InFrame, const TPicture &Final) {
  const AVCodecContext &Enc = *Ost.Encoder;
  Ost.HasHeldPicture = false;
  if (Ost.PictTmp && Final.data[0] == Ost.PictTmp.Picture.data[0]) {
    Ost.HeldPicture = Final;
  } else if (InFrame.buf[0] && Final.data[0] == InFrame.data[0]) {
    if (!Ost.HeldFrame) Ost.HeldFrame.reset(av::av_frame_alloc());
    if (!Ost.HeldFrame) return;
    av::av_frame_unref(Ost.HeldFrame.get());
    if (av::av_frame_ref(Ost.HeldFrame.get(), &InFrame) < 0) return;
    Ost.HeldPicture = Final;
  } else {
    if (!Ost.HeldCopy && !AllocPictureBuffer(Ost.HeldCopy, Enc.pix_fmt, Enc.width, Enc.height))
      return;
    CopyPicture(Ost.HeldCopy.Picture, Final, Enc.pix_fmt, Enc.width, Enc.height);
    Ost.HeldPicture = Ost.HeldCopy.Picture;
  }
  Ost.HeldInterlaced = InFrame.interlaced_frame;
  Ost.HeldTopFieldFirst = InFrame.top_field_first;
  Ost.HasHeldPicture = true;
}

void TCustomFFmpeg::ShowHeldPicture(TOutputStream &Ost) {
  // Variable-rate sync (2) never duplicates.
  if (!Ost.HasHeldPicture || Ost.HeldUntil == NoTimestamp || FStopRequested || !VideoSyncOn(Ost) ||
      FVideoSyncMethod == 2)
    return;
  const double TimeBase = av_q2d(Ost.Encoder->time_base);
  const double End = static_cast<double>(Ost.HeldUntil - FStartTime) / 1e6 / TimeBase;
  int64_t NbFrames = RoundHalfEven(End - static_cast<double>(Ost.SyncOpts));
  NbFrames = std::min<int64_t>(NbFrames, static_cast<int64_t>(FMaxFrames[0]) - Ost.FrameNumber);
  NbFrames = std::min(NbFrames, VideoFrameLimit(Ost) - Ost.SyncOpts);
  if (NbFrames <= 0) return;
  AVFrame Props{};
  Props.interlaced_frame = Ost.HeldInterlaced;
  Props.top_field_first = Ost.HeldTopFieldFirst;
  const TInputStream &Source = *FInputStreams[Ost.SourceIndex];
  int FrameSize = 0;
  for (int64_t I = 0; I < NbFrames && !FStopRequested; ++I) {
    SendVideoFrame(Ost, FrameSize, Props, Ost.HeldPicture, Source);
    ++Ost.SyncOpts;
    ++Ost.FrameNumber;
    ++FFramesDup;
  }
}
