// The engine component: the application's handle on the conversion engine. It loads the
// media libraries, owns a media probe and a list of tasks (one per input file, or one per
// converter command line), starts them on worker threads or one after another on the main
// thread, and turns their notifications into its five events. The behaviour is in
// TCustomConvertEngine; TConvertEngine publishes it. Nothing here includes a media library
// header: the tasks are only declared, and what the application needs of one it asks the
// component for.
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

#include "engine/FFMPEG/task_types.h"
#include "engine/component/av_probe.h"
#include "engine/component/option_records.h"

class QObject;
class TBitmap;  // the 24-bit picture handed to the custom hook
class TFFmpeg;  // one task (convert_task.h, for the component's own files and the tests)

enum class TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// The task list; owns its tasks. Every task's Index is its position.
class TFFmpegList {
 public:
  TFFmpegList();
  ~TFFmpegList();
  int Count() const { return static_cast<int>(FItems.size()); }
  // Throws std::out_of_range ("List index out of bounds (%d)") outside 0..Count-1.
  TFFmpeg &Items(int Index) const;
  void Add(std::unique_ptr<TFFmpeg> Task);
  // Frees the task and renumbers the following ones.
  void Delete(int Index);
  void Clear();
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
  std::function<void(int AIndex, const TProgressInfo &AProgress)> OnProgress;
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
  int TaskCount() const { return FTasks.Count(); }
  // The name output OutputIndex of task TaskIndex is written under: the name given, or once
  // the output is in place, the name it took (another one when existing files are kept). A
  // bad index throws. Main thread, or inside an event handler.
  std::string OutputFileName(int TaskIndex, int OutputIndex) const;

  // ===== A task from a media converter's command line (main thread) =====
  // The words are applied in order: options by SetTaskOption, inputs by AddTaskInput, outputs
  // by AddOutputFile without options. Each is false with LastErrorMsg; a bad index throws.

  // An empty task with the component's log level; its index.
  int AddTask();
  // Option Name ("-Name" on the command line) with Value, empty for an option without one.
  // "v" also becomes the component's log level, the libraries' level being process-wide.
  bool SetTaskOption(int TaskIndex, const std::string &Name, const std::string &Value);
  // Opens one more input, by its name as the libraries take it (protocols included).
  bool AddTaskInput(int TaskIndex, const std::string &FileName);
  // Whether option Name takes the next word as its value.
  static bool OptionTakesValue(const std::string &Name);
  // What a run of the task would write, as text: for each output "output #N muxer=NAME
  // file=PATH", then one line per stream "#N.S TYPE" with its encoder's settings, or
  // "copy=1" for a copied stream. Each line ends with a line feed.
  std::string DescribeOutputs(int TaskIndex) const;

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
  virtual void DoProgress(TFFmpeg *Task, const TProgressInfo &AProgress);
  virtual void DoTerminate(TFFmpeg *Task);

 private:
  void StartNextTask();
  // Starts the task at Index unless the run was stopped or the list changed since
  // Generation (a start timer of main-thread mode may fire after either).
  void StartTask(int Index, uint64_t Generation);
  void EndOfRun();
  void ApplyOutputOptions(TFFmpeg &Task, TOutputOptions &Options);
  // Routes the task's notifications to the Do... operations and appends it; its index.
  int AppendTask(std::unique_ptr<TFFmpeg> Task);

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
