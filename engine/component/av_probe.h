// The media probe: opens one file, reads its stream layout and container facts, and answers
// questions about it without converting anything. Holds at most one open file. One thread
// at a time uses a probe; several probes may work on several threads at once. Its log lines go
// through the media libraries' log.
#pragma once

#include <cstdint>
#include <string>

#include "engine/FFMPEG/av_libs.h"
#include "engine/binding/av_owners.h"

struct TFormatInfo {
  int64_t StartTime;       // microseconds
  int64_t Duration;        // microseconds; AV_NOPTS_VALUE when the container does not know it
  bool DurationEstimated;  // worked out from the bit rate and the file's size: a guess
  int BitRate;
  int64_t Timestamp;  // creation time, seconds since the epoch
  char Title[512];
  char Author[512];
  char Copyright[512];
  char Comment[512];
  char Album[512];
  int Year;
  int Track;
  char Genre[32];
};

struct TVideoStreamInfo {
  char Language[4];
  char CodecName[32];
  int64_t StartTime;        // stream time base
  int64_t StartTimeScaled;  // StartTime taken as microseconds and rescaled to the time base
  int64_t Duration;
  int64_t DurationScaled;
  int BitRate;
  int Height;  // as stored
  int Width;
  float DisplayAspect;
  // Degrees the picture is turned clockwise to be shown, by its display matrix: 0, 90, 180 or
  // 270 (with 90 and 270 the shown picture is Height wide).
  int Rotation;
  int PixelFormat;
  int FrameRateNum;
  int FrameRateDen;
};

class TAVProbe {
 public:
  TAVProbe();
  ~TAVProbe();
  TAVProbe(const TAVProbe &) = delete;
  TAVProbe &operator=(const TAVProbe &) = delete;

  // Opens FileName, detecting its format unless AFormatName names one. Only a regular file or
  // block device, by its name as given (never a protocol). False with LastError set when the
  // file is refused or cannot be opened or read; raises FFMpegException when a media library
  // is not loaded.
  bool LoadFile(const std::string &FileName, const std::string &AFormatName);
  void Close();

  void GetFormatInfo(TFormatInfo &Info) const;
  // The first video stream.
  void GetVideoStreamInfo(TVideoStreamInfo &Info) const;
  // The stream at StreamIndex; -1 means the first video stream.
  void GetVideoStreamInfo(int StreamIndex, TVideoStreamInfo &Info) const;

  const std::string &LastError() const { return FLastError; }
  const std::string &FormatName() const { return FFormatName; }
  int StreamCount() const { return FStreamCount; }
  int ProgramCount() const { return FProgramCount; }
  int AudioStreamCount() const { return FAudioStreamCount; }
  int VideoStreamCount() const { return FVideoStreamCount; }
  int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  int FirstAudioStream() const { return FFirstAudioStream; }
  int FirstVideoStream() const { return FFirstVideoStream; }
  int FirstSubtitleStream() const { return FFirstSubtitleStream; }
  // The open file's streams as the libraries read them; null when none is open.
  const AVFormatContext *Context() const { return FFormatContext.get(); }

 private:
  void CountStreams();

  TAVLibsHold FLibsHold;  // first: released after the probe's library objects
  TInputContextPtr FFormatContext;
  std::string FLastError;
  std::string FFormatName;
  int FStreamCount = -1;
  int FProgramCount = -1;
  int FAudioStreamCount = -1;
  int FVideoStreamCount = -1;
  int FSubtitleStreamCount = -1;
  int FFirstAudioStream = -1;
  int FFirstVideoStream = -1;
  int FFirstSubtitleStream = -1;
};
