// The transcoding loop: after the set-up it reads packets from the input that lags behind,
// adjusts their timestamps and hands them to OutputPacket, then drains the codecs and writes
// the trailers and moves the complete files into place. Runs on the task's thread.

#include <cmath>
#include <cstdlib>

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

void TCustomFFmpeg::Transcode() {
  TranscodeSetUp();
  TranscodeLoop();
  TranscodeEnd();
}

int TCustomFFmpeg::ChooseInputFile(double &OutputTime) const {
  double InputMin = 1e100;
  OutputTime = 1e100;
  int Chosen = -1;
  for (const TOutputStream *Ost : FOutputStreams) {
    const TInputStream &Source = *FInputStreams[Ost->SourceIndex];
    const AVMediaType Type = Ost->St->codecpar->codec_type;
    double OutputPosition;
    // Encoded streams count what they were given: the encoder's output lags by its delay.
    if (Type == AVMEDIA_TYPE_VIDEO && Ost->Encoder)
      OutputPosition = Ost->SyncOpts * av_q2d(Ost->Encoder->time_base);
    else if (Type == AVMEDIA_TYPE_AUDIO && Ost->Encoder && Ost->EncoderOpened && Ost->Audio &&
             Ost->Encoder->sample_rate > 0)
      OutputPosition =
          static_cast<double>(Ost->SyncOpts + Ost->Audio->Queued()) / Ost->Encoder->sample_rate;
    else
      OutputPosition = (Ost->HasEndPts ? Ost->EndPts : 0) * av_q2d(Ost->St->time_base);
    const double InputPosition = static_cast<double>(Source.Pts);
    if (!FInputFiles[Source.FileIndex]->EofReached) {
      if (InputPosition < InputMin) {
        InputMin = InputPosition;
        if (FInputSync) Chosen = Source.FileIndex;
      }
      if (OutputPosition < OutputTime) {
        OutputTime = OutputPosition;
        if (!FInputSync) Chosen = Source.FileIndex;
      }
    }
    if (Type >= 0 && Type < static_cast<int>(FMaxFrames.size()) &&
        Ost->FrameNumber >= FMaxFrames[Type])
      return -1;
  }
  return Chosen;
}

void TCustomFFmpeg::AdjustTimestamps(int File, TInputStream &Ist, AVPacket &Pkt) {
  const AVRational TimeBase = Ist.St->time_base;
  const int64_t Offset = av::av_rescale_q(FInputFilesTsOffset[File], AV_TIME_BASE_Q, TimeBase);
  if (Pkt.dts != AV_NOPTS_VALUE) Pkt.dts += Offset;
  if (Pkt.pts != AV_NOPTS_VALUE) Pkt.pts += Offset;
  const double Scale = Ist.Index < MaxStreams ? FInputFilesTsScale[File][Ist.Index] : 0;
  if (Scale != 0) {
    if (Pkt.pts != AV_NOPTS_VALUE) Pkt.pts = std::llround(Pkt.pts * Scale);
    if (Pkt.dts != AV_NOPTS_VALUE) Pkt.dts = std::llround(Pkt.dts * Scale);
  }
  if (Pkt.dts == AV_NOPTS_VALUE || Ist.NextDts == NoTimestamp) return;
  // A jump in the input's clock shifts the file's offset, so the output stays continuous.
  const int64_t PacketDts = av::av_rescale_q(Pkt.dts, TimeBase, AV_TIME_BASE_Q);
  const int64_t Delta = PacketDts - Ist.NextDts;
  if (!(std::llabs(Delta) > FDtsDeltaThreshold * 1e6 || PacketDts + 1 < Ist.Pts) || FCopyTs) {
    Ist.JumpPending = false;
    return;
  }
  // The file's offset moves only when the next packet keeps to the new clock; a single packet
  // off the clock is damage and is only put back on it.
  const int64_t Tolerance =
      Pkt.duration > 0 ? av::av_rescale_q(Pkt.duration, TimeBase, AV_TIME_BASE_Q) / 2 : 20000;
  if (Ist.JumpPending && std::llabs(Delta - Ist.PendingJump) <= Tolerance) {
    Ist.JumpPending = false;
    FInputFilesTsOffset[File] -= Delta;
    if (FVerbose >= 3)
      DoLog(1, FormatText("timestamp discontinuity %lld, new offset= %lld",
                          static_cast<long long>(Delta),
                          static_cast<long long>(FInputFilesTsOffset[File])));
  } else {
    Ist.JumpPending = true;
    Ist.PendingJump = Delta;
  }
  const int64_t Shift = av::av_rescale_q(Delta, AV_TIME_BASE_Q, TimeBase);
  Pkt.dts -= Shift;
  if (Pkt.pts != AV_NOPTS_VALUE) Pkt.pts -= Shift;
}

void TCustomFFmpeg::TranscodeLoop() {
  TPacketPtr Packet(av::av_packet_alloc());
  if (!Packet) Fail("av_mallocz fail");
  while (!FStopRequested) {
    WaitWhilePaused();
    if (FStopRequested) break;
    double OutputTime;
    const int File = ChooseInputFile(OutputTime);
    if (File < 0) break;
    if (FRecordingTime != INT64_MAX && static_cast<double>(FRecordingTime) / 1e6 <= OutputTime)
      break;
    if (FLimitFileSize != 0 && FOutputFiles[0]->Context->pb &&
        FOutputFiles[0]->Position() > FLimitFileSize)
      break;
    TInputFileContext &Input = *FInputFiles[File];
    if (av::av_read_frame(Input.Context.get(), Packet.get()) < 0) {
      Input.EofReached = 1;
      if (FShortest) break;
      continue;
    }
    if (FDoPktDump)
      av::av_pkt_dump_log2(nullptr, AV_LOG_INFO, Packet.get(), FDoHexDump,
                           Input.Context->streams[Packet->stream_index]);
    const int Index = Packet->stream_index;
    if (Index < Input.NbStreams() && !Input.Streams[Index]->Discard) {
      TInputStream &Ist = *Input.Streams[Index];
      AdjustTimestamps(File, Ist, *Packet);
      if (OutputPacket(Ist, Input.IstIndex + Index, Packet.get()) < 0) {
        if (FVerbose >= 0)
          DoLog(1, FormatText("Error while decoding stream #%d.%d", Ist.FileIndex, Ist.Index));
        av::av_packet_unref(Packet.get());
        continue;
      }
    }
    av::av_packet_unref(Packet.get());
    const int64_t Now = av::av_gettime();
    if (Now - FLastReportTime > FProgressIntervalUs) {
      FLastReportTime = Now;
      PrintReport(false);
    }
  }
}

void TCustomFFmpeg::TranscodeEnd() {
  for (size_t I = 0; I < FInputStreams.size(); ++I)
    if (FInputStreams[I]->DecodingNeeded)
      OutputPacket(*FInputStreams[I], static_cast<int>(I), nullptr);
  CheckDecodingOutcome();
  for (const std::unique_ptr<TOutputFileContext> &Output : FOutputFiles) Output->WriteTrailer();
  PrintReport(true);
  // Only complete files reach their final names; until then a failure leaves none behind.
  for (size_t I = 0; I < FOutputFiles.size(); ++I) {
    // Stopped before a single packet: there is nothing to play, so no file is left (its
    // temporary file goes with the output), and no name is told.
    TOutputFileContext &Output = *FOutputFiles[I];
    if (FStopRequested && Output.PacketsWritten() == 0 && !Output.TemporaryName().empty()) {
      DoLog(1, FormatText("Stopped before anything was written to '%s'; no file is left",
                          FOutputFileNames[I].c_str()));
      FOutputFileNames[I].clear();
      continue;
    }
    FOutputFiles[I]->Commit();
    FOutputFileNames[I] = FOutputFiles[I]->FileName();
  }
  CloseOpenedCodecs();
  FFinished = !FStopRequested;
  TranscodeCleanup();
}
