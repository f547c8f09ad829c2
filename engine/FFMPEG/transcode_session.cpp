// A session's life: what it binds of its task when built, and what it frees and leaves on the
// task when dropped. The run itself is in the files transcode_session.h names.

#include "engine/FFMPEG/transcode_session.h"

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/picture_hooks.h"
#include "engine/FFMPEG/video_path.h"

TTranscodeSession::TTranscodeSession(TCustomFFmpeg &Task)
    : FTask(Task),
      FOptions(static_cast<const TFFmpegOptionState &>(Task)),
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

int TTranscodeSession::InputFileCount() const {
  return FTask.InputFileCount();
}

int TTranscodeSession::OutputFileCount() const {
  return FTask.OutputFileCount();
}
