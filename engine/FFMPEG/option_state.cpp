// The task's life cycle: defaults, the generic option holders, and releasing everything the
// task holds.

#include <chrono>
#include <new>
#include <thread>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/ffmpeg_thread.h"
#include "engine/binding/av_api.h"

TCustomFFmpeg::TCustomFFmpeg() {
  InitDefaults();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  EndWorker();
  ReleaseAll();
}

void TCustomFFmpeg::EndWorker() {
  SignalStop();
  // The worker clears FThread before its termination notification, so a task destroyed from
  // inside that notification does not wait here. A worker never resumed never will.
  if (FWorker && !FWorker->Started()) FThread = nullptr;
  while (FThread.load() != nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  FWorker.reset();
}

void TCustomFFmpeg::InitDefaults() {
  FOptions = TFFmpegOptionState();
  FExceptionRaised = false;
  FExceptionMessage.clear();
  FLastErrorText.clear();
  FLastErrorCause.clear();
  FResults = TSessionResults();
  FOutputFileNames.clear();
  FHookSettings = THookSettings();
  ReleaseFrameHooks(FHooks);
}

void TCustomFFmpeg::Reset() {
  if (!AVLibsLoaded()) return;
  ReleaseAll();
  InitDefaults();
  FState = TTaskState::Idle;
  FPause.Reset();
  FFinished = false;
  AllocateOptionHolders();
}

void TCustomFFmpeg::AllocateOptionHolders() {
  for (int Type = 0; Type < MediaTypeCount; ++Type) {
    FCodecOptions[Type].reset(av::avcodec_alloc_context3(nullptr));
    if (!FCodecOptions[Type]) throw std::bad_alloc();
    FCodecOptions[Type]->codec_type = static_cast<AVMediaType>(Type);
  }
  FFormatOptions.reset(av::avformat_alloc_context());
  FScaleOptions.reset(av::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P,
                                         FOptions.FSwsFlags, nullptr, nullptr, nullptr));
  if (!FFormatOptions || !FScaleOptions) throw std::bad_alloc();
}

void TCustomFFmpeg::ReleaseOptionHolders() {
  for (TCodecContextPtr &Holder : FCodecOptions) Holder.reset();
  FFormatOptions.reset();
  FScaleOptions.reset();
  FOptionNames.clear();
  for (TDictionary &Options : FCodecPrivateOptions) Options.Clear();
  FFormatPrivateOptions.Clear();
}

void TCustomFFmpeg::ReleaseAll() {
  if (!AVLibsLoaded()) return;
  ReleaseOptionHolders();
  // Outputs first: each closes its file and removes it unless it was moved into place.
  FOutputFiles.clear();
  FInputFiles.clear();
  FOptions.FIntraMatrix.clear();
  FOptions.FInterMatrix.clear();
  FOptions.FVStatsFileName.clear();
  FOptions.FVideoCodecName.clear();
  FOptions.FAudioCodecName.clear();
  FOptions.FSubtitleCodecName.clear();
  FOptions.FVideoStandard.clear();
  FOptions.FVideoRcOverride.clear();
  FOptions.FAudioLanguage.clear();
  FOptions.FSubtitleLanguage.clear();
  ReleaseFrameHooks(FHooks);
}

bool TCustomFFmpeg::OpenFile(bool (TCustomFFmpeg::*Open)(const std::string &),
                             void (TCustomFFmpeg::*End)(), const std::string &FileName) {
  // Whatever is thrown, the options are as before the call, less the per-file ones.
  const TFFmpegOptionState Saved = FOptions;
  bool Opened;
  try {
    Opened = (this->*Open)(FileName);
  } catch (...) {
    FOptions = Saved;
    (this->*End)();
    throw;
  }
  (this->*End)();
  return Opened;
}

void TCustomFFmpeg::DoLog(int Level, const std::string &Message) {
  if (FOnLog) FOnLog(this, Level, Message);
}
