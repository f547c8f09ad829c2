// Per-picture pre-processing before the video paths (deinterlace, hooks) and the set-up of
// each encoded video stream's path. Runs on the task's thread.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>

#include "engine/FFMPEG/decoder.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/tbitmap.h"
#include "engine/FFMPEG/video_path.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

constexpr int HookScaleFlags = SWS_BICUBIC;
constexpr int InterlacedFlags = AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;

TGeometry DecodedGeometry(const TInputStream &Ist) {
  static const AVFrame NoFrame{};
  const AVFrame *Frame = Ist.Decoding ? Ist.Decoding->Frame() : nullptr;
  return FrameGeometry(Frame ? *Frame : NoFrame, *Ist.Decoder);
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

}  // namespace

// ===== Set-up =====

namespace {

TVideoSettings VideoSettingsOf(const TCustomFFmpeg &Task) {
  TVideoSettings S;
  S.TopBand = Task.FFrameTopBand;
  S.BottomBand = Task.FFrameBottomBand;
  S.LeftBand = Task.FFrameLeftBand;
  S.RightBand = Task.FFrameRightBand;
  S.PadTop = Task.FFramePadTop;
  S.PadBottom = Task.FFramePadBottom;
  S.PadLeft = Task.FFramePadLeft;
  S.PadRight = Task.FFramePadRight;
  S.PadColor = Task.FPadColor;
  S.SyncMethod = Task.FVideoSyncMethod;
  S.StartTime = Task.FStartTime;
  S.RecordingTime = Task.FRecordingTime;
  S.MaxFrames = Task.FMaxFrames[0];
  const AVCodecContext *Holder = Task.FCodecOptions[0].get();
  S.InterlacedCoding = Holder && (Holder->flags & InterlacedFlags);
  S.TopFieldFirst = Task.FTopFieldFirst;
  S.SameQuality = Task.FSameQuality != 0;
  S.Verbose = Task.FVerbose;
  S.ScaleOptions = Task.FScaleOptions.get();
  return S;
}

}  // namespace

void TCustomFFmpeg::SetUpVideoOutput(TOutputStream &Ost, const TInputStream &Ist) {
  Ost.Video = std::make_unique<TVideoPath>(
      Ost, VideoSettingsOf(*this), TVideoTaskState{FSwsFlags, FFramesDup, FFramesDrop}, FPause,
      [this](int Level, const std::string &Message) { DoLog(Level, Message); });
  if (const std::string Defect = Ost.Video->SetUp(*Ist.Decoder); !Defect.empty())
    throw FFMpegException(StreamSetUpFailure(Ost, Ist, Defect));
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
  ScalePicture(FToRGBContext.get(), Working, Height, Rgb);
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
          ScalePicture(FFromRGBContext.get(), Rgb, Height, Working);
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
