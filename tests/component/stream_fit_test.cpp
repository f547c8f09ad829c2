// The stream-fit decision on stream facts that real files rarely show together: each case
// changes one fact or setting of a stream pair that fits an MP4 job, and expects the reason.

#include "engine/component/stream_fit.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using F = TStreamFacts;
using J = TOutputOptions;
using TChange = void (*)(F &Video, F &Audio, J &Options);

TStreamFacts FittingVideo() {
  TStreamFacts Video;
  Video.Index = 0;
  Video.Kind = TStreamKind::Video;
  Video.Codec = "mpeg4";
  Video.BitRate = 800000;
  Video.SetupInHeader = true;
  Video.Width = 320;
  Video.Height = 240;
  Video.PixelFormat = "yuv420p";
  Video.RateNum = Video.AverageRateNum = 25;
  Video.RateDen = Video.AverageRateDen = 1;
  return Video;
}

TStreamFacts FittingAudio() {
  TStreamFacts Audio;
  Audio.Index = 1;
  Audio.Codec = "aac";
  Audio.Profile = "LC";
  Audio.BitRate = 96000;
  Audio.SetupInHeader = true;
  Audio.SampleRate = 44100;
  Audio.Channels = 2;
  return Audio;
}

TOutputOptions Mp4Job() {
  TOutputOptions Options;
  Options.VideoCodec = "mpeg4";
  Options.FrameRate = "25";
  Options.VideoBitrate = 1200000;
  Options.AspectRatio = "1.3333";
  Options.AudioCodec = "libfaac";
  Options.AudioSampleRate = 44100;
  Options.AudioChannels = 2;
  Options.AudioBitrate = 128000;
  Options.AudioVolume = 255;
  return Options;
}

class StreamFitTest : public testing::Test {
 protected:
  void SetUp() override { LoadSystemLibraries(); }
};

TEST_F(StreamFitTest, EachMissingSettingOrUncertainFactReEncodes) {
  const struct {
    const char *File;
    TChange Change;
    std::vector<std::string> Reasons;  // per stream of the output, "" for a copied one
  } Cases[] = {
      // clang-format off
      {"a.mp4", [](F &, F &, J &) {}, {"", ""}},
      {"a.mp4", [](F &V, F &, J &) { V.SetupInHeader = false; },
       {"no decoder set-up in the stream's header", ""}},
      {"a.mp4", [](F &V, F &, J &O) { V.Codec = "h264"; V.SetupInHeader = false; O.VideoCodec = "libx264"; },
       {"Annex B start codes would need a bitstream filter", ""}},
      {"a.mp4", [](F &V, F &, J &) { V.MayPackFrames = true; },
       {"DivX stream, its B-frames may be packed", ""}},
      {"a.mp4", [](F &V, F &, J &) { V.RateNum = 0; }, {"frame rate unknown", ""}},
      {"a.mp4", [](F &V, F &, J &) { V.PixelFormat = "yuv444p"; },
       {"pixel format yuv444p, the encoder makes yuv420p", ""}},
      {"a.mp4", [](F &, F &, J &O) { O.CropTop = 8; }, {"the entry crops the picture", ""}},
      {"a.mp4", [](F &, F &, J &O) { O.PadBottom = 40; }, {"the entry pads the picture", ""}},
      {"a.mp4", [](F &, F &, J &O) { O.VideoBitrate = -1; },
       {"the entry leaves the bit rate to the encoder", ""}},
      {"a.mp4", [](F &, F &A, J &) { A.Profile = "HE-AAC"; },
       {"", "profile HE-AAC, the encoder makes LC"}},
      {"a.mp4", [](F &, F &A, J &O) { A.Channels = 6; O.AudioChannels = -1; O.AudioChannelLimit = 2; },
       {"", "6 channels, the entry takes at most 2"}},
      {"a.mp4", [](F &, F &, J &O) { O.TargetType = 3; },
       {"the entry writes a disc format", "the entry writes a disc format"}},
      {"a.wav", [](F &, F &A, J &O) { A.Codec = "mp3"; O.AudioCodec = "libmp3lame"; O.DisableVideo = true; },
       {"the wav container does not take mp3 as it is"}},
      {"a.wma", [](F &, F &A, J &O) { A.Codec = "wmav2"; O.AudioCodec = "wmav2"; O.DisableVideo = true; },
       {"no copy of wmav2 is known to be safe"}},
      // clang-format on
  };
  for (const auto &Case : Cases) {
    TStreamFacts Video = FittingVideo(), Audio = FittingAudio();
    TOutputOptions Options = Mp4Job();
    Case.Change(Video, Audio, Options);
    const std::vector<TStreamFit> Fits = FitStreams({Video, Audio}, Options, Case.File);
    std::vector<std::string> Reasons;
    for (const TStreamFit &Fit : Fits) Reasons.push_back(Fit.Copy ? "" : Fit.Reason);
    EXPECT_EQ(Reasons, Case.Reasons) << Case.File;
  }
}

TEST_F(StreamFitTest, ACopiedStreamTakesTheCopyCodecAndNoEncoderSettings) {
  TOutputOptions Options = Mp4Job();
  Options.FrameSize = "320x240";
  ApplyStreamFits({{0, TStreamKind::Video, true, ""}, {1, TStreamKind::Audio, false, ""}}, Options);
  EXPECT_EQ(Options.VideoCodec, "copy");
  EXPECT_EQ(Options.FrameRate + Options.FrameSize + Options.AspectRatio, "");
  EXPECT_EQ(Options.VideoBitrate, -1);
  EXPECT_EQ(Options.AudioCodec, "libfaac");
  EXPECT_EQ(Options.AudioBitrate, 128000);

  ApplyStreamFits({{1, TStreamKind::Audio, true, ""}}, Options);
  EXPECT_EQ(Options.AudioCodec, "copy");
  EXPECT_EQ(Options.AudioSampleRate + Options.AudioChannels + Options.AudioBitrate, -3);
  EXPECT_EQ(Options.AudioVolume, 256);
}

}  // namespace
