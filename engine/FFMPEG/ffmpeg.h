// The conversion task: one TCustomFFmpeg is one transcoding run configured the way a media
// converter's command line configures it. Options arrive by name (SetOption) or through typed
// setters into the task's options, a value it owns; inputs and outputs are added in order; each
// run is a TTranscodeSession (transcode_session.h) that reads the options through Options().
// The class is implemented over several files, one per concern; each banner below names the
// concern and the file that implements it.
//
// Threads: everything here is called on the thread that configures the task, before the task's
// worker thread starts; the worker only reads the state afterwards. The log level ("v" and
// debug options) is process-wide.
//
// Ownership: the task owns every library object it opened or allocated (RAII owners); the
// media libraries must stay loaded while a task holds any of them.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/frame_hook.h"
#include "engine/FFMPEG/option_state.h"
#include "engine/FFMPEG/output_file.h"
#include "engine/FFMPEG/session_records.h"
#include "engine/FFMPEG/task_types.h"
#include "engine/binding/av_owners.h"
#include "threads/pause_gate.h"

class TCustomFFmpeg;
class TFFmpegThread;  // the worker thread of a running task
class TBitmap;        // the 24-bit picture handed to the custom hook
class TTranscodeSession;
struct AVCodec;
struct RcOverride;

// A task's run: Idle -> Running (Start) -> Terminated (DoTerminate); a stop before the start
// goes Idle -> Ending and the thread that won that step delivers the end. Every step is a
// compare-exchange, so whoever races, exactly one termination is delivered.
enum class TTaskState { Idle, Running, Ending, Terminated };

// A yes/no view of a task's state, for the readers of the old run flags.
class TTaskStateFlag {
 public:
  TTaskStateFlag(const std::atomic<TTaskState> &State, TTaskState When)
      : FState(State), FWhen(When) {}
  operator bool() const { return FState.load() == FWhen; }

 private:
  const std::atomic<TTaskState> &FState;
  TTaskState FWhen;
};

// What a run leaves on its task for the component and the tests: written by the session as
// it ends, cleared with the options by InitDefaults.
struct TSessionResults {
  int FramesDup = 0;
  int FramesDrop = 0;
  // The frame hook modules were still in use when the run ended (they stop for good past
  // their last time window).
  bool UsingVHook = false;
};

// The hold on the library set comes first among the bases, so it is released after
// everything else the task holds.
class TCustomFFmpeg : private TAVLibsHold {
 public:
  // ===== Options (written by the option handlers, the input and output set-up and the
  // component's record application; read by everyone else through this view) =====

  const TFFmpegOptionState &Options() const { return FOptions; }

 private:
  TFFmpegOptionState FOptions;
  // The engine component applies its option records straight onto the options.
  friend class TCustomConvertEngine;

 protected:
  TFFmpegOptionState &EditOptions() { return FOptions; }

 public:
  // ===== Life cycle (option_state.cpp) =====

  TCustomFFmpeg();
  // Asks a running session to stop, waits until the worker has let go of the task, then
  // releases everything.
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg &) = delete;
  TCustomFFmpeg &operator=(const TCustomFFmpeg &) = delete;

  // Writes every default of the option and session state and empties the maps and hooks.
  // Leaves the files, the notifications, the worker thread and the progress interval alone.
  void InitDefaults();
  // With the libraries loaded: ReleaseAll, InitDefaults, clears the run flags and allocates
  // the generic option holders. Without them: nothing.
  void Reset();
  // Frees everything the task holds (with the libraries loaded): option holders, outputs
  // (an output not yet moved into place removes its temporary file), inputs, statistics file,
  // hooks and picture buffers.
  void ReleaseAll();

  // ===== Session (session.cpp) =====

  // Checks that the task has files, marks it running and runs it: in the caller's thread
  // (returns null), or on a new worker thread that the caller starts with Resume (returns
  // it). Null without doing anything unless the task is idle (never started, never
  // stopped); a check that fails ends the task on the spot (logged, FExceptionRaised,
  // termination notification).
  TFFmpegThread *Start(bool AThreaded, TConvertPriority APriority = TConvertPriority::tpNormal);
  // The session body: a TTranscodeSession transcodes, then whatever ended it, the codecs are
  // closed, the session leaves its results, everything is released and the termination
  // notification is sent.
  void Run();
  // Asks the session to stop at its next safe point; wakes a paused session.
  void SignalStop();
  // A paused session waits at its next safe point (main-loop iteration, written video
  // frame), holding no lock, until resumed or stopped.
  void Pause();
  void ResumeSession();
  bool Paused() const { return FPause.Paused(); }
  // Running: asks it to stop, false. Idle: the task can no longer start and its end is the
  // caller's to deliver with DoTerminate, true. Ending or terminated: nothing, false.
  bool StopOrClaimEnd();
  // Marks the task terminated and sends the termination notification, once: a later call
  // does nothing.
  void DoTerminate();
  // Closes every codec the session opened, under the codec open lock.
  void CloseOpenedCodecs();

  // What the last run left: counts and the hook switch (see TSessionResults).
  const TSessionResults &Results() const { return FResults; }

  // ===== Outcome =====

  bool FExceptionRaised = false;
  std::string FExceptionMessage;
  std::string FLastErrorText;  // the last open failure (inputs, outputs, codec look-ups)
  // The system's reason behind it, where it has one apart.
  std::string FLastErrorCause;

  // ===== Files =====

  std::vector<std::unique_ptr<TInputFileContext>> FInputFiles;    // at most MaxFiles
  std::vector<std::unique_ptr<TOutputFileContext>> FOutputFiles;  // at most MaxFiles
  int InputFileCount() const { return static_cast<int>(FInputFiles.size()); }
  int OutputFileCount() const { return static_cast<int>(FOutputFiles.size()); }

  // ===== Option dispatcher (options.cpp) =====

  // Runs the handler of Name (exact, case-sensitive); any other name goes to
  // SetDefaultOption, whose result is not reported. Refusals raise FFMpegException.
  void SetOption(const std::string &Name, const std::string &Value);
  // False for a switch of the vocabulary (given without a value); every other name, generic
  // options included, takes one.
  static bool OptionTakesValue(const std::string &Name);

  // ===== Option handlers: files, times, muxing, run control (option_handlers_files.cpp) =====

  void OptFormat(const std::string &Name);
  void OptInputFormat(const std::string &Name);
  void OptOutputFormat(const std::string &Name);
  void OptMap(const std::string &Text);
  void OptMapMetaData(const std::string &Text);
  void OptRecordingTime(const std::string &Text);
  void OptStartTime(const std::string &Text);
  void OptInputTsOffset(const std::string &Text);
  void OptInputTsScale(const std::string &Text);
  void OptRecTimestamp(const std::string &Text);
  void OptVerbose(int Level);
  void OptVStats();
  void OptVStatsFile(const std::string &FileName);
  void OptNewVideoStream();
  void OptNewAudioStream();
  void OptNewSubtitleStream();

  // Typed setters used by the engine component.
  void SetStartTime(int64_t Microseconds);
  void SetProgramId(int ProgramId);
  void SetRecordingTimeMs(int Milliseconds);
  void SetAudioVolume(int Volume);
  void SetAudioSyncMethod(int Method);
  void SetVideoSyncMethod(int Method);
  void SetMuxMaxDelay(float Seconds);
  void SetMuxPreload(float Seconds);
  void SetYear(int Year);
  void SetTrack(int Track);
  void SetTitle(const std::string &Text);
  void SetAuthor(const std::string &Text);
  void SetCopyright(const std::string &Text);
  void SetComment(const std::string &Text);
  void SetGenre(const std::string &Text);
  void SetAlbum(const std::string &Text);

  // ===== Option handlers: video (option_handlers_video.cpp) =====

  void OptFrameRate(const std::string &Text);
  void OptFrameSize(const std::string &Text);
  void OptFrameAspectRatio(const std::string &Text);
  void OptFramePixFmt(const std::string &Name);
  void OptFrameCropTop(int Size);
  void OptFrameCropBottom(int Size);
  void OptFrameCropLeft(int Size);
  void OptFrameCropRight(int Size);
  void OptFramePadTop(int Size);
  void OptFramePadBottom(int Size);
  void OptFramePadLeft(int Size);
  void OptFramePadRight(int Size);
  void OptPadColor(int Color);
  void OptQScale(float QScale);
  void OptVideoRcOverride(const std::string &Text);
  void OptVideoCodec(const std::string &Name);
  void OptMeThreshold(int Threshold);
  void OptPass(int Pass);
  void OptIntraMatrix(const std::string &Text);
  void OptInterMatrix(const std::string &Text);
  void OptTopFieldFirst(int Value);
  void OptVideoTag(const std::string &Tag);
  void OptVideoChannel(int Channel);
  void OptVideoStandard(const std::string &Standard);

  // ===== Option handlers: audio and subtitles (option_handlers_audio.cpp) =====

  void OptAudioRate(int SampleRate);
  void OptAudioChannels(int Channels);
  void OptAudioCodec(const std::string &Name);
  void OptAudioTag(const std::string &Tag);
  void OptSubtitleCodec(const std::string &Name);

  // ===== Generic options (generic_options.cpp) =====

  // Sets Name on the first option holders that know it (codec holders per media type, then
  // the format and scaler holders, then, for an "a"/"v"/"s" prefix, the rest of the name on
  // that media type's holder). Options that FFmpeg keeps private to one codec or muxer are
  // collected per media type (or for the formats) and handed over when the codec or file is
  // opened. Names renamed since the option set was designed ("gop") are translated. False
  // when nothing took the option.
  bool SetDefaultOption(const std::string &Name, const std::string &Value);
  // Copies every option set through the generic path from Source to Target (objects with an
  // AVClass) as text, where the option's flags contain all bits of Flags.
  void ApplyDefaultOptions(void *Source, void *Target, int Flags);
  // The collected codec-private options of MediaType (0..4), added to *Target.
  void CopyCodecPrivateOptions(int MediaType, AVDictionary **Target) const;
  // The collected muxer- and demuxer-private options, added to *Target.
  void CopyFormatPrivateOptions(AVDictionary **Target) const;
  bool SetStrOption(const std::string &Name, const std::string &Value);
  bool SetIntOption(const std::string &Name, int Value);
  // "b", "vb", "ab": a generic option that warns about values given in kbit/s.
  void OptBitrate(const std::string &Name, const std::string &Value);

  // ===== Input (input.cpp) =====

  // Opens and registers one input; false with FLastErrorText set on failure.
  bool OpenInputFile(const std::string &FileName);
  // The same for a file on a disk named exactly as given (plain_file.h): anything else is
  // refused before it is opened, and no protocol but the file protocol is used.
  bool OpenPlainInputFile(const std::string &FileName);
  // Resolves a codec name of MediaType to its identifier; no name gives AV_CODEC_ID_NONE.
  // Encoder names go through the alias table first. False with FLastErrorText set.
  bool FindCodec(const std::string &Name, AVMediaType MediaType, AVCodecID &CodecId, bool Encoder);
  // The same, giving the codec itself (the encoder named, not the first of its kind).
  bool FindCodec(const std::string &Name, AVMediaType MediaType, const AVCodec *&Codec,
                 bool Encoder);
  void CheckInputStreamTypes(bool &HasVideo, bool &HasAudio, bool &HasSubtitle);

 private:
  bool TryOpenInputFile(const std::string &FileName);
  bool TryOpenPlainInputFile(const std::string &FileName);
  // The library opens Url (FileName, or its plain-file form); the messages name FileName.
  bool TryOpenInput(const std::string &FileName, const std::string &Url, bool PlainFile);
  void FillInputOpenOptions(AVDictionary **Options);
  void TakeOverInputStream(TInputFileContext &Input, int FileIndex, unsigned Index,
                           const std::string &FileName);
  void EndInputOpen();

 public:
  // ===== Output and streams (output.cpp, streams.cpp) =====

  // Creates and registers one output with its streams; false with FLastErrorText set.
  bool OpenOutputFile(const std::string &FileName);
  // The name output Index was written under (after the run it may differ from the name given,
  // when the given one was taken meanwhile and existing files are kept).
  std::string OutputFileName(int Index) const;
  void NewVideoStream(TOutputFileContext &Output);
  void NewAudioStream(TOutputFileContext &Output);
  void NewSubtitleStream(TOutputFileContext &Output);
  // A copied cover picture stream, for a kept cover the output's format can hold.
  void NewCoverStream(TOutputFileContext &Output);

 private:
  bool TryOpenOutputFile(const std::string &FileName);
  void EndOutputOpen();
  // The opened input that FileName names (by any path), or null.
  const TInputFileContext *InputAt(const std::string &FileName) const;
  bool CreateOutputStreams(TOutputFileContext &Output);
  // Whether a kept cover picture gets its own copied stream in a Format output; VideoMade: the
  // output has a video stream of its own.
  bool KeepsCover(const AVOutputFormat &Format, bool VideoMade) const;
  void SetOutputMetadata(AVFormatContext &Context);
  // An encoder context with the generic options of its media type (TypeOptionFlag: the
  // option flag of that type), once the codec is known.
  TCodecContextPtr NewEncoder(const AVCodec *Encoder, AVCodecID CodecId, AVMediaType MediaType,
                              int TypeOptionFlag);
  void ConfigureVideoEncoder(AVCodecContext &Enc, const AVCodec *Encoder,
                             const std::vector<RcOverride> &Overrides, bool MuxerWantsGlobalHeader);
  // The input's own rate is asked for and the input is variable-rate.
  bool KeepsSourceTiming() const;
  // The source's clock as Enc's time base, within what the encoder takes; false when the
  // source has none.
  bool KeepSourceTimestamps(AVCodecContext &Enc) const;

 public:
  // ===== Target presets (presets.cpp) =====

  void ApplyTarget(const std::string &TargetType, const std::string &Norm,
                   const std::string &DefaultNorm);
  void OptTarget(const std::string &Text);

  // ===== Frame hooks (option_handlers_video.cpp; the loader is frame_hook.cpp) =====

  // "vhook": adds one hook from its command line and turns the hooks on.
  void OptFrameHook(const std::string &CommandLine);
  TFrameHooks FHooks;
  // Picture-hook settings, read by the session's picture hooks when it is set up.
  struct THookSettings {
    AVPixelFormat RGBFormat = AV_PIX_FMT_BGR24;
    int BitmapFormat = 24;           // bits per pixel
    std::vector<THookRange> Ranges;  // sorted ascending by Stop
    int RangeIndex = 0;              // the first range looked at
    int RangeCount = 0;
  } FHookSettings;

  // ===== Notifications =====
  // Each is called only when assigned. All run on the worker thread during a session (or the
  // caller's thread for an unthreaded run); FOnLog also runs on the configuring thread while
  // options are applied.

  // ALevel: -1 the exception that ended the task, 0 errors, 1 information, 2 debug.
  std::function<void(TCustomFFmpeg *Sender, int ALevel, const std::string &AMsg)> FOnLog;
  std::function<void(TCustomFFmpeg *Sender, const TProgressInfo &AProgress)> FOnProgress;
  std::function<void(TCustomFFmpeg *Sender)> FOnTerminate;
  std::function<void(TCustomFFmpeg *Sender, THookAction &AHookAction, int64_t APTS)> FOnBeforeHook;
  std::function<void(TCustomFFmpeg *Sender, TBitmap *ABitmap, int AFrameNumber, int64_t APTS,
                     bool &AUpdate, bool &AStopHook)>
      FOnCustomHook;

  // Logs through FOnLog when it is assigned.
  void DoLog(int Level, const std::string &Message);

  // ===== Generic option holders (generic_options.cpp) =====
  // Receive values set by name; output and input set-up copy them onto the real contexts.

  std::array<TCodecContextPtr, MediaTypeCount> FCodecOptions;
  TOutputContextPtr FFormatOptions;
  TScalerPtr FScaleOptions;
  // Names (the libraries' own strings) of the options set on the holders, in order.
  std::vector<const char *> FOptionNames;
  // Options private to a codec, per media type, and to a muxer or demuxer.
  std::array<TDictionary, MediaTypeCount> FCodecPrivateOptions;
  TDictionary FFormatPrivateOptions;

  // The run flags and the owner's progress interval: InitDefaults leaves them alone;
  // construction and Reset clear the run flags.
  std::atomic<TFFmpegThread *> FThread{nullptr};  // cleared by DoTerminate
  std::unique_ptr<TFFmpegThread> FWorker;         // owns the worker for joining
  std::atomic<TTaskState> FState{TTaskState::Idle};
  const TTaskStateFlag FRunning{FState, TTaskState::Running};
  const TTaskStateFlag FTerminated{FState, TTaskState::Terminated};
  TPauseGate FPause;  // SignalStop, Pause and ResumeSession; the safe points wait on it
  const std::atomic<bool> &FStopRequested = FPause.StopFlag();
  std::atomic<bool> FFinished{false};
  int64_t FProgressIntervalUs = 500000;
  // Waits while paused (see Pause); returns at once when not paused or stopping.
  void WaitWhilePaused();

 protected:
  // Asks a running session to stop and waits until the worker has let go of the task. A
  // derived task calls it in its own destructor: the worker's last notification may still
  // use the derived part.
  void EndWorker();

 private:
  // The session fills the results and the names the outputs were written under.
  friend class TTranscodeSession;

  TSessionResults FResults;
  // The outputs' names as given, each replaced by the name written once it is in place; they
  // outlive the outputs, so the termination notification can still tell them.
  std::vector<std::string> FOutputFileNames;

  void ReleaseOptionHolders();
  // Runs one of the two openings and then its End (the reset of the per-file options);
  // whatever is thrown, the option state is restored first.
  bool OpenFile(bool (TCustomFFmpeg::*Open)(const std::string &), void (TCustomFFmpeg::*End)(),
                const std::string &FileName);
  void AllocateOptionHolders();
  // One crop side: Band receives Size, which is taken off Dimension.
  void SetCropBand(int &Band, int &Dimension, int Size, const char *Side, const char *Direction);
  void SetPadSize(int &Pad, int Size, const char *Side);
  // The picture with its pads. Each pad is only checked for being even, so a sum beyond the
  // int range stays at the largest int (the encoder refuses that size when it is opened).
  int PaddedWidth() const;
  int PaddedHeight() const;
  void SetCodecChoice(std::string &CodecName, int &StreamCopy, const std::string &Name);
  void SetMatrix(std::vector<uint16_t> &Matrix, const std::string &Text);
  uint32_t ParseTag(const std::string &Tag, const char *Kind);
  int64_t ParseTime(const std::string &Text, bool IsDuration, const char *OptionName);
  void TranslateFormatName(std::string &Name);
  TOutputFileContext &LastOutputFile();
};
