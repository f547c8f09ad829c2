// The audio output path: decoded frames to 16-bit samples, volume, fitting an encoder to the
// rates and layouts it takes, and whole conversions that resample, pad and flush.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/engine/transcode_test_support.h"

namespace {

// One frame of Samples samples per channel, each channel holding one value (full scale = 1).
TFramePtr MakeFrame(AVSampleFormat Format, int Channels, int Rate,
                    const std::vector<double> &Values, int Samples = 4) {
  TFramePtr Frame(av::av_frame_alloc());
  Frame->nb_samples = Samples;
  Frame->format = Format;
  Frame->sample_rate = Rate;
  av::av_channel_layout_default(&Frame->ch_layout, Channels);
  EXPECT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
  const bool Planar = av::av_sample_fmt_is_planar(Format);
  const int Bytes = av::av_get_bytes_per_sample(Format);
  for (int Channel = 0; Channel < Channels; ++Channel) {
    const double Value = Values[Channel % Values.size()];
    for (int Sample = 0; Sample < Samples; ++Sample) {
      uint8_t *At = Planar ? Frame->extended_data[Channel] + Sample * Bytes
                           : Frame->extended_data[0] + (Sample * Channels + Channel) * Bytes;
      switch (av::av_get_packed_sample_fmt(Format)) {
        case AV_SAMPLE_FMT_U8:
          *At = static_cast<uint8_t>(128 + Value * 128);
          break;
        case AV_SAMPLE_FMT_S16: {
          const int16_t V = static_cast<int16_t>(Value * 32768);
          std::memcpy(At, &V, 2);
          break;
        }
        case AV_SAMPLE_FMT_S32: {
          const int32_t V = static_cast<int32_t>(Value * 2147483648.0);
          std::memcpy(At, &V, 4);
          break;
        }
        case AV_SAMPLE_FMT_FLT: {
          const float V = static_cast<float>(Value);
          std::memcpy(At, &V, 4);
          break;
        }
        default:
          std::memcpy(At, &Value, 8);
          break;
      }
    }
  }
  return Frame;
}

std::vector<int16_t> AsSamples(const uint8_t *Data, int Size) {
  std::vector<int16_t> Samples(Size / 2);
  if (Size > 0) std::memcpy(Samples.data(), Data, Size);
  return Samples;
}

class AudioTest : public TTaskTest {
 protected:
  TTempFolder Folder{"audio-test"};
};

TEST_F(AudioTest, EveryDecoderFormatBecomesInterleaved16Bit) {
  const struct {
    AVSampleFormat Format;
    int Channels, Rate;
    std::vector<double> Values;
    std::vector<int16_t> Expected;  // one sample frame
  } Cases[] = {
      {AV_SAMPLE_FMT_FLTP, 2, 48000, {0.25, -0.5}, {8192, -16384}},
      {AV_SAMPLE_FMT_FLT, 2, 44100, {0.25, -0.5}, {8192, -16384}},
      {AV_SAMPLE_FMT_S16P, 2, 44100, {0.25, -0.5}, {8192, -16384}},
      {AV_SAMPLE_FMT_S16, 2, 22050, {0.25, -0.5}, {8192, -16384}},
      {AV_SAMPLE_FMT_S32P, 1, 8000, {-0.25}, {-8192}},
      {AV_SAMPLE_FMT_DBLP, 2, 32000, {0.5, 0.25}, {16384, 8192}},
      {AV_SAMPLE_FMT_U8, 2, 11025, {0.25, -0.5}, {8192, -16384}},
      // Six channels keep their count and order: no remix.
      {AV_SAMPLE_FMT_FLTP, 6, 48000, {0.25, -0.5, 0.5}, {8192, -16384, 16384, 8192, -16384, 16384}},
      // Float beyond full scale is clipped.
      {AV_SAMPLE_FMT_FLTP, 2, 48000, {1.5, -1.5}, {32767, -32768}},
  };
  // One input stream for all: the converter follows each change of format, rate and layout.
  TInputStream Ist;
  for (const auto &Case : Cases) {
    SCOPED_TRACE(av::av_get_sample_fmt_name(Case.Format) + std::string(" ") +
                 std::to_string(Case.Channels));
    const TFramePtr Frame = MakeFrame(Case.Format, Case.Channels, Case.Rate, Case.Values);
    uint8_t *Data = nullptr;
    int Size = 0;
    ASSERT_TRUE(Task.DecodedAudioToS16(Ist, *Frame, Data, Size));
    EXPECT_EQ(Size, 4 * Case.Channels * 2);
    EXPECT_EQ(Ist.ToS16Rate, Case.Rate);
    EXPECT_EQ(Ist.ToS16Channels, Case.Channels);
    const std::vector<int16_t> Samples = AsSamples(Data, Size);
    for (int Sample = 0; Sample < 4; ++Sample)
      EXPECT_EQ(std::vector<int16_t>(Samples.begin() + Sample * Case.Channels,
                                     Samples.begin() + (Sample + 1) * Case.Channels),
                Case.Expected);
  }
}

TEST_F(AudioTest, SampleBufferGrowsButNeverShrinks) {
  TInputStream Ist;
  uint8_t *Data = nullptr;
  int Size = 0;
  ASSERT_TRUE(Task.DecodedAudioToS16(Ist, *MakeFrame(AV_SAMPLE_FMT_FLTP, 2, 44100, {0.1}, 4096),
                                     Data, Size));
  EXPECT_EQ(Size, 4096 * 4);
  const unsigned Grown = Ist.SamplesSize;
  EXPECT_GE(Grown, 4096u * 4);
  ASSERT_TRUE(
      Task.DecodedAudioToS16(Ist, *MakeFrame(AV_SAMPLE_FMT_FLTP, 2, 44100, {0.1}, 16), Data, Size));
  EXPECT_EQ(Size, 16 * 4);
  EXPECT_EQ(Ist.SamplesSize, Grown);
}

TEST_F(AudioTest, FrameWithoutChannelsIsRefused) {
  TInputStream Ist;
  TFramePtr Frame(av::av_frame_alloc());
  Frame->format = AV_SAMPLE_FMT_FLTP;
  Frame->sample_rate = 44100;
  uint8_t *Data = nullptr;
  int Size = 0;
  EXPECT_FALSE(Task.DecodedAudioToS16(Ist, *Frame, Data, Size));
}

TEST_F(AudioTest, VolumeScalesAndClips) {
  const struct {
    int Volume;
    std::vector<int16_t> In, Out;
  } Cases[] = {
      {256, {32767, -32768, -5, 1234}, {32767, -32768, -5, 1234}},
      {512, {32767, -32768, 20000, -20000, 100, -100}, {32767, -32768, 32767, -32768, 200, -200}},
      {128, {101, -101, 32767}, {51, -50, 16384}},
      {0, {32767, -32768}, {0, 0}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Volume);
    Task.FAudioVolume = Case.Volume;
    std::vector<int16_t> Samples = Case.In;
    Task.ApplyVolume(reinterpret_cast<uint8_t *>(Samples.data()),
                     static_cast<int>(Samples.size() * 2));
    EXPECT_EQ(Samples, Case.Out);
  }
}

// Set-up on a task with the 44.1 kHz mono AAC clip as input.
class AudioSetUpTest : public AudioTest {
 protected:
  TOutputStream &SetUp(const TArgs &Options, const std::string &File) {
    TArgs Args{{"i", MediaFile("audio.m4a")}};
    Args.insert(Args.end(), Options.begin(), Options.end());
    Args.push_back({"", Folder.File(File)});
    EXPECT_TRUE(SetUpConversion(Task, Args)) << Task.FLastErrorText;
    TOutputStream &Ost = *Task.FOutputFiles.at(0)->Streams.at(0);
    Task.SetUpAudioOutput(Ost, *Task.FInputFiles.at(0)->Streams.at(0));
    return Ost;
  }
  bool Logged(const std::string &Start) const {
    for (const TTaskLogLine &Line : Log)
      if (Line.Level == 1 && Line.Text.rfind(Start, 0) == 0) return true;
    return false;
  }
};

TEST_F(AudioSetUpTest, EncoderGetsItsNearestRateAndALayoutItTakes) {
  const struct {
    const char *Encoder;
    int Rate, Channels;
    const char *File;
    int FittedRate, FittedChannels;
  } Cases[] = {
      {"mp2", 8000, 2, "a.mp2", 16000, 2},
      {"mp2", 11025, 1, "a.mp2", 16000, 1},
      {"mp2", 44100, 6, "a.mp2", 44100, 1},  // no six-channel layout: its first
      {"ac3", 22050, 2, "a.ac3", 32000, 2},
      {"libmp3lame", 8000, 2, "a.mp3", 8000, 2},
      {"libopencore_amrnb", 44100, 2, "a.amr", 8000, 1},
      {"libgsm", 44100, 2, "a.mkv", 8000, 1},
      {"g723_1", 8000, 2, "a.mkv", 8000, 1},
      {"aac", 44100, 2, "a.m4a", 44100, 2},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Encoder);
    Task.Reset();
    Log.clear();
    if (!av::avcodec_find_encoder_by_name(Case.Encoder)) continue;  // not in this library build
    TOutputStream &Ost = SetUp({{"acodec", Case.Encoder},
                                {"ar", std::to_string(Case.Rate)},
                                {"ac", std::to_string(Case.Channels)}},
                               Case.File);
    AVCodecContext &Enc = *Ost.Encoder;
    EXPECT_EQ(Enc.sample_rate, Case.FittedRate);
    EXPECT_EQ(Enc.ch_layout.nb_channels, Case.FittedChannels);
    EXPECT_EQ(Enc.time_base.num, 1);
    EXPECT_EQ(Enc.time_base.den, Case.FittedRate);
    EXPECT_EQ(Ost.St->codecpar->sample_rate, Case.FittedRate);
    EXPECT_EQ(Logged("Audio encoder " + std::string(Enc.codec->name) + " does not support " +
                     std::to_string(Case.Rate) + " Hz, using " + std::to_string(Case.FittedRate)),
              Case.FittedRate != Case.Rate);
    EXPECT_EQ(Logged("Audio encoder " + std::string(Enc.codec->name) + " does not support the "),
              Case.FittedChannels != Case.Channels);
    EXPECT_TRUE(Ost.Fifo);
    // The fitted settings are ones the encoder opens with.
    EXPECT_GE(av::avcodec_open2(&Enc, Enc.codec, nullptr), 0);
  }
}

TEST_F(AudioSetUpTest, ResamplingFollowsRateAndSyncMethod) {
  const struct {
    int Rate, SyncMethod, AudioResample;
  } Cases[] = {{44100, 0, 0}, {44100, 1, 0}, {22050, 0, 1}, {44100, 2, 1}, {44100, 100, 1}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(std::to_string(Case.Rate) + " async " + std::to_string(Case.SyncMethod));
    Task.Reset();
    TOutputStream &Ost = SetUp({{"acodec", "pcm_s16le"},
                                {"ar", std::to_string(Case.Rate)},
                                {"async", std::to_string(Case.SyncMethod)}},
                               "a.wav");
    EXPECT_EQ(Ost.AudioResample, Case.AudioResample);
  }
}

// Whole conversions of generated tones.
class AudioConversionTest : public AudioTest {
 protected:
  std::string Tone(const std::string &Name, const std::vector<std::string> &Arguments) {
    std::vector<std::string> Command{"/usr/bin/ffmpeg", "-nostdin", "-hide_banner",
                                     "-loglevel",       "error",    "-y"};
    Command.insert(Command.end(), Arguments.begin(), Arguments.end());
    Command.push_back(Folder.File(Name));
    EXPECT_EQ(RunProgram(Command).ExitStatus, 0);
    return Folder.File(Name);
  }
  // Converts Input with Options into Output; the session must finish cleanly.
  void Convert(const std::string &Input, const TArgs &Options, const std::string &Output,
               int Verbose = 1) {
    TArgs Args{{"i", Input}};
    Args.insert(Args.end(), Options.begin(), Options.end());
    Args.push_back({"", Folder.File(Output)});
    Task.Reset();
    ASSERT_TRUE(SetUpConversion(Task, Args)) << Task.FLastErrorText;
    Task.FVerbose = Verbose;
    Log.clear();
    Task.Start(false);
    EXPECT_TRUE(Task.FFinished);
    EXPECT_FALSE(Task.FExceptionRaised) << Task.FExceptionMessage;
  }
};

TEST_F(AudioConversionTest, RateAndChannelsAreConverted) {
  const std::string Input =
      Tone("stereo48k.wav",
           {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=2", "-ac", "2"});
  const struct {
    const char *Output;
    TArgs Options;
    const char *Codec;
    int Rate, Channels;
  } Cases[] = {
      {"mono.wav", {{"ar", "44100"}, {"ac", "1"}}, "pcm_s16le", 44100, 1},
      {"mono.mp3", {{"ar", "22050"}, {"ac", "1"}}, "mp3", 22050, 1},
      {"fitted.mp2", {{"ar", "8000"}, {"ac", "2"}}, "mp2", 16000, 2},
      {"aac.m4a", {{"ar", "48000"}, {"ac", "2"}}, "aac", 48000, 2},
      {"amr.amr",
       {{"acodec", "libopencore_amrnb"}, {"ar", "44100"}, {"ac", "2"}},
       "amr_nb",
       8000,
       1},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    Convert(Input, Case.Options, Case.Output);
    const TProbedFile File = Probe(Folder.File(Case.Output));
    const TProbedStream *Audio = File.First("audio");
    ASSERT_NE(Audio, nullptr);
    EXPECT_EQ(Audio->at("codec_name"), Case.Codec);
    EXPECT_EQ(std::stoi(Audio->at("sample_rate")), Case.Rate);
    EXPECT_EQ(std::stoi(Audio->at("channels")), Case.Channels);
    // Encoder delay and the containers' own estimates: the ffmpeg program gives the same.
    EXPECT_NEAR(File.Duration, 2.0, 0.1);
  }
  // PCM shows the exact count: 2 s at 44.1 kHz, one channel.
  EXPECT_NEAR(static_cast<double>(WavSamples(Folder.File("mono.wav")).size()), 88200, 64);
}

TEST_F(AudioConversionTest, LastSamplesOfAFrameEncoderArePaddedNotLost) {
  // 1 s at 44.1 kHz: 38 whole frames of 1152 samples and 324 samples over.
  const std::string Input =
      Tone("second.wav", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1"});
  Convert(Input, {{"acodec", "mp2"}, {"ar", "44100"}, {"ac", "1"}}, "padded.mp2");
  const TProbedFile File = Probe(Folder.File("padded.mp2"));
  const TProbedStream *Audio = File.First("audio");
  ASSERT_NE(Audio, nullptr);
  EXPECT_EQ(Audio->at("nb_read_frames"), "39");
}

TEST_F(AudioConversionTest, VolumeReachesTheOutput) {
  const std::string Input =
      Tone("loud.wav", {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=0.5",
                        "-af", "volume=0.75"});
  Convert(Input, {{"acodec", "pcm_s16le"}, {"ar", "44100"}, {"ac", "1"}, {"vol", "512"}},
          "louder.wav");
  const std::vector<int16_t> In = WavSamples(Input), Out = WavSamples(Folder.File("louder.wav"));
  ASSERT_EQ(Out.size(), In.size());
  for (size_t I = 0; I < In.size(); ++I)
    ASSERT_EQ(Out[I], std::clamp(2 * In[I], -32768, 32767)) << I;
}

// Audio starting 0.5 s after the video: with cutting and padding the output starts with
// 0.5 s of silence; re-stamping alone starts with the tone.
TEST_F(AudioConversionTest, LateAudioIsPaddedWithSilenceWhenSyncCutsAndPads) {
  const std::string Input =
      Tone("late_audio.mkv",
           {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1.5", "-itsoffset", "0.5",
            "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1", "-c:v", "mpeg4",
            "-c:a", "pcm_s16le"});
  const struct {
    const char *SyncMethod;
    int LeadingSilence;
  } Cases[] = {{"1", 22050}, {"100", 22050}, {"0", 0}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.SyncMethod);
    const std::string Output = std::string("sync") + Case.SyncMethod + ".wav";
    Convert(Input,
            {{"vn", ""},
             {"acodec", "pcm_s16le"},
             {"ar", "44100"},
             {"ac", "1"},
             {"async", Case.SyncMethod}},
            Output, 3);
    const bool Padded = Case.LeadingSilence != 0;
    EXPECT_EQ(std::count(Log.begin(), Log.end(),
                         TTaskLogLine{1, "adding 22050 audio samples of silence"}),
              Padded ? 1 : 0);
    const std::vector<int16_t> Samples = WavSamples(Folder.File(Output));
    size_t Silent = 0;
    while (Silent < Samples.size() && Samples[Silent] == 0) ++Silent;
    EXPECT_NEAR(static_cast<double>(Silent), Case.LeadingSilence, 64);
    EXPECT_NEAR(static_cast<double>(Samples.size()), 44100 + Case.LeadingSilence, 64);
  }
}

}  // namespace
