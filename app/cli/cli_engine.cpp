// tarnwick-cli engine: one task configured from a media converter's command line. The task is
// set up exactly as the engine component would (options in order, inputs opened, outputs and
// their streams created); with --dry-run it prints what each output would get, otherwise it
// converts on the task's worker thread, with a progress line on a terminal and Ctrl-C (or
// SIGTERM, SIGHUP) stopping the conversion cleanly (the outputs are finished with their
// trailers).

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
#include "cli_commands.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/ffmpeg_thread.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

// An encoded stream's settings as the session will open its encoder. A copied stream takes
// its settings from the input stream mapped onto it, which the session chooses later.
std::string StreamLine(int OutputIndex, const TOutputFileContext &Output, unsigned Index) {
  const AVMediaType Type = Output.Context->streams[Index]->codecpar->codec_type;
  const char *TypeName = av::av_get_media_type_string(Type);
  std::string Line = FormatText("#%d.%u %s", OutputIndex, Index, TypeName ? TypeName : "unknown");
  const AVCodecContext *Enc = Output.Streams[Index]->Encoder.get();
  if (!Enc) return Line + " copy=1";
  Line +=
      FormatText(" codec=%s", Enc->codec ? Enc->codec->name : av::avcodec_get_name(Enc->codec_id));
  if (Type == AVMEDIA_TYPE_VIDEO) {
    const char *PixFmt = av::av_get_pix_fmt_name(Enc->pix_fmt);
    Line += FormatText(" width=%d height=%d time_base=%d/%d pix_fmt=%s bit_rate=%" PRId64,
                       Enc->width, Enc->height, Enc->time_base.num, Enc->time_base.den,
                       PixFmt ? PixFmt : "none", Enc->bit_rate);
  } else if (Type == AVMEDIA_TYPE_AUDIO) {
    Line += FormatText(" sample_rate=%d channels=%d bit_rate=%" PRId64, Enc->sample_rate,
                       Enc->ch_layout.nb_channels, Enc->bit_rate);
  }
  return Line;
}

void PrintOutputs(const TCustomFFmpeg &Task) {
  for (int File = 0; File < Task.OutputFileCount(); ++File) {
    const TOutputFileContext &Output = *Task.FOutputFiles[File];
    std::printf("output #%d muxer=%s file=%s\n", File, Output.Context->oformat->name,
                EscapedCell(Output.Context->url ? Output.Context->url : "").c_str());
    for (unsigned Index = 0; Index < Output.Context->nb_streams; ++Index)
      std::printf("%s\n", StreamLine(File, Output, Index).c_str());
  }
}

// True when "-y" is one of the switches (not the value of another option): an existing
// output may then be replaced. Outputs are created as they come, so this is known up front.
bool MayOverwrite(const TCliArguments &Words) {
  for (size_t I = 0; I < Words.size(); ++I) {
    const std::string &Word = Words[I];
    if (Word.size() < 2 || Word[0] != '-') continue;
    if (Word == "-y") return true;
    if (TCustomFFmpeg::OptionTakesValue(Word.substr(1))) ++I;
  }
  return false;
}

// Applies the words in order. False after printing the reason of a failed open.
bool SetUp(TCustomFFmpeg &Task, const TCliArguments &Words, bool DryRun) {
  const bool Overwrite = !DryRun && MayOverwrite(Words);
  // Without -y, a file that appears while converting is not replaced either.
  if (!Overwrite) Task.SetOption("n", "");
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
      if (!Task.OpenOutputFile(Word)) {
        std::fprintf(stderr, "%s\n", Task.FLastErrorText.c_str());
        return false;
      }
      AnyOutput = true;
      continue;
    }
    const std::string Name = Word.substr(1);
    if (!TCustomFFmpeg::OptionTakesValue(Name)) {
      Task.SetOption(Name, "");
      continue;
    }
    if (I + 1 >= Words.size()) {
      std::fprintf(stderr, "tarnwick-cli engine: option -%s needs a value\n", Name.c_str());
      return false;
    }
    const std::string &Value = Words[++I];
    if (Name != "i") {
      Task.SetOption(Name, Value);
    } else if (!Task.OpenInputFile(Value)) {
      std::fprintf(stderr, "%s\n", Task.FLastErrorText.c_str());
      return false;
    }
  }
  if (!AnyOutput) std::fputs("At least one output file must be specified\n", stderr);
  return AnyOutput;
}

// ===== Conversion =====

// The state the worker's notifications share with the waiting main thread.
class TConversion {
 public:
  // The notifications refer to this object: it must outlive the task (and its worker).
  void Attach(TCustomFFmpeg &Task) {
    FTask = &Task;
    FTask->FOnLog = [this](TCustomFFmpeg *, int Level, const std::string &Message) {
      // The message that ended the task is printed once, after the end.
      if (Level >= 0) Print(stderr, Message);
    };
    if (FTerminal)
      FTask->FOnProgress = [this](TCustomFFmpeg *, int Frame, int Fps, int Current, float,
                                  float BitRate, int64_t Size, int Total) {
        ShowProgress(Frame, Fps, Current, BitRate, Size, Total);
      };
    FTask->FOnTerminate = [this](TCustomFFmpeg *) {
      std::lock_guard Lock(FLock);
      FTerminated = true;
      FDone.notify_all();
    };
  }

  // Runs the task and waits for its end; Ctrl-C, SIGTERM or SIGHUP asks it to stop. The exit
  // status.
  int Run(const TInterruptPipe &Interrupts) {
    std::thread Watcher([this, &Interrupts] { Watch(Interrupts.ReadEnd()); });

    FStarted = std::chrono::steady_clock::now();
    if (TFFmpegThread *Thread = FTask->Start(true)) Thread->Resume();
    {
      std::unique_lock Lock(FLock);
      FDone.wait(Lock, [this] { return FTerminated; });
    }
    Interrupts.Write('q');
    Watcher.join();

    std::lock_guard Lock(FPrintLock);
    if (FProgressShown) std::fputc('\n', stdout);
    std::fflush(stdout);
    if (FSignal != 0) return InterruptedExitStatus(FSignal);
    if (FTask->FExceptionRaised || !FTask->FFinished) {
      std::fprintf(stderr, "%s\n",
                   FTask->FExceptionMessage.empty() ? "Conversion failed"
                                                    : FTask->FExceptionMessage.c_str());
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
      int Expected = 0;
      FSignal.compare_exchange_strong(Expected, Byte);
      FTask->SignalStop();
    }
  }

  // Log lines start on a line of their own, below the progress line.
  void Print(std::FILE *Out, const std::string &Message) {
    std::lock_guard Lock(FPrintLock);
    if (FProgressShown) {
      std::fputc('\n', stdout);
      std::fflush(stdout);
      FProgressShown = false;
    }
    std::fprintf(Out, "%s\n", Message.c_str());
  }

  void ShowProgress(int Frame, int Fps, int CurrentMs, float BitRate, int64_t Size, int TotalMs) {
    const int64_t Elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::steady_clock::now() - FStarted)
                                .count();
    std::string Line;
    if (TotalMs > 0 && CurrentMs >= 0) {
      const double Done = std::min(1.0, static_cast<double>(CurrentMs) / TotalMs);
      Line += FormatText("%3d%% ", static_cast<int>(Done * 100));
    }
    Line += FormatText("frame=%5d fps=%3d size=%8" PRId64 "kB bitrate=%7.1fkbits/s elapsed %s",
                       Frame, Fps, Size / 1024, BitRate, ClockText(Elapsed).c_str());
    if (TotalMs > 0 && CurrentMs > 0 && CurrentMs < TotalMs)
      Line += " left " + ClockText(static_cast<int64_t>(static_cast<double>(Elapsed) *
                                                        (TotalMs - CurrentMs) / CurrentMs));
    std::lock_guard Lock(FPrintLock);
    // Blanks clear what a longer line before left behind.
    std::printf("\r%-100s", Line.c_str());
    std::fflush(stdout);
    FProgressShown = true;
  }

  TCustomFFmpeg *FTask = nullptr;
  const bool FTerminal = isatty(STDOUT_FILENO) == 1;
  std::chrono::steady_clock::time_point FStarted;
  std::mutex FLock;
  std::condition_variable FDone;
  bool FTerminated = false;
  std::atomic<int> FSignal{0};  // the signal that stopped the conversion
  std::mutex FPrintLock;
  bool FProgressShown = false;
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
  if (!LoadLibrariesForCli()) return ExitLibraryLoadFailed;
  // Set up already creates the output files: from here a signal must not end the process.
  TInterruptPipe Interrupts;
  if (!Interrupts.Ready()) return 1;
  TConversion Conversion;
  TCustomFFmpeg Task;
  Task.Reset();
  Conversion.Attach(Task);
  try {
    if (!SetUp(Task, Words, DryRun)) return 1;
  } catch (const std::exception &Error) {
    // FFMpegException from the engine, or a value that did not convert.
    std::fprintf(stderr, "%s\n", Error.what());
    return 1;
  }
  if (!DryRun) return Conversion.Run(Interrupts);
  PrintOutputs(Task);
  // Releasing the task removes the output files again: they received no byte.
  const int Signal = Interrupts.PendingSignal();
  return Signal != 0 ? InterruptedExitStatus(Signal) : 0;
}
