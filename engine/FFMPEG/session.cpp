// The session of a task from Start to its termination notification: the checks, the worker
// thread, Run, stop, the safe-point pause and the closing of the codecs the session opened.
// Start runs on the controlling thread; Run on the worker (or the caller's thread).

#include <exception>
#include <mutex>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/ffmpeg_thread.h"
#include "engine/binding/av_api.h"

TFFmpegThread *TCustomFFmpeg::Start(bool AThreaded, TConvertPriority APriority) {
  {
    // With SignalStop's lock: a stop that sees the task running is never cleared below.
    std::lock_guard Lock(FPauseLock);
    TTaskState Idle = TTaskState::Idle;
    if (!FState.compare_exchange_strong(Idle, TTaskState::Running)) return nullptr;
    FStopRequested = false;
    FFinished = false;
  }
  const char *Failure = nullptr;
  if (FOutputFiles.empty())
    Failure = "Must supply at least one output file";
  else if (FInputFiles.empty())
    Failure = "Must supply at least one input file";
  if (Failure) {
    ReleaseAll();
    FExceptionRaised = true;
    FExceptionMessage = Failure;
    DoLog(-1, Failure);
    DoTerminate();
    return nullptr;
  }
  if (!AThreaded) {
    Run();
    return nullptr;
  }
  FWorker = std::make_unique<TFFmpegThread>(this, APriority);
  FThread = FWorker.get();
  return FWorker.get();
}

void TCustomFFmpeg::Run() {
  FFinished = false;
  std::exception_ptr Escaped;
  try {
    Transcode();
  } catch (const std::exception &Error) {
    FExceptionRaised = true;
    FExceptionMessage = Error.what();
    try {
      DoLog(-1, FExceptionMessage);
    } catch (...) {
      Escaped = std::current_exception();
    }
  } catch (...) {
    Escaped = std::current_exception();
  }
  CloseOpenedCodecs();
  ReleaseAll();
  DoTerminate();
  if (Escaped) std::rethrow_exception(Escaped);
}

void TCustomFFmpeg::CloseOpenedCodecs() {
  std::lock_guard Lock(CodecOpenLock);
  for (const std::unique_ptr<TOutputFileContext> &Output : FOutputFiles)
    for (const std::unique_ptr<TOutputStream> &Ost : Output->Streams) {
      if (!Ost->EncoderOpened) continue;
      av::avcodec_close(Ost->Encoder.get());
      Ost->EncoderOpened = false;
    }
  for (const std::unique_ptr<TInputFileContext> &Input : FInputFiles)
    for (const std::unique_ptr<TInputStream> &Ist : Input->Streams) {
      if (!Ist->DecoderOpened) continue;
      av::avcodec_close(Ist->Decoder.get());
      Ist->DecoderOpened = false;
    }
}

void TCustomFFmpeg::SignalStop() {
  {
    std::lock_guard Lock(FPauseLock);
    FStopRequested = true;
  }
  FPauseChanged.notify_all();
}

void TCustomFFmpeg::Pause() {
  std::lock_guard Lock(FPauseLock);
  if (FRunning) FPaused = true;
}

bool TCustomFFmpeg::StopOrClaimEnd() {
  TTaskState State = TTaskState::Idle;
  if (FState.compare_exchange_strong(State, TTaskState::Ending)) return true;
  if (State == TTaskState::Running) SignalStop();
  return false;
}

void TCustomFFmpeg::ResumeSession() {
  {
    std::lock_guard Lock(FPauseLock);
    FPaused = false;
  }
  FPauseChanged.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused() {
  if (!FPaused) return;
  std::unique_lock Lock(FPauseLock);
  FPauseChanged.wait(Lock, [this] { return !FPaused || FStopRequested; });
}

void TCustomFFmpeg::DoTerminate() {
  {
    // Under the pause lock, so that a Pause racing the end cannot leave the task paused.
    std::lock_guard Lock(FPauseLock);
    TTaskState State = FState.load();
    do {
      if (State == TTaskState::Terminated) return;
    } while (!FState.compare_exchange_weak(State, TTaskState::Terminated));
    FPaused = false;
  }
  FThread = nullptr;
  if (FOnTerminate) FOnTerminate(this);
}
