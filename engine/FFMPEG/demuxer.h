// Demuxing: packets read from the task's opened inputs on the session's clock. Each file's
// offset and scale are applied, a lasting jump in a stream's clock moves that file's offset,
// and a stream read at its native rate is held back to the wall clock. Built by the session's
// set-up, run on the task's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFMPEG/session_records.h"

struct AVFormatContext;
struct AVPacket;

// Where the streams of an input that are read say it ends, microseconds of their own time;
// NoTimestamp when the container states no length or only one estimated from the bit rate.
// Without TrustSlowPictures a video stream holding each picture over half a second counts only
// when no other stream states a length: a damaged rate makes a few pictures last hours.
int64_t StatedEndUs(const AVFormatContext &Context, bool TrustSlowPictures);
// "0:00:08", "0:00:00.2"; RoundDown keeps a time short of a whole from reading as it.
std::string PlayTimeText(int64_t Us, bool RoundDown);

// What demuxing reads of the task's options, taken when the session is set up: the options
// themselves are never written back.
struct TDemuxSettings {
  std::vector<int64_t> Offsets;             // per input file, microseconds
  std::vector<std::vector<double>> Scales;  // per input file and stream; 0: none
  double DtsDeltaThreshold = 10;            // seconds: a larger step is a jump in the clock
  bool CopyTs = false;                      // timestamps kept as they are read, jumps included
  int Verbose = 1;
  bool DumpPackets = false;  // each packet read goes to the libraries' log
  bool HexDump = false;      // with its data
};

class TDemuxer {
 public:
  using TLog = std::function<void(int Level, const std::string &Message)>;
  // Inputs are the task's opened files, which outlive the demuxer; their streams' Discard
  // flags are already decided. A stream read at the native rate starts its clock now.
  TDemuxer(const std::vector<std::unique_ptr<TInputFileContext>> &Inputs, TDemuxSettings Settings,
           TLog Log);
  TDemuxer(const TDemuxer &) = delete;
  TDemuxer &operator=(const TDemuxer &) = delete;
  ~TDemuxer();

  // The next packet of File that belongs to a stream in use (Pkt.stream_index names it), its
  // timestamps on the session's clock; the caller unreferences it. Packets of other streams
  // are dropped here. False at the end of File: from then on AtEnd(File). Only the end of the
  // data is an end: a read error raises "Could not read 'NAME': REASON".
  bool Read(int File, AVPacket &Pkt);
  bool AtEnd(int File) const;
  // For a file read to its end: why what the reading reached falls short of the input that
  // was there when the session started ("only 0:00:00.2 of 0:00:08 could be read: ..."), or
  // empty when it is whole. The rule is in README.md.
  std::string Shortfall(int File) const;
  // What File's timestamps are shifted by now, microseconds: its offset when the session
  // started plus the jumps taken into it since.
  int64_t Offset(int File) const;
  // Sleeps while a stream read at the native rate is more than 50 ms ahead of the wall clock.
  void EmulateRate(const TInputStream &Ist) const;

 private:
  struct TStreamState;
  struct TFileState;
  // The file's end, or the read error that stopped it (raised).
  void EndOf(TFileState &File, int Result) const;
  // Moves the file's reach to the end of Pkt, in its stream's own time.
  static void Reach(TFileState &File, const AVPacket &Pkt);
  void AdjustTimestamps(TFileState &File, const TInputStream &Ist, AVPacket &Pkt);
  // A packet off its stream's clock: back onto it, and the file's offset moved once the
  // next packet keeps to the new clock.
  void FollowJump(TFileState &File, const TInputStream &Ist, int64_t Delta, AVPacket &Pkt);

  std::vector<TFileState> FFiles;
  const TDemuxSettings FSettings;
  const TLog FLog;
};
