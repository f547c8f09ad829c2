// "newvideo", "newaudio", "newsubtitle": one more stream of that type on the output added
// last.

#include "engine/FFMPEG/ffmpeg.h"

TOutputFileContext &TCustomFFmpeg::LastOutputFile() {
  if (FOutputFileCount <= 0 || !FOutputFiles[FOutputFileCount - 1])
    throw FFMpegException("At least one output file must be specified");
  return *FOutputFiles[FOutputFileCount - 1];
}

void TCustomFFmpeg::OptNewVideoStream() {
  NewVideoStream(LastOutputFile());
}

void TCustomFFmpeg::OptNewAudioStream() {
  NewAudioStream(LastOutputFile());
}

void TCustomFFmpeg::OptNewSubtitleStream() {
  NewSubtitleStream(LastOutputFile());
}
