// The option dispatcher: the vocabulary of option names, each with how its value is converted
// and where it goes. A name outside the vocabulary is a generic option for the libraries.

#include <cstring>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/option_values.h"
#include "engine/binding/av_api.h"

namespace {

using TApply = void (*)(TCustomFFmpeg &Task, const std::string &Name, const std::string &Value);

struct TOptionEntry {
  const char *Name;
  TApply Apply;
  bool TakesValue = true;  // false: a switch, given without a value
};

constexpr bool Switch = false;

// Names accepted for compatibility that have no effect.
void Ignore(TCustomFFmpeg &Task, const std::string &Name, const std::string &) {
  Task.DoLog(1, "Do nothing: option - " + Name);
}

// Names whose function the engine does not provide.
void Refuse(TCustomFFmpeg &, const std::string &Name, const std::string &) {
  throw FFMpegException("TODO: option - " + Name);
}

template <int TFFmpegOptionState::*Field>
void SetOne(TCustomFFmpeg &Task, const std::string &, const std::string &) {
  Task.*Field = 1;
}

template <bool TFFmpegOptionState::*Field>
void SetTrue(TCustomFFmpeg &Task, const std::string &, const std::string &) {
  Task.*Field = true;
}

template <int TFFmpegOptionState::*Field>
void SetInt(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.*Field = ParseOptionInt(Value);
}

template <int64_t TFFmpegOptionState::*Field>
void SetInt64(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.*Field = ParseOptionInt64(Value);
}

template <float TFFmpegOptionState::*Field>
void SetFloat(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.*Field = ParseOptionFloat(Value);
}

template <std::string TFFmpegOptionState::*Field>
void SetText(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.*Field = Value;
}

// Frame limit of one media type (video 0, audio 1, data 2).
template <int MediaType>
void SetMaxFrames(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.FMaxFrames[MediaType] = ParseOptionInt(Value);
}

template <void (TCustomFFmpeg::*Handler)()>
void Call(TCustomFFmpeg &Task, const std::string &, const std::string &) {
  (Task.*Handler)();
}

template <void (TCustomFFmpeg::*Handler)(int)>
void CallInt(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  (Task.*Handler)(ParseOptionInt(Value));
}

template <void (TCustomFFmpeg::*Handler)(float)>
void CallFloat(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  (Task.*Handler)(ParseOptionFloat(Value));
}

template <void (TCustomFFmpeg::*Handler)(const std::string &)>
void CallText(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  (Task.*Handler)(Value);
}

template <void (TCustomFFmpeg::*Handler)(const std::string &, const std::string &)>
void CallNamed(TCustomFFmpeg &Task, const std::string &Name, const std::string &Value) {
  (Task.*Handler)(Name, Value);
}

using T = TCustomFFmpeg;

constexpr TOptionEntry Vocabulary[] = {
    {"L", Ignore, Switch},
    {"h", Ignore, Switch},
    {"version", Ignore, Switch},
    {"formats", Ignore, Switch},
    {"i", Ignore},
    {"y", Ignore, Switch},
    {"n", SetTrue<&T::FKeepExistingOutput>, Switch},
    {"benchmark", Ignore, Switch},
    {"apre", Ignore},
    {"vpre", Ignore},
    {"spre", Ignore},
    {"threads", Refuse},
    {"absf", Refuse},
    {"vbsf", Refuse},
    {"sbsf", Refuse},

    // Files, streams and formats.
    {"f", CallText<&T::OptFormat>},
    {"map", CallText<&T::OptMap>},
    {"map_meta_data", CallText<&T::OptMapMetaData>},
    {"keep_tags", SetTrue<&T::FKeepSourceTags>, Switch},
    {"default_streams", SetTrue<&T::FPreferDefaultStreams>, Switch},
    {"source_timing", SetTrue<&T::FKeepSourceTiming>, Switch},
    {"t", CallText<&T::OptRecordingTime>},
    {"fs", SetInt64<&T::FLimitFileSize>},
    {"ss", CallText<&T::OptStartTime>},
    {"itsoffset", CallText<&T::OptInputTsOffset>},
    {"itsscale", CallText<&T::OptInputTsScale>},
    {"title", CallText<&T::SetTitle>},
    {"author", CallText<&T::SetAuthor>},
    {"copyright", CallText<&T::SetCopyright>},
    {"comment", CallText<&T::SetComment>},
    {"genre", CallText<&T::SetGenre>},
    {"album", CallText<&T::SetAlbum>},
    {"timestamp", CallText<&T::OptRecTimestamp>},
    {"dframes", SetMaxFrames<AVMEDIA_TYPE_DATA>},
    {"dump", SetOne<&T::FDoPktDump>, Switch},
    {"hex", SetOne<&T::FDoHexDump>, Switch},
    {"re", SetOne<&T::FRateEmu>, Switch},
    {"autorotate", SetTrue<&T::FAutoRotate>, Switch},
    {"loop_input", SetOne<&T::FLoopInput>, Switch},
    {"loop_output", SetInt<&T::FLoopOutput>},
    {"v", CallInt<&T::OptVerbose>},
    {"target", CallText<&T::OptTarget>},
    {"vsync", SetInt<&T::FVideoSyncMethod>},
    {"async", SetInt<&T::FAudioSyncMethod>},
    {"adrift_threshold", SetFloat<&T::FAudioDriftThreshold>},
    {"vglobal", SetInt<&T::FVideoGlobalHeader>},
    {"copyts", SetTrue<&T::FCopyTs>, Switch},
    {"shortest", SetOne<&T::FShortest>, Switch},
    {"dts_delta_threshold", SetFloat<&T::FDtsDeltaThreshold>},
    {"programid", SetInt<&T::FProgramId>},

    // Video.
    {"b", CallNamed<&T::OptBitrate>},
    {"vb", CallNamed<&T::OptBitrate>},
    {"vframes", SetMaxFrames<AVMEDIA_TYPE_VIDEO>},
    {"r", CallText<&T::OptFrameRate>},
    {"s", CallText<&T::OptFrameSize>},
    {"aspect", CallText<&T::OptFrameAspectRatio>},
    {"pix_fmt", CallText<&T::OptFramePixFmt>},
    {"croptop", CallInt<&T::OptFrameCropTop>},
    {"cropbottom", CallInt<&T::OptFrameCropBottom>},
    {"cropleft", CallInt<&T::OptFrameCropLeft>},
    {"cropright", CallInt<&T::OptFrameCropRight>},
    {"padtop", CallInt<&T::OptFramePadTop>},
    {"padbottom", CallInt<&T::OptFramePadBottom>},
    {"padleft", CallInt<&T::OptFramePadLeft>},
    {"padright", CallInt<&T::OptFramePadRight>},
    {"padcolor", CallInt<&T::OptPadColor>},
    {"intra", SetOne<&T::FIntraOnly>, Switch},
    {"vn", SetOne<&T::FVideoDisable>, Switch},
    {"vdt", SetInt<&T::FVideoDiscard>},
    {"qscale", CallFloat<&T::OptQScale>},
    {"rc_override", CallText<&T::OptVideoRcOverride>},
    {"vcodec", CallText<&T::OptVideoCodec>},
    {"me_threshold", CallInt<&T::OptMeThreshold>},
    {"sameq", SetOne<&T::FSameQuality>, Switch},
    {"pass", CallInt<&T::OptPass>},
    {"passlogfile", SetText<&T::FPassLogFileName>},
    {"deinterlace", SetOne<&T::FDoDeinterlace>, Switch},
    {"psnr", SetOne<&T::FDoPsnr>, Switch},
    {"vstats", Call<&T::OptVStats>, Switch},
    {"vstats_file", CallText<&T::OptVStatsFile>},
    {"vhook", CallText<&T::OptFrameHook>},
    {"intra_matrix", CallText<&T::OptIntraMatrix>},
    {"inter_matrix", CallText<&T::OptInterMatrix>},
    {"top", CallInt<&T::OptTopFieldFirst>},
    {"dc", SetInt<&T::FIntraDcPrecision>},
    {"vtag", CallText<&T::OptVideoTag>},
    {"newvideo", Call<&T::OptNewVideoStream>, Switch},
    {"qphist", SetOne<&T::FQpHist>, Switch},
    {"vc", CallInt<&T::OptVideoChannel>},
    {"tvstd", CallText<&T::OptVideoStandard>},

    // Audio, subtitles and muxing.
    {"ab", CallNamed<&T::OptBitrate>},
    {"aframes", SetMaxFrames<AVMEDIA_TYPE_AUDIO>},
    {"aq", SetFloat<&T::FAudioQScale>},
    {"ar", CallInt<&T::OptAudioRate>},
    {"ac", CallInt<&T::OptAudioChannels>},
    {"an", SetOne<&T::FAudioDisable>, Switch},
    {"acodec", CallText<&T::OptAudioCodec>},
    {"atag", CallText<&T::OptAudioTag>},
    {"vol", SetInt<&T::FAudioVolume>},
    {"newaudio", Call<&T::OptNewAudioStream>, Switch},
    {"alang", SetText<&T::FAudioLanguage>},
    {"sn", SetOne<&T::FSubtitleDisable>, Switch},
    {"scodec", CallText<&T::OptSubtitleCodec>},
    {"newsubtitle", Call<&T::OptNewSubtitleStream>, Switch},
    {"slang", SetText<&T::FSubtitleLanguage>},
    {"isync", SetOne<&T::FInputSync>, Switch},
    {"muxdelay", SetFloat<&T::FMuxMaxDelay>},
    {"muxpreload", SetFloat<&T::FMuxPreload>},
};

}  // namespace

bool TCustomFFmpeg::OptionTakesValue(const std::string &Name) {
  for (const TOptionEntry &Entry : Vocabulary)
    if (Name == Entry.Name) return Entry.TakesValue;
  return true;
}

void TCustomFFmpeg::SetOption(const std::string &Name, const std::string &Value) {
  for (const TOptionEntry &Entry : Vocabulary)
    if (Name == Entry.Name) return Entry.Apply(*this, Name, Value);
  SetDefaultOption(Name, Value);
}
