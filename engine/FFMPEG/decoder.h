// Decoding of one input stream: its decoder opened once, packets in, checked frames out in the
// stream's time, data before the asked start read only to reach it. Opened on the configuring
// thread's set-up, run on the task's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "engine/FFMPEG/session_records.h"
#include "engine/binding/av_owners.h"

struct AVFrame;
struct AVPacket;
struct AVSubtitle;

// What decoding reads of the task's options and of its input file.
struct TDecodeSettings {
  int64_t StartTime = 0;            // the task's start, microseconds; 0: none
  int64_t FileStart = NoTimestamp;  // the start asked for when the input was opened
  int Verbose = 1;
};

// Data of Ist before the asked start only leads up to it: it is no output and does not count
// as decoded.
bool BeforeStart(const TInputStream &Ist, const TDecodeSettings &Settings);

class TDecoder {
 public:
  using TLog = std::function<void(int Level, const std::string &Message)>;
  // One checked frame, in its stream's time; false when the outputs could not take it.
  using TFrameSink = std::function<bool(AVFrame &Frame)>;
  using TSubtitleSink = std::function<void(AVSubtitle &Subtitle)>;
  TDecoder(TInputStream &Ist, const TDecodeSettings &Settings, TLog Log);
  TDecoder(const TDecoder &) = delete;
  TDecoder &operator=(const TDecoder &) = delete;

  // Opens the stream's decoder context under Lock (once); the failure as text, or empty.
  std::string Open(std::mutex &Lock);
  bool Opened() const { return FOpened; }
  // Frees the decoder context, the caller holding the codec lock.
  void Close();
  // A packet, or null at the end of the input, whole through the decoder; every frame that
  // comes out and passes the checks goes to Sink. 0, or -1 when the packet failed (a frame
  // Sink refused or the checks dropped counts it as failed).
  int Decode(const AVPacket *Pkt, const TFrameSink &Sink);
  int DecodeSubtitle(const AVPacket &Pkt, const TSubtitleSink &Sink);
  // The frame being delivered, or null between deliveries.
  const AVFrame *Frame() const;

 private:
  int Failed(const AVPacket *Pkt);
  // The decoded frame's time becomes the stream's clock.
  void TakeFrameTime(const AVFrame &Frame);
  // Gives the frame to Sink; the reason it was dropped, or empty.
  std::string Deliver(AVFrame &Frame, const TFrameSink &Sink, bool &Skipped);
  void Log(int Level, const std::string &Message) const {
    if (FLog) FLog(Level, Message);
  }

  TInputStream &FIst;
  const TDecodeSettings FSettings;
  const TLog FLog;
  bool FOpened = false;
  bool FDelivering = false;
  TFramePtr FFrame;  // the frame the decoder fills
};
