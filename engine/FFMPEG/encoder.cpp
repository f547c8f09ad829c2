// One output stream's encoder: opening, two-pass statistics, frames and subtitles in, packets
// out to the muxer. Runs on the task's thread.

#include "engine/FFMPEG/encoder.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string_view>

extern "C" {
#include <libavutil/intreadwrite.h>  // byte readers: macros, no library call
}

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/output_file.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

TEncoder::TEncoder(TOutputStream &Ost, TOutputFileContext &File, int64_t &CodedBytes)
    : FOst(Ost), FFile(File), FCodedBytes(CodedBytes) {}

void TEncoder::SetUpTwoPass(const std::string &LogName) {
  if (!FOst.Encoder) return;
  AVCodecContext &Enc = *FOst.Encoder;
  if (!(Enc.flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
  // libx264 keeps its own statistics file.
  if (Enc.codec && std::string_view(Enc.codec->name) == "libx264")
    FOst.EncoderOptions.Set("stats", LogName.c_str());
  if (Enc.flags & AV_CODEC_FLAG_PASS1) {
    FLogFile.reset(std::fopen(LogName.c_str(), "w"));
    if (!FLogFile) throw FFMpegException("creat file fail: " + LogName);
    return;
  }
  TFilePtr File(std::fopen(LogName.c_str(), "r"));
  if (!File) throw FFMpegException("creat open fail: " + LogName);
  std::fseek(File.get(), 0, SEEK_END);
  const long Size = std::ftell(File.get());
  std::fseek(File.get(), 0, SEEK_SET);
  FStatsIn.reset(static_cast<char *>(av::av_malloc(Size > 0 ? Size + 1 : 1)));
  if (!FStatsIn) throw FFMpegException("Could not allocate log buffer");
  const size_t Read = Size > 0 ? std::fread(FStatsIn.get(), 1, Size, File.get()) : 0;
  FStatsIn.get()[Read] = 0;
  Enc.stats_in = FStatsIn.get();
}

void TEncoder::Open(const AVCodec *Codec, std::mutex &Lock) {
  AVCodecContext *Enc = FOst.Encoder.get();
  std::lock_guard Guard(Lock);
  if (av::avcodec_open2(Enc, Codec, FOst.EncoderOptions.Address()) < 0)
    throw FFMpegException(
        FormatText("Error while opening codec for output stream #%d.%d - maybe incorrect "
                   "parameters such as bit_rate, rate, width or height",
                   FOst.FileIndex, FOst.Index));
  FOst.EncoderOpened = true;
}

// The encoder's own report of the packet's quality, picture type and errors.
void TEncoder::TakeQualityStats(const AVPacket &Pkt) {
  size_t SideSize = 0;
  const uint8_t *Side = av::av_packet_get_side_data(&Pkt, AV_PKT_DATA_QUALITY_STATS, &SideSize);
  if (!Side || SideSize < 8) return;
  FOst.CodedQuality = static_cast<int>(AV_RL32(Side));
  FOst.CodedPictType = Side[4];
  const int Errors = Side[5];
  for (int I = 0; I < 3 && I < Errors && SideSize >= 8 + 8 * (I + 1u); ++I)
    FOst.CodedError[I] = AV_RL64(Side + 8 + 8 * I);
}

int TEncoder::Send(const AVFrame *Frame, const char *FailText) {
  AVCodecContext *Enc = FOst.Encoder.get();
  int Result = av::avcodec_send_frame(Enc, Frame);
  if (Result == AVERROR_EOF) return 0;  // drained already
  if (Result < 0) throw FFMpegException(FailText);
  if (!FPacket) FPacket.reset(av::av_packet_alloc());
  if (!FPacket) throw std::bad_alloc();
  AVPacket *Pkt = FPacket.get();
  int Bytes = 0;
  for (;;) {
    Result = av::avcodec_receive_packet(Enc, Pkt);
    if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) break;
    if (Result < 0) throw FFMpegException(FailText);
    TakeQualityStats(*Pkt);
    if (FLogFile && Enc->stats_out) std::fprintf(FLogFile.get(), "%s", Enc->stats_out);
    // One picture at the encoder's rate where a video encoder gives no duration: one tick
    // at a fixed rate, the average picture's ticks when the source's timestamps are kept.
    if (Enc->codec_type == AVMEDIA_TYPE_VIDEO && Pkt->duration <= 0)
      Pkt->duration =
          Enc->framerate.num > 0 && Enc->framerate.den > 0
              ? std::max<int64_t>(
                    1, av::av_rescale_q(1, AVRational{Enc->framerate.den, Enc->framerate.num},
                                        Enc->time_base))
              : 1;
    FCodedBytes += Pkt->size;
    Bytes += Pkt->size;
    Pkt->stream_index = FOst.Index;
    av::av_packet_rescale_ts(Pkt, Enc->time_base, FOst.St->time_base);
    FFile.WritePacket(*Pkt, FOst);
  }
  return Bytes;
}

bool TEncoder::SendSubtitle(int64_t Pts, AVSubtitle &Sub, const TInputStream &Ist) {
  if (Pts == AV_NOPTS_VALUE) return false;
  FSubtitleBuffer.resize(65536);
  AVCodecContext *Enc = FOst.Encoder.get();
  // DVB subtitles stay on screen until a second, empty subtitle clears them.
  const bool Dvb = Enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  // Encoders want the event to start at its pts: the display delay moves into the pts.
  Sub.pts = av::av_rescale_q(Pts, Ist.St->time_base, AV_TIME_BASE_Q) +
            av::av_rescale_q(Sub.start_display_time, AVRational{1, 1000}, AV_TIME_BASE_Q);
  Sub.end_display_time -= Sub.start_display_time;
  Sub.start_display_time = 0;
  TPacketPtr Pkt(av::av_packet_alloc());
  if (!Pkt) throw std::bad_alloc();
  for (int I = 0; I < (Dvb ? 2 : 1); ++I) {
    const unsigned Rects = Sub.num_rects;
    if (I == 1) Sub.num_rects = 0;
    const int Size = av::avcodec_encode_subtitle(Enc, FSubtitleBuffer.data(),
                                                 static_cast<int>(FSubtitleBuffer.size()), &Sub);
    // The rectangles are still the subtitle's, to be freed with it.
    Sub.num_rects = Rects;
    if (Size < 0) throw FFMpegException("Subtitle encoding failed");
    av::av_packet_unref(Pkt.get());
    Pkt->data = FSubtitleBuffer.data();
    Pkt->size = Size;
    Pkt->stream_index = FOst.Index;
    Pkt->pts = av::av_rescale_q(Sub.pts, AV_TIME_BASE_Q, FOst.St->time_base);
    Pkt->duration = av::av_rescale_q(Sub.end_display_time, AVRational{1, 1000}, FOst.St->time_base);
    if (I == 1) Pkt->pts += Pkt->duration;  // the clearing packet, at the end of display
    Pkt->dts = Pkt->pts;
    FFile.WritePacket(*Pkt, FOst);
    ++FOst.FrameNumber;
  }
  return true;
}
