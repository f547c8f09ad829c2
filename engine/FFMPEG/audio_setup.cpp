// Audio output set-up: fits an encoder's rate, channel layout and sample format to what it
// takes, and gives the stream its audio path. Runs on the session's thread, before encoders
// open.

#include <cstdlib>
#include <new>
#include <string>

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/decode_checks.h"
#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/option_state.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

namespace {

// Encoders that refuse rates or layouts without listing the ones they take.
constexpr int Rates8000[] = {8000, 0};
constexpr int Rates16000[] = {16000, 0};
constexpr int RatesNellymoser[] = {8000, 11025, 16000, 22050, 44100, 0};
constexpr int RatesSwf[] = {11025, 22050, 44100, 0};
struct TUnlistedLimits {
  AVCodecID CodecId;
  const int *Rates;  // zero-terminated
  bool MonoOnly;
};
constexpr TUnlistedLimits UnlistedLimits[] = {
    {AV_CODEC_ID_AMR_NB, Rates8000, true},       {AV_CODEC_ID_AMR_WB, Rates16000, true},
    {AV_CODEC_ID_GSM, Rates8000, true},          {AV_CODEC_ID_GSM_MS, Rates8000, true},
    {AV_CODEC_ID_G723_1, Rates8000, true},       {AV_CODEC_ID_ADPCM_G726, Rates8000, true},
    {AV_CODEC_ID_ADPCM_G726LE, Rates8000, true}, {AV_CODEC_ID_NELLYMOSER, RatesNellymoser, true},
    {AV_CODEC_ID_ADPCM_SWF, RatesSwf, false},
};

const TUnlistedLimits *LimitsOf(AVCodecID CodecId) {
  for (const TUnlistedLimits &Limits : UnlistedLimits)
    if (Limits.CodecId == CodecId) return &Limits;
  return nullptr;
}

// Wanted when Rates (zero-terminated, may be null) has it, else the closest, the first of equals.
int NearestRate(const int *Rates, int Wanted) {
  if (!Rates || !*Rates) return Wanted;
  int Best = Rates[0];
  for (const int *Rate = Rates; *Rate; ++Rate) {
    if (*Rate == Wanted) return Wanted;
    if (std::abs(*Rate - Wanted) < std::abs(Best - Wanted)) Best = *Rate;
  }
  return Best;
}

std::string Describe(const AVChannelLayout &Layout) {
  char Text[128] = "";
  av::av_channel_layout_describe(&Layout, Text, sizeof Text);
  return Text;
}

// The encoder's listed layout equal to Wanted, else the first with as many channels, else its
// first; null when Wanted is fine.
const AVChannelLayout *FittingLayout(const AVCodec &Codec, const AVChannelLayout &Wanted,
                                     bool MonoOnly, AVChannelLayout &Mono) {
  if (const AVChannelLayout *Listed = av_compat::ChannelLayouts(&Codec)) {
    const AVChannelLayout *SameCount = nullptr;
    for (const AVChannelLayout *Layout = Listed; Layout->nb_channels; ++Layout) {
      if (av::av_channel_layout_compare(Layout, &Wanted) == 0) return nullptr;
      if (!SameCount && Layout->nb_channels == Wanted.nb_channels) SameCount = Layout;
    }
    return SameCount ? SameCount : Listed;
  }
  if (!MonoOnly || Wanted.nb_channels == 1) return nullptr;
  av::av_channel_layout_default(&Mono, 1);
  return &Mono;
}

AVSampleFormat FittingSampleFormat(const AVCodec &Codec, AVSampleFormat Wanted) {
  const AVSampleFormat *Formats = av_compat::SampleFormats(&Codec);
  if (!Formats) return Wanted;
  for (const AVSampleFormat *Format = Formats; *Format != AV_SAMPLE_FMT_NONE; ++Format)
    if (*Format == Wanted) return Wanted;
  for (const AVSampleFormat *Format = Formats; *Format != AV_SAMPLE_FMT_NONE; ++Format)
    if (*Format == AV_SAMPLE_FMT_S16) return *Format;
  return Formats[0];
}

}  // namespace

std::string TAudioPath::SetUp(int InRate) {
  AVCodecContext &Enc = *FOst.Encoder;
  FResample.reset();
  FResampleReady = false;
  FNextFramePts = NoTimestamp;
  // Without an encoder the session refuses the stream when it opens it.
  if (const AVCodec *Codec = Enc.codec) {
    // The rate and channels come from the input unless given: a damaged input has none.
    if (std::string Defect = SamplesDefect(FittingSampleFormat(*Codec, Enc.sample_fmt),
                                           Enc.sample_rate, Enc.ch_layout.nb_channels);
        !Defect.empty())
      return Defect;
    // Rates and layouts come from the profile lists, which do not know every encoder's limits:
    // the encoder's nearest choice is taken rather than failing the job.
    const TUnlistedLimits *Limits = LimitsOf(Codec->id);
    const int *Supported = av_compat::SampleRates(Codec);
    const int *Rates = Supported ? Supported : Limits ? Limits->Rates : nullptr;
    const int Rate = NearestRate(Rates, Enc.sample_rate);
    if (Rate != Enc.sample_rate) {
      Log(1, FormatText("Audio encoder %s does not support %d Hz, using %d Hz", Codec->name,
                        Enc.sample_rate, Rate));
      Enc.sample_rate = Rate;
    }
    AVChannelLayout Mono{};
    if (const AVChannelLayout *Layout =
            FittingLayout(*Codec, Enc.ch_layout, Limits && Limits->MonoOnly, Mono)) {
      Log(1, FormatText("Audio encoder %s does not support the %s channel layout, using %s",
                        Codec->name, Describe(Enc.ch_layout).c_str(), Describe(*Layout).c_str()));
      AVChannelLayout Chosen{};
      if (av::av_channel_layout_copy(&Chosen, Layout) < 0) throw std::bad_alloc();
      av::av_channel_layout_uninit(&Enc.ch_layout);
      Enc.ch_layout = Chosen;
    }
    av::av_channel_layout_uninit(&Mono);
    Enc.sample_fmt = FittingSampleFormat(*Codec, Enc.sample_fmt);
    Enc.time_base = AVRational{1, Enc.sample_rate};
    FOst.St->time_base = Enc.time_base;
    av::avcodec_parameters_from_context(FOst.St->codecpar, &Enc);
    MakeFifo();
  }
  FAudioResample = Enc.sample_rate != InRate || FSettings.SyncMethod >= 2;
  return {};
}

void TTranscodeSession::SetUpAudioOutput(TOutputStream &Ost, TInputStream &Ist) {
  const TAudioSettings Settings{FOptions.FAudioSyncMethod, FOptions.FAudioDriftThreshold,
                                FOptions.FStartTime, FOptions.FRecordingTime, FOptions.FVerbose};
  Ost.Audio = std::make_unique<TAudioPath>(Ost, Settings, StageLog());
  const int InRate = Ist.Decoder ? Ist.Decoder->sample_rate : Ist.St->codecpar->sample_rate;
  if (const std::string Defect = Ost.Audio->SetUp(InRate); !Defect.empty())
    throw FFMpegException(StreamSetUpFailure(Ost, Ist, Defect));
}
