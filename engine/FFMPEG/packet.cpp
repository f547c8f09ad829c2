// Packet decoding and stream copy: one packet of an input stream becomes decoded pictures,
// samples or subtitles for the output paths, or is copied unchanged; encoded packets reach the
// muxer through the output file. Runs on the task's thread.

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/decoder.h"
#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/option_state.h"
#include "engine/FFMPEG/output_file.h"
#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/picture_hooks.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/FFMPEG/video_path.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

void TTranscodeSession::CopyPacket(TInputStream &Ist, int IstIndex, const AVPacket &Pkt,
                                   int DataSize) {
  for (TOutputStream *Ost : FOutputStreams) {
    if (Ost->SourceIndex != IstIndex || Ost->EncodingNeeded) continue;
    // A copy starts at a key frame.
    if (Ost->FrameNumber == 0 && !(Pkt.flags & AV_PKT_FLAG_KEY)) continue;
    const AVMediaType Type = Ost->St->codecpar->codec_type;
    if (Type == AVMEDIA_TYPE_AUDIO) FAudioSize += DataSize;
    if (Type == AVMEDIA_TYPE_VIDEO) {
      FVideoSize += DataSize;
      ++Ost->SyncOpts;
    }
    // The stream's own packet, reused: the muxer takes its reference on every write.
    if (!Ost->Packet) Ost->Packet.reset(av::av_packet_alloc());
    AVPacket *Out = Ost->Packet.get();
    if (!Out || av::av_packet_ref(Out, &Pkt) < 0) throw std::bad_alloc();
    const AVRational From = Ist.St->time_base, To = Ost->St->time_base;
    Out->stream_index = Ost->Index;
    Out->pts = Pkt.pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : av::av_rescale_q(Pkt.pts, From, To);
    Out->dts = Pkt.dts == AV_NOPTS_VALUE ? av::av_rescale_q(Ist.Pts, AV_TIME_BASE_Q, To)
                                         : av::av_rescale_q(Pkt.dts, From, To);
    Out->duration = av::av_rescale_q(Pkt.duration, From, To);
    Out->pos = -1;
    FOutputFiles[Ost->FileIndex]->WritePacket(*Out, *Ost);
    ++Ost->FrameNumber;
    ++Ist.CopiedPackets;
  }
}

// Reading at the native rate is the demuxer's; the outputs call this once per frame they get.
void TTranscodeSession::EmulateRate(TInputStream &Ist) {
  if (FDemuxer) FDemuxer->EmulateRate(Ist);
}

bool TTranscodeSession::OutputDecodedFrame(TInputStream &Ist, int IstIndex, AVFrame &Frame) {
  const AVMediaType Type = Ist.Decoder->codec_type;
  uint8_t *Samples = nullptr;
  int SamplesSize = 0;
  TPicture Picture{};
  if (Type == AVMEDIA_TYPE_VIDEO) {
    for (int P = 0; P < 4; ++P) {
      Picture.data[P] = Frame.data[P];
      Picture.linesize[P] = Frame.linesize[P];
    }
    if (FPictureHooks) FPictureHooks->Process(Picture, FrameGeometry(Frame, *Ist.Decoder), Ist.Pts);
  } else {
    if (!Ist.ToS16) Ist.ToS16 = std::make_unique<TSampleConverter>(FOptions.FAudioVolume);
    if (!Ist.ToS16->Convert(Frame, Samples, SamplesSize)) return false;
  }
  EmulateRate(Ist);
  for (TOutputStream *Ost : FOutputStreams) {
    if (Ost->SourceIndex != IstIndex || !Ost->EncodingNeeded) continue;
    if (Type == AVMEDIA_TYPE_AUDIO) {
      Ost->Audio->Send(Samples, SamplesSize, Ist);
      continue;
    }
    const int FrameSize = Ost->Video->Send(Frame, Picture, Ist);
    if (!FOptions.FVStatsFileName.empty() && FrameSize != 0)
      DoVideoStats(*FOutputFiles[Ost->FileIndex], *Ost, FrameSize);
  }
  return true;
}

TDecodeSettings TTranscodeSession::DecodeSettings(const TInputStream &Ist) const {
  return {FOptions.FStartTime, FInputFiles[Ist.FileIndex]->StartPts, FOptions.FVerbose};
}

void TTranscodeSession::OutputSubtitle(TInputStream &Ist, int IstIndex, int64_t Pts,
                                       AVSubtitle &Sub) {
  for (TOutputStream *Ost : FOutputStreams)
    if (Ost->SourceIndex == IstIndex && Ost->EncodingNeeded &&
        !Ost->Encoding->SendSubtitle(Pts, Sub, Ist))
      DoLog(0, "Subtitle packets must have a pts");
}

void TTranscodeSession::DrainEncoders(int IstIndex) {
  for (TOutputStream *Ost : FOutputStreams) {
    if (Ost->SourceIndex != IstIndex || !Ost->EncodingNeeded || !Ost->EncoderOpened) continue;
    switch (Ost->Encoder->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        Ost->Audio->Flush();
        Ost->Encoding->Send(nullptr, "Audio encoding failed");
        break;
      case AVMEDIA_TYPE_VIDEO:
        Ost->Video->ShowHeldPicture(*FInputStreams[Ost->SourceIndex]);
        Ost->Encoding->Send(nullptr, "Video encoding failed");
        break;
      default:
        break;
    }
  }
}

int TTranscodeSession::OutputPacket(TInputStream &Ist, int IstIndex, const AVPacket *Pkt) {
  if (Ist.NextPts == NoTimestamp) Ist.NextPts = Ist.Pts;
  if (Pkt && Pkt->dts != AV_NOPTS_VALUE)
    Ist.Pts = Ist.NextPts = av::av_rescale_q(Pkt->dts, Ist.St->time_base, AV_TIME_BASE_Q);
  const AVMediaType Type = Ist.St->codecpar->codec_type;
  if (Ist.DecodingNeeded) {
    int Result = 0;
    // The sinks capture one pointer, so building them per packet allocates nothing.
    struct {
      TTranscodeSession *Session;
      TInputStream *Ist;
      int Index;
      const AVPacket *Pkt;
    } Here{this, &Ist, IstIndex, Pkt};
    if (Type == AVMEDIA_TYPE_VIDEO || Type == AVMEDIA_TYPE_AUDIO)
      Result = Ist.Decoding->Decode(Pkt, [&Here](AVFrame &Frame) {
        return Here.Session->OutputDecodedFrame(*Here.Ist, Here.Index, Frame);
      });
    else if (Type == AVMEDIA_TYPE_SUBTITLE && Pkt)
      Result = Ist.Decoding->DecodeSubtitle(*Pkt, [&Here](AVSubtitle &Sub) {
        Here.Session->OutputSubtitle(*Here.Ist, Here.Index, Here.Pkt->pts, Sub);
      });
    else if (Type == AVMEDIA_TYPE_SUBTITLE)
      Result = 0;
    else
      Result = -1;
    if (Result < 0) {
      // At the end of the input the encoders are drained all the same.
      if (!Pkt) DrainEncoders(IstIndex);
      return Result;
    }
  } else if (Pkt) {
    Ist.Pts = Ist.NextPts;
    const AVCodecParameters *Par = Ist.St->codecpar;
    if (Type == AVMEDIA_TYPE_AUDIO && Par->frame_size > 0 && Par->sample_rate > 0)
      Ist.NextPts += av::av_rescale(Par->frame_size, 1000000, Par->sample_rate);
    else if (Pkt->duration > 0)
      Ist.NextPts += av::av_rescale_q(Pkt->duration, Ist.St->time_base, AV_TIME_BASE_Q);
    else if (Type == AVMEDIA_TYPE_VIDEO)
      Ist.NextPts += FrameDurationUs(Ist.St);
    EmulateRate(Ist);
    if (!BeforeStart(Ist, DecodeSettings(Ist))) CopyPacket(Ist, IstIndex, *Pkt, Pkt->size);
  }
  if (!Pkt) DrainEncoders(IstIndex);
  return 0;
}
