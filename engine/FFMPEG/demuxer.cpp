// Demuxing of the task's inputs. Runs on the task's thread.

#include "engine/FFMPEG/demuxer.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <utility>

#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

// How long the packet lasts in microseconds, from the packet, else the stream.
int64_t PacketDurationUs(const AVStream *Stream, const AVPacket &Pkt) {
  const AVCodecParameters *Par = Stream->codecpar;
  if (Pkt.duration > 0) return av::av_rescale_q(Pkt.duration, Stream->time_base, AV_TIME_BASE_Q);
  if (Par->codec_type == AVMEDIA_TYPE_AUDIO && Par->frame_size > 0 && Par->sample_rate > 0)
    return av::av_rescale(Par->frame_size, 1000000, Par->sample_rate);
  if (Par->codec_type == AVMEDIA_TYPE_VIDEO) return FrameDurationUs(Stream);
  return 0;
}

}  // namespace

struct TDemuxer::TStreamState {
  // Where the next packet should start, microseconds. Decoders hold pictures back, so the
  // clock of decoded data lags the packets and cannot tell a jump in the packets' clock.
  int64_t NextDts = NoTimestamp;
  // A jump seen on one packet only: a damaged packet's timestamp does not move the clock.
  bool JumpPending = false;
  int64_t PendingJump = 0;  // microseconds
};

struct TDemuxer::TFileState {
  TInputFileContext *Input = nullptr;
  int64_t Offset = 0;          // microseconds
  std::vector<double> Scales;  // per stream; 0: none
  bool AtEnd = false;
  bool NativeRate = false;  // read no faster than it plays
  int64_t RateStart = 0;    // wall clock when the reading began, microseconds
  std::vector<TStreamState> Streams;
};

TDemuxer::TDemuxer(const std::vector<std::unique_ptr<TInputFileContext>> &Inputs,
                   TDemuxSettings Settings, TLog Log)
    : FSettings(std::move(Settings)), FLog(std::move(Log)) {
  const int64_t Now = av::av_gettime();
  FFiles.resize(Inputs.size());
  for (size_t F = 0; F < Inputs.size(); ++F) {
    TFileState &File = FFiles[F];
    File.Input = Inputs[F].get();
    File.Offset = F < FSettings.Offsets.size() ? FSettings.Offsets[F] : 0;
    if (F < FSettings.Scales.size()) File.Scales = FSettings.Scales[F];
    File.NativeRate = File.Input->RateEmu != 0;
    File.RateStart = Now;
    File.Streams.resize(File.Input->Streams.size());
  }
}

TDemuxer::~TDemuxer() = default;

bool TDemuxer::AtEnd(int File) const {
  return FFiles.at(File).AtEnd;
}

int64_t TDemuxer::Offset(int File) const {
  return FFiles.at(File).Offset;
}

bool TDemuxer::Read(int File, AVPacket &Pkt) {
  TFileState &State = FFiles.at(File);
  TInputFileContext &Input = *State.Input;
  while (!State.AtEnd) {
    if (av::av_read_frame(Input.Context.get(), &Pkt) < 0) {
      State.AtEnd = true;
      break;
    }
    if (FSettings.DumpPackets)
      av::av_pkt_dump_log2(nullptr, AV_LOG_INFO, &Pkt, FSettings.HexDump,
                           Input.Context->streams[Pkt.stream_index]);
    const int Index = Pkt.stream_index;
    if (Index < Input.NbStreams() && !Input.Streams[Index]->Discard) {
      AdjustTimestamps(State, *Input.Streams[Index], Pkt);
      return true;
    }
    av::av_packet_unref(&Pkt);
  }
  return false;
}

void TDemuxer::AdjustTimestamps(TFileState &File, const TInputStream &Ist, AVPacket &Pkt) {
  const AVRational TimeBase = Ist.St->time_base;
  const int64_t Offset = av::av_rescale_q(File.Offset, AV_TIME_BASE_Q, TimeBase);
  if (Pkt.dts != AV_NOPTS_VALUE) Pkt.dts += Offset;
  if (Pkt.pts != AV_NOPTS_VALUE) Pkt.pts += Offset;
  const double Scale =
      static_cast<size_t>(Ist.Index) < File.Scales.size() ? File.Scales[Ist.Index] : 0;
  if (Scale != 0) {
    if (Pkt.pts != AV_NOPTS_VALUE) Pkt.pts = std::llround(Pkt.pts * Scale);
    if (Pkt.dts != AV_NOPTS_VALUE) Pkt.dts = std::llround(Pkt.dts * Scale);
  }
  TStreamState &Stream = File.Streams[Ist.Index];
  if (Pkt.dts != AV_NOPTS_VALUE && Stream.NextDts != NoTimestamp) {
    const int64_t PacketDts = av::av_rescale_q(Pkt.dts, TimeBase, AV_TIME_BASE_Q);
    const int64_t Delta = PacketDts - Stream.NextDts;
    if ((std::llabs(Delta) > FSettings.DtsDeltaThreshold * 1e6 || PacketDts + 1 < Ist.Pts) &&
        !FSettings.CopyTs)
      FollowJump(File, Ist, Delta, Pkt);
    else
      Stream.JumpPending = false;
  }
  if (Pkt.dts != AV_NOPTS_VALUE)
    Stream.NextDts = av::av_rescale_q(Pkt.dts, TimeBase, AV_TIME_BASE_Q);
  if (Stream.NextDts != NoTimestamp) Stream.NextDts += PacketDurationUs(Ist.St, Pkt);
}

void TDemuxer::FollowJump(TFileState &File, const TInputStream &Ist, int64_t Delta, AVPacket &Pkt) {
  TStreamState &Stream = File.Streams[Ist.Index];
  const AVRational TimeBase = Ist.St->time_base;
  const int64_t Tolerance =
      Pkt.duration > 0 ? av::av_rescale_q(Pkt.duration, TimeBase, AV_TIME_BASE_Q) / 2 : 20000;
  if (Stream.JumpPending && std::llabs(Delta - Stream.PendingJump) <= Tolerance) {
    Stream.JumpPending = false;
    File.Offset -= Delta;
    if (FSettings.Verbose >= 3 && FLog)
      FLog(1, FormatText("timestamp discontinuity %lld, new offset= %lld",
                         static_cast<long long>(Delta), static_cast<long long>(File.Offset)));
  } else {
    Stream.JumpPending = true;
    Stream.PendingJump = Delta;
  }
  const int64_t Shift = av::av_rescale_q(Delta, AV_TIME_BASE_Q, TimeBase);
  Pkt.dts -= Shift;
  if (Pkt.pts != AV_NOPTS_VALUE) Pkt.pts -= Shift;
}

void TDemuxer::EmulateRate(const TInputStream &Ist) const {
  if (Ist.FileIndex < 0 || static_cast<size_t>(Ist.FileIndex) >= FFiles.size()) return;
  const TFileState &File = FFiles[Ist.FileIndex];
  if (!File.NativeRate) return;
  const int64_t Elapsed = av::av_gettime() - File.RateStart;
  if (Ist.Pts - Elapsed > 50000)
    std::this_thread::sleep_for(std::chrono::microseconds(Ist.Pts - Elapsed));
}
