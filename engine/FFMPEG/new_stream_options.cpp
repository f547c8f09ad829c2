// "newvideo", "newaudio", "newsubtitle": one more stream of that type on the output added
// last.

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"

TOutputFileContext &TCustomFFmpeg::LastOutputFile() {
  if (FOutputFiles.empty()) throw FFMpegException("At least one output file must be specified");
  return *FOutputFiles.back();
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
