// Typed setters through which the engine component applies its option records. Each keeps
// the earlier value when the new one means "not given".

#include "engine/FFMPEG/audio_volume.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"

namespace {

void SetWhenGiven(std::string &Field, const std::string &Text) {
  if (!Text.empty()) Field = Text;
}

}  // namespace

void TCustomFFmpeg::SetStartTime(int64_t Microseconds) {
  if (Microseconds > 0) FOptions.FStartTime = Microseconds;
}

void TCustomFFmpeg::SetProgramId(int ProgramId) {
  if (ProgramId >= 0) FOptions.FProgramId = ProgramId;
}

void TCustomFFmpeg::SetRecordingTimeMs(int Milliseconds) {
  if (Milliseconds <= 0) return;
  FOptions.FRecordingTime = static_cast<int64_t>(Milliseconds) * 1000;
  FOptions.FOutputDurationMs = Milliseconds;
}

void TCustomFFmpeg::SetAudioVolume(int Volume) {
  if (AudioVolumeGiven(Volume)) FOptions.FAudioVolume = Volume;
}

void TCustomFFmpeg::SetAudioSyncMethod(int Method) {
  FOptions.FAudioSyncMethod = Method;
}

void TCustomFFmpeg::SetVideoSyncMethod(int Method) {
  FOptions.FVideoSyncMethod = Method;
}

void TCustomFFmpeg::SetMuxMaxDelay(float Seconds) {
  if (Seconds > 0) FOptions.FMuxMaxDelay = Seconds;
}

void TCustomFFmpeg::SetMuxPreload(float Seconds) {
  if (Seconds > 0) FOptions.FMuxPreload = Seconds;
}

void TCustomFFmpeg::SetYear(int Year) {
  if (Year > 0) FOptions.FYear = Year;
}

void TCustomFFmpeg::SetTrack(int Track) {
  if (Track > 0) FOptions.FTrack = Track;
}

void TCustomFFmpeg::SetTitle(const std::string &Text) {
  SetWhenGiven(FOptions.FTitle, Text);
}

void TCustomFFmpeg::SetAuthor(const std::string &Text) {
  SetWhenGiven(FOptions.FAuthor, Text);
}

void TCustomFFmpeg::SetCopyright(const std::string &Text) {
  SetWhenGiven(FOptions.FCopyright, Text);
}

void TCustomFFmpeg::SetComment(const std::string &Text) {
  SetWhenGiven(FOptions.FComment, Text);
}

void TCustomFFmpeg::SetGenre(const std::string &Text) {
  SetWhenGiven(FOptions.FGenre, Text);
}

void TCustomFFmpeg::SetAlbum(const std::string &Text) {
  SetWhenGiven(FOptions.FAlbum, Text);
}
