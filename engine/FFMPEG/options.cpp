// The option dispatcher: the vocabulary of option names, each with how its value is converted
// and where it goes. A name outside the vocabulary is a generic option for the libraries.

#include <cstring>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/option_values.h"
#include "engine/binding/av_api.h"

namespace {

using TApply = void (*)(TCustomFFmpeg &Task, TFFmpegOptionState &Options, const std::string &Name,
                        const std::string &Value);

struct TOptionEntry {
  const char *Name;
  TApply Apply;
  bool TakesValue = true;  // false: a switch, given without a value
};

constexpr bool Switch = false;

// Names accepted for compatibility that have no effect.
void Ignore(TCustomFFmpeg &Task, TFFmpegOptionState &, const std::string &Name,
            const std::string &) {
  Task.DoLog(1, "Do nothing: option - " + Name);
}

// Names whose function the engine does not provide.
void Refuse(TCustomFFmpeg &, TFFmpegOptionState &, const std::string &Name, const std::string &) {
  throw FFMpegException("TODO: option - " + Name);
}

template <int TFFmpegOptionState::*Field>
void SetOne(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
            const std::string &) {
  Options.*Field = 1;
}

template <bool TFFmpegOptionState::*Field>
void SetTrue(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
             const std::string &) {
  Options.*Field = true;
}

template <int TFFmpegOptionState::*Field>
void SetInt(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
            const std::string &Value) {
  Options.*Field = ParseOptionInt(Value);
}

template <int64_t TFFmpegOptionState::*Field>
void SetInt64(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
              const std::string &Value) {
  Options.*Field = ParseOptionInt64(Value);
}

template <float TFFmpegOptionState::*Field>
void SetFloat(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
              const std::string &Value) {
  Options.*Field = ParseOptionFloat(Value);
}

template <std::string TFFmpegOptionState::*Field>
void SetText(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
             const std::string &Value) {
  Options.*Field = Value;
}

// Frame limit of one media type (video 0, audio 1, data 2).
template <int MediaType>
void SetMaxFrames(TCustomFFmpeg &, TFFmpegOptionState &Options, const std::string &,
                  const std::string &Value) {
  Options.FMaxFrames[MediaType] = ParseOptionInt(Value);
}

template <void (TCustomFFmpeg::*Handler)()>
void Call(TCustomFFmpeg &Task, TFFmpegOptionState &, const std::string &, const std::string &) {
  (Task.*Handler)();
}

template <void (TCustomFFmpeg::*Handler)(int)>
void CallInt(TCustomFFmpeg &Task, TFFmpegOptionState &, const std::string &,
             const std::string &Value) {
  (Task.*Handler)(ParseOptionInt(Value));
}

template <void (TCustomFFmpeg::*Handler)(float)>
void CallFloat(TCustomFFmpeg &Task, TFFmpegOptionState &, const std::string &,
               const std::string &Value) {
  (Task.*Handler)(ParseOptionFloat(Value));
}

template <void (TCustomFFmpeg::*Handler)(const std::string &)>
void CallText(TCustomFFmpeg &Task, TFFmpegOptionState &, const std::string &,
              const std::string &Value) {
  (Task.*Handler)(Value);
}

template <void (TCustomFFmpeg::*Handler)(const std::string &, const std::string &)>
void CallNamed(TCustomFFmpeg &Task, TFFmpegOptionState &, const std::string &Name,
               const std::string &Value) {
  (Task.*Handler)(Name, Value);
}

using T = TCustomFFmpeg;
using O = TFFmpegOptionState;

constexpr TOptionEntry Vocabulary[] = {
    {"L", Ignore, Switch},
    {"h", Ignore, Switch},
    {"version", Ignore, Switch},
    {"formats", Ignore, Switch},
    {"i", Ignore},
    {"y", Ignore, Switch},
    {"n", SetTrue<&O::FKeepExistingOutput>, Switch},
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
    {"keep_tags", SetTrue<&O::FKeepSourceTags>, Switch},
    {"default_streams", SetTrue<&O::FPreferDefaultStreams>, Switch},
    {"source_timing", SetTrue<&O::FKeepSourceTiming>, Switch},
    {"t", CallText<&T::OptRecordingTime>},
    {"fs", SetInt64<&O::FLimitFileSize>},
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
    {"dump", SetOne<&O::FDoPktDump>, Switch},
    {"hex", SetOne<&O::FDoHexDump>, Switch},
    {"re", SetOne<&O::FRateEmu>, Switch},
    {"autorotate", SetTrue<&O::FAutoRotate>, Switch},
    {"loop_input", SetOne<&O::FLoopInput>, Switch},
    {"loop_output", SetInt<&O::FLoopOutput>},
    {"v", CallInt<&T::OptVerbose>},
    {"target", CallText<&T::OptTarget>},
    {"vsync", SetInt<&O::FVideoSyncMethod>},
    {"async", SetInt<&O::FAudioSyncMethod>},
    {"adrift_threshold", SetFloat<&O::FAudioDriftThreshold>},
    {"vglobal", SetInt<&O::FVideoGlobalHeader>},
    {"copyts", SetTrue<&O::FCopyTs>, Switch},
    {"shortest", SetOne<&O::FShortest>, Switch},
    {"dts_delta_threshold", SetFloat<&O::FDtsDeltaThreshold>},
    {"programid", SetInt<&O::FProgramId>},

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
    {"intra", SetOne<&O::FIntraOnly>, Switch},
    {"vn", SetOne<&O::FVideoDisable>, Switch},
    {"vdt", SetInt<&O::FVideoDiscard>},
    {"qscale", CallFloat<&T::OptQScale>},
    {"rc_override", CallText<&T::OptVideoRcOverride>},
    {"vcodec", CallText<&T::OptVideoCodec>},
    {"me_threshold", CallInt<&T::OptMeThreshold>},
    {"sameq", SetOne<&O::FSameQuality>, Switch},
    {"pass", CallInt<&T::OptPass>},
    {"passlogfile", SetText<&O::FPassLogFileName>},
    {"deinterlace", SetOne<&O::FDoDeinterlace>, Switch},
    {"psnr", SetOne<&O::FDoPsnr>, Switch},
    {"vstats", Call<&T::OptVStats>, Switch},
    {"vstats_file", CallText<&T::OptVStatsFile>},
    {"vhook", CallText<&T::OptFrameHook>},
    {"intra_matrix", CallText<&T::OptIntraMatrix>},
    {"inter_matrix", CallText<&T::OptInterMatrix>},
    {"top", CallInt<&T::OptTopFieldFirst>},
    {"dc", SetInt<&O::FIntraDcPrecision>},
    {"vtag", CallText<&T::OptVideoTag>},
    {"newvideo", Call<&T::OptNewVideoStream>, Switch},
    {"qphist", SetOne<&O::FQpHist>, Switch},
    {"vc", CallInt<&T::OptVideoChannel>},
    {"tvstd", CallText<&T::OptVideoStandard>},

    // Audio, subtitles and muxing.
    {"ab", CallNamed<&T::OptBitrate>},
    {"aframes", SetMaxFrames<AVMEDIA_TYPE_AUDIO>},
    {"aq", SetFloat<&O::FAudioQScale>},
    {"ar", CallInt<&T::OptAudioRate>},
    {"ac", CallInt<&T::OptAudioChannels>},
    {"an", SetOne<&O::FAudioDisable>, Switch},
    {"acodec", CallText<&T::OptAudioCodec>},
    {"atag", CallText<&T::OptAudioTag>},
    {"vol", SetInt<&O::FAudioVolume>},
    {"newaudio", Call<&T::OptNewAudioStream>, Switch},
    {"alang", SetText<&O::FAudioLanguage>},
    {"sn", SetOne<&O::FSubtitleDisable>, Switch},
    {"scodec", CallText<&T::OptSubtitleCodec>},
    {"newsubtitle", Call<&T::OptNewSubtitleStream>, Switch},
    {"slang", SetText<&O::FSubtitleLanguage>},
    {"isync", SetOne<&O::FInputSync>, Switch},
    {"muxdelay", SetFloat<&O::FMuxMaxDelay>},
    {"muxpreload", SetFloat<&O::FMuxPreload>},
};

}  // namespace

bool TCustomFFmpeg::OptionTakesValue(const std::string &Name) {
  for (const TOptionEntry &Entry : Vocabulary)
    if (Name == Entry.Name) return Entry.TakesValue;
  return true;
}

void TCustomFFmpeg::SetOption(const std::string &Name, const std::string &Value) {
  for (const TOptionEntry &Entry : Vocabulary)
    if (Name == Entry.Name) return Entry.Apply(*this, FOptions, Name, Value);
  SetDefaultOption(Name, Value);
}
