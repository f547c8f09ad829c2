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
  if (Microseconds > 0) FStartTime = Microseconds;
}

void TCustomFFmpeg::SetProgramId(int ProgramId) {
  if (ProgramId >= 0) FProgramId = ProgramId;
}

void TCustomFFmpeg::SetRecordingTimeMs(int Milliseconds) {
  if (Milliseconds <= 0) return;
  FRecordingTime = static_cast<int64_t>(Milliseconds) * 1000;
  FOutputDurationMs = Milliseconds;
}

void TCustomFFmpeg::SetAudioVolume(int Volume) {
  if (AudioVolumeGiven(Volume)) FAudioVolume = Volume;
}

void TCustomFFmpeg::SetAudioSyncMethod(int Method) {
  FAudioSyncMethod = Method;
}

void TCustomFFmpeg::SetVideoSyncMethod(int Method) {
  FVideoSyncMethod = Method;
}

void TCustomFFmpeg::SetMuxMaxDelay(float Seconds) {
  if (Seconds > 0) FMuxMaxDelay = Seconds;
}

void TCustomFFmpeg::SetMuxPreload(float Seconds) {
  if (Seconds > 0) FMuxPreload = Seconds;
}

void TCustomFFmpeg::SetYear(int Year) {
  if (Year > 0) FYear = Year;
}

void TCustomFFmpeg::SetTrack(int Track) {
  if (Track > 0) FTrack = Track;
}

void TCustomFFmpeg::SetTitle(const std::string &Text) {
  SetWhenGiven(FTitle, Text);
}

void TCustomFFmpeg::SetAuthor(const std::string &Text) {
  SetWhenGiven(FAuthor, Text);
}

void TCustomFFmpeg::SetCopyright(const std::string &Text) {
  SetWhenGiven(FCopyright, Text);
}

void TCustomFFmpeg::SetComment(const std::string &Text) {
  SetWhenGiven(FComment, Text);
}

void TCustomFFmpeg::SetGenre(const std::string &Text) {
  SetWhenGiven(FGenre, Text);
}

void TCustomFFmpeg::SetAlbum(const std::string &Text) {
  SetWhenGiven(FAlbum, Text);
}
