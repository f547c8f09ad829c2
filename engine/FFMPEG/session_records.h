// The records of a task's inputs and outputs. Input opening and output creation build them;
// the transcoding session maps them to each other and keeps its per-stream state in them, so
// each resource (decoder, encoder, scaler, resampler, FIFO, statistics file) has exactly one
// owner: the stream record that uses it. Only forward declarations of the libraries' types.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFMPEG/frame_hook.h"
#include "engine/binding/av_owners.h"

class TAudioPath;
class TDecoder;
class TEncoder;
class TSampleConverter;
class TVideoPath;
struct AVStream;

// The libraries' "no timestamp" value.
constexpr int64_t NoTimestamp = INT64_MIN;

// One frame's duration in microseconds from the stream's frame rate; 0 when it has none.
int64_t FrameDurationUs(const AVStream *Stream);

struct TFileClose {
  void operator()(std::FILE *File) const { std::fclose(File); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileClose>;

// Four plane pointers and four line sizes: the picture the video path and the hooks exchange.
using TPicture = TFrameHookPicture;

// A picture with its own buffer (from the libraries' allocator).
struct TPictureBuffer {
  TAVOwned<uint8_t> Data;
  TPicture Picture{};
  explicit operator bool() const { return static_cast<bool>(Data); }
};

// One stream of an opened input, in the order of the file's streams.
struct TInputStream {
  TInputStream();
  ~TInputStream();
  TInputStream(const TInputStream &) = delete;
  TInputStream &operator=(const TInputStream &) = delete;

  int FileIndex = 0;
  int Index = 0;
  AVStream *St = nullptr;
  TCodecContextPtr Decoder;  // built at opening, opened by the session when decoding is needed
  std::unique_ptr<TDecoder> Decoding;  // a decoded stream's, from the opening of its decoder on

  // Session state; what only the reading needs is the demuxer's (demuxer.h).
  int Discard = 1;  // no output stream uses it
  int DecodingNeeded = 0;
  int64_t NextPts = NoTimestamp;  // microseconds
  int64_t Pts = 0;
  int IsStart = 1;    // the audio paths have not yet put its first samples on their clock
  float Quality = 0;  // of the last decoded picture

  // What the stream delivered, judged when the session ends.
  int64_t DecodedPackets = 0;  // packets given to the decoder
  int64_t DecodeErrors = 0;    // of those, refused by the decoder or giving unusable frames
  int64_t DecodedFrames = 0;   // pictures, sample chunks and subtitles that passed the checks
  int64_t CopiedPackets = 0;   // packets written unchanged to an output

  // A decoded audio stream's conversion to 16-bit samples, from its first frame on.
  std::unique_ptr<TSampleConverter> ToS16;
};

// One opened input.
struct TInputFileContext {
  TInputContextPtr Context;
  std::string FileName;  // as the caller named it; the context's URL may differ
  std::vector<std::unique_ptr<TInputStream>> Streams;  // indexed like Context->streams
  int RateEmu = 0;                                     // "re" when the input was opened
  bool AutoRotate = false;                             // "autorotate" when the input was opened
  // Session time (µs) of the start asked for when the input was opened; what decodes before
  // it only leads up to it.
  int64_t StartPts = NoTimestamp;
  // Session state; whether the file is read to its end is the demuxer's.
  int IstIndex = 0;  // index of the first stream in the session's input-stream table
  int NbStreams() const { return static_cast<int>(Streams.size()); }
};

// One stream of a created output, in the order of the file's streams. The encoder context
// (null for a stream copy) carries the encoder settings until the session opens it; it frees
// its own intra_matrix, inter_matrix and rc_override, so it must be given its own copies.
struct TOutputStream {
  TOutputStream();
  ~TOutputStream();
  TOutputStream(const TOutputStream &) = delete;
  TOutputStream &operator=(const TOutputStream &) = delete;

  int FileIndex = 0;
  int Index = 0;
  AVStream *St = nullptr;
  TCodecContextPtr Encoder;
  bool EncoderOpened = false;
  bool StreamCopy = false;
  float Quality = 0;           // the stream's quality (qscale in lambda units)
  TDictionary EncoderOptions;  // codec-private options for avcodec_open2

  // Mapping and synchronisation.
  int SourceIndex = -1;  // into the session's input-stream table
  int EncodingNeeded = 0;
  int FrameNumber = 0;
  TInputStream *SyncIst = nullptr;
  int64_t SyncOpts = 0;  // encoder time-base units (video) or samples (audio)
  // The pictures keep the source's timestamps: one landing on the last one's is dropped, none
  // is repeated.
  bool VariableRate = false;
  int64_t EndPts = 0;  // position after the last written packet, stream time base
  bool HasEndPts = false;

  // Facts of the last encoded packet, for the reports.
  int CodedQuality = 0;  // lambda units
  int CodedPictType = 0;
  uint64_t CodedError[3] = {0, 0, 0};
  TPacketPtr Packet;                          // the copied packet
  std::vector<std::string> BitstreamFilters;  // no option names any yet
  std::unique_ptr<TEncoder> Encoding;         // an encoded stream's, from the set-up on
  std::unique_ptr<TVideoPath> Video;          // an encoded video stream's, from the set-up on
  std::unique_ptr<TAudioPath> Audio;          // an encoded audio stream's, from the set-up on
};
