// The picture hooks of a session: a working copy of each decoded picture, deinterlaced, handed
// to the hook modules or, in the bitmap's format, to the custom hook. Runs on the task's thread.

#include "engine/FFMPEG/picture_hooks.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "engine/FFMPEG/frame_hook.h"
#include "engine/FFMPEG/grow_buffer.h"
#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/tbitmap.h"
#include "engine/binding/av_api.h"

namespace {

constexpr int HookScaleFlags = SWS_BICUBIC;

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

TPictureHooks::TPictureHooks(const TPictureHookSettings &Settings, TFrameHooks &Modules,
                             bool &UsingModules, TBeforeHook BeforeHook, TCustomHook CustomHook,
                             TLog Log)
    : FSettings(Settings),
      FModules(Modules),
      FUsingModules(UsingModules),
      FBeforeHook(std::move(BeforeHook)),
      FCustomHook(std::move(CustomHook)),
      FLog(std::move(Log)),
      FRangeIndex(Settings.RangeIndex) {}

TPictureHooks::~TPictureHooks() = default;

void TPictureHooks::Process(TPicture &Picture, const TGeometry &G, int64_t Pts) {
  ++FFrameNumber;
  if (!FCustomHook && FUsingModules) DecideAction(Pts);
  const bool ModulesRun = FUsingModules && FAction == THookAction::haContinue;
  if (!FSettings.Deinterlace && !FCustomHook && !ModulesRun) return;
  TPicture Working = Picture;
  if (!MakeWorkingPicture(Picture, Working, G)) return;
  if (FCustomHook)
    RunCustomHook(Working, G, Pts);
  else if (ModulesRun)
    ProcessFrameHooks(FModules.First(), &Working, G.Format, G.Width, G.Height, Pts);
  Picture = Working;
}

void TPictureHooks::StopHooks() {
  FAction = THookAction::haStop;
  FUsingModules = false;
}

// The before-hook decides each picture; without it, the ranges do, and past the last one the
// modules stop for good.
void TPictureHooks::DecideAction(int64_t Pts) {
  if (FBeforeHook) {
    try {
      FBeforeHook(FAction, Pts);
    } catch (...) {
      Log(0, "Error occurs OnBeforeHook: " + ExceptionMessage(std::current_exception()));
      FAction = THookAction::haStop;
    }
    if (FAction == THookAction::haStop) FUsingModules = false;
    return;
  }
  if (FSettings.RangeCount <= 0) return;
  FAction = THookAction::haIgnore;
  const std::vector<THookRange> &Ranges = FSettings.Ranges;
  const int Count = std::min(FSettings.RangeCount, static_cast<int>(Ranges.size()));
  for (int I = FRangeIndex; I < Count; ++I) {
    if (Ranges[I].Start <= Pts && Pts <= Ranges[I].Stop) {
      FRangeIndex = I;
      FAction = THookAction::haContinue;
      return;
    }
    if (I == Count - 1 && Ranges[I].Stop < Pts) StopHooks();
  }
}

bool TPictureHooks::MakeWorkingPicture(const TPicture &Picture, TPicture &Working,
                                       const TGeometry &G) {
  const int Size = PictureBufferSize(G.Format, G.Width, G.Height);
  if (Size <= 0 || !GrowBuffer(FHookBuffer, FHookBufferSize, Size) ||
      FillPicture(Working, FHookBuffer.get(), G.Format, G.Width, G.Height) < 0) {
    Log(0, "hook buf malloc error.");
    return false;
  }
  if (FSettings.Deinterlace &&
      DeinterlacePicture(Working, Picture, G.Format, G.Width, G.Height) >= 0)
    return true;
  if (FSettings.Deinterlace) Log(0, "deinterlace error.");
  // A copy even when deinterlacing failed: hooks must not draw on the decoder's own frames.
  CopyPicture(Working, Picture, G.Format, G.Width, G.Height);
  return true;
}

void TPictureHooks::RunCustomHook(TPicture &Working, const TGeometry &G, int64_t Pts) {
  if (!FBitmap || FBitmap->Width() != G.Width || FBitmap->Height() != G.Height)
    FBitmap = std::make_unique<TBitmap>(G.Width, G.Height, FSettings.BitmapBits);
  TPicture Rgb{};
  bool Stop = !ToRGB(Working, Rgb, G);
  if (!Stop && CallCustomHook(Rgb, G.Height, Pts, Stop) && !FromRGB(Rgb, Working, G)) Stop = true;
  if (Stop) {
    FCustomHook = nullptr;
    StopHooks();
  }
}

bool TPictureHooks::CallCustomHook(TPicture &Rgb, int Height, int64_t Pts, bool &Stop) {
  // The bitmap's lock is held only while the engine copies in and out: the handler may take it
  // itself, or hand the bitmap to a thread that does.
  {
    TBitmapLock Lock(*FBitmap);
    CopyRowsToBitmap(Rgb, *FBitmap, Height);
  }
  bool Update = true;
  try {
    FCustomHook(FBitmap.get(), FFrameNumber, Pts, Update, Stop);
  } catch (...) {
    Log(0, "Error occurs OnCustomHook: " + ExceptionMessage(std::current_exception()));
    Update = false;
  }
  if (Update) {
    TBitmapLock Lock(*FBitmap);
    CopyRowsFromBitmap(*FBitmap, Rgb, Height);
  }
  return Update;
}

bool TPictureHooks::ToRGB(const TPicture &Working, TPicture &Rgb, const TGeometry &G) {
  const AVPixelFormat RGBFormat = FSettings.RGBFormat;
  if (G.Format == RGBFormat) {
    Rgb = Working;
    return true;
  }
  const int Size = PictureBufferSize(RGBFormat, G.Width, G.Height);
  if (Size <= 0 || !GrowBuffer(FRGBBuffer, FRGBBufferSize, Size) ||
      FillPicture(Rgb, FRGBBuffer.get(), RGBFormat, G.Width, G.Height) < 0 ||
      !CachedScaler(FToRGBContext, G.Width, G.Height, G.Format, G.Width, G.Height, RGBFormat,
                    HookScaleFlags)) {
    Log(0, "Cannot initialize the toRGB conversion context");
    return false;
  }
  ScalePicture(FToRGBContext.get(), Working, G.Height, Rgb);
  return true;
}

// In the bitmap's own format the working copy was the one the bitmap was copied back into.
bool TPictureHooks::FromRGB(const TPicture &Rgb, TPicture &Working, const TGeometry &G) {
  const AVPixelFormat RGBFormat = FSettings.RGBFormat;
  if (G.Format == RGBFormat) return true;
  if (!CachedScaler(FFromRGBContext, G.Width, G.Height, RGBFormat, G.Width, G.Height, G.Format,
                    HookScaleFlags)) {
    Log(0, "Cannot initialize the fromRGB conversion context");
    return false;
  }
  ScalePicture(FFromRGBContext.get(), Rgb, G.Height, Working);
  return true;
}
