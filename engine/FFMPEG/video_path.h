// The video path of one encoded video output stream: frame-rate synchronisation (drop,
// duplicate, re-stamp), crop, scale and pad into the encoder's picture, the frame handed to
// the encoder and the last picture, held to be shown again at the end of the input. Set up
// and run on the task's thread. A picture stored on its side is turned upright first.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/FFMPEG/picture_turn.h"
#include "engine/FFMPEG/session_records.h"
#include "engine/binding/av_owners.h"

class TPauseGate;
struct AVCodecContext;
struct AVFrame;
struct SwsContext;

// What the video path reads of the task's options.
struct TVideoSettings {
  int TopBand = 0, BottomBand = 0, LeftBand = 0, RightBand = 0;
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
  std::array<int, 3> PadColor{16, 128, 128};  // Y, U, V
  // Before the crop the picture is turned as it is shown; crop and sizes are the upright's.
  TTurn Turn;
  // -1: synchronise when the encoder's time base is coarser than 1 ms; 0: re-stamp only;
  // 1: drop and duplicate; 2: drop and re-stamp, never duplicate.
  int SyncMethod = -1;
  int64_t StartTime = 0;              // microseconds
  int64_t RecordingTime = INT64_MAX;  // microseconds
  int MaxFrames = INT_MAX;
  // Where the input ends on the session's clock, microseconds; INT64_MAX: unknown. Repeating
  // pictures past it (beyond a margin) is a damaged rate or timestamp, not a picture to fill.
  int64_t InputEnd = INT64_MAX;
  std::string Source;             // "input stream #0.0 of 'NAME'", for the reason
  bool InterlacedCoding = false;  // the encoder codes fields, so the field order is passed on
  int TopFieldFirst = -1;         // -1: as the decoded picture says
  bool SameQuality = false;       // the source picture's quality, not the stream's
  int Verbose = 1;
  // The scaler option holder; its flags are read into the task's when a stream resamples.
  const SwsContext *ScaleOptions = nullptr;
};

// What the video path changes of the task: its scaler flags (shared by every video stream)
// and its duplicate and drop counts.
struct TVideoTaskState {
  int &SwsFlags;
  int &FramesDup;
  int &FramesDrop;
};

class TVideoPath {
 public:
  using TLog = std::function<void(int Level, const std::string &Message)>;
  TVideoPath(TOutputStream &Ost, const TVideoSettings &Settings, TVideoTaskState Task,
             TPauseGate &Pause, TLog Log);
  TVideoPath(const TVideoPath &) = delete;
  TVideoPath &operator=(const TVideoPath &) = delete;

  // Before the encoder opens: crop, pad, scaler and frame for pictures decoded by Dec. The
  // defect that makes the encoder's picture unusable, or empty; raises on other failures.
  std::string SetUp(const AVCodecContext &Dec);
  // Writes the picture 0..n times as synchronisation decides; the bytes of the last frame the
  // encoder gave back, 0 if none.
  int Send(const AVFrame &InFrame, const TPicture &InPicture, const TInputStream &Ist);
  // At the end of the input the last picture lasts until its own end time; Source is the
  // stream's source.
  void ShowHeldPicture(const TInputStream &Source);

  bool Resampling() const { return FResample; }

 private:
  bool SyncOn() const;
  // How many times the picture is written: 0 drops it, more than 1 duplicates it.
  int SyncFrameCount(const TInputStream &Ist);
  // Frames (SyncOpts) the output may reach before the recording time.
  int64_t FrameLimit() const;
  // Frames that may still be written, at most Wanted.
  int64_t Allowed(int64_t Wanted) const;
  // Raises when repeating a picture Count times would carry the output past the input's end.
  void CheckRepeat(int64_t Count) const;
  // The decoded picture's format and size once turned upright.
  TGeometry Upright(const TGeometry &Stored) const;
  // Picture and G := the picture turned upright; left as stored (logged once) when its format
  // cannot be turned.
  void TurnUpright(TPicture &Picture, TGeometry &G);
  // Crops, scales and pads the picture into what the encoder takes; false (logged) when the
  // picture is skipped.
  bool FitPicture(const AVFrame &InFrame, const TPicture &InPicture, const AVCodecContext &Dec,
                  TPicture &Final);
  // The scaler from the cropped decoded picture to the encoder's picture inside its pads,
  // re-created when the source differs from the one it was made for.
  void UseScaler(int Format, int Width, int Height);  // Format: an AVPixelFormat
  void SendFrame(int &FrameSize, const AVFrame &InFrame, const TPicture &Final,
                 const TInputStream &Ist);
  void Hold(const AVFrame &InFrame, const TPicture &Final);
  void MakeFrame();
  void Log(int Level, const std::string &Message) const {
    if (FLog) FLog(Level, Message);
  }

  TOutputStream &FOst;
  const TVideoSettings FSettings;
  const TVideoTaskState FTask;
  TPauseGate &FPause;
  const TLog FLog;
  bool FResample = false, FCrop = false, FPad = false;
  TPictureTurn FTurner;
  bool FTurnRefused = false;  // a format that cannot be turned was met and logged
  int FTopBand = 0, FLeftBand = 0, FBottomBand = 0, FRightBand = 0;
  int FPadTop = 0, FPadBottom = 0, FPadLeft = 0, FPadRight = 0;
  TPictureBuffer FPictTmp;  // the scaled or padded picture
  TScalerPtr FScaler;
  int FScalerHeight = 0;
  int FScalerSourceFormat = -1;  // none
  int FScalerSourceWidth = 0, FScalerSourceHeight = 0;
  TFramePtr FFrame;  // the frame handed to the encoder
  // The last picture written, shown again at the end until its own end time.
  TPictureBuffer FHeldCopy;
  TFramePtr FHeldFrame;  // a reference to the decoder's picture when that is the one held
  TPicture FHeldPicture{};
  bool FHasHeldPicture = false;
  int FHeldInterlaced = 0, FHeldTopFieldFirst = 0;
  int64_t FHeldUntil = NoTimestamp;  // microseconds of the sync stream's clock
};
