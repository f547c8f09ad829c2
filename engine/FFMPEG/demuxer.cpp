// Demuxing of the task's inputs. Runs on the task's thread.

#include "engine/FFMPEG/demuxer.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/open_error.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

// Short of the stated length by more than this is damage, not the rounding of the last
// packet's duration or an audio track's priming: the larger of half a second and 2 %.
constexpr int64_t ShortfallToleranceUs = 500000;
constexpr int ShortfallTolerancePercent = 2;
// A video stream whose stated rate holds each picture longer than this (under 2 a second) has a
// length that only the other streams can confirm.
constexpr int64_t SlowPictureUs = 500000;

// How long the packet lasts in microseconds, from the packet, else the stream.
int64_t PacketDurationUs(const AVStream *Stream, const AVPacket &Pkt) {
  const AVCodecParameters *Par = Stream->codecpar;
  if (Pkt.duration > 0) return av::av_rescale_q(Pkt.duration, Stream->time_base, AV_TIME_BASE_Q);
  if (Par->codec_type == AVMEDIA_TYPE_AUDIO && Par->frame_size > 0 && Par->sample_rate > 0)
    return av::av_rescale(Par->frame_size, 1000000, Par->sample_rate);
  if (Par->codec_type == AVMEDIA_TYPE_VIDEO) return FrameDurationUs(Stream);
  return 0;
}

// Streams whose timing tells how far the reading got: read in full (a stream read only at its
// key frames ends early) and not a cover picture.
bool Measured(const AVStream &Stream) {
  return Stream.discard <= AVDISCARD_DEFAULT && !(Stream.disposition & AV_DISPOSITION_ATTACHED_PIC);
}

int64_t StartUs(const AVFormatContext &Context) {
  return Context.start_time == AV_NOPTS_VALUE ? 0 : Context.start_time;
}

// The size an ASF file's header gives for the whole file; -1 when it gives none. The ASF
// demuxer drops the stated length of a file far from that size, so only this tells it is cut.
int64_t DeclaredAsfSize(const std::string &FileName) {
  static const unsigned char Header[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static const unsigned char FileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                   0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  std::ifstream File(FileName, std::ios::binary);
  std::vector<unsigned char> Bytes(64 * 1024);
  File.read(reinterpret_cast<char *>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  Bytes.resize(static_cast<size_t>(File.gcount()));
  const auto Word = [&Bytes](size_t At, int Size) {
    uint64_t Value = 0;
    for (int I = Size - 1; I >= 0; --I) Value = Value << 8 | Bytes[At + I];
    return Value;
  };
  if (Bytes.size() < 30 || std::memcmp(Bytes.data(), Header, 16) != 0) return -1;
  size_t At = 30;
  for (uint64_t Object = Word(24, 4); Object > 0 && At + 24 <= Bytes.size(); --Object) {
    const uint64_t Size = Word(At + 16, 8);
    if (std::memcmp(Bytes.data() + At, FileProperties, 16) == 0 && At + 92 <= Bytes.size()) {
      const bool Broadcast = Word(At + 88, 4) & 1;  // sizes are not known while broadcast
      return Broadcast ? -1 : static_cast<int64_t>(Word(At + 40, 8));
    }
    if (Size < 24) break;
    At += Size;
  }
  return -1;
}

std::string Incomplete(const std::string &Reached, const std::string &Whole) {
  return FormatText("only %s of %s could be read: the file is damaged or incomplete",
                    Reached.c_str(), Whole.c_str());
}

}  // namespace

std::string PlayTimeText(int64_t Us, bool RoundDown) {
  if (Us < 0) Us = 0;
  const int64_t Tenths = RoundDown ? Us / 100000 : (Us + 50000) / 100000;
  const int64_t Seconds = Tenths / 10;
  std::string Text =
      FormatText("%lld:%02lld:%02lld", static_cast<long long>(Seconds / 3600),
                 static_cast<long long>(Seconds / 60 % 60), static_cast<long long>(Seconds % 60));
  if (Tenths % 10 != 0) Text += FormatText(".%lld", static_cast<long long>(Tenths % 10));
  return Text;
}

int64_t StatedEndUs(const AVFormatContext &Context, bool TrustSlowPictures) {
  if (Context.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return NoTimestamp;
  int64_t End = NoTimestamp, Trusted = NoTimestamp;
  const bool Avi = Context.iformat && std::string_view(Context.iformat->name) == "avi";
  for (unsigned I = 0; I < Context.nb_streams; ++I) {
    const AVStream &Stream = *Context.streams[I];
    if (!Measured(Stream) || Stream.duration == AV_NOPTS_VALUE || Stream.duration <= 0) continue;
    const int64_t Start = Stream.start_time == AV_NOPTS_VALUE ? 0 : Stream.start_time;
    int64_t StreamEnd = av::av_rescale_q(Start + Stream.duration, Stream.time_base, AV_TIME_BASE_Q);
    const bool Video = Stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    // AVI's picture count in its header outlives a lost index, which is rebuilt from what is
    // there. (Elsewhere the count may include pictures an edit list leaves out.)
    const AVRational Average = Stream.avg_frame_rate;
    if (Video && Avi && Stream.nb_frames > 0 && Average.num > 0 && Average.den > 0)
      StreamEnd = std::max(
          StreamEnd, av::av_rescale_q(Start, Stream.time_base, AV_TIME_BASE_Q) +
                         av::av_rescale(Stream.nb_frames * AV_TIME_BASE, Average.den, Average.num));
    End = std::max(End, StreamEnd);
    const bool Slow = Video && FrameDurationUs(&Stream) > SlowPictureUs;
    if (TrustSlowPictures || !Slow) Trusted = std::max(Trusted, StreamEnd);
  }
  if (Trusted != NoTimestamp) return Trusted;
  if (End != NoTimestamp) return End;
  // A length for the whole file only: some muxers (Matroska's) write the last timestamp there,
  // others the span from the first, so the nearer end is taken.
  if (Context.duration != AV_NOPTS_VALUE && Context.duration > 0)
    return std::min(StartUs(Context) + Context.duration, Context.duration);
  return NoTimestamp;
}

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
  int64_t SizeAtStart = -1;       // bytes; -1: not a file of known size
  int64_t DeclaredSize = -1;      // bytes, as the container's header gives the whole; -1: none
  int64_t Reached = NoTimestamp;  // end of the last packet read, microseconds of its own stream
  bool NativeRate = false;        // read no faster than it plays
  int64_t RateStart = 0;          // wall clock when the reading began, microseconds
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
    if (AVIOContext *Pb = File.Input->Context->pb) File.SizeAtStart = av::avio_size(Pb);
    const AVInputFormat *Format = File.Input->Context->iformat;
    if (Format && std::string_view(Format->name) == "asf")
      File.DeclaredSize = DeclaredAsfSize(File.Input->FileName);
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
    const int Result = av::av_read_frame(Input.Context.get(), &Pkt);
    if (Result == AVERROR(EAGAIN)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (Result < 0) {
      State.AtEnd = true;
      EndOf(State, Result);
      break;
    }
    Reach(State, Pkt);
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

void TDemuxer::EndOf(TFileState &File, int Result) const {
  const AVIOContext *Pb = File.Input->Context->pb;
  int Error = 0;
  // Demuxers report a failed read as the end of the data, or as an error of their own; the
  // I/O context keeps what really happened. What stops before the end of the data is no end.
  if (Pb && Pb->error < 0 && Pb->error != AVERROR_EOF)
    Error = Pb->error;
  else if (Result != AVERROR_EOF && !(Pb && Pb->eof_reached))
    Error = Result;
  if (Error != 0)
    throw FFMpegException(FormatText("Could not read '%s': %s", File.Input->FileName.c_str(),
                                     LibraryErrorText(Error).c_str()));
}

void TDemuxer::Reach(TFileState &File, const AVPacket &Pkt) {
  const AVFormatContext &Context = *File.Input->Context;
  if (Pkt.stream_index < 0 || static_cast<unsigned>(Pkt.stream_index) >= Context.nb_streams) return;
  const AVStream *Stream = Context.streams[Pkt.stream_index];
  const int64_t Timestamp = Pkt.pts != AV_NOPTS_VALUE ? Pkt.pts : Pkt.dts;
  if (!Measured(*Stream) || Timestamp == AV_NOPTS_VALUE) return;
  const int64_t End = av::av_rescale_q(Timestamp, Stream->time_base, AV_TIME_BASE_Q) +
                      PacketDurationUs(Stream, Pkt);
  File.Reached = std::max(File.Reached, End);
}

std::string TDemuxer::Shortfall(int File) const {
  const TFileState &State = FFiles.at(File);
  const AVFormatContext &Context = *State.Input->Context;
  const int64_t Start = StartUs(Context);
  const int64_t Stated = StatedEndUs(Context, true);
  if (Stated != NoTimestamp) {
    const int64_t Length = Stated - Start;
    const int64_t Tolerance =
        std::max(ShortfallToleranceUs, Length / 100 * ShortfallTolerancePercent);
    const int64_t Reached = State.Reached == NoTimestamp ? Start : State.Reached;
    if (Reached < Stated - Tolerance)
      return Incomplete(PlayTimeText(Reached - Start, true), PlayTimeText(Length, false));
  }
  // The data ended before the size the file had when the session began: cut while read. The
  // I/O context's own position is where its last read from the file ended.
  const AVIOContext *Pb = Context.pb;
  if (!Pb || State.SizeAtStart <= 0) return "";
  const int64_t SizeNow = av::avio_size(const_cast<AVIOContext *>(Pb));
  if (State.DeclaredSize > State.SizeAtStart)
    return Incomplete(FormatText("%lld", static_cast<long long>(State.SizeAtStart)),
                      FormatText("%lld bytes", static_cast<long long>(State.DeclaredSize)));
  int64_t Got = State.SizeAtStart;
  if (Pb->eof_reached && Pb->pos >= 0) Got = std::min(Got, Pb->pos);
  if (SizeNow >= 0) Got = std::min(Got, SizeNow);
  if (Got >= State.SizeAtStart) return "";
  return Incomplete(FormatText("%lld", static_cast<long long>(Got)),
                    FormatText("%lld bytes", static_cast<long long>(State.SizeAtStart)));
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
