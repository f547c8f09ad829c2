// A session's life: what it binds of its task when built, and what it frees and leaves on the
// task when dropped. The run itself is in the files transcode_session.h names.

#include "engine/FFMPEG/transcode_session.h"

#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/picture_hooks.h"

TTranscodeSession::TTranscodeSession(TCustomFFmpeg &Task)
    : FTask(Task),
      FOptions(Task.Options()),
      FInputFiles(Task.FInputFiles),
      FOutputFiles(Task.FOutputFiles),
      FOutputFileNames(Task.FOutputFileNames),
      FPause(Task.FPause),
      FStopRequested(Task.FStopRequested),
      FFinished(Task.FFinished),
      FProgressIntervalUs(Task.FProgressIntervalUs),
      FSwsFlags(FOptions.FSwsFlags),
      FUsingVHook(FOptions.FUsingVHook) {}

TTranscodeSession::~TTranscodeSession() {
  TranscodeCleanup();
  FTask.FResults.FramesDup = FFramesDup;
  FTask.FResults.FramesDrop = FFramesDrop;
  FTask.FResults.UsingVHook = FUsingVHook;
}

void TTranscodeSession::DoLog(int Level, const std::string &Message) {
  FTask.DoLog(Level, Message);
}

TTranscodeSession::TStageLog TTranscodeSession::StageLog() const {
  return [&Task = FTask](int Level, const std::string &Message) { Task.DoLog(Level, Message); };
}

bool TTranscodeSession::Logging() const {
  return static_cast<bool>(FTask.FOnLog);
}

bool TTranscodeSession::ProgressWanted() const {
  return static_cast<bool>(FTask.FOnProgress);
}

void TTranscodeSession::ReportProgress(const TProgressInfo &Progress) {
  FTask.FOnProgress(&FTask, Progress);
}

void TTranscodeSession::CloseOpenedCodecs() {
  FTask.CloseOpenedCodecs();
}
