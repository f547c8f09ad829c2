// The audio path of one encoded audio output stream: the encoder fitted to what it takes,
// 16-bit samples of the source brought onto the stream's clock (cut, padded or stretched),
// converted to the encoder's format and layout, gathered in a FIFO and encoded in whole
// frames. Set up and run on the task's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFMPEG/peak_limiter.h"
#include "engine/FFMPEG/session_records.h"
#include "engine/binding/av_owners.h"

// What the audio path reads of the task's options.
struct TAudioSettings {
  // 0: the stream's clock follows the source; 1: samples are cut or silence is added when the
  // source drifts away; more: small drifts are also stretched by up to that many samples.
  int SyncMethod = 0;
  float DriftThreshold = 0.1f;        // seconds
  int64_t StartTime = 0;              // microseconds
  int64_t RecordingTime = INT64_MAX;  // microseconds
  int Verbose = 1;
};

// Samples in one buffer, a pointer for each plane (one for an interleaved format).
struct TSampleBuffer {
  TAVOwned<uint8_t> Data;
  std::vector<uint8_t *> Planes;
  int Samples = 0;  // the capacity of each plane
  int Format = -1;  // an AVSampleFormat
};

class TAudioPath {
 public:
  using TLog = std::function<void(int Level, const std::string &Message)>;
  TAudioPath(TOutputStream &Ost, const TAudioSettings &Settings, TLog Log);
  TAudioPath(const TAudioPath &) = delete;
  TAudioPath &operator=(const TAudioPath &) = delete;

  // Before the encoder opens: fits its rate and channel layout to what it takes (logged) and
  // decides whether the stream is resampled from InRate. The defect that makes the encoder's
  // settings unusable, or empty.
  std::string SetUp(int InRate);
  // Size bytes of interleaved 16-bit samples of the source stream Ist at Data.
  void Send(uint8_t *Data, int Size, TInputStream &Ist);
  // At the end of the input: what the resampler holds and the FIFO's rest as one last (short
  // or silence-padded) frame.
  void Flush();
  // Output samples given to the stream that the encoder has not had yet.
  int Queued() const;

  bool Resampling() const { return FAudioResample; }
  bool HasFifo() const { return static_cast<bool>(FFifo); }

 private:
  void MakeFifo();
  void PrepareConversion(int InChannels, int InRate, uint64_t InMask);
  void WriteFifo(uint8_t *const *Planes, int Samples);
  bool ResampleIntoFifo(const uint8_t *In, int InSamples);
  // A mix's Samples float samples in FConverted kept within full scale, into the FIFO in the
  // encoder's format.
  void LimitIntoFifo(int Samples);
  // Cuts or pads Data/Size, or asks the resampler to stretch; false when nothing is left.
  bool Synchronise(TInputStream &Ist, uint8_t *&Data, int &Size, int InChannels, int InRate);
  // Cuts Size so that the output does not pass the recording time; false when nothing is left.
  bool LimitToRecordingTime(int &Size, int InChannels, int InRate) const;
  // Whole frames of the FIFO to the encoder; with Flush also the short rest.
  void EncodeFifo(bool Flush);
  // Samples of the FIFO, padded with silence to FrameSamples, as one frame to the encoder.
  void EncodeFrame(int Samples, int FrameSamples);
  void Log(int Level, const std::string &Message) const {
    if (FLog) FLog(Level, Message);
  }

  TOutputStream &FOst;
  const TAudioSettings FSettings;
  const TLog FLog;
  bool FAudioResample = false;  // rate or channels differ, or the resampler compensates drift
  // 16-bit input to the encoder's format, layout and rate; none when they already match.
  TResamplerPtr FResample;
  bool FResampleReady = false;  // FResample was chosen for the input below
  int FResampleInRate = 0, FResampleInChannels = 0;
  uint64_t FResampleInLayout = 0;
  TAudioFifoPtr FFifo;  // samples in the encoder's format, waiting for a whole frame
  int FFifoFormat = -1, FFifoChannels = 0;
  TFramePtr FFrame;            // the frame handed to the encoder
  TAVOwned<uint8_t> FSilence;  // the silence-padded chunk
  unsigned FSilenceSize = 0;
  // A mix to fewer channels comes out of FResample as planar float and goes through FLimiter,
  // then FMixToEncoder converts it to the encoder's format (none when that is planar float).
  std::unique_ptr<TPeakLimiter> FLimiter;
  TResamplerPtr FMixToEncoder;
  TSampleBuffer FConverted;             // resampler output
  TSampleBuffer FMixed;                 // the limited mix in the encoder's format
  int64_t FNextFramePts = NoTimestamp;  // the least pts the next frame may have, in samples
};
