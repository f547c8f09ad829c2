// Decoding of one input stream. Runs on the task's thread.

#include "engine/FFMPEG/decoder.h"

#include <new>
#include <utility>

#include "engine/FFMPEG/decode_checks.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

bool BeforeStart(const TInputStream &Ist, const TDecodeSettings &Settings) {
  if (Settings.StartTime != 0 && Ist.Pts < Settings.StartTime) return true;
  return Settings.FileStart != NoTimestamp && Ist.Pts < Settings.FileStart;
}

TDecoder::TDecoder(TInputStream &Ist, const TDecodeSettings &Settings, TLog Log)
    : FIst(Ist), FSettings(Settings), FLog(std::move(Log)) {}

std::string TDecoder::Open(std::mutex &Lock) {
  if (FOpened) return "";
  AVCodecContext *Dec = FIst.Decoder.get();
  const AVCodec *Codec = av::avcodec_find_decoder(Dec->codec_id);
  if (!Codec)
    return FormatText("Unsupported codec (id=%d) for input stream #%d.%d", Dec->codec_id,
                      FIst.FileIndex, FIst.Index);
  std::lock_guard Guard(Lock);
  if (av::avcodec_open2(Dec, Codec, nullptr) < 0)
    return FormatText("Error while opening codec for input stream #%d.%d", FIst.FileIndex,
                      FIst.Index);
  FOpened = true;
  return "";
}

void TDecoder::Close() {
  if (!FOpened) return;
  FIst.Decoder.reset();
  FOpened = false;
}

const AVFrame *TDecoder::Frame() const {
  return FDelivering ? FFrame.get() : nullptr;
}

// Counts a packet that failed; the drain at the end of the input is no packet.
int TDecoder::Failed(const AVPacket *Pkt) {
  if (Pkt) ++FIst.DecodeErrors;
  return -1;
}

void TDecoder::TakeFrameTime(const AVFrame &Frame) {
  TInputStream &Ist = FIst;
  Ist.Pts = Ist.NextPts;
  // Decoders hold frames back (reordering, frame threads), so a frame's time is its own, not
  // the clock of the packet that released it.
  if (Frame.best_effort_timestamp != AV_NOPTS_VALUE)
    Ist.Pts = av::av_rescale_q(Frame.best_effort_timestamp, Ist.St->time_base, AV_TIME_BASE_Q);
  Ist.NextPts = Ist.Pts;
  if (Ist.Decoder->codec_type == AVMEDIA_TYPE_AUDIO) {
    Ist.NextPts += av::av_rescale(Frame.nb_samples, 1000000, Frame.sample_rate);
    return;
  }
  Ist.Quality = static_cast<float>(Frame.quality);
  const int64_t Duration =
      av_compat::FrameDuration(Frame) > 0
          ? av::av_rescale_q(av_compat::FrameDuration(Frame), Ist.St->time_base, AV_TIME_BASE_Q)
          : FrameDurationUs(Ist.St);
  Ist.NextPts += Duration;
}

std::string TDecoder::Deliver(AVFrame &Frame, const TFrameSink &Sink, bool &Skipped) {
  Skipped = false;
  std::string Defect = DecodedFrameDefect(FIst.Decoder->codec_type, Frame);
  if (!Defect.empty()) return Defect;
  TakeFrameTime(Frame);
  if (BeforeStart(FIst, FSettings)) {
    Skipped = true;
    return "";
  }
  FDelivering = true;
  bool Delivered;
  try {
    Delivered = Sink(Frame);
  } catch (...) {
    FDelivering = false;
    throw;
  }
  FDelivering = false;
  return Delivered ? "" : "the samples could not be converted";
}

// Pictures and samples: a packet goes in whole and zero or more frames come out.
int TDecoder::Decode(const AVPacket *Pkt, const TFrameSink &Sink) {
  AVCodecContext *Dec = FIst.Decoder.get();
  if (!FFrame) FFrame.reset(av::av_frame_alloc());
  if (!FFrame) throw std::bad_alloc();
  if (Pkt) ++FIst.DecodedPackets;
  int Result = av::avcodec_send_packet(Dec, Pkt);
  if (Result < 0 && Result != AVERROR_EOF) return Failed(Pkt);
  bool Dropped = false;
  for (;;) {
    Result = av::avcodec_receive_frame(Dec, FFrame.get());
    if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) break;
    if (Result < 0) return Failed(Pkt);
    bool Skipped = false;
    std::string Defect;
    try {
      Defect = Deliver(*FFrame, Sink, Skipped);
    } catch (...) {
      av::av_frame_unref(FFrame.get());
      throw;
    }
    av::av_frame_unref(FFrame.get());
    if (Skipped) continue;
    if (Defect.empty()) {
      ++FIst.DecodedFrames;
      continue;
    }
    // The rest of the packet's frames may still be good.
    if (FSettings.Verbose >= 0)
      Log(1, FormatText("Frame of stream #%d.%d dropped: %s", FIst.FileIndex, FIst.Index,
                        Defect.c_str()));
    Dropped = true;
  }
  return Dropped ? Failed(Pkt) : 0;
}

int TDecoder::DecodeSubtitle(const AVPacket &Pkt, const TSubtitleSink &Sink) {
  AVSubtitle Sub{};
  int Got = 0;
  ++FIst.DecodedPackets;
  if (av::avcodec_decode_subtitle2(FIst.Decoder.get(), &Sub, &Got, const_cast<AVPacket *>(&Pkt)) <
      0)
    return Failed(&Pkt);
  if (!Got) return 0;
  FIst.Pts = FIst.NextPts;
  try {
    if (!BeforeStart(FIst, FSettings)) {
      ++FIst.DecodedFrames;
      Sink(Sub);
    }
  } catch (...) {
    av::avsubtitle_free(&Sub);
    throw;
  }
  av::avsubtitle_free(&Sub);
  return 0;
}
