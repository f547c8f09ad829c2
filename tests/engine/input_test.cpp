// Opening inputs: what a task takes over from each file, codec look-up with the encoder
// aliases, refusals, start-time seeks and timestamp offsets.

#include <cmath>

#include "engine/binding/av_api.h"
#include "tests/engine/options_test_support.h"

namespace {

using InputTest = TTaskTest;

struct TTakenOver {
  const char *File;
  int Width, Height;
  AVRational FrameRate;
  float Aspect;
  AVPixelFormat PixFmt;
  int SampleRate, Channels;
};

TEST_F(InputTest, EachInputHandsItsPictureAndSoundToTheNextOutput) {
  // Files without video or audio leave those values as they were (the defaults here).
  const TTakenOver Cases[] = {
      {"sample.mov", 320, 240, {25, 1}, 4.0f / 3, AV_PIX_FMT_YUV420P, 44100, 1},
      {"ntsc.mp4", 320, 240, {30000, 1001}, 4.0f / 3, AV_PIX_FMT_YUV420P, 48000, 1},
      {"film.mp4", 176, 144, {24000, 1001}, 176.0f / 144, AV_PIX_FMT_YUV420P, 44100, 2},
      {"audio.m4a", 0, 0, {0, 0}, 0, AV_PIX_FMT_NONE, 44100, 1},
      {"wide.mp4", 320, 240, {25, 1}, 2 * 320.0f / 240, AV_PIX_FMT_YUV420P, 44100, 2},
      {"raw.avi", 64, 48, {25, 1}, 64.0f / 48, AV_PIX_FMT_YUV420P, 44100, 2},
  };
  for (const TTakenOver &Case : Cases) {
    SCOPED_TRACE(Case.File);
    Task.Reset();
    ASSERT_TRUE(Task.OpenInputFile(MediaFile(Case.File))) << Task.FLastErrorText;
    EXPECT_EQ(Task.InputFileCount(), 1);
    EXPECT_EQ(Task.Options().FFrameWidth, Case.Width);
    EXPECT_EQ(Task.Options().FFrameHeight, Case.Height);
    EXPECT_EQ(Task.Options().FFrameRate.num, Case.FrameRate.num);
    EXPECT_EQ(Task.Options().FFrameRate.den, Case.FrameRate.den);
    EXPECT_NEAR(Task.Options().FFrameAspectRatio, Case.Aspect, 1e-5);
    EXPECT_EQ(Task.Options().FFramePixFmt, Case.PixFmt);
    EXPECT_EQ(Task.Options().FAudioSampleRate, Case.SampleRate);
    EXPECT_EQ(Task.Options().FAudioChannels, Case.Channels);
    // One decoder context per stream, filled from the stream.
    const TInputFileContext &Input = *Task.FInputFiles[0];
    ASSERT_EQ(Input.Streams.size(), Input.Context->nb_streams);
    for (unsigned I = 0; I < Input.Context->nb_streams; ++I) {
      const AVCodecContext &Decoder = *Input.Streams[I]->Decoder;
      EXPECT_EQ(Decoder.codec_id, Input.Context->streams[I]->codecpar->codec_id);
      EXPECT_EQ(Decoder.pkt_timebase.den, Input.Context->streams[I]->time_base.den);
    }
  }
}

TEST_F(InputTest, PerFileOptionsAreResetAfterEveryOpen) {
  for (const char *File : {"sample.mov", "no-such-file.mov"}) {
    SCOPED_TRACE(File);
    Task.SetOption("vcodec", "h264");
    Task.SetOption("acodec", "aac");
    Task.SetOption("f", "mov");
    Task.SetOption("re", "");
    Task.SetOption("vc", "3");
    Task.OpenInputFile(MediaFile(File));
    EXPECT_EQ(Task.Options().FVideoCodecName, "");
    EXPECT_EQ(Task.Options().FAudioCodecName, "");
    EXPECT_EQ(Task.Options().FInputFormat, nullptr);
    EXPECT_EQ(Task.Options().FOutputFormat, nullptr);
    EXPECT_EQ(Task.Options().FRateEmu, 0);
    EXPECT_EQ(Task.Options().FVideoChannel, 0);
  }
  EXPECT_EQ(Task.InputFileCount(), 1);
  EXPECT_EQ(Task.FInputFiles[0]->RateEmu, 1);
}

TEST_F(InputTest, FailedOpensSayWhyAndRegisterNothing) {
  const struct {
    const char *VideoCodec;
    const char *AudioCodec;
    const char *File;
    std::string Message;
  } Cases[] = {
      {"", "", "gone.mov", MediaFile("gone.mov") + ": no such file or directory"},
      {"", "", "clip.mov", MediaFile("clip.mov") + ": Unknown format"},
      {"", "", "truncated.mov", MediaFile("truncated.mov") + ": Error while parsing header"},
      // Codec names are checked before the file is touched: the file is missing here.
      {"nosuchcodec", "", "gone.mov", "Unknown decoder 'nosuchcodec'"},
      {"", "mpeg4", "gone.mov", "Invalid decoder type 'mpeg4'"},
      // Aliases are for encoders only.
      {"", "libfaac", "sample.mov", "Unknown decoder 'libfaac'"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File);
    Task.SetOption("vcodec", Case.VideoCodec);
    Task.SetOption("acodec", Case.AudioCodec);
    EXPECT_FALSE(Task.OpenInputFile(MediaFile(Case.File)));
    EXPECT_EQ(Task.FLastErrorText, Case.Message);
    EXPECT_EQ(Task.InputFileCount(), 0);
    EXPECT_TRUE(Task.FInputFiles.empty());
  }
}

// The first packet's time in microseconds.
int64_t FirstPacketTime(AVFormatContext *Context) {
  TPacketPtr Packet(av::av_packet_alloc());
  if (av::av_read_frame(Context, Packet.get()) < 0) return AV_NOPTS_VALUE;
  const AVStream *Stream = Context->streams[Packet->stream_index];
  return av::av_rescale_q(Packet->pts, Stream->time_base, AVRational{1, AV_TIME_BASE});
}

TEST_F(InputTest, StartTimeSeeksFromTheInputsOwnStartAndSetsTheOffset) {
  // late.mkv starts at 1 s and has a key frame every 0.2 s.
  Task.SetOption("ss", "2");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("late.mkv"))) << Task.FLastErrorText;
  EXPECT_EQ(Task.Options().FInputFilesTsOffset[0], -3000000);
  EXPECT_EQ(Task.Options().FStartTime, 0);
  EXPECT_EQ(FirstPacketTime(Task.FInputFiles[0]->Context.get()), 3000000);
  // The start time was for that file only; the input's own start still counts.
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("late.mkv")));
  EXPECT_EQ(Task.Options().FInputFilesTsOffset[1], -1000000);
  EXPECT_EQ(FirstPacketTime(Task.FInputFiles[1]->Context.get()), 1000000);
}

TEST_F(InputTest, OffsetsAddTheInputOffsetUnlessTimestampsAreCopied) {
  Task.SetOption("itsoffset", "0.5");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("late.mkv")));
  EXPECT_EQ(Task.Options().FInputFilesTsOffset[0], 500000 - 1000000);
  Task.SetOption("copyts", "");
  Task.SetOption("ss", "2");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("late.mkv")));
  EXPECT_EQ(Task.Options().FInputFilesTsOffset[1], 500000);
}

TEST_F(InputTest, TheLongestInputGivesTheExpectedDuration) {
  for (const bool LongFirst : {false, true}) {
    SCOPED_TRACE(LongFirst);
    Task.Reset();
    EXPECT_EQ(Task.Options().FOutputDurationMs, -1);
    ASSERT_TRUE(Task.OpenInputFile(MediaFile(LongFirst ? "audio.m4a" : "sample.mov")));
    ASSERT_TRUE(Task.OpenInputFile(MediaFile(LongFirst ? "sample.mov" : "audio.m4a")));
    EXPECT_EQ(Task.Options().FOutputDurationMs, 3000);
  }
  // A recording limit above the inputs' durations stays.
  Task.Reset();
  Task.SetOption("t", "00:00:10");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov")));
  EXPECT_EQ(Task.Options().FOutputDurationMs, 10000);
}

TEST_F(InputTest, DisabledTypesAreDiscardedAndStayDisabled) {
  Task.SetOption("an", "");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov")));
  Task.SetOption("vn", "");
  Task.SetOption("sn", "");
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("subtitled.mkv")));
  const AVFormatContext *First = Task.FInputFiles[0]->Context.get();
  EXPECT_EQ(First->streams[0]->discard, AVDISCARD_DEFAULT);
  EXPECT_EQ(First->streams[1]->discard, AVDISCARD_ALL);
  const AVFormatContext *Second = Task.FInputFiles[1]->Context.get();
  EXPECT_EQ(Second->streams[0]->discard, AVDISCARD_ALL);
  EXPECT_EQ(Second->streams[1]->discard, AVDISCARD_ALL);
  EXPECT_EQ(Task.Options().FAudioDisable, 1);
  EXPECT_EQ(Task.Options().FVideoDisable, 1);
  // Discarded or not, the picture is taken over.
  EXPECT_EQ(Task.Options().FFrameWidth, 176);
}

TEST_F(InputTest, AProgramIdDiscardsTheOtherPrograms) {
  for (const int Wanted : {0, 2}) {
    SCOPED_TRACE(Wanted);
    Task.Reset();
    Task.SetOption("programid", std::to_string(Wanted));
    ASSERT_TRUE(Task.OpenInputFile(MediaFile("programs.ts"))) << Task.FLastErrorText;
    const AVFormatContext *Context = Task.FInputFiles[0]->Context.get();
    ASSERT_EQ(Context->nb_programs, 2u);
    for (unsigned I = 0; I < Context->nb_programs; ++I)
      EXPECT_EQ(Context->programs[I]->discard,
                Wanted == 0 || Context->programs[I]->id == Wanted ? AVDISCARD_NONE : AVDISCARD_ALL);
  }
}

TEST_F(InputTest, StreamTypesOfAllInputs) {
  bool Video = true, Audio = true, Subtitle = true;
  Task.CheckInputStreamTypes(Video, Audio, Subtitle);
  EXPECT_FALSE(Video || Audio || Subtitle);
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("audio.m4a")));
  Task.CheckInputStreamTypes(Video, Audio, Subtitle);
  EXPECT_FALSE(Video);
  EXPECT_TRUE(Audio);
  EXPECT_FALSE(Subtitle);
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("subtitled.mkv")));
  Task.CheckInputStreamTypes(Video, Audio, Subtitle);
  EXPECT_TRUE(Video && Audio && Subtitle);
}

TEST_F(InputTest, EncoderNamesGoThroughTheAliasTable) {
  const char *AmrEncoder =
      av::avcodec_find_encoder_by_name("libopencore_amrnb") ? "libopencore_amrnb" : "aac";
  const struct {
    const char *Name;
    AVMediaType Type;
    const char *Encoder;  // null: refused with Message
    std::string Message;
  } Cases[] = {
      {"libfaac", AVMEDIA_TYPE_AUDIO, "aac", "Using encoder 'aac' for 'libfaac'"},
      {"libamr_nb", AVMEDIA_TYPE_AUDIO, AmrEncoder,
       std::string("Using encoder '") + AmrEncoder + "' for 'libamr_nb'"},
      {"vorbis", AVMEDIA_TYPE_AUDIO, "libvorbis", "Using encoder 'libvorbis' for 'vorbis'"},
      {"libxvid", AVMEDIA_TYPE_VIDEO, "libxvid", ""},
      {"mp2", AVMEDIA_TYPE_AUDIO, "mp2", ""},
      {"libfaac", AVMEDIA_TYPE_VIDEO, nullptr, "Invalid encoder type 'libfaac'"},
      {"mp2", AVMEDIA_TYPE_VIDEO, nullptr, "Invalid encoder type 'mp2'"},
      {"nosuchcodec", AVMEDIA_TYPE_VIDEO, nullptr, "Unknown encoder 'nosuchcodec'"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Log.clear();
    Task.FLastErrorText.clear();
    const AVCodec *Codec = nullptr;
    AVCodecID CodecId = AV_CODEC_ID_PROBE;
    const bool Found = Task.FindCodec(Case.Name, Case.Type, Codec, true);
    EXPECT_EQ(Task.FindCodec(Case.Name, Case.Type, CodecId, true), Found);
    if (!Case.Encoder) {
      EXPECT_FALSE(Found);
      EXPECT_EQ(Codec, nullptr);
      EXPECT_EQ(CodecId, AV_CODEC_ID_NONE);
      EXPECT_EQ(Task.FLastErrorText, Case.Message);
      continue;
    }
    ASSERT_TRUE(Found) << Task.FLastErrorText;
    EXPECT_STREQ(Codec->name, Case.Encoder);
    EXPECT_EQ(CodecId, Codec->id);
    if (Case.Message.empty())
      EXPECT_TRUE(Log.empty());
    else
      EXPECT_EQ(Log.front(), (TTaskLogLine{1, Case.Message}));
  }
  AVCodecID None = AV_CODEC_ID_PROBE;
  EXPECT_TRUE(Task.FindCodec("", AVMEDIA_TYPE_VIDEO, None, true));
  EXPECT_EQ(None, AV_CODEC_ID_NONE);
}

}  // namespace
