// The set-up of the video side of a session: each encoded video stream's path and the
// session's picture hooks. Runs on the task's thread.

#include <memory>
#include <new>
#include <utility>

#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/picture_hooks.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/FFMPEG/video_path.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

namespace {

constexpr int InterlacedFlags = AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;

TVideoSettings VideoSettingsOf(const TFFmpegOptionState &Options, const TCustomFFmpeg &Task) {
  TVideoSettings S;
  S.TopBand = Options.FFrameTopBand;
  S.BottomBand = Options.FFrameBottomBand;
  S.LeftBand = Options.FFrameLeftBand;
  S.RightBand = Options.FFrameRightBand;
  S.PadTop = Options.FFramePadTop;
  S.PadBottom = Options.FFramePadBottom;
  S.PadLeft = Options.FFramePadLeft;
  S.PadRight = Options.FFramePadRight;
  S.PadColor = Options.FPadColor;
  S.SyncMethod = Options.FVideoSyncMethod;
  S.StartTime = Options.FStartTime;
  S.RecordingTime = Options.FRecordingTime;
  S.MaxFrames = Options.FMaxFrames[0];
  const AVCodecContext *Holder = Task.FCodecOptions[0].get();
  S.InterlacedCoding = Holder && (Holder->flags & InterlacedFlags);
  S.TopFieldFirst = Options.FTopFieldFirst;
  S.SameQuality = Options.FSameQuality != 0;
  S.Verbose = Options.FVerbose;
  S.ScaleOptions = Task.FScaleOptions.get();
  return S;
}

}  // namespace

void TTranscodeSession::SetUpVideoOutput(TOutputStream &Ost, const TInputStream &Ist) {
  TVideoSettings Settings = VideoSettingsOf(FOptions, FTask);
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
      Ost, Settings, TVideoTaskState{FSwsFlags, FFramesDup, FFramesDrop}, FPause, StageLog());
  if (const std::string Defect = Ost.Video->SetUp(*Ist.Decoder); !Defect.empty())
    throw FFMpegException(StreamSetUpFailure(Ost, Ist, Defect));
}

void TTranscodeSession::SetUpPictureHooks() {
  FPictureHooks.reset();
  if (!FOptions.FDoDeinterlace && !FUsingVHook && !FTask.FOnCustomHook) return;
  TPictureHookSettings Settings;
  Settings.Deinterlace = FOptions.FDoDeinterlace != 0;
  Settings.Ranges = FTask.FHookSettings.Ranges;
  Settings.RangeCount = FTask.FHookSettings.RangeCount;
  Settings.RangeIndex = FTask.FHookSettings.RangeIndex;
  Settings.RGBFormat = FTask.FHookSettings.RGBFormat;
  Settings.BitmapBits = FTask.FHookSettings.BitmapFormat;
  TPictureHooks::TBeforeHook BeforeHook;
  if (FTask.FOnBeforeHook)
    BeforeHook = [&Task = FTask](THookAction &Action, int64_t Pts) {
      Task.FOnBeforeHook(&Task, Action, Pts);
    };
  TPictureHooks::TCustomHook CustomHook;
  if (FTask.FOnCustomHook)
    CustomHook = [&Task = FTask](TBitmap *Bitmap, int FrameNumber, int64_t Pts, bool &Update,
                                 bool &Stop) {
      Task.FOnCustomHook(&Task, Bitmap, FrameNumber, Pts, Update, Stop);
    };
  FPictureHooks =
      std::make_unique<TPictureHooks>(Settings, FTask.FHooks, FUsingVHook, std::move(BeforeHook),
                                      std::move(CustomHook), StageLog());
}
