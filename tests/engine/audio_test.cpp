// The audio output path: decoded frames to 16-bit samples, volume, fitting an encoder to the
// rates and layouts it takes, and conversions that pad with silence and pad the last frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/FFMPEG/transcode_session.h"
#include "tests/engine/transcode_test_support.h"

namespace {

// Samples samples per channel, each channel holding one value (full scale = 1).
TFramePtr MakeFrame(AVSampleFormat Format, int Channels, int Rate,
                    const std::vector<double> &Values, int Samples = 4) {
  TFramePtr Frame(av::av_frame_alloc());
  Frame->nb_samples = Samples;
  Frame->format = Format;
  Frame->sample_rate = Rate;
  av::av_channel_layout_default(&Frame->ch_layout, Channels);
  EXPECT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
  const AVSampleFormat Packed = av::av_get_packed_sample_fmt(Format);
  const int Bytes = av::av_get_bytes_per_sample(Format);
  for (int Channel = 0; Channel < Channels; ++Channel) {
    const double Double = Values[Channel % Values.size()];
    const float Float = static_cast<float>(Double);
    // Integer formats, little-endian: U8 is offset by half its range.
    const int64_t Whole =
        (Packed == AV_SAMPLE_FMT_U8 ? 128 : 0) +
        static_cast<int64_t>(Double * static_cast<double>(1LL << (8 * Bytes - 1)));
    const void *Value = Packed == AV_SAMPLE_FMT_FLT   ? &Float
                        : Packed == AV_SAMPLE_FMT_DBL ? static_cast<const void *>(&Double)
                                                      : &Whole;
    for (int Sample = 0; Sample < Samples; ++Sample)
      std::memcpy(Packed == Format ? Frame->extended_data[0] + (Sample * Channels + Channel) * Bytes
                                   : Frame->extended_data[Channel] + Sample * Bytes,
                  Value, Bytes);
  }
  return Frame;
}

class AudioTest : public TTaskTest {
 protected:
  TArgs Args(const std::string &Input, const TArgs &Options, const std::string &Output) const {
    TArgs Args{{"i", Input}};
    Args.insert(Args.end(), Options.begin(), Options.end());
    Args.push_back({"", Folder.File(Output)});
    return Args;
  }
  // The output's first stream set up from the 44.1 kHz mono AAC clip.
  TOutputStream &SetUp(const TArgs &Options, const std::string &Output) {
    Session.reset();
    Task.Reset();
    Log.clear();
    EXPECT_TRUE(SetUpConversion(Task, Args(MediaFile("audio.m4a"), Options, Output)))
        << Task.FLastErrorText;
    TOutputStream &Ost = *Task.FOutputFiles.at(0)->Streams.at(0);
    Session = std::make_unique<TTranscodeSession>(Task);
    Session->SetUpAudioOutput(Ost, *Task.FInputFiles.at(0)->Streams.at(0));
    return Ost;
  }
  bool Logged(const std::string &Start) const {
    return std::any_of(Log.begin(), Log.end(), [&](const TTaskLogLine &Line) {
      return Line.Level == 1 && Line.Text.rfind(Start, 0) == 0;
    });
  }
  std::string Tone(const std::string &Name, const std::vector<std::string> &Arguments) {
    std::vector<std::string> Command{"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
    Command.insert(Command.end(), Arguments.begin(), Arguments.end());
    Command.push_back(Folder.File(Name));
    EXPECT_EQ(RunProgram(Command).ExitStatus, 0);
    return Folder.File(Name);
  }
  void Convert(const std::string &Input, const TArgs &Options, const std::string &Output) {
    Task.Reset();
    ASSERT_TRUE(SetUpConversion(Task, Args(Input, Options, Output))) << Task.FLastErrorText;
    Task.EditOptions().FVerbose = 3;
    Log.clear();
    Task.Start(false);
    EXPECT_TRUE(Task.FFinished);
    EXPECT_FALSE(Task.FExceptionRaised) << Task.FExceptionMessage;
  }

  TTempFolder Folder{"audio-test"};
  // Holds what the audio path was set up by.
  std::unique_ptr<TTranscodeSession> Session;
};

TEST_F(AudioTest, EveryDecoderFormatBecomesInterleaved16Bit) {
  const struct {
    AVSampleFormat Format;
    int Channels, Rate;
    std::vector<double> Values;
    std::vector<int16_t> Expected;  // one sample frame
  } Cases[] = {
      {AV_SAMPLE_FMT_FLTP, 2, 48000, {0.25, -0.5}, {8192, -16384}},
      {AV_SAMPLE_FMT_S16, 2, 22050, {0.25, -0.5}, {8192, -16384}},
      {AV_SAMPLE_FMT_S32P, 1, 8000, {-0.25}, {-8192}},
      {AV_SAMPLE_FMT_DBLP, 2, 32000, {0.5, 0.25}, {16384, 8192}},
      {AV_SAMPLE_FMT_U8, 2, 11025, {0.25, -0.5}, {8192, -16384}},
      // Six channels keep their count and order: no remix.
      {AV_SAMPLE_FMT_FLTP, 6, 48000, {0.25, -0.5, 0.5}, {8192, -16384, 16384, 8192, -16384, 16384}},
      {AV_SAMPLE_FMT_FLTP, 2, 48000, {1.5, -1.5}, {32767, -32768}},
  };
  // One converter for all: it follows each change of format, rate and layout, and its sample
  // buffer, grown once, is never shrunk.
  TSampleConverter Converter(256);
  uint8_t *Data = nullptr;
  int Size = 0;
  ASSERT_TRUE(Converter.Convert(*MakeFrame(AV_SAMPLE_FMT_FLTP, 2, 44100, {0}, 4096), Data, Size));
  const unsigned Grown = Converter.Capacity();
  EXPECT_GE(Grown, 4096u * 4);
  for (const auto &Case : Cases) {
    SCOPED_TRACE(av::av_get_sample_fmt_name(Case.Format) + std::to_string(Case.Channels));
    ASSERT_TRUE(Converter.Convert(*MakeFrame(Case.Format, Case.Channels, Case.Rate, Case.Values),
                                  Data, Size));
    EXPECT_EQ(Converter.Rate(), Case.Rate);
    EXPECT_EQ(Converter.Channels(), Case.Channels);
    ASSERT_EQ(Size, 4 * Case.Channels * 2);
    const auto *Samples = reinterpret_cast<const int16_t *>(Data);
    for (int I = 0; I < Size / 2; ++I)
      EXPECT_EQ(Samples[I], Case.Expected[I % Case.Channels]) << "sample " << I;
  }
  EXPECT_EQ(Converter.Capacity(), Grown);

  TFramePtr NoChannels(av::av_frame_alloc());
  NoChannels->format = AV_SAMPLE_FMT_FLTP;
  NoChannels->sample_rate = 44100;
  EXPECT_FALSE(Converter.Convert(*NoChannels, Data, Size));
}

TEST_F(AudioTest, VolumeScalesRoundsAndClips) {
  const struct {
    int Volume;
    std::vector<int16_t> In, Out;
  } Cases[] = {
      {512, {32767, -32768, 20000, -20000, 100, -100}, {32767, -32768, 32767, -32768, 200, -200}},
      {128, {101, -101, 32767}, {51, -50, 16384}},
  };
  for (const auto &Case : Cases) {
    std::vector<int16_t> Samples = Case.In;
    ApplyVolume(reinterpret_cast<uint8_t *>(Samples.data()), static_cast<int>(Samples.size() * 2),
                Case.Volume);
    EXPECT_EQ(Samples, Case.Out) << Case.Volume;
  }
}

// The encoder's nearest rate and a layout it takes, logged; the resampler when the rate
// changes or the sync method compensates drift.
TEST_F(AudioTest, EncoderIsFittedAndResamplingChosen) {
  const struct {
    const char *Encoder, *File, *SyncMethod;
    int Rate, Channels, FittedRate, FittedChannels, AudioResample;
  } Cases[] = {
      {"mp2", "a.mp2", "1", 8000, 2, 16000, 2, 1},
      {"mp2", "a.mp2", "1", 44100, 6, 44100, 1, 0},  // no six-channel layout: its first
      {"libopencore_amrnb", "a.amr", "0", 44100, 2, 8000, 1, 1},
      {"aac", "a.m4a", "100", 44100, 2, 44100, 2, 1},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Encoder);
    if (!av::avcodec_find_encoder_by_name(Case.Encoder)) continue;  // not in this library build
    TOutputStream &Ost = SetUp({{"acodec", Case.Encoder},
                                {"ar", std::to_string(Case.Rate)},
                                {"ac", std::to_string(Case.Channels)},
                                {"async", Case.SyncMethod}},
                               Case.File);
    AVCodecContext &Enc = *Ost.Encoder;
    EXPECT_EQ(Enc.sample_rate, Case.FittedRate);
    EXPECT_EQ(Enc.ch_layout.nb_channels, Case.FittedChannels);
    EXPECT_EQ(std::tuple(Enc.time_base.num, Enc.time_base.den, Ost.St->codecpar->sample_rate),
              std::tuple(1, Case.FittedRate, Case.FittedRate));
    EXPECT_EQ(Ost.Audio->Resampling(), Case.AudioResample != 0);
    const std::string Prefix =
        "Audio encoder " + std::string(Enc.codec->name) + " does not support ";
    EXPECT_EQ(Logged(Prefix + std::to_string(Case.Rate) + " Hz, using " +
                     std::to_string(Case.FittedRate)),
              Case.FittedRate != Case.Rate);
    EXPECT_EQ(Logged(Prefix + "the "), Case.FittedChannels != Case.Channels);
    EXPECT_TRUE(Ost.Audio->HasFifo());
    EXPECT_GE(av::avcodec_open2(&Enc, Enc.codec, nullptr), 0);
  }
}

// The chain feeds the rate the encoder was fitted to, and samples left in the FIFO of a frame
// encoder are padded into one last frame, not lost.
TEST_F(AudioTest, FittedEncoderGetsEverySampleWithTheLastFramePadded) {
  const std::string Input =
      Tone("stereo48k.wav",
           {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=2", "-ac", "2"});
  Convert(Input, {{"ar", "8000"}}, "fitted.mp2");
  const TProbedFile File = Probe(Folder.File("fitted.mp2"));
  const TProbedStream *Audio = File.First("audio");
  ASSERT_NE(Audio, nullptr);
  EXPECT_EQ(Audio->at("sample_rate"), "16000");
  EXPECT_EQ(Audio->at("channels"), "2");
  // 32000 samples: 27 whole frames of 1152 and 896 samples over.
  EXPECT_EQ(Audio->at("nb_read_frames"), "28");
  EXPECT_NEAR(File.Duration, 2.0, 0.1);
}

// Audio starting 0.5 s after the video: with cutting and padding the output starts with
// 0.5 s of silence; re-stamping alone starts with the tone.
TEST_F(AudioTest, LateAudioIsPaddedWithSilenceWhenSyncCutsAndPads) {
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
    Convert(Input, {{"vn", ""}, {"acodec", "pcm_s16le"}, {"ac", "1"}, {"async", Case.SyncMethod}},
            Output);
    EXPECT_EQ(std::count(Log.begin(), Log.end(),
                         TTaskLogLine{1, "adding 22050 audio samples of silence"}),
              Case.LeadingSilence ? 1 : 0);
    const std::vector<int16_t> Samples = WavSamples(Folder.File(Output));
    const auto Silent = std::find_if(Samples.begin(), Samples.end(), [](int16_t S) { return S; });
    EXPECT_NEAR(static_cast<double>(Silent - Samples.begin()), Case.LeadingSilence, 64);
    EXPECT_NEAR(static_cast<double>(Samples.size()), 44100 + Case.LeadingSilence, 64);
  }
}

}  // namespace
