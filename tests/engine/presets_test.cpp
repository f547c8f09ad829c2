// Disc and tape target presets: norm selection, what each preset sets, and what an output
// created after a preset gets.

#include <utility>

#include "engine/binding/av_api.h"
#include "tests/engine/options_test_support.h"

namespace {

using TOptionsBefore = std::vector<std::pair<std::string, std::string>>;

class PresetTest : public TTaskTest {
 protected:
  int64_t VideoOption(const char *Name) { return HolderInt(AVMEDIA_TYPE_VIDEO, Name); }
  int64_t AudioOption(const char *Name) { return HolderInt(AVMEDIA_TYPE_AUDIO, Name); }
  int64_t HolderInt(int Type, const char *Name) {
    int64_t Value = -1;
    av::av_opt_get_int(Task.FCodecOptions[Type].get(), Name, 0, &Value);
    return Value;
  }
  static std::string Entry(const TDictionary &Options, const char *Key) {
    const AVDictionaryEntry *Found = av::av_dict_get(Options.Get(), Key, nullptr, 0);
    return Found ? Found->value : "";
  }
  std::vector<TTaskLogLine> NormLog(const char *Norm) { return {{1, FormatNormLine(Norm)}}; }
  static std::string FormatNormLine(const char *Norm) {
    return std::string("Assuming ") + Norm + " for target.";
  }
};

TEST_F(PresetTest, EachTypeAndNorm) {
  const struct {
    const char *Target;
    AVRational RateBefore;
    int Width, Height;
    AVRational Rate;
    const char *Muxer, *VideoCodec, *AudioCodec;
    int64_t Gop;
    AVPixelFormat PixFmt;
    int SampleRate;
    const char *Assumed;  // the norm logged, null when the text named it
  } Cases[] = {
      // clang-format off
      {"pal-vcd", {30000, 1001}, 352, 288, {25, 1}, "vcd", "mpeg1video", "mp2", 15, AV_PIX_FMT_NONE, 44100, nullptr},
      {"vcd", {30000, 1001}, 352, 240, {30000, 1001}, "vcd", "mpeg1video", "mp2", 18, AV_PIX_FMT_NONE, 44100, "NTSC"},
      {"vcd", {25, 1}, 352, 288, {25, 1}, "vcd", "mpeg1video", "mp2", 15, AV_PIX_FMT_NONE, 44100, "PAL"},
      {"ntsc-svcd", {25, 1}, 480, 480, {30000, 1001}, "svcd", "mpeg2video", "mp2", 18, AV_PIX_FMT_NONE, 44100, nullptr},
      {"pal-svcd", {0, 0}, 480, 576, {25, 1}, "svcd", "mpeg2video", "mp2", 15, AV_PIX_FMT_NONE, 44100, nullptr},
      // 23.976 counts as NTSC, so film material gets the NTSC rate unless film is named.
      {"dvd", {24000, 1001}, 720, 480, {30000, 1001}, "dvd", "mpeg2video", "ac3", 18, AV_PIX_FMT_NONE, 48000, "NTSC"},
      {"film-dvd", {25, 1}, 720, 480, {24000, 1001}, "dvd", "mpeg2video", "ac3", 18, AV_PIX_FMT_NONE, 48000, nullptr},
      {"pal-dvd", {25, 1}, 720, 576, {25, 1}, "dvd", "mpeg2video", "ac3", 15, AV_PIX_FMT_NONE, 48000, nullptr},
      // DV keeps the codecs and the group size; its pixel format depends on the norm.
      {"pal-dv", {25, 1}, 720, 576, {25, 1}, "dv", "", "", 12, AV_PIX_FMT_YUV420P, 48000, nullptr},
      {"ntsc-dv", {25, 1}, 720, 480, {30000, 1001}, "dv", "", "", 12, AV_PIX_FMT_YUV411P, 48000, nullptr},
      {"film-dv50", {25, 1}, 720, 480, {24000, 1001}, "dv", "", "", 12, AV_PIX_FMT_YUV422P, 48000, nullptr},
      {" pal-dv50 ", {25, 1}, 720, 576, {25, 1}, "dv", "", "", 12, AV_PIX_FMT_YUV422P, 48000, nullptr},
      // clang-format on
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Target);
    Task.Reset();
    Log.clear();
    Task.EditOptions().FFrameRate = Case.RateBefore;
    Task.OptTarget(Case.Target);
    EXPECT_EQ(Task.Options().FFrameWidth, Case.Width);
    EXPECT_EQ(Task.Options().FFrameHeight, Case.Height);
    EXPECT_EQ(av_cmp_q(Task.Options().FFrameRate, Case.Rate), 0);
    ASSERT_NE(Task.Options().FOutputFormat, nullptr);
    EXPECT_STREQ(Task.Options().FOutputFormat->name, Case.Muxer);
    EXPECT_EQ(Task.Options().FVideoCodecName, Case.VideoCodec);
    EXPECT_EQ(Task.Options().FAudioCodecName, Case.AudioCodec);
    EXPECT_EQ(VideoOption("g"), Case.Gop);
    EXPECT_EQ(Task.Options().FFramePixFmt, Case.PixFmt);
    EXPECT_EQ(Task.Options().FAudioSampleRate, Case.SampleRate);
    EXPECT_EQ(Task.Options().FAudioChannels, 2);
    if (Case.Assumed)
      EXPECT_EQ(Log, NormLog(Case.Assumed));
    else
      EXPECT_TRUE(Log.empty());
  }
}

TEST_F(PresetTest, RateControlAndMuxingValues) {
  const struct {
    const char *Target;
    int64_t Bitrate, MaxRate, MinRate, BufSize, AudioBitrate, PacketSize;
    const char *MuxRate;
    const char *ScanOffset;
    float Preload;
  } Cases[] = {
      {"pal-vcd", 1150000, 1150000, 1150000, 327680, 224000, 2324, "1411200", "", 0.44f},
      {"pal-svcd", 2040000, 2516000, 0, 1835008, 224000, 2324, "", "1", 0.5f},
      {"pal-dvd", 6000000, 9000000, 0, 1835008, 448000, 2048, "10080000", "", 0.5f},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Target);
    Task.Reset();
    Task.OptTarget(Case.Target);
    EXPECT_EQ(VideoOption("b"), Case.Bitrate);
    EXPECT_EQ(VideoOption("maxrate"), Case.MaxRate);
    EXPECT_EQ(VideoOption("minrate"), Case.MinRate);
    EXPECT_EQ(VideoOption("bufsize"), Case.BufSize);
    EXPECT_EQ(AudioOption("b"), Case.AudioBitrate);
    EXPECT_EQ(Task.FFormatOptions->packet_size, Case.PacketSize);
    EXPECT_EQ(Entry(Task.FFormatPrivateOptions, "muxrate"), Case.MuxRate);
    EXPECT_EQ(Entry(Task.FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO], "scan_offset"), Case.ScanOffset);
    EXPECT_FLOAT_EQ(Task.Options().FMuxPreload, Case.Preload);
  }
}

TEST_F(PresetTest, AutomaticNormFromTheRateTheInputsOrTheDefault) {
  const struct {
    const char *Input;  // opened first, then the rate is set to 15/1
    const char *DefaultNorm;
    int Height;
    AVRational Rate;
    const char *Assumed;
  } Cases[] = {
      {nullptr, "ntsc", 240, {30000, 1001}, "NTSC"},
      {nullptr, "pal", 288, {25, 1}, "PAL"},
      {nullptr, "anything", 288, {25, 1}, "PAL"},
      {nullptr, "film", 240, {24000, 1001}, "NTSC"},
      // The inputs' video streams decide before the default.
      {"sample.mov", "ntsc", 288, {25, 1}, "PAL"},
      {"ntsc.mp4", "pal", 240, {30000, 1001}, "NTSC"},
      {"film.mp4", "pal", 240, {30000, 1001}, "NTSC"},
      {"audio.m4a", "film", 240, {24000, 1001}, "NTSC"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(std::string(Case.Input ? Case.Input : "no input") + " " + Case.DefaultNorm);
    Task.Reset();
    Log.clear();
    if (Case.Input) {
      ASSERT_TRUE(Task.OpenInputFile(MediaFile(Case.Input)));
    }
    Task.SetOption("r", "15");
    Task.ApplyTarget("vcd", "auto", Case.DefaultNorm);
    EXPECT_EQ(Task.Options().FFrameHeight, Case.Height);
    EXPECT_EQ(av_cmp_q(Task.Options().FFrameRate, Case.Rate), 0);
    EXPECT_EQ(Log, NormLog(Case.Assumed));
  }
  // Quiet tasks do not log the assumption.
  Task.Reset();
  Log.clear();
  Task.SetOption("r", "25");
  Task.SetOption("v", "0");
  Task.OptTarget("vcd");
  EXPECT_EQ(Task.Options().FFrameHeight, 288);
  EXPECT_TRUE(Log.empty());
}

TEST_F(PresetTest, RefusalsAndWhatTheyLeave) {
  // Without a frame rate the automatic norm is refused, even where an input would tell it.
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov")));
  Task.EditOptions().FFrameRate = AVRational{0, 0};
  EXPECT_EQ(Refusal([&] { Task.OptTarget("dvd"); }), "frame_rate is invalid.");
  EXPECT_EQ(Task.Options().FFrameWidth, 320);
  EXPECT_EQ(Task.Options().FOutputFormat, nullptr);
  // A named norm needs no frame rate.
  EXPECT_EQ(Refusal([&] { Task.OptTarget("pal-dvd"); }), "");
  // Type names are exact; the automatic norm is logged before the type is refused.
  const struct {
    const char *Target;
    size_t LogLines;
  } Unknown[] = {{"DVD", 1}, {"pal-DVD", 0}, {"PAL-dvd", 1}, {"cd", 1}, {"", 1}};
  for (const auto &Case : Unknown) {
    SCOPED_TRACE(Case.Target);
    Log.clear();
    Task.SetOption("r", "25");
    EXPECT_EQ(Refusal([&] { Task.OptTarget(Case.Target); }), "Unknown target type");
    EXPECT_EQ(Log.size(), Case.LogLines);
  }
}

TEST_F(PresetTest, AspectAndChannelsDependOnWhatWasSet) {
  const struct {
    const char *Target;
    TOptionsBefore Before;
    float Aspect;
    int Channels;
  } Cases[] = {
      {"pal-vcd", {}, 4.0f / 3, 2},
      {"pal-svcd", {}, 4.0f / 3, 2},
      {"pal-dvd", {}, 16.0f / 9, 2},
      {"pal-dv", {}, 0, 2},
      {"pal-svcd", {{"aspect", "16:9"}}, 16.0f / 9, 2},
      {"pal-dvd", {{"aspect", "4:3"}}, 4.0f / 3, 2},
      // Mono becomes stereo; more channels stay, except where the format allows only two.
      {"pal-svcd", {{"ac", "1"}}, 4.0f / 3, 2},
      {"pal-svcd", {{"ac", "6"}}, 4.0f / 3, 6},
      {"pal-dvd", {{"ac", "6"}}, 16.0f / 9, 6},
      {"pal-vcd", {{"ac", "6"}}, 4.0f / 3, 2},
      {"pal-dv", {{"ac", "6"}}, 0, 2},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Target);
    Task.Reset();
    for (const auto &[Name, Value] : Case.Before) Task.SetOption(Name, Value);
    Task.OptTarget(Case.Target);
    EXPECT_FLOAT_EQ(Task.Options().FFrameAspectRatio, Case.Aspect);
    EXPECT_EQ(Task.Options().FAudioChannels, Case.Channels);
  }
}

TEST_F(PresetTest, AnOutputCreatedAfterThePresetGetsIt) {
  TTempFolder Folder("preset-output");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("ntsc.mp4")));
  Task.OptTarget("pal-svcd");
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.mpg"))) << Task.FLastErrorText;
  const TOutputFileContext &Output = *Task.FOutputFiles[0];
  EXPECT_STREQ(Output.Context->oformat->name, "svcd");
  ASSERT_EQ(Output.Context->nb_streams, 2u);
  const AVCodecContext &Video = *Output.Streams[0]->Encoder;
  EXPECT_STREQ(Video.codec->name, "mpeg2video");
  EXPECT_EQ(Video.width, 480);
  EXPECT_EQ(Video.height, 576);
  EXPECT_EQ(av_cmp_q(Video.time_base, AVRational{1, 25}), 0);
  EXPECT_EQ(Video.gop_size, 15);
  EXPECT_EQ(Video.bit_rate, 2040000);
  EXPECT_EQ(Video.rc_max_rate, 2516000);
  EXPECT_EQ(Video.rc_buffer_size, 1835008);
  EXPECT_EQ(Entry(Output.Streams[0]->EncoderOptions, "scan_offset"), "1");
  const AVCodecContext &Audio = *Output.Streams[1]->Encoder;
  EXPECT_STREQ(Audio.codec->name, "mp2");
  EXPECT_EQ(Audio.sample_rate, 44100);
  EXPECT_EQ(Audio.ch_layout.nb_channels, 2);
  EXPECT_EQ(Audio.bit_rate, 224000);
  EXPECT_EQ(Output.Context->packet_size, 2324u);
}

}  // namespace
