// Encoding: the encoder of one encoded output stream from its opening to its drain. Frames
// (null: drain) and subtitles go in, every packet that comes out goes to the stream's output
// file; the two-pass statistics are kept here. Set up and run on the task's thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FFMPEG/session_records.h"
#include "engine/binding/av_owners.h"

class TOutputFileContext;
struct AVCodec;
struct AVFrame;
struct AVSubtitle;

class TEncoder {
 public:
  // Ost's codec context is the encoder; the bytes of its packets are added to CodedBytes.
  TEncoder(TOutputStream &Ost, TOutputFileContext &File, int64_t &CodedBytes);
  TEncoder(const TEncoder &) = delete;
  TEncoder &operator=(const TEncoder &) = delete;

  // Pass 1 writes the encoder's statistics to LogName, pass 2 gives them back to it; nothing
  // without a pass flag. Raises when the file cannot be had.
  void SetUpTwoPass(const std::string &LogName);
  // Opens Ost's context as Codec under Lock (the libraries' codec opening is not thread-safe).
  void Open(const AVCodec *Codec, std::mutex &Lock);
  // Sends Frame (null: drain) and writes every packet that comes out. Returns the bytes
  // written. Raises FailText on an encoder error.
  int Send(const AVFrame *Frame, const char *FailText);
  // One subtitle of source stream Ist at Pts (Ist's time base); false when it has no pts.
  bool SendSubtitle(int64_t Pts, AVSubtitle &Sub, const TInputStream &Ist);
  // Closes the pass-1 statistics file, so that a later pass can read it.
  void CloseStatistics() { FLogFile.reset(); }

 private:
  void TakeQualityStats(const AVPacket &Pkt);

  TOutputStream &FOst;
  TOutputFileContext &FFile;
  int64_t &FCodedBytes;
  TPacketPtr FPacket;
  std::vector<uint8_t> FSubtitleBuffer;
  TFilePtr FLogFile;        // two-pass statistics, pass 1
  TAVOwned<char> FStatsIn;  // two-pass statistics, pass 2 (the encoder reads, never frees)
};
