// The option records the application hands to the engine component with one input file
// (TInputOptions) and one output file (TOutputOptions). The defaults mean "not set": the
// component applies a field only when it differs from them. Shared by the profiles, the
// component and the application, so it needs nothing but the standard library and the
// volume's constants.
#pragma once

#include <cstdint>
#include <string>

#include "engine/FFMPEG/audio_volume.h"

struct TInputOptions {
  std::string FileName;
  std::string ForceFormat;  // input format by name instead of probing
  int32_t TimeStart = -1;   // ms
  int32_t ProgramID = -1;
  std::string ExtOptions;  // one "name=value" per line
  // Only a regular file or block device, opened as a file whatever its name looks like; off,
  // the name goes to the libraries as it is (protocols included).
  bool PlainFileOnly = false;
  // Threads of each decoder and encoder of the task; 0 leaves the libraries' own choice.
  int32_t CodecThreads = 0;
  // Pictures are turned upright as the display matrix shows them, before crop and scaling.
  bool AutoRotate = false;
};

struct TOutputOptions {
  std::string FileName;
  std::string ForceFormat;  // container by name
  int32_t PacketSize = -1;
  int32_t MuxRate = -1;
  float MuxDelay = -1.0f;    // s
  float MuxPreload = -1.0f;  // s
  std::string AudioCodec;    // encoder name
  bool DisableAudio = false;
  int32_t AudioVolume = AudioVolumeNotSet;  // in 256ths, special values in audio_volume.h
  int32_t AudioChannels = -1;
  int32_t AudioChannelLimit = -1;  // an input with more channels is mixed down to this many
  int32_t AudioSampleRate = -1;    // Hz
  int32_t AudioBitrate = -1;       // bit/s
  int32_t AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int32_t AudioSync = 0;
  std::string AudioTag;    // exactly four characters when set
  std::string VideoCodec;  // encoder name
  bool DisableVideo = false;
  std::string FrameRate;    // frames per second as decimal text
  std::string FrameSize;    // "WIDTHxHEIGHT"
  std::string AspectRatio;  // "4:3", "16:9" or a decimal
  int32_t CropTop = -1;
  int32_t CropBottom = -1;
  int32_t CropLeft = -1;
  int32_t CropRight = -1;
  int32_t PadTop = -1;
  int32_t PadBottom = -1;
  int32_t PadLeft = -1;
  int32_t PadRight = -1;
  int32_t PadColor = 0;  // TColor: 0x00BBGGRR, black by default
  int32_t GOPSize = -1;
  int32_t VideoBitrate = -1;  // bit/s
  int32_t VideoMaxRate = -1;
  int32_t VideoMinRate = -1;
  int32_t VideoBitrateTolerance = -1;
  int32_t VideoBufferSize = -1;
  int32_t VideoSync = -1;
  std::string VideoTag;       // exactly four characters when set
  std::string PixelFormat;    // by name, "yuv420p"; empty: the input's where the encoder takes it
  int32_t VideoProfile = -1;  // the encoder's profile number (H.264: 66 Baseline, 77 Main)
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool CopyTimestamps = false;
  int32_t RecordingTime = -1;  // ms
  // Days since 1899-12-30, the fraction being the time of day; 0 means now, below 0 none.
  double Timestamp = -1.0;
  int32_t Year = -1;
  int32_t Track = -1;
  // Tag texts end at their first zero character.
  char Title[512] = {};
  char Author[512] = {};
  char Copyright[512] = {};
  char Comment[512] = {};
  char Album[512] = {};
  char Genre[32] = {};
  int32_t TargetType = 0;   // 1 "vcd", 2 "svcd", 3 "dvd", other values none
  int32_t TargetNorm = 0;   // 0 "auto", 1 "pal", 2 "ntsc"
  int32_t DefaultNorm = 1;  // 1 "pal", other values "ntsc"
  bool CustomHook = false;
  bool BeforeHook = false;
  std::string HookRanges;  // "start-end, ..." in ms
  std::string ExtOptions;  // one "name=value" per line
  // The input's global tags, its cover picture and its modification time go to the output.
  bool KeepSourceTags = false;
  // The automatic choice of each kind's stream takes the one marked default before the first.
  bool PreferDefaultStreams = false;
  // With no FrameRate, a variable-rate input keeps its timestamps where the container and the
  // encoder take them, else it gets its average rate.
  bool KeepSourceTiming = false;
  // An existing file is never replaced: the complete output takes the first free name of
  // FileName, "name-1.ext", "name-2.ext", ... Off: it replaces the file once complete.
  bool KeepExisting = false;
  // A stopped conversion leaves nothing; off: its playable part, under a name of its own.
  bool RemoveWhenStopped = false;
};

// Every field back to its default: strings emptied, the tag arrays zero-filled.
inline void InitInputOptions(TInputOptions &Options) {
  Options = TInputOptions();
}

inline void InitOutputOptions(TOutputOptions &Options) {
  Options = TOutputOptions();
}
