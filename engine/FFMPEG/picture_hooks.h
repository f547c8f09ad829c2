// The picture hooks of a session: deinterlacing, the hook modules and the custom hook, run once
// per decoded picture before the video paths. Built at the session's set-up when any of them
// is in use, run on the task's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFMPEG/session_records.h"
#include "engine/FFMPEG/task_types.h"
#include "engine/binding/av_owners.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

class TBitmap;
class TFrameHooks;
struct TGeometry;

// What the hooks read of the task's options; copied, so a run leaves the task's own alone.
struct TPictureHookSettings {
  bool Deinterlace = false;
  std::vector<THookRange> Ranges;  // sorted ascending by Stop
  int RangeCount = 0;              // how many of Ranges count; none: the modules always run
  int RangeIndex = 0;              // the first range looked at
  AVPixelFormat RGBFormat = AV_PIX_FMT_BGR24;
  int BitmapBits = 24;
};

class TPictureHooks {
 public:
  using TLog = std::function<void(int Level, const std::string &Message)>;
  // The task's notifications, bound to it so that they name it as their sender.
  using TBeforeHook = std::function<void(THookAction &Action, int64_t Pts)>;
  using TCustomHook =
      std::function<void(TBitmap *Bitmap, int FrameNumber, int64_t Pts, bool &Update, bool &Stop)>;
  // Modules: the task's hook list. UsingModules is the task's switch for it, turned off here
  // once the hooks are stopped for good. Either notification may be empty; a custom hook takes
  // the place of the modules.
  TPictureHooks(const TPictureHookSettings &Settings, TFrameHooks &Modules, bool &UsingModules,
                TBeforeHook BeforeHook, TCustomHook CustomHook, TLog Log);
  ~TPictureHooks();
  TPictureHooks(const TPictureHooks &) = delete;
  TPictureHooks &operator=(const TPictureHooks &) = delete;

  // One decoded picture at Pts (microseconds): when anything is to be done, Picture is replaced
  // by a deinterlaced or hooked copy held here until the next call; the decoder's own picture
  // is never written.
  void Process(TPicture &Picture, const TGeometry &Geometry, int64_t Pts);

  THookAction Action() const { return FAction; }
  bool CustomHookRunning() const { return static_cast<bool>(FCustomHook); }

 private:
  void DecideAction(int64_t Pts);
  // The working copy in FHookBuffer, deinterlaced when asked; false when it cannot be had.
  bool MakeWorkingPicture(const TPicture &Picture, TPicture &Working, const TGeometry &G);
  void RunCustomHook(TPicture &Working, const TGeometry &G, int64_t Pts);
  // The picture in and out of the bitmap around the notification; whether it was updated.
  bool CallCustomHook(TPicture &Rgb, int Height, int64_t Pts, bool &Stop);
  // The conversions between the working copy and the bitmap's format; false (logged) when
  // they cannot be made.
  bool ToRGB(const TPicture &Working, TPicture &Rgb, const TGeometry &G);
  bool FromRGB(const TPicture &Rgb, TPicture &Working, const TGeometry &G);
  void StopHooks();
  void Log(int Level, const std::string &Message) const {
    if (FLog) FLog(Level, Message);
  }

  const TPictureHookSettings FSettings;
  TFrameHooks &FModules;
  bool &FUsingModules;
  const TBeforeHook FBeforeHook;
  TCustomHook FCustomHook;  // dropped when it asks to stop or its picture cannot be had
  const TLog FLog;
  int FFrameNumber = 0;
  THookAction FAction = THookAction::haContinue;
  int FRangeIndex = 0;
  TAVOwned<uint8_t> FHookBuffer;  // the working copy
  unsigned FHookBufferSize = 0;
  TAVOwned<uint8_t> FRGBBuffer;  // the working copy in the bitmap's format
  unsigned FRGBBufferSize = 0;
  TScalerPtr FToRGBContext;
  TScalerPtr FFromRGBContext;
  std::unique_ptr<TBitmap> FBitmap;
};
