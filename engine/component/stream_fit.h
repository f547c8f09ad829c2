// Whether an input stream already is what a job's entry asks for, so that its packets can go
// into the output as they are instead of being decoded and encoded again. Only cases known to
// be safe are copied; whatever is uncertain is re-encoded. No Qt and no media library header
// here, so the application can use it; the calls need the media libraries loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/component/option_records.h"

class TAVProbe;

enum class TStreamKind { Video, Audio };

// What the probe read of one input stream; 0 or empty where it could not tell.
struct TStreamFacts {
  int Index = -1;  // in its file
  TStreamKind Kind = TStreamKind::Audio;
  std::string Codec;    // the libraries' codec name: "h264", "mp3"
  std::string Profile;  // "LC", "High"
  int64_t BitRate = 0;  // bit/s
  // The decoder's set-up is stored once for the stream, as MP4 keeps it (AVC configuration for
  // H.264, AudioSpecificConfig for AAC); without it a muxer would need a bitstream filter.
  bool SetupInHeader = false;
  // MPEG-4 written by DivX, whose B-frames may come packed with the frame before.
  bool MayPackFrames = false;
  int Width = 0;
  int Height = 0;
  int SampleAspectNum = 0;  // 0: square pixels
  int SampleAspectDen = 0;
  std::string PixelFormat;
  int RateNum = 0;  // the base frame rate
  int RateDen = 0;
  int AverageRateNum = 0;  // differs from the base rate when the rate varies
  int AverageRateDen = 0;
  int SampleRate = 0;
  int Channels = 0;
};

struct TStreamFit {
  int Index = -1;
  TStreamKind Kind = TStreamKind::Audio;
  bool Copy = false;
  // Copied: what the stream already is ("already mp3 48000 Hz 2 channels 192 kb/s"); else the
  // first setting it lacks ("frame size 640x480, the entry asks 320x240").
  std::string Reason;
};

// The video and the audio stream a job takes of the file Probe has open: the first of each
// kind, or with PreferDefault the ones marked default (a cover picture last).
std::vector<TStreamFacts> ProbedStreamFacts(const TAVProbe &Probe, bool PreferDefault = false);

// One fit per stream of Streams that the output gets. A stream is copied only when every
// setting of Options is met already and the container of OutputFile (by its extension, or
// Options.ForceFormat) takes the codec as it is.
std::vector<TStreamFit> FitStreams(const std::vector<TStreamFacts> &Streams,
                                   const TOutputOptions &Options, const std::string &OutputFile);

// A copied stream's codec becomes "copy" and its encoder settings are dropped.
void ApplyStreamFits(const std::vector<TStreamFit> &Fits, TOutputOptions &Options);

// Probes InputFile, fits its streams and applies the fits to Options; no fits (and Options
// unchanged) when the file cannot be probed.
std::vector<TStreamFit> CopyFittingStreams(const std::string &InputFile,
                                           const std::string &OutputFile, TOutputOptions &Options);

// The log line: "stream #0:1 copied: already ...", "stream #0:0 re-encoded: ...".
std::string StreamFitText(const TStreamFit &Fit);
