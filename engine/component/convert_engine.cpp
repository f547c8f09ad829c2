// The engine component: loading the libraries, the task list, applying the option records
// to a new task, and the tasks' notifications as the component's events. Scheduling is in
// task_scheduling.cpp, the library log in engine_log.cpp. Main thread, except the Do...
// operations, which run where the task's notifications run.

#include "engine/component/convert_engine.h"

#include <sys/resource.h>

#include <QObject>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg_thread.h"
#include "engine/FFMPEG/log_levels.h"
#include "engine/binding/av_api.h"
#include "engine/component/convert_task.h"
#include "engine/component/engine_log.h"
#include "text/format_text.h"
#include "text/text_utils.h"

namespace {

// The engine's option value of a log level.
int EngineLevel(TLogLevel Level) {
  return static_cast<int>(Level) - 1;
}

std::string TagText(const char *Text, size_t Size) {
  return std::string(Text, strnlen(Text, Size));
}

// Days since 1899-12-30 in local time as seconds since 1970 UTC; 0 means now.
int64_t UnixTime(double Days) {
  if (Days == 0) return static_cast<int64_t>(std::time(nullptr));
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  const double BiasMinutes = -static_cast<double>(Local.tm_gmtoff) / 60;
  return std::llround((Days - 25569 + BiasMinutes / 1440) * 86400);
}

}  // namespace

TLogLevel LogLevelOf(int Level) {
  if (Level < 0) return TLogLevel::llQuiet;
  if (Level >= 3) return TLogLevel::llAll;
  return static_cast<TLogLevel>(Level + 1);
}

// ===== Tasks =====

TFFmpeg::TFFmpeg() = default;

TFFmpeg::~TFFmpeg() {
  EndWorker();
  if (FTerminateThread.joinable()) {
    if (FTerminateThread.get_id() == std::this_thread::get_id())
      FTerminateThread.detach();
    else
      FTerminateThread.join();
  }
}

void TFFmpeg::ApplyExtOptions(const std::string &Text) {
  std::string Rest = TrimmedText(Text);
  std::string Lines;
  for (size_t I = 0; I < Rest.size(); ++I) {
    if (Rest[I] == '\r') {
      Lines += '\n';
      if (I + 1 < Rest.size() && Rest[I + 1] == '\n') ++I;
    } else {
      Lines += Rest[I];
    }
  }
  size_t Start = 0;
  while (Start < Lines.size()) {
    size_t End = Lines.find('\n', Start);
    if (End == std::string::npos) End = Lines.size();
    const std::string Line = Lines.substr(Start, End - Start);
    const size_t Equals = Line.find('=');
    if (Equals == std::string::npos)
      SetOption(Line, "");
    else
      SetOption(Line.substr(0, Equals), Line.substr(Equals + 1));
    Start = End + 1;
  }
}

void TFFmpeg::Stop() {
  if (!StopOrClaimEnd()) return;
  // TDoTerminateThread: the end of a task that never started, at idle priority.
  FTerminateThread = std::thread([this] {
    const int Nice = NiceValue(TThreadPriority::tpIdle);
    setpriority(PRIO_PROCESS, 0, Nice);
    DoTerminate();
  });
}

TFFmpegList::TFFmpegList() = default;
TFFmpegList::~TFFmpegList() = default;

void TFFmpegList::Delete(int Index) {
  Extract(Index);
}

void TFFmpegList::Clear() {
  ExtractAll();
}

TFFmpeg &TFFmpegList::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw std::out_of_range(FormatText("List index out of bounds (%d)", Index));
  return *FItems[Index];
}

void TFFmpegList::Add(std::unique_ptr<TFFmpeg> Task) {
  Task->Index = Count();
  FItems.push_back(std::move(Task));
}

std::unique_ptr<TFFmpeg> TFFmpegList::Extract(int Index) {
  Items(Index);
  std::unique_ptr<TFFmpeg> Task = std::move(FItems[Index]);
  FItems.erase(FItems.begin() + Index);
  for (int I = Index; I < Count(); ++I) FItems[I]->Index = I;
  return Task;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::ExtractAll() {
  return std::exchange(FItems, {});
}

TFFmpeg *TFFmpegList::FindByThreadID(std::thread::id ThreadID) const {
  for (const std::unique_ptr<TFFmpeg> &Task : FItems)
    if (Task && Task->ThreadID == ThreadID) return Task.get();
  return nullptr;
}

// ===== Component =====

TCustomConvertEngine::TCustomConvertEngine()
    : FProbe(std::make_unique<TAVProbe>()), FTimerContext(std::make_unique<QObject>()) {
  RegisterComponent(this);
}

TCustomConvertEngine::~TCustomConvertEngine() {
  ShutDown();
  FProbe.reset();
}

void TCustomConvertEngine::ShutDown() {
  FTimerContext.reset();
  // A run in progress ends: tasks that never started still deliver their ends, running ones
  // end and deliver theirs. Tasks outside a run are only freed.
  bool InRun;
  {
    std::lock_guard Lock(FLock);
    InRun = FFinishedCount < FRunTaskCount;
  }
  if (InRun) StopConvert();
  ClearTasks();
  UnregisterComponent(this);
  std::lock_guard Wait(FLock);
}

void TCustomConvertEngine::SetLogLevel(TLogLevel Level) {
  FLogLevel = Level;
  if (AVLibsLoaded()) {
    av::av_log_set_level(LibraryLogLevel(EngineLevel(Level)));
    RefreshAVLogLevel();
  }
}

void TCustomConvertEngine::SetProgressInterval(int Milliseconds) {
  FProgressInterval = std::max(Milliseconds, 100);
}

bool TCustomConvertEngine::LoadAVLib(const std::string &Folder, bool UseVersionedNames) {
  if (!LoadAVLibs(Folder, UseVersionedNames)) {
    LastErrorMsg = AVLibsLoadError();
    return false;
  }
  InstallEngineLogCallback();
  SetLogLevel(FLogLevel);
  return true;
}

int TCustomConvertEngine::AddInputFile(const std::string &FileName, TInputOptions *Options) {
  auto Task = std::make_unique<TFFmpeg>();
  try {
    Task->Reset();
    Task->OptVerbose(EngineLevel(FLogLevel));
    if (Options) {
      if (Options->FileName.empty()) Options->FileName = FileName;
      Task->SetInputOptions(*Options);
      Task->ApplyExtOptions(Options->ExtOptions);
      if (!Options->ForceFormat.empty()) Task->OptInputFormat(Options->ForceFormat);
      Task->SetStartTime(static_cast<int64_t>(Options->TimeStart) * 1000);
      Task->SetProgramId(Options->ProgramID);
      // Before the input opens: its decoders take the count when they are created.
      if (Options->CodecThreads > 0) Task->EditOptions().FThreadCount = Options->CodecThreads;
      if (Options->AutoRotate) Task->SetOption("autorotate", "");
    }
    const bool Opened = Options && Options->PlainFileOnly ? Task->OpenPlainInputFile(FileName)
                                                          : Task->OpenInputFile(FileName);
    if (!Opened) {
      LastErrorMsg = Task->FLastErrorText;
      return -1;
    }
  } catch (const std::exception &Error) {
    LastErrorMsg = Error.what();
    return -1;
  }
  return AppendTask(std::move(Task));
}

int TCustomConvertEngine::AppendTask(std::unique_ptr<TFFmpeg> Task) {
  TFFmpeg *Added = Task.get();
  Added->FOnLog = [this, Added](TCustomFFmpeg *, int Level, const std::string &Text) {
    DoLog(Added, Level, Text);
  };
  Added->FOnProgress = [this, Added](TCustomFFmpeg *, const TProgressInfo &Progress) {
    DoProgress(Added, Progress);
  };
  Added->FOnTerminate = [this, Added](TCustomFFmpeg *) { DoTerminate(Added); };
  std::lock_guard Lock(FLock);
  FTasks.Add(std::move(Task));
  return Added->Index;
}

std::string TCustomConvertEngine::OutputFileName(int TaskIndex, int OutputIndex) const {
  return FTasks.Items(TaskIndex).OutputFileName(OutputIndex);
}

bool TCustomConvertEngine::AddOutputFile(int TaskIndex, const std::string &FileName,
                                         TOutputOptions *Options) {
  TFFmpeg &Task = FTasks.Items(TaskIndex);
  try {
    if (Options) {
      if (Options->FileName.empty()) Options->FileName = FileName;
      Task.SetOutputOptions(*Options);
      ApplyOutputOptions(Task, *Options);
    } else {
      Task.ResetOutputOptions();
    }
    Task.FLastErrorCause.clear();
    if (!Task.OpenOutputFile(FileName)) {
      LastErrorMsg = Task.FLastErrorText;
      if (!Task.FLastErrorCause.empty()) LastErrorMsg += ": " + Task.FLastErrorCause;
      return false;
    }
  } catch (const std::exception &Error) {
    LastErrorMsg = Error.what();
    return false;
  }
  return true;
}

std::vector<THookRange> ParseHookRanges(const std::string &Text) {
  auto Number = [](const std::string &Part) -> int64_t {
    const std::string Trimmed = TrimmedText(Part);
    if (Trimmed.empty()) return -1;
    char *End = nullptr;
    const long long Value = std::strtoll(Trimmed.c_str(), &End, 10);
    return *End == 0 ? Value : -1;
  };
  std::vector<THookRange> Ranges;
  const std::string All = TrimmedText(Text);
  size_t Start = 0;
  while (!All.empty() && Start <= All.size()) {
    size_t Comma = All.find(',', Start);
    if (Comma == std::string::npos) Comma = All.size();
    const std::string Piece = TrimmedText(All.substr(Start, Comma - Start));
    const size_t Dash = Piece.find('-');
    const int64_t From = Number(Piece.substr(0, Dash)) * 1000;
    const int64_t To = Dash == std::string::npos ? -1000 : Number(Piece.substr(Dash + 1)) * 1000;
    if (To >= From && To >= 0) Ranges.push_back({From, To});
    Start = Comma + 1;
  }
  std::stable_sort(Ranges.begin(), Ranges.end(),
                   [](const THookRange &A, const THookRange &B) { return A.Stop < B.Stop; });
  return Ranges;
}

void TCustomConvertEngine::ApplyOutputOptions(TFFmpeg &Task, TOutputOptions &O) {
  auto Named = [&Task](const char *Name, int Value, bool Given) {
    if (Given) Task.SetOption(Name, std::to_string(Value));
  };
  auto Text = [&Task](const char *Name, const std::string &Value) {
    if (!Value.empty()) Task.SetOption(Name, Value);
  };
  auto Tag = [&Task](const char *Name, const std::string &Value) {
    if (Value.empty()) return;
    if (Value.size() != 4) throw FFMpegException(FormatText("Invalid %s: %s", Name, Value.c_str()));
    Task.SetOption(Name, Value);
  };
  Task.ApplyExtOptions(O.ExtOptions);
  if (O.KeepExisting) Task.SetOption("n", "");
  Task.EditOptions().FRemoveStoppedOutput = O.RemoveWhenStopped;
  if (!O.ForceFormat.empty()) Task.OptOutputFormat(O.ForceFormat);
  Named("packetsize", O.PacketSize, O.PacketSize > 0);
  Named("muxrate", O.MuxRate, O.MuxRate > 0);
  Task.SetMuxMaxDelay(O.MuxDelay);
  Task.SetMuxPreload(O.MuxPreload);
  Text("acodec", O.AudioCodec);
  if (O.DisableAudio) Task.SetOption("an", "");
  Task.SetAudioVolume(O.AudioVolume);
  Named("ac", O.AudioChannels, O.AudioChannels > 0);
  // The channel count holds the input's until "ac" sets one.
  if (O.AudioChannelLimit > 0 && Task.Options().FAudioChannels > O.AudioChannelLimit)
    Named("ac", O.AudioChannelLimit, true);
  Named("ar", O.AudioSampleRate, O.AudioSampleRate > 0);
  Named("ab", O.AudioBitrate, O.AudioBitrate > 0);
  Named("abt", O.AudioBitrateTolerance, O.AudioBitrateTolerance > 0);
  Task.EditOptions().FAudioLanguage = O.AudioLanguage;
  Task.SetAudioSyncMethod(O.AudioSync);
  Tag("atag", O.AudioTag);
  Text("vcodec", O.VideoCodec);
  if (O.DisableVideo) Task.SetOption("vn", "");
  Text("r", O.FrameRate);
  Text("s", O.FrameSize);
  Text("aspect", O.AspectRatio);
  const std::pair<const char *, int> Bands[] = {
      {"croptop", O.CropTop},     {"cropbottom", O.CropBottom}, {"cropleft", O.CropLeft},
      {"cropright", O.CropRight}, {"padtop", O.PadTop},         {"padbottom", O.PadBottom},
      {"padleft", O.PadLeft},     {"padright", O.PadRight}};
  for (const auto &[Name, Value] : Bands) Named(Name, Value, Value >= 0);
  Task.OptPadColor(O.PadColor);
  Named("gop", O.GOPSize, O.GOPSize > 0);
  Named("vb", O.VideoBitrate, O.VideoBitrate > 0);
  Named("maxrate", O.VideoMaxRate, O.VideoMaxRate > 0);
  Named("minrate", O.VideoMinRate, O.VideoMinRate > 0);
  Named("bt", O.VideoBitrateTolerance, O.VideoBitrateTolerance > 0);
  Named("bufsize", O.VideoBufferSize, O.VideoBufferSize > 0);
  Task.SetVideoSyncMethod(O.VideoSync);
  Tag("vtag", O.VideoTag);
  Text("pix_fmt", O.PixelFormat);
  // Named for video only: "profile" would reach the audio encoder too.
  Named("vprofile", O.VideoProfile, O.VideoProfile >= 0);
  if (O.DisableSubtitle) Task.SetOption("sn", "");
  Task.EditOptions().FSubtitleLanguage = O.SubtitleLanguage;
  Task.EditOptions().FCopyTs = O.CopyTimestamps;
  if (O.KeepSourceTags) Task.SetOption("keep_tags", "");
  if (O.PreferDefaultStreams) Task.SetOption("default_streams", "");
  if (O.KeepSourceTiming) Task.SetOption("source_timing", "");
  Task.SetRecordingTimeMs(O.RecordingTime);
  if (O.Timestamp >= 0) Task.EditOptions().FRecTimestamp = UnixTime(O.Timestamp);
  Task.SetYear(O.Year);
  Task.SetTrack(O.Track);
  Task.SetTitle(TagText(O.Title, sizeof O.Title));
  Task.SetAuthor(TagText(O.Author, sizeof O.Author));
  Task.SetCopyright(TagText(O.Copyright, sizeof O.Copyright));
  Task.SetComment(TagText(O.Comment, sizeof O.Comment));
  Task.SetAlbum(TagText(O.Album, sizeof O.Album));
  Task.SetGenre(TagText(O.Genre, sizeof O.Genre));
  if (O.TargetType >= 1 && O.TargetType <= 3) {
    const char *Types[] = {"vcd", "svcd", "dvd"};
    const char *Norm = O.TargetNorm == 1 ? "pal" : O.TargetNorm == 2 ? "ntsc" : "auto";
    Task.ApplyTarget(Types[O.TargetType - 1], Norm, O.DefaultNorm == 1 ? "pal" : "ntsc");
  }
  if (O.CustomHook) {
    Task.FOnCustomHook = [this, &Task](TCustomFFmpeg *, TBitmap *Bitmap, int Frame, int64_t Pts,
                                       bool &Update, bool &StopHook) {
      DoCustomHook(&Task, Bitmap, Frame, Pts, Update, StopHook);
    };
  } else if (O.BeforeHook) {
    Task.FOnBeforeHook = [this, &Task](TCustomFFmpeg *, THookAction &Action, int64_t Pts) {
      DoBeforeHook(&Task, Action, Pts);
    };
  } else {
    Task.FHookSettings.Ranges = ParseHookRanges(O.HookRanges);
    Task.FHookSettings.RangeCount = static_cast<int>(Task.FHookSettings.Ranges.size());
    Task.FHookSettings.RangeIndex = 0;
  }
}

// Tasks leave the list under FLock (the log reads it from other threads) and are freed
// outside it: freeing waits for a worker that may still need the lock to terminate.
void TCustomConvertEngine::RemoveTask(int TaskIndex) {
  std::unique_ptr<TFFmpeg> Task;
  {
    std::lock_guard Lock(FLock);
    Task = FTasks.Extract(TaskIndex);
    ++FGeneration;
  }
}

void TCustomConvertEngine::ClearTasks() {
  std::vector<std::unique_ptr<TFFmpeg>> Tasks;
  {
    std::lock_guard Lock(FLock);
    Tasks = FTasks.ExtractAll();
    ++FGeneration;
  }
  Tasks.clear();
  LastErrorMsg.clear();
  FThreadCount = 0;
}

// ===== Events =====

// FLock for the events delivered under it, the hook lock for the two copied under it.
void TCustomConvertEngine::ChangeEvents(const std::function<void()> &Change) {
  std::lock_guard Lock(FLock);
  std::lock_guard Hooks(FHookEventLock);
  Change();
}

// The hooks run once per picture and concurrently for different tasks: each call takes a
// copy of the handler, and the handler runs without any of the component's locks.
void TCustomConvertEngine::DoBeforeHook(TFFmpeg *Task, THookAction &AHookAction, int64_t APTS) {
  decltype(OnBeforeHook) Handler;
  {
    std::lock_guard Lock(FHookEventLock);
    Handler = OnBeforeHook;
  }
  if (Handler) Handler(Task->Index, APTS, AHookAction);
}

void TCustomConvertEngine::DoCustomHook(TFFmpeg *Task, TBitmap *ABitmap, int AFrameNumber,
                                        int64_t APTS, bool &AUpdate, bool &AStopHook) {
  decltype(OnCustomHook) Handler;
  {
    std::lock_guard Lock(FHookEventLock);
    Handler = OnCustomHook;
  }
  if (Handler) Handler(Task->Index, ABitmap, AFrameNumber, APTS, AUpdate, AStopHook);
}

void TCustomConvertEngine::DoLog(TFFmpeg *Task, int Level, const std::string &Text) {
  std::lock_guard Lock(FLock);
  if (OnLog) OnLog(Task ? Task->Index : -1, LogLevelOf(Level), Text);
}

void TCustomConvertEngine::DoProgress(TFFmpeg *Task, const TProgressInfo &AProgress) {
  std::lock_guard Lock(FLock);
  if (OnProgress) OnProgress(Task->Index, AProgress);
}
