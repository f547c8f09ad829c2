// Whole conversions: generated clips through the session into every container family the
// catalogue uses, read back with ffprobe, and the session's edge cases as a converted file or
// the notifications show them.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/engine/transcode_test_support.h"

namespace {

class TTranscodeTest : public TConversionTest {
 protected:
  TTempFolder Folder{"transcode"};
};

struct TFormatCase {
  const char *Output;
  TArgs Options;
  const char *VideoCodec;  // null: no video stream
  const char *AudioCodec;  // null: no audio stream
  int Width, Height;
  double FrameRate;
  int SampleRate, Channels;
};

// The sample clip: 320x240 H.264 at 25 fps with 44.1 kHz mono AAC, 2 s.
// clang-format off
const TFormatCase FormatCases[] = {
    {"mpeg4.mp4", {{"vcodec", "mpeg4"}, {"acodec", "libfaac"}}, "mpeg4", "aac", 320, 240, 25, 44100, 1},
    {"x264.mp4", {{"vcodec", "libx264"}, {"acodec", "aac"}}, "h264", "aac", 320, 240, 25, 44100, 1},
    {"x264.mov", {{"vcodec", "libx264"}, {"acodec", "aac"}, {"ar", "48000"}}, "h264", "aac", 320, 240, 25, 48000, 1},
    {"h263.3gp", {{"vcodec", "h263"}, {"s", "176x144"}, {"acodec", "libamr_nb"}, {"ar", "8000"}, {"ac", "1"}}, "h263", "amr_nb", 176, 144, 25, 8000, 1},
    {"mpeg4.3g2", {{"vcodec", "mpeg4"}, {"s", "176x144"}, {"r", "15"}, {"acodec", "aac"}, {"ar", "22050"}}, "mpeg4", "aac", 176, 144, 15, 22050, 1},
    {"mpeg4.avi", {{"vcodec", "mpeg4"}, {"acodec", "libmp3lame"}, {"ac", "2"}}, "mpeg4", "mp3", 320, 240, 25, 44100, 2},
    {"xvid.avi", {{"vcodec", "libxvid"}, {"acodec", "mp2"}}, "mpeg4", "mp2", 320, 240, 25, 44100, 1},
    {"raw.avi", {{"vcodec", "rawvideo"}, {"s", "160x120"}, {"acodec", "pcm_s16le"}}, "rawvideo", "pcm_s16le", 160, 120, 25, 44100, 1},
    {"ac3.avi", {{"vcodec", "msmpeg4"}, {"acodec", "ac3"}, {"ar", "48000"}, {"ac", "2"}}, "msmpeg4v3", "ac3", 320, 240, 25, 48000, 2},
    {"wmv.wmv", {{"vcodec", "wmv2"}, {"acodec", "wmav2"}}, "wmv2", "wmav2", 320, 240, 25, 44100, 1},
    {"asf.asf", {{"vcodec", "msmpeg4"}, {"acodec", "wmav2"}}, "msmpeg4v3", "wmav2", 320, 240, 25, 44100, 1},
    {"flash.flv", {{"vcodec", "flv"}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, "flv1", "mp3", 320, 240, 25, 22050, 1},
    {"flash.swf", {{"vcodec", "flv"}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, "flv1", "mp3", 320, 240, 25, 22050, 1},
    {"real.rm", {{"vcodec", "rv10"}, {"acodec", "ac3"}, {"ar", "48000"}, {"ac", "2"}}, "rv10", "ac3", 320, 240, 25, 48000, 2},
    {"program.mpg", {{"vcodec", "mpeg1video"}, {"acodec", "mp2"}}, "mpeg1video", "mp2", 320, 240, 25, 44100, 1},
    {"vcd.mpg", {{"target", "pal-vcd"}}, "mpeg1video", "mp2", 352, 288, 25, 44100, 2},
    {"svcd.mpg", {{"target", "pal-svcd"}}, "mpeg2video", "mp2", 480, 576, 25, 44100, 2},
    {"dvd.mpg", {{"target", "pal-dvd"}}, "mpeg2video", "ac3", 720, 576, 25, 48000, 2},
    {"audio.aac", {{"vn", ""}, {"acodec", "libfaac"}}, nullptr, "aac", 0, 0, 0, 44100, 1},
    {"audio.au", {{"vn", ""}, {"acodec", "pcm_s16be"}}, nullptr, "pcm_s16be", 0, 0, 0, 44100, 1},
    {"audio.m4a", {{"vn", ""}, {"acodec", "aac"}, {"ac", "2"}}, nullptr, "aac", 0, 0, 0, 44100, 2},
    // mp2 has no 8000 Hz: the nearest rate it takes.
    {"audio.mp2", {{"vn", ""}, {"acodec", "mp2"}, {"ar", "8000"}}, nullptr, "mp2", 0, 0, 0, 16000, 1},
    {"audio.mp3", {{"vn", ""}, {"acodec", "libmp3lame"}, {"ar", "22050"}}, nullptr, "mp3", 0, 0, 0, 22050, 1},
    {"audio.ogg", {{"vn", ""}, {"acodec", "vorbis"}}, nullptr, "vorbis", 0, 0, 0, 44100, 1},
    {"audio.wav", {{"vn", ""}, {"acodec", "pcm_s16le"}}, nullptr, "pcm_s16le", 0, 0, 0, 44100, 1},
    {"audio.ra", {{"vn", ""}, {"acodec", "ac3"}, {"ar", "48000"}}, nullptr, "ac3", 0, 0, 0, 48000, 1},
    {"audio.wma", {{"vn", ""}, {"acodec", "wmav2"}}, nullptr, "wmav2", 0, 0, 0, 44100, 1},
};
// clang-format on

double Rate(const std::string &Text) {
  const size_t Slash = Text.find('/');
  if (Slash == std::string::npos) return std::atof(Text.c_str());
  const double Den = std::atof(Text.c_str() + Slash + 1);
  return Den != 0 ? std::atof(Text.c_str()) / Den : 0;
}

TEST_F(TTranscodeTest, EveryContainerFamilyConverts) {
  for (const TFormatCase &Case : FormatCases) {
    SCOPED_TRACE(Case.Output);
    TCustomFFmpeg Task;
    Task.Reset();
    TArgs Args{{"i", MediaFile("sample.mov")}};
    Args.insert(Args.end(), Case.Options.begin(), Case.Options.end());
    const std::string Output = Folder.File(Case.Output);
    Args.push_back({"", Output});
    ASSERT_TRUE(SetUpConversion(Task, Args)) << Task.FLastErrorText;
    Task.Start(false);
    EXPECT_TRUE(Task.FFinished);
    EXPECT_FALSE(Task.FExceptionRaised) << Task.FExceptionMessage;
    const TProbedFile File = Probe(Output);
    ASSERT_FALSE(File.FormatName.empty());
    // Flash files do not record their duration.
    if (File.FormatName != "swf") {
      EXPECT_NEAR(File.Duration, 2.0, 0.1);
    }
    const TProbedStream *Video = File.First("video");
    ASSERT_EQ(Video != nullptr, Case.VideoCodec != nullptr);
    if (Video) {
      EXPECT_EQ(Video->at("codec_name"), Case.VideoCodec);
      EXPECT_EQ(std::stoi(Video->at("width")), Case.Width);
      EXPECT_EQ(std::stoi(Video->at("height")), Case.Height);
      EXPECT_NEAR(Rate(Video->at("avg_frame_rate")), Case.FrameRate, 0.5);
      EXPECT_NEAR(std::stoi(Video->at("nb_read_frames")), 2 * Case.FrameRate, 1);
    }
    const TProbedStream *Audio = File.First("audio");
    ASSERT_EQ(Audio != nullptr, Case.AudioCodec != nullptr);
    if (Audio) {
      // Without AMR-NB in the library the 3GPP profiles fall back to AAC.
      if (std::string(Case.AudioCodec) != "amr_nb" || Audio->at("codec_name") != "aac") {
        EXPECT_EQ(Audio->at("codec_name"), Case.AudioCodec);
      }
      EXPECT_EQ(std::stoi(Audio->at("sample_rate")), Case.SampleRate);
      EXPECT_EQ(std::stoi(Audio->at("channels")), Case.Channels);
    }
  }
}

}  // namespace
