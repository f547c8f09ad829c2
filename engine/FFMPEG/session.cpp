// The session of a task from Start to its termination notification: the checks, the worker
// thread, Run, stop, the safe-point pause and the closing of the codecs the session opened.
// Start runs on the controlling thread; Run on the worker (or the caller's thread).

#include <exception>
#include <memory>
#include <mutex>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/decoder.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/ffmpeg_thread.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/binding/av_api.h"

TFFmpegThread *TCustomFFmpeg::Start(bool AThreaded, TConvertPriority APriority) {
  // The requests of an earlier run are cleared before anyone can see this one running, so a
  // stop that sees it running is never cleared. A stop that claims the end meanwhile makes
  // the step below fail, and the clearing touched a task that will not run.
  if (FState.load() != TTaskState::Idle) return nullptr;
  FPause.Reset();
  FFinished = false;
  TTaskState Idle = TTaskState::Idle;
  if (!FState.compare_exchange_strong(Idle, TTaskState::Running)) return nullptr;
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
  // Dropped after the codecs are closed and before the files go: the demuxer reads the
  // inputs, and the session's stages log through the task.
  std::unique_ptr<TTranscodeSession> Session;
  try {
    Session = std::make_unique<TTranscodeSession>(*this);
    Session->Transcode();
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
  Session.reset();
  ReleaseAll();
  DoTerminate();
  if (Escaped) std::rethrow_exception(Escaped);
}

void TCustomFFmpeg::CloseOpenedCodecs() {
  std::lock_guard Lock(CodecOpenLock);
  for (const std::unique_ptr<TOutputFileContext> &Output : FOutputFiles)
    for (const std::unique_ptr<TOutputStream> &Ost : Output->Streams) {
      if (!Ost->EncoderOpened) continue;
      Ost->Encoder.reset();
      Ost->EncoderOpened = false;
    }
  for (const std::unique_ptr<TInputFileContext> &Input : FInputFiles)
    for (const std::unique_ptr<TInputStream> &Ist : Input->Streams) {
      if (Ist->Decoding) Ist->Decoding->Close();
    }
}

void TCustomFFmpeg::SignalStop() {
  FPause.Stop();
}

void TCustomFFmpeg::Pause() {
  FPause.PauseIf([this] { return FState.load() == TTaskState::Running; });
}

bool TCustomFFmpeg::StopOrClaimEnd() {
  TTaskState State = TTaskState::Idle;
  if (FState.compare_exchange_strong(State, TTaskState::Ending)) return true;
  if (State == TTaskState::Running) SignalStop();
  return false;
}

void TCustomFFmpeg::ResumeSession() {
  FPause.Resume();
}

void TCustomFFmpeg::WaitWhilePaused() {
  FPause.Wait();
}

void TCustomFFmpeg::DoTerminate() {
  TTaskState State = FState.load();
  do {
    if (State == TTaskState::Terminated) return;
  } while (!FState.compare_exchange_weak(State, TTaskState::Terminated));
  // After the step: a Pause that saw the task running has paused it by now (it judges under
  // the gate's lock), and one that comes later sees it terminated.
  FPause.Resume();
  FThread = nullptr;
  if (FOnTerminate) FOnTerminate(this);
}
