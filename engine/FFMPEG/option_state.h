// The option state of a task: every value the option handlers and the input and output
// set-up write, and the transcoding session reads. Plain values only: the resources a task
// holds (files, codecs, buffers) live in the session records and the task itself, so that
// InitDefaults can reset this state by assignment.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFMPEG/audio_volume.h"
#include "engine/FFMPEG/task_types.h"

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/avutil.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
}

struct AVInputFormat;
struct AVOutputFormat;

constexpr int DefaultSwsFlags = 4;  // bicubic

// "map": the input stream to use and the input stream whose clock drives synchronisation.
struct TStreamMap {
  int FileIndex;
  int StreamIndex;
  int SyncFileIndex;
  int SyncStreamIndex;
};

// The timing of the last video input stream opened.
struct TSourceTiming {
  AVRational TimeBase{0, 1};  // of its timestamps
  AVRational Average{0, 0};   // its average rate; 0/0: unknown
  // Its pictures do not follow one fixed rate (or nothing says they do).
  bool Variable = false;
};

// "map_meta_data": copy the metadata of input InFile to output OutFile.
struct TMetaDataMap {
  int OutFile;
  int InFile;
};

// Fixed capacities of the option state.
constexpr int MaxFiles = 20;    // inputs, and outputs
constexpr int MaxStreams = 20;  // streams per input with a timestamp scale
constexpr int MaxStreamMaps = 20;
constexpr int MaxMetaDataMaps = 20;
constexpr int MediaTypeCount = 5;  // video, audio, data, subtitle, attachment
constexpr float NoAudioQScale = -99999;

// The option state of a task: written by the option handlers and by input and output set-up,
// read by the transcoding session. Every default is the member's initialiser; InitDefaults
// assigns a fresh value, so the defaults are written in this one place.
struct TFFmpegOptionState {
  // ===== Option state: files and maps =====

  std::array<int64_t, MaxFiles> FInputFilesTsOffset{};
  std::array<std::array<double, MaxStreams>, MaxFiles> FInputFilesTsScale{};  // 0 = none
  std::vector<TStreamMap> FStreamMaps;      // at most MaxStreamMaps
  std::vector<TMetaDataMap> FMetaDataMaps;  // at most MaxMetaDataMaps

  // ===== Option state: format, picture and video =====

  const AVInputFormat *FInputFormat = nullptr;
  const AVOutputFormat *FOutputFormat = nullptr;
  int FFrameWidth = 0;
  int FFrameHeight = 0;
  float FFrameAspectRatio = 0;
  AVPixelFormat FFramePixFmt = AV_PIX_FMT_NONE;
  AVSampleFormat FAudioSampleFmt = AV_SAMPLE_FMT_NONE;
  int FFramePadTop = 0;
  int FFramePadBottom = 0;
  int FFramePadLeft = 0;
  int FFramePadRight = 0;
  std::array<int, 3> FPadColor{16, 128, 128};  // Y, U, V
  int FFrameTopBand = 0;
  int FFrameBottomBand = 0;
  int FFrameLeftBand = 0;
  int FFrameRightBand = 0;
  // Indexed by media type: video, audio, data, subtitle.
  std::array<int, 4> FMaxFrames{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  AVRational FFrameRate{0, 0};
  TSourceTiming FSourceTiming;  // cleared by a rate asked for
  float FVideoQScale = 0;
  std::vector<uint16_t> FIntraMatrix;  // 64 coefficients, or none
  std::vector<uint16_t> FInterMatrix;
  std::string FVideoRcOverride;
  int FVideoDisable = 0;
  int FVideoDiscard = 0;
  std::string FVideoCodecName;
  uint32_t FVideoCodecTag = 0;
  int FVideoStreamCopy = 0;
  int FSameQuality = 0;
  int FDoDeinterlace = 0;
  int FTopFieldFirst = -1;
  int FMeThreshold = 0;
  int FIntraDcPrecision = 8;
  int FIntraOnly = 0;
  int FQpHist = 0;
  int FVideoSyncMethod = -1;
  int FVideoGlobalHeader = 0;
  int FVideoChannel = 0;
  std::string FVideoStandard;
  bool FUsingVHook = false;

  // ===== Option state: audio and subtitles =====

  int FAudioSampleRate = 44100;
  float FAudioQScale = NoAudioQScale;
  int FAudioDisable = 0;
  int FAudioChannels = 2;
  std::string FAudioCodecName;
  uint32_t FAudioCodecTag = 0;
  int FAudioStreamCopy = 0;
  std::string FAudioLanguage;
  int FAudioVolume = AudioVolumeUnchanged;
  int FAudioSyncMethod = 0;
  float FAudioDriftThreshold = 0.1f;
  int FSubtitleDisable = 0;
  std::string FSubtitleCodecName;
  int FSubtitleStreamCopy = 0;
  std::string FSubtitleLanguage;

  // ===== Option state: muxing, timing, metadata and run control =====

  float FMuxPreload = 0.5f;  // seconds
  float FMuxMaxDelay = 0.7f;
  int64_t FRecordingTime = INT64_MAX;  // microseconds
  int FOutputDurationMs = -1;          // expected output duration for progress reports
  int64_t FStartTime = 0;
  int64_t FRecTimestamp = 0;  // seconds since 1970-01-01 UTC
  int64_t FInputTsOffset = 0;
  std::string FTitle;
  std::string FAuthor;
  std::string FCopyright;
  std::string FComment;
  std::string FGenre;
  std::string FAlbum;
  int FYear = 0;
  int FTrack = 0;
  int64_t FLimitFileSize = 0;        // bytes, 0 = no limit
  bool FKeepExistingOutput = false;  // never replace a file; take the next free name instead
  // A stopped task leaves no partial file.
  bool FRemoveStoppedOutput = false;
  bool FCopyTs = false;
  // The first input's global tags (under the explicit ones), its cover picture and its
  // modification time go to the outputs.
  bool FKeepSourceTags = false;
  // The automatic stream choice takes a stream marked default before the first of its kind.
  bool FPreferDefaultStreams = false;
  // With the input's own rate, a variable-rate input keeps its timestamps where the output
  // container and the encoder take them, else it gets its average rate.
  bool FKeepSourceTiming = false;
  int FShortest = 0;
  int FInputSync = 0;
  int FRateEmu = 0;
  // The next input's video is turned the way its display matrix shows it.
  bool FAutoRotate = false;
  int FLoopInput = 0;
  int FLoopOutput = -1;
  int FProgramId = 0;
  int FDoPass = 0;
  std::string FPassLogFileName;
  float FDtsDeltaThreshold = 10.0f;
  int FDoHexDump = 0;
  int FDoPktDump = 0;
  int FDoPsnr = 0;
  std::string FVStatsFileName;
  int FVerbose = 1;      // engine scale -1..3, translated when the library level is set
  int FThreadCount = 0;  // 0 = the libraries' automatic choice
  int FPgmyuvCompatibilityHack = 0;
  int FSwsFlags = DefaultSwsFlags;
};
