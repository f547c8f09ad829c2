// tarnwick-cli engine: one task of the engine component configured from a media converter's
// command line. The task is set up exactly as the component sets up any task (options in
// order, inputs opened, outputs and their streams created); with --dry-run it prints what the
// component says each output would get, otherwise the component converts on a worker thread,
// with a progress line on a terminal and Ctrl-C (or SIGTERM, SIGHUP) stopping the conversion
// cleanly (the outputs are finished with their trailers).

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/cli/cli_interrupt.h"
#include "app/cli/terminal_line.h"
#include "cli_commands.h"
#include "engine/component/convert_engine.h"
#include "text/format_text.h"

namespace {

// True when "-y" is one of the switches (not the value of another option): an existing
// output may then be replaced. Outputs are created as they come, so this is known up front.
bool MayOverwrite(const TCliArguments &Words) {
  for (size_t I = 0; I < Words.size(); ++I) {
    const std::string &Word = Words[I];
    if (Word.size() < 2 || Word[0] != '-') continue;
    if (Word == "-y") return true;
    if (TConvertEngine::OptionTakesValue(Word.substr(1))) ++I;
  }
  return false;
}

// Applies the words in order to task Task of Engine. False after printing the reason of a
// refusal or failed open.
bool SetUp(TConvertEngine &Engine, int Task, const TCliArguments &Words, bool DryRun) {
  const bool Overwrite = !DryRun && MayOverwrite(Words);
  auto Refused = [&Engine] {
    std::fprintf(stderr, "%s\n", Engine.LastErrorMsg.c_str());
    return false;
  };
  // Without -y, a file that appears while converting is not replaced either.
  if (!Overwrite && !Engine.SetTaskOption(Task, "n", "")) return Refused();
  bool AnyOutput = false;
  for (size_t I = 0; I < Words.size(); ++I) {
    const std::string &Word = Words[I];
    if (Word.size() < 2 || Word[0] != '-') {
      // Creating an output replaces the file: a user's file is replaced only when asked (and
      // never by a dry run, whose release removes the emptied file again).
      std::error_code Ignored;
      if (std::filesystem::exists(Word, Ignored) && !Overwrite) {
        if (DryRun)
          std::fprintf(stderr, "%s: file exists; a dry run does not replace files\n", Word.c_str());
        else
          std::fprintf(stderr, "%s: file exists; add -y to replace it\n", Word.c_str());
        return false;
      }
      if (!Engine.AddOutputFile(Task, Word)) return Refused();
      AnyOutput = true;
      continue;
    }
    const std::string Name = Word.substr(1);
    if (!TConvertEngine::OptionTakesValue(Name)) {
      if (!Engine.SetTaskOption(Task, Name, "")) return Refused();
      continue;
    }
    if (I + 1 >= Words.size()) {
      std::fprintf(stderr, "tarnwick-cli engine: option -%s needs a value\n", Name.c_str());
      return false;
    }
    const std::string &Value = Words[++I];
    const bool Applied =
        Name == "i" ? Engine.AddTaskInput(Task, Value) : Engine.SetTaskOption(Task, Name, Value);
    if (!Applied) return Refused();
  }
  if (!AnyOutput) std::fputs("At least one output file must be specified\n", stderr);
  return AnyOutput;
}

// The first input's file name, for the progress line.
std::string FirstInput(const TCliArguments &Words) {
  for (size_t I = 0; I + 1 < Words.size(); ++I)
    if (Words[I] == "-i") return std::filesystem::path(Words[I + 1]).filename().string();
  return {};
}

// ===== Conversion =====

// The terminal's progress line on standard error, so that results sent to a file keep it. It
// is wiped before anything else is printed and when the conversion ends, so it never stays
// behind. Called from the worker (the line) and the main thread (the wipe).
class TProgressLine {
 public:
  explicit TProgressLine(std::string File) : FFile(std::move(File)) {}

  void Show(const TProgressInfo &Progress) {
    if (!FTerminal) return;
    const int64_t Elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::steady_clock::now() - FStarted)
                                .count();
    const int Current = Progress.CurrentDuration, Total = Progress.TotalOutputDuration;
    std::string After = " ";
    if (Total > 0 && Current >= 0) {
      const double Done = std::min(1.0, static_cast<double>(Current) / Total);
      After += FormatText("%3d%% ", static_cast<int>(Done * 100));
    }
    After += FormatText("frame=%5d fps=%3d size=%8" PRId64 "kB bitrate=%7.1fkbits/s elapsed %s",
                        Progress.FrameNumber, Progress.FPS, Progress.CurrentSize / 1024,
                        Progress.BitRate, ClockText(Elapsed).c_str());
    if (Total > 0 && Current > 0 && Current < Total)
      After += " left " + ClockText(static_cast<int64_t>(static_cast<double>(Elapsed) *
                                                         (Total - Current) / Current));
    // A line wider than the terminal would wrap, and "\r" could not take it back; the terminal
    // may have been resized since the last line.
    const std::size_t Columns = TerminalColumns(STDERR_FILENO);
    const std::string Line = TerminalLine("", FFile, After, Columns, MaxNameWidth);
    const std::size_t Width = DisplayWidth(Line);
    std::lock_guard Lock(FLock);
    // Blanks clear what a longer line before left behind.
    const std::size_t Covered = std::min(FWidth, Columns - 1);
    Write("\r" + Line + std::string(Covered > Width ? Covered - Width : 0, ' '));
    FWidth = Width;
  }

  // Prints Message on a line of its own, the progress line wiped first.
  void Print(const std::string &Message) {
    std::lock_guard Lock(FLock);
    Wipe();
    std::fprintf(stderr, "%s\n", Message.c_str());
  }

  void End() {
    std::lock_guard Lock(FLock);
    Wipe();
  }

 private:
  static constexpr std::size_t MaxNameWidth = 40;

  static void Write(const std::string &Text) {
    std::fputs(Text.c_str(), stderr);
    std::fflush(stderr);
  }

  void Wipe() {
    if (FWidth == 0) return;
    Write("\r" + std::string(std::min(FWidth, TerminalColumns(STDERR_FILENO) - 1), ' ') + "\r");
    FWidth = 0;
  }

  std::string FFile;
  const bool FTerminal = isatty(STDERR_FILENO) == 1;
  const std::chrono::steady_clock::time_point FStarted = std::chrono::steady_clock::now();
  std::mutex FLock;
  std::size_t FWidth = 0;  // of the line shown; 0 when none is
};

// The state the component's events share with the waiting main thread.
class TConversion {
 public:
  explicit TConversion(std::string File) : FProgress(std::move(File)) {}

  // The events refer to this object: it must outlive the engine's tasks.
  void Attach(TConvertEngine &Engine) {
    FEngine = &Engine;
    Engine.OnLog = [this](int, TLogLevel Level, const std::string &Message) {
      // The message that ended the task is printed once, after the end.
      if (Level != TLogLevel::llQuiet) FProgress.Print(Message);
    };
    Engine.OnProgress = [this](int, const TProgressInfo &Progress) { FProgress.Show(Progress); };
    Engine.OnTerminate = [this](int Index, bool Finished, bool Exception,
                                const std::string &Message) {
      std::lock_guard Lock(FLock);
      if (Index >= 0) {
        FFailed = Exception || !Finished;
        FMessage = Message;
        return;
      }
      FEnded = true;
      FChanged.notify_all();
    };
  }

  // Runs the task and waits for the end of the run; Ctrl-C, SIGTERM or SIGHUP asks it to
  // stop. The exit status.
  int Run(const TInterruptPipe &Interrupts) {
    std::thread Watcher([this, &Interrupts] { Watch(Interrupts.ReadEnd()); });
    FEngine->StartConvert(1);
    bool StopAsked = false;
    for (;;) {
      std::unique_lock Lock(FLock);
      FChanged.wait(Lock, [&] { return FEnded || (FSignal != 0 && !StopAsked); });
      if (FEnded) break;
      // The component is driven from this thread only, and never under this lock: its
      // events take the lock under the component's own.
      Lock.unlock();
      StopAsked = true;
      FEngine->StopConvert();
    }
    Interrupts.Write('q');
    Watcher.join();
    FProgress.End();
    if (FSignal != 0) return InterruptedExitStatus(FSignal);
    std::lock_guard Lock(FLock);
    if (FFailed) {
      std::fprintf(stderr, "%s\n", FMessage.empty() ? "Conversion failed" : FMessage.c_str());
      return 1;
    }
    return 0;
  }

 private:
  void Watch(int ReadEnd) {
    for (;;) {
      char Byte = 0;
      const ssize_t Count = read(ReadEnd, &Byte, 1);
      if (Count < 0 && errno == EINTR) continue;
      if (Count != 1 || Byte == 'q') return;
      // The first signal names the exit status; any of them stops the task.
      std::lock_guard Lock(FLock);
      int Expected = 0;
      FSignal.compare_exchange_strong(Expected, Byte);
      FChanged.notify_all();
    }
  }

  TConvertEngine *FEngine = nullptr;
  TProgressLine FProgress;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FEnded = false;          // the run's end was delivered
  bool FFailed = true;          // until the task's end says otherwise
  std::string FMessage;         // the task's end's message
  std::atomic<int> FSignal{0};  // the signal that stopped the conversion
};

}  // namespace

int RunEngineCommand(const TCliArguments &Arguments) {
  TCliArguments Words;
  bool DryRun = false;
  for (const std::string &Word : Arguments) {
    if (Word == "--dry-run")
      DryRun = true;
    else
      Words.push_back(Word);
  }
  // Declared before the engine, so that it outlives the tasks whose events reach it.
  TConversion Conversion(FirstInput(Words));
  TConvertEngine Engine;
  if (!LoadLibrariesForCli(Engine)) return ExitLibraryLoadFailed;
  // Set up already creates the output files: from here a signal must not end the process.
  TInterruptPipe Interrupts;
  if (!Interrupts.Ready()) return 1;
  Conversion.Attach(Engine);
  const int Task = Engine.AddTask();
  if (!SetUp(Engine, Task, Words, DryRun)) return 1;
  if (!DryRun) return Conversion.Run(Interrupts);
  std::fputs(Engine.DescribeOutputs(Task).c_str(), stdout);
  // Releasing the task removes the output files again: they received no byte.
  const int Signal = Interrupts.PendingSignal();
  return Signal != 0 ? InterruptedExitStatus(Signal) : 0;
}
