// One run of a task: the stream tables, the demuxer, the picture hooks, the statistics file
// and the run's counters, from the set-up to the cleanup. The task builds it in Run and drops
// it when the run ends; it reads the task's options through a const view and never writes
// them (what it changes of them, the scaler flags and the hook switch, are copies of its own).
// Runs on the task's worker thread (or the caller's for an unthreaded run).
//
// The class is implemented over the session's files: transcode.cpp (the loop and its end),
// transcode_setup.cpp (the set-up), packet.cpp, video_setup.cpp, audio_setup.cpp, report.cpp
// and decode_checks.cpp (the verdict on what the decoders delivered).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FFMPEG/session_records.h"
#include "engine/FFMPEG/task_types.h"
#include "threads/pause_gate.h"

extern "C" {
#include <libavutil/avutil.h>
}

class TCustomFFmpeg;
class TDemuxer;
class TOutputFileContext;
class TPictureHooks;
struct TDecodeSettings;
struct TFFmpegOptionState;
struct AVFrame;
struct AVPacket;
struct AVSubtitle;

class TTranscodeSession {
 public:
  using TStageLog = std::function<void(int Level, const std::string &Message)>;

  explicit TTranscodeSession(TCustomFFmpeg &Task);
  // Frees what the run set up and leaves its results on the task.
  ~TTranscodeSession();
  TTranscodeSession(const TTranscodeSession &) = delete;
  TTranscodeSession &operator=(const TTranscodeSession &) = delete;

  // The set-up, the loop and the end: the outputs are complete and in place when it returns.
  void Transcode();

  // One packet of input stream Ist (table index IstIndex), or null at the end of the input:
  // decodes or copies it and feeds every output stream it is the source of. 0, or -1 when
  // decoding failed.
  int OutputPacket(TInputStream &Ist, int IstIndex, const AVPacket *Pkt);

  // ===== Video and audio set-up (video_setup.cpp, audio_setup.cpp) =====

  // Gives an encoded video output stream fed by Ist (decoder not yet opened) its video path
  // with its crop, pad, scaler and frame; raises on failure.
  void SetUpVideoOutput(TOutputStream &Ost, const TInputStream &Ist);
  // Before the encoder of an audio output stream fed by Ist is opened: gives the stream its
  // audio path, which fits the encoder and decides whether the stream is resampled. Raises on
  // failure.
  void SetUpAudioOutput(TOutputStream &Ost, TInputStream &Ist);

  // ===== Progress and statistics (report.cpp) =====

  void PrintReport(bool IsLast);
  void DoVideoStats(TOutputFileContext &File, TOutputStream &Ost, int FrameSize);

  // Every input stream, file by file, and every output stream: built by the set-up.
  const std::vector<TInputStream *> &InputStreams() const { return FInputStreams; }
  const std::vector<TOutputStream *> &OutputStreams() const { return FOutputStreams; }
  int FramesDup() const { return FFramesDup; }
  int FramesDrop() const { return FFramesDrop; }
  // The scaler flags the pictures are scaled with: the options' unless the scaler options
  // give their own.
  int SwsFlags() const { return FSwsFlags; }

 private:
  // The report tests give a session that never ran its tables and counters.
  friend class TSessionProbe;

  // ===== Set-up (transcode_setup.cpp) =====

  void TranscodeSetUp();
  // Runs TranscodeCleanup and raises Message.
  [[noreturn]] void Fail(const std::string &Message);
  void BuildStreamTables();
  void CheckStreamMaps();
  // The first input stream of Type no output uses yet; a later one of its kind when the probe
  // shows the first unusable and that one usable (logged). -1: none.
  int FirstFreeStream(AVMediaType Type);
  void MapOutputStreams();
  // The first unused input stream of CodecType listed by the chosen program, or -1.
  int StreamIndexFromInputs(AVMediaType CodecType) const;
  // The input stream an output stream without a map takes, or -1.
  int AutomaticSource(const TOutputStream &Ost);
  void SetUpEncoding();
  void SetUpStreamCopy(TOutputStream &Ost, const TInputStream &Ist);
  // The session's picture hooks, when deinterlacing, the hook modules or the custom hook are
  // in use (video_setup.cpp).
  void SetUpPictureHooks();
  void LogStreamMapping();
  void OpenEncoders();
  void OpenDecoders();
  void OpenDecoder(TInputStream &Ist);
  void SetUpSubtitleOutput(TOutputStream &Ost, const TInputStream &Ist);
  void TakeSubtitleHeader(TOutputStream &Ost);
  void CopyMetaData();
  // Frees the per-stream resources the session set up.
  void TranscodeCleanup();

  // ===== The loop and its end (transcode.cpp) =====

  void TranscodeLoop();
  void TranscodeEnd();
  // The input file whose streams lag behind, or -1 when the loop should end; OutputTime is
  // the earliest output position in seconds.
  int ChooseInputFile(double &OutputTime) const;

  // ===== Packets and stream copy (packet.cpp) =====

  // What the decoding of Ist reads of the options and of its input file.
  TDecodeSettings DecodeSettings(const TInputStream &Ist) const;
  // A decoded frame of Ist to the pre-processing and every output it feeds; false when its
  // samples could not be converted.
  bool OutputDecodedFrame(TInputStream &Ist, int IstIndex, AVFrame &Frame);
  // The subtitle to every output it feeds.
  void OutputSubtitle(TInputStream &Ist, int IstIndex, int64_t Pts, AVSubtitle &Sub);
  void CopyPacket(TInputStream &Ist, int IstIndex, const AVPacket &Pkt, int DataSize);
  void EmulateRate(TInputStream &Ist);
  // At the end of the input: the encoders fed by the stream give what they hold.
  void DrainEncoders(int IstIndex);

  // ===== Decoding outcome (decode_checks.cpp) =====

  // After the decoders are drained: fails the task when an input read to its end delivered
  // nothing at all, fell short of what the file held (demuxer.h), or a stream's decoding
  // errors exceed two thirds of its packets, and when an output stream got nothing from a
  // finished input. Nothing when stopped; an input a limit ended early is not judged.
  void CheckDecodingOutcome();
  // "Cannot set up the encoder of output stream ... from input stream ... of 'file': Defect".
  std::string StreamSetUpFailure(const TOutputStream &Ost, const TInputStream &Ist,
                                 const std::string &Defect) const;

  // ===== What the session uses of its task (transcode_session.cpp) =====

  void DoLog(int Level, const std::string &Message);
  // The log of the stages and files. It goes to the task, not through the session: decoders,
  // encoders and files live in the records after the session is dropped.
  TStageLog StageLog() const;
  // The task's log notification is assigned.
  bool Logging() const;
  // The task's progress notification is assigned.
  bool ProgressWanted() const;
  void ReportProgress(const TProgressInfo &Progress);
  void CloseOpenedCodecs();
  int InputFileCount() const { return static_cast<int>(FInputFiles.size()); }
  int OutputFileCount() const { return static_cast<int>(FOutputFiles.size()); }

  TCustomFFmpeg &FTask;
  const TFFmpegOptionState &FOptions;
  std::vector<std::unique_ptr<TInputFileContext>> &FInputFiles;
  std::vector<std::unique_ptr<TOutputFileContext>> &FOutputFiles;
  // Each output's name as given, replaced by the name written once it is in place.
  std::vector<std::string> &FOutputFileNames;
  TPauseGate &FPause;
  const std::atomic<bool> &FStopRequested;
  std::atomic<bool> &FFinished;
  const int64_t &FProgressIntervalUs;
  std::vector<TInputStream *> FInputStreams;
  std::vector<TOutputStream *> FOutputStreams;
  // Reads the inputs from the end of the set-up to the session's end.
  std::unique_ptr<TDemuxer> FDemuxer;
  // Deinterlacing and the hooks, from the set-up to the cleanup.
  std::unique_ptr<TPictureHooks> FPictureHooks;
  TFilePtr FVStatsFile;
  int64_t FTimerStart = 0;
  int64_t FLastReportTime = 0;
  int64_t FVideoSize = 0;
  int64_t FAudioSize = 0;
  int64_t FExtraSize = 0;
  int FFramesDup = 0;
  int FFramesDrop = 0;
  int FBitBufferSize = 262144;  // at least 4 bytes per pixel of the largest video output
  // Copied from the options: the video paths take the scaler options' flags over, and the
  // hooks turn the module switch off once their last time window is past.
  int FSwsFlags;
  bool FUsingVHook;
};
