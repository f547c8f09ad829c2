// The transcoding loop: after the set-up it has the demuxer read a packet from the input that
// lags behind and hands it to OutputPacket, then drains the codecs and writes the trailers and
// moves the complete files into place. Runs on the task's thread.

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/option_state.h"
#include "engine/FFMPEG/output_file.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

void TTranscodeSession::Transcode() {
  TranscodeSetUp();
  TranscodeLoop();
  TranscodeEnd();
}

int TTranscodeSession::ChooseInputFile(double &OutputTime) const {
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
    if (!FDemuxer->AtEnd(Source.FileIndex)) {
      if (InputPosition < InputMin) {
        InputMin = InputPosition;
        if (FOptions.FInputSync) Chosen = Source.FileIndex;
      }
      if (OutputPosition < OutputTime) {
        OutputTime = OutputPosition;
        if (!FOptions.FInputSync) Chosen = Source.FileIndex;
      }
    }
    if (Type >= 0 && Type < static_cast<int>(FOptions.FMaxFrames.size()) &&
        Ost->FrameNumber >= FOptions.FMaxFrames[Type])
      return -1;
  }
  return Chosen;
}

void TTranscodeSession::TranscodeLoop() {
  TPacketPtr Packet(av::av_packet_alloc());
  if (!Packet) Fail("av_mallocz fail");
  while (!FStopRequested) {
    FPause.Wait();
    if (FStopRequested) break;
    double OutputTime;
    const int File = ChooseInputFile(OutputTime);
    if (File < 0) break;
    if (FOptions.FRecordingTime != INT64_MAX &&
        static_cast<double>(FOptions.FRecordingTime) / 1e6 <= OutputTime)
      break;
    if (FOptions.FLimitFileSize != 0 && FOutputFiles[0]->Context->pb &&
        FOutputFiles[0]->Position() > FOptions.FLimitFileSize)
      break;
    if (!FDemuxer->Read(File, *Packet)) {
      if (FOptions.FShortest) break;
      continue;
    }
    const TInputFileContext &Input = *FInputFiles[File];
    const int Index = Packet->stream_index;
    TInputStream &Ist = *Input.Streams[Index];
    if (OutputPacket(Ist, Input.IstIndex + Index, Packet.get()) < 0) {
      if (FOptions.FVerbose >= 0)
        DoLog(1, FormatText("Error while decoding stream #%d.%d", Ist.FileIndex, Ist.Index));
      av::av_packet_unref(Packet.get());
      continue;
    }
    av::av_packet_unref(Packet.get());
    const int64_t Now = av::av_gettime();
    if (Now - FLastReportTime > FProgressIntervalUs) {
      FLastReportTime = Now;
      PrintReport(false);
    }
  }
}

void TTranscodeSession::TranscodeEnd() {
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
