// The engine component: the application's handle on the conversion engine. It loads the
// media libraries, owns a media probe and a list of tasks (one per input file), starts them on
// worker threads or one after another on the main thread, and turns their notifications into
// its five events. The behaviour is in TCustomConvertEngine; TConvertEngine publishes it.
//
// Threads: every operation is called on the main thread (the thread that created the
// component, which runs a Qt event loop for the start timers of main-thread mode). Events run
// where each declaration says. Locks, in this order: the component registry, FLock, the log
// line buffers.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/component/av_probe.h"
#include "engine/component/option_records.h"

class QObject;

enum class TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// One task: an engine session with the option records that configured it.
class TFFmpeg : public TCustomFFmpeg {
 public:
  TFFmpeg();
  // Waits for a termination thread still delivering this task's end.
  ~TFFmpeg() override;

  int Index = -1;              // position in the task list
  std::thread::id ThreadID{};  // the thread running the task; none until started
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;

  void SetInputOptions(const TInputOptions &Options) { InputOptions = Options; }
  void SetOutputOptions(const TOutputOptions &Options) { OutputOptions = Options; }
  void ResetInputOptions() { InitInputOptions(InputOptions); }
  void ResetOutputOptions() { InitOutputOptions(OutputOptions); }
  // One "name=value" per line (CR LF, CR or LF), each through SetOption.
  void ApplyExtOptions(const std::string &Text);

  // Running: asks it to stop. Never started: its termination is delivered on a short-lived
  // thread (TDoTerminateThread), so the end still arrives. Ending or terminated: nothing.
  void Stop();

 private:
  std::thread FTerminateThread;
};

// The task list; owns its tasks. Every task's Index is its position.
class TFFmpegList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Throws std::out_of_range ("List index out of bounds (%d)") outside 0..Count-1.
  TFFmpeg &Items(int Index) const;
  void Add(std::unique_ptr<TFFmpeg> Task);
  // Frees the task and renumbers the following ones.
  void Delete(int Index) { Extract(Index); }
  void Clear() { ExtractAll(); }
  // Takes tasks out of the list (renumbering the rest) without freeing them.
  std::unique_ptr<TFFmpeg> Extract(int Index);
  std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
  TFFmpeg *FindByThreadID(std::thread::id ThreadID) const;

 private:
  std::vector<std::unique_ptr<TFFmpeg>> FItems;
};

class TCustomConvertEngine {
 public:
  TCustomConvertEngine();
  // Stops and frees the tasks (each delivers its termination), then leaves the registry.
  virtual ~TCustomConvertEngine();
  TCustomConvertEngine(const TCustomConvertEngine &) = delete;
  TCustomConvertEngine &operator=(const TCustomConvertEngine &) = delete;

  std::string LastErrorMsg;

  // ===== Properties =====
  TLogLevel LogLevel() const { return FLogLevel; }
  void SetLogLevel(TLogLevel Level);
  int ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(int Milliseconds);  // 100 or less is stored as 100
  TConvertPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TConvertPriority Priority) { FThreadPriority = Priority; }
  static const char *Version() { return "2.0b"; }

  // ===== Events =====
  // Assign them directly only while no task runs; otherwise through ChangeEvents.
  // On the task's thread (worker, or main thread in main-thread mode), without FLock.
  std::function<void(int AIndex, int64_t APTS, THookAction &AHookAction)> OnBeforeHook;
  std::function<void(int AIndex, TBitmap *ABitmap, int AFrameNumber, int64_t APTS, bool &AUpdate,
                     bool &AStopHook)>
      OnCustomHook;
  // On the thread that logged (a task's worker, the main thread, a library thread), under
  // FLock. AIndex -1: a line of no task.
  std::function<void(int AIndex, TLogLevel ALogLevel, const std::string &AMsg)> OnLog;
  // On the task's thread, under FLock.
  std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                     float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration)>
      OnProgress;
  // On the task's thread or a termination thread, under FLock. AIndex -1: the end-of-run
  // notice, once every task of the run has ended; its handler may free the tasks.
  std::function<void(int AIndex, bool AFinished, bool AException, const std::string &AMessage)>
      OnTerminate;

  // Assigns or clears events while tasks may be raising them, from any thread (also from
  // inside a handler): Change runs when no OnLog, OnProgress or OnTerminate is being
  // delivered, and every event raised afterwards sees its result. A hook handler called
  // before may still be running.
  void ChangeEvents(const std::function<void()> &Change);

  // ===== Operations (main thread) =====
  bool LoadAVLib(const std::string &Folder, bool UseVersionedNames);
  TAVProbe &Probe() { return *FProbe; }
  // A task for FileName; its index, or -1 with LastErrorMsg.
  int AddInputFile(const std::string &FileName, TInputOptions *Options = nullptr);
  // One output of task TaskIndex; false with LastErrorMsg. A bad index throws.
  bool AddOutputFile(int TaskIndex, const std::string &FileName, TOutputOptions *Options = nullptr);
  void RemoveTask(int TaskIndex);
  void ClearTasks();
  const TFFmpegList &Tasks() const { return FTasks; }

  // Worker count above 0: that many tasks at once on worker threads; 0 or less: one after
  // another on the main thread, each started by a 100 ms timer.
  void StartConvert(int WorkerCount);
  void StopConvert();
  void PauseConvert();
  void ResumeConvert();

  // Every registered component receives every library log line (see engine_log.h).
  static std::vector<TCustomConvertEngine *> RegisteredComponents();

 protected:
  // Stops the run and frees the tasks, each delivering its end to this component; then
  // leaves the registry. Called by the most derived destructor (again harmlessly by this one).
  void ShutDown();

  friend void DeliverLogLine(TCustomConvertEngine &Component, std::thread::id Thread, int Level,
                             const std::string &Line);
  virtual void DoBeforeHook(TFFmpeg *Task, THookAction &AHookAction, int64_t APTS);
  virtual void DoCustomHook(TFFmpeg *Task, TBitmap *ABitmap, int AFrameNumber, int64_t APTS,
                            bool &AUpdate, bool &AStopHook);
  virtual void DoLog(TFFmpeg *Task, int Level, const std::string &Text);
  virtual void DoProgress(TFFmpeg *Task, int AFrameNumber, int AFPS, int ACurrentDuration,
                          float AQuality, float ABitRate, int64_t ACurrentSize,
                          int ATotalOutputDuration);
  virtual void DoTerminate(TFFmpeg *Task);

 private:
  void StartNextTask();
  // Starts the task at Index unless the run was stopped or the list changed since
  // Generation (a start timer of main-thread mode may fire after either).
  void StartTask(int Index, uint64_t Generation);
  void EndOfRun();
  void ApplyOutputOptions(TFFmpeg &Task, TOutputOptions &Options);

  int FNextTask = -1;
  int FThreadCount = 0;
  TLogLevel FLogLevel = TLogLevel::llInfo;
  int FProgressInterval = 500;
  TConvertPriority FThreadPriority = TConvertPriority::tpNormal;
  std::unique_ptr<TAVProbe> FProbe;
  TFFmpegList FTasks;
  std::recursive_mutex FLock;
  // Guards the hook events, which are called without FLock: held only to copy or assign them.
  std::mutex FHookEventLock;
  // Changed under FLock by StartConvert, StopConvert, RemoveTask and ClearTasks; a start
  // timer of an older generation starts nothing.
  uint64_t FGeneration = 0;
  int FFinishedCount = 0;
  int FPendingCount = 0;
  int FRunTaskCount = 0;  // tasks in the list when the run started
  // Owns the start timers of main-thread mode; they die with it.
  std::unique_ptr<QObject> FTimerContext;
};

// The most derived destructor ends the tasks: a worker may call the virtual Do... operations
// until then, and they must not meet an object already half destroyed.
class TConvertEngine final : public TCustomConvertEngine {
 public:
  ~TConvertEngine() override { ShutDown(); }
};

// The engine's level (-1..3, and above) as the component's log level.
TLogLevel LogLevelOf(int Level);
// "start-end, ..." in milliseconds: the pairs kept, in microseconds, sorted by their ends.
std::vector<THookRange> ParseHookRanges(const std::string &Text);
// One assembled library log line to Component, with the task running on Thread (or none).
void DeliverLogLine(TCustomConvertEngine &Component, std::thread::id Thread, int Level,
                    const std::string &Line);
