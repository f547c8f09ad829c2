// The set-up of the video side of a session: each encoded video stream's path and the
// session's picture hooks. Runs on the task's thread.

#include <memory>
#include <new>
#include <utility>

#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/picture_hooks.h"
#include "engine/FFMPEG/video_path.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

namespace {

constexpr int InterlacedFlags = AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;

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
  TVideoSettings Settings = VideoSettingsOf(*this);
  if (Ost.VariableRate && Settings.SyncMethod != 0) Settings.SyncMethod = 2;
  const TInputFileContext &Input = *FInputFiles[Ist.FileIndex];
  if (const int64_t End = StatedEndUs(*Input.Context, false); End != NoTimestamp)
    Settings.InputEnd = End + FOptions.FInputFilesTsOffset[Ist.FileIndex];
  Settings.Source =
      FormatText("input stream #%d.%d of '%s'", Ist.FileIndex, Ist.Index, Input.FileName.c_str());
  const int32_t *Matrix = av_compat::DisplayMatrix(*Ist.St);
  int Degrees = 0;
  if (Input.AutoRotate) Settings.Turn = TurnOfMatrix(Matrix, &Degrees);
  if (Settings.Turn.Turns()) {
    DoLog(1,
          FormatText("Output #%d.%d: the pictures of %s are %s to be shown upright", Ost.FileIndex,
                     Ost.Index, Settings.Source.c_str(), TurnText(Settings.Turn, Degrees).c_str()));
  } else if (Matrix && !av_compat::SetDisplayMatrix(*Ost.St, Matrix)) {
    // Pictures not turned here are shown as the source's: the matrix goes with them.
    throw std::bad_alloc();
  }
  Ost.Video = std::make_unique<TVideoPath>(
      Ost, Settings, TVideoTaskState{FOptions.FSwsFlags, FFramesDup, FFramesDrop}, FPause,
      [this](int Level, const std::string &Message) { DoLog(Level, Message); });
  if (const std::string Defect = Ost.Video->SetUp(*Ist.Decoder); !Defect.empty())
    throw FFMpegException(StreamSetUpFailure(Ost, Ist, Defect));
}

void TCustomFFmpeg::SetUpPictureHooks() {
  FPictureHooks.reset();
  if (!FOptions.FDoDeinterlace && !FOptions.FUsingVHook && !FOnCustomHook) return;
  TPictureHookSettings Settings;
  Settings.Deinterlace = FOptions.FDoDeinterlace != 0;
  Settings.Ranges = FHookRanges;
  Settings.RangeCount = FHookRangeCount;
  Settings.RangeIndex = FHookRangeIndex;
  Settings.RGBFormat = FHookRGBFormat;
  Settings.BitmapBits = FHookBitmapFormat;
  TPictureHooks::TBeforeHook BeforeHook;
  if (FOnBeforeHook)
    BeforeHook = [this](THookAction &Action, int64_t Pts) { FOnBeforeHook(this, Action, Pts); };
  TPictureHooks::TCustomHook CustomHook;
  if (FOnCustomHook)
    CustomHook = [this](TBitmap *Bitmap, int FrameNumber, int64_t Pts, bool &Update, bool &Stop) {
      FOnCustomHook(this, Bitmap, FrameNumber, Pts, Update, Stop);
    };
  FPictureHooks = std::make_unique<TPictureHooks>(
      Settings, FHooks, FOptions.FUsingVHook, std::move(BeforeHook), std::move(CustomHook),
      [this](int Level, const std::string &Message) { DoLog(Level, Message); });
}
