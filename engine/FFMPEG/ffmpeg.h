// The conversion task: one TCustomFFmpeg is one transcoding run configured the way a media
// converter's command line configures it. Options arrive by name (SetOption) or through typed
// setters; inputs and outputs are added in order; the transcoding session reads the resulting
// state. The class is implemented over several files, one per concern; each banner below names
// the concern and the file that implements it.
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
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/frame_hook.h"
#include "engine/binding/av_owners.h"

class TCustomFFmpeg;
class TFFmpegThread;  // the worker thread of a running task
class TBitmap;        // the 24-bit picture handed to the custom hook
struct TInputStream;  // per-stream records built by the transcoding session
struct TOutputStream;

// Raised where the engine asserts a precondition of its caller (the four-character tags);
// deliberately not an FFMpegException.
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

enum class THookAction { haContinue, haIgnore, haStop };

struct TFileClose {
  void operator()(std::FILE *File) const { std::fclose(File); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileClose>;

// "map": the input stream to use and the input stream whose clock drives synchronisation.
struct TStreamMap {
  int FileIndex;
  int StreamIndex;
  int SyncFileIndex;
  int SyncStreamIndex;
};

// "map_meta_data": copy the metadata of input InFile to output OutFile.
struct TMetaDataMap {
  int OutFile;
  int InFile;
};

// One opened input. Streams carry only codec parameters, so the decoder contexts live here,
// one per stream and indexed like Context->streams.
struct TInputFileContext {
  TInputContextPtr Context;
  std::vector<TCodecContextPtr> Decoders;
  int RateEmu = 0;  // "re" when the input was opened: read at the input's native rate
};

// One created output stream. The encoder context (null for a stream copy) carries the encoder
// settings until the session opens it; it frees its own intra_matrix, inter_matrix and
// rc_override, so it must be given its own av_malloc'ed copies of the task's tables.
struct TOutputStreamContext {
  TCodecContextPtr Encoder;
  bool StreamCopy = false;
  float Quality = 0;           // the stream's quality (qscale in lambda units)
  TDictionary EncoderOptions;  // codec-private options for avcodec_open2
};

// One created output: the muxer context, its streams' encoder settings (indexed like
// Context->streams) and the muxer-private options for avformat_write_header. Destroying it
// closes the file, frees everything, and removes the file again when it is left empty.
struct TOutputFileContext {
  TOutputContextPtr Context;
  std::vector<std::unique_ptr<TOutputStreamContext>> Streams;
  TDictionary MuxerOptions;
  ~TOutputFileContext();
};

// A window of input time, in microseconds, in which the frame hooks run.
struct THookRange {
  int64_t Start;
  int64_t Stop;
};

// Fixed capacities of the option state.
constexpr int MaxFiles = 20;    // inputs, and outputs
constexpr int MaxStreams = 20;  // streams per input with a timestamp scale
constexpr int MaxStreamMaps = 20;
constexpr int MaxMetaDataMaps = 20;
constexpr int MediaTypeCount = 5;  // video, audio, data, subtitle, attachment
constexpr float NoAudioQScale = -99999;

// The option state of a task: written by the option handlers and by input and output set-up,
// read by the transcoding session. Every default is the member's initialiser; InitDefaults
// assigns a fresh value, so the defaults are written in this one place.
struct TFFmpegOptionState {
  // ===== Option state: files and maps =====

  std::array<std::unique_ptr<TInputFileContext>, MaxFiles> FInputFiles;
  int FInputFileCount = 0;
  std::array<int64_t, MaxFiles> FInputFilesTsOffset{};
  std::array<std::array<double, MaxStreams>, MaxFiles> FInputFilesTsScale{};  // 0 = none
  std::array<std::unique_ptr<TOutputFileContext>, MaxFiles> FOutputFiles;
  int FOutputFileCount = 0;
  std::array<TStreamMap, MaxStreamMaps> FStreamMaps{};
  int FStreamMapCount = 0;
  std::array<TMetaDataMap, MaxMetaDataMaps> FMetaDataMaps{};
  int FMetaDataMapCount = 0;

  // ===== Option state: format, picture and video =====

  const AVInputFormat *FInputFormat = nullptr;
  const AVOutputFormat *FOutputFormat = nullptr;
  int FFrameWidth = 0;
  int FFrameHeight = 0;
  float FFrameAspectRatio = 0;
  AVPixelFormat FFramePixFmt = AV_PIX_FMT_NONE;
  AVSampleFormat FAudioSampleFmt = AV_SAMPLE_FMT_NONE;
  int FFramePadTop = 0;
  int FFramePadBottom = 0;
  int FFramePadLeft = 0;
  int FFramePadRight = 0;
  std::array<int, 3> FPadColor{16, 128, 128};  // Y, U, V
  int FFrameTopBand = 0;
  int FFrameBottomBand = 0;
  int FFrameLeftBand = 0;
  int FFrameRightBand = 0;
  // Indexed by media type: video, audio, data, subtitle.
  std::array<int, 4> FMaxFrames{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  AVRational FFrameRate{0, 0};
  float FVideoQScale = 0;
  TAVOwned<uint16_t> FIntraMatrix;  // 64 coefficients
  TAVOwned<uint16_t> FInterMatrix;
  std::string FVideoRcOverride;
  int FVideoDisable = 0;
  int FVideoDiscard = 0;
  std::string FVideoCodecName;
  uint32_t FVideoCodecTag = 0;
  int FVideoStreamCopy = 0;
  int FSameQuality = 0;
  int FDoDeinterlace = 0;
  int FTopFieldFirst = -1;
  int FMeThreshold = 0;
  int FIntraDcPrecision = 8;
  int FIntraOnly = 0;
  int FQpHist = 0;
  int FVideoSyncMethod = -1;
  int FVideoGlobalHeader = 0;
  int FVideoChannel = 0;
  std::string FVideoStandard;
  bool FUsingVHook = false;

  // ===== Option state: audio and subtitles =====

  int FAudioSampleRate = 44100;
  float FAudioQScale = NoAudioQScale;
  int FAudioDisable = 0;
  int FAudioChannels = 2;
  std::string FAudioCodecName;
  uint32_t FAudioCodecTag = 0;
  int FAudioStreamCopy = 0;
  std::string FAudioLanguage;
  int FAudioVolume = 256;  // 256 = unchanged
  int FAudioSyncMethod = 0;
  float FAudioDriftThreshold = 0.1f;
  int FSubtitleDisable = 0;
  std::string FSubtitleCodecName;
  int FSubtitleStreamCopy = 0;
  std::string FSubtitleLanguage;

  // ===== Option state: muxing, timing, metadata and run control =====

  float FMuxPreload = 0.5f;  // seconds
  float FMuxMaxDelay = 0.7f;
  int64_t FRecordingTime = INT64_MAX;  // microseconds
  int FOutputDurationMs = -1;          // expected output duration for progress reports
  int64_t FStartTime = 0;
  int64_t FRecTimestamp = 0;  // seconds since 1970-01-01 UTC
  int64_t FInputTsOffset = 0;
  std::string FTitle;
  std::string FAuthor;
  std::string FCopyright;
  std::string FComment;
  std::string FGenre;
  std::string FAlbum;
  int FYear = 0;
  int FTrack = 0;
  int64_t FLimitFileSize = 0;  // bytes, 0 = no limit
  bool FCopyTs = false;
  int FShortest = 0;
  int FInputSync = 0;
  int FRateEmu = 0;
  int FLoopInput = 0;
  int FLoopOutput = -1;
  int FProgramId = 0;
  int FDoPass = 0;
  std::string FPassLogFileName;
  float FDtsDeltaThreshold = 10.0f;
  int FDoHexDump = 0;
  int FDoPktDump = 0;
  int FDoPsnr = 0;
  std::string FVStatsFileName;
  TFilePtr FVStatsFile;
  int FVerbose = 1;      // engine scale -1..3, translated when the library level is set
  int FThreadCount = 0;  // 0 = the libraries' automatic choice
  int FPgmyuvCompatibilityHack = 0;
  int FSwsFlags = SWS_BICUBIC;
  int FBitBufferSize = 262144;
};

// The session state of a task besides its options; reset with them by InitDefaults.
struct TFFmpegSessionState {
  bool FExceptionRaised = false;
  std::string FExceptionMessage;
  std::string FLastErrorText;  // the last open failure (inputs, outputs, codec look-ups)
  int64_t FTimerStart = 0;
  int64_t FVideoSize = 0;
  int64_t FAudioSize = 0;
  int64_t FExtraSize = 0;
  int FFramesDup = 0;
  int FFramesDrop = 0;
  TAVOwned<uint8_t> FBitBuffer;
  // Codecs opened by the session, most recent first; closed at its end. Not owned.
  std::list<TOutputStream *> FOpenedEncoders;
  std::list<TInputStream *> FOpenedDecoders;

  // Picture-hook state of the video path.
  TAVOwned<uint8_t> FHookBuffer;
  int FHookBufferSize = 0;
  AVPixelFormat FHookRGBFormat = AV_PIX_FMT_BGR24;
  TAVOwned<uint8_t> FRGBBuffer;
  int FRGBBufferSize = 0;
  TScalerPtr FToRGBContext;
  TScalerPtr FFromRGBContext;
  int FHookFrameNumber = 0;
  THookAction FHookAction = THookAction::haContinue;
  std::vector<THookRange> FHookRanges;  // sorted ascending by Stop
  int FHookRangeIndex = 0;
  int FHookRangeCount = 0;
};

class TCustomFFmpeg : public TFFmpegOptionState, public TFFmpegSessionState {
 public:
  // ===== Session (option_state.cpp) =====

  TCustomFFmpeg();
  // Asks a running session to stop, waits until the worker has let go of the task, then
  // releases everything.
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg &) = delete;
  TCustomFFmpeg &operator=(const TCustomFFmpeg &) = delete;

  // Writes every default of the option and session state and empties the file lists, maps
  // and hooks. Leaves the notifications, the worker thread and the progress interval alone.
  void InitDefaults();
  // With the libraries loaded: ReleaseAll, InitDefaults, clears the run flags and allocates
  // the generic option holders. Without them: nothing.
  void Reset();
  // Frees everything the task holds (with the libraries loaded): option holders, outputs
  // (an output file left empty is removed), inputs, option buffers, statistics file, hooks
  // and picture buffers.
  void ReleaseAll();
  void SignalStop();

  // ===== Option dispatcher (options.cpp) =====

  // Runs the handler of Name (exact, case-sensitive); any other name goes to
  // SetDefaultOption, whose result is not reported. Refusals raise FFMpegException.
  void SetOption(const std::string &Name, const std::string &Value);

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
  // Resolves a codec name of MediaType to its identifier; no name gives AV_CODEC_ID_NONE.
  // Encoder names go through the alias table first. False with FLastErrorText set.
  bool FindCodec(const std::string &Name, AVMediaType MediaType, AVCodecID &CodecId, bool Encoder);
  // The same, giving the codec itself (the encoder named, not the first of its kind).
  bool FindCodec(const std::string &Name, AVMediaType MediaType, const AVCodec *&Codec,
                 bool Encoder);
  void CheckInputStreamTypes(bool &HasVideo, bool &HasAudio, bool &HasSubtitle);

 private:
  bool TryOpenInputFile(const std::string &FileName);
  void FillInputOpenOptions(AVDictionary **Options);
  void TakeOverInputStream(TInputFileContext &Input, unsigned Index, const std::string &FileName);
  void EndInputOpen();

 public:
  // ===== Output and streams (output.cpp, streams.cpp) =====

  // Creates and registers one output with its streams; false with FLastErrorText set.
  bool OpenOutputFile(const std::string &FileName);
  void NewVideoStream(TOutputFileContext &Output);
  void NewAudioStream(TOutputFileContext &Output);
  void NewSubtitleStream(TOutputFileContext &Output);

 private:
  bool TryOpenOutputFile(const std::string &FileName);
  bool CreateOutputStreams(TOutputFileContext &Output);
  void SetOutputMetadata(AVFormatContext &Context);
  // An encoder context with the generic options of its media type (TypeOptionFlag: the
  // option flag of that type), once the codec is known.
  TCodecContextPtr NewEncoder(const AVCodec *Encoder, AVCodecID CodecId, AVMediaType MediaType,
                              int TypeOptionFlag);
  void ConfigureVideoEncoder(AVCodecContext &Enc, const AVCodec *Encoder,
                             const std::vector<RcOverride> &Overrides, bool MuxerWantsGlobalHeader);

 public:
  // ===== Target presets (presets.cpp) =====

  void ApplyTarget(const std::string &TargetType, const std::string &Norm,
                   const std::string &DefaultNorm);
  void OptTarget(const std::string &Text);

  // ===== Frame hooks (option_handlers_video.cpp; the loader is frame_hook.cpp) =====

  // "vhook": adds one hook from its command line and turns the hooks on.
  void OptFrameHook(const std::string &CommandLine);
  TFrameHooks FHooks;

  // ===== Notifications =====
  // Each is called only when assigned. All run on the worker thread during a session (or the
  // caller's thread for an unthreaded run); FOnLog also runs on the configuring thread while
  // options are applied.

  // ALevel: -1 the exception that ended the task, 0 errors, 1 information, 2 debug.
  std::function<void(TCustomFFmpeg *Sender, int ALevel, const std::string &AMsg)> FOnLog;
  std::function<void(TCustomFFmpeg *Sender, int AFrameNumber, int AFPS, int ACurrentDuration,
                     float AQuality, float ABitRate, int64_t ACurrentSize,
                     int ATotalOutputDuration)>
      FOnProgress;
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
  std::atomic<TFFmpegThread *> FThread{nullptr};  // not owned: the thread frees itself
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  int64_t FProgressIntervalUs = 500000;

 private:
  void ReleaseOptionHolders();
  void AllocateOptionHolders();
  // One crop side: Band receives Size, which is taken off Dimension.
  void SetCropBand(int &Band, int &Dimension, int Size, const char *Side, const char *Direction);
  void SetPadSize(int &Pad, int Size, const char *Side);
  // The picture with its pads. Each pad is only checked for being even, so a sum beyond the
  // int range stays at the largest int (the encoder refuses that size when it is opened).
  int PaddedWidth() const;
  int PaddedHeight() const;
  void SetCodecChoice(std::string &CodecName, int &StreamCopy, const std::string &Name);
  void SetMatrix(TAVOwned<uint16_t> &Matrix, const std::string &Text);
  uint32_t ParseTag(const std::string &Tag, const char *Kind);
  int64_t ParseTime(const std::string &Text, bool IsDuration, const char *OptionName);
  void TranslateFormatName(std::string &Name);
  TOutputFileContext &LastOutputFile();
};
