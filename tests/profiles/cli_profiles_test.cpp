// tarnwick-cli formats and profile, run as a user runs them.

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(CliProfilesTest, FormatsListsEveryItemWithItsPosition) {
  const TProcessResult Result = RunProgram({TARNWICK_CLI, "formats"});
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  std::vector<std::string> Lines;
  for (std::size_t Start = 0, End; (End = Result.Output.find('\n', Start)) != std::string::npos;
       Start = End + 1)
    Lines.push_back(Result.Output.substr(Start, End - Start));
  ASSERT_EQ(Lines.size(), 62u);
  EXPECT_EQ(Lines[0], "0\t3GP - Mobile Video Format (*.3gp)");
  EXPECT_EQ(Lines[18], "18\t              -----------------------------------------");
  EXPECT_EQ(Lines[36], "36\tApple TV H264 (1280 x 720) (*.mp4)");
  EXPECT_EQ(Lines[61], "61\tiRiver PMP100 (*.avi)");
  EXPECT_EQ(RunProgram({TARNWICK_CLI, "formats", "extra"}).ExitStatus, 1);
}

TEST(CliProfilesTest, ProfilePrintsTheListsTheTypeAndTheJobOptions) {
  const TProcessResult Result =
      RunProgram({TARNWICK_CLI, "profile", "iPod Extra (640 x 480) (*.mp4)", "--pick",
                  "ComboVideoCodec=H264", "--pick", "ComboAspectRatio=4:3 (Standard"});
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_EQ(Result.Output,
            "ComboVideoCodec: MPEG4|[H264]\n"
            "ComboVideoSize: [640 x 480]\n"
            "ComboVideoBitrate: 512 Kbps|800 Kbps|1200 Kbps|[1500 Kbps]|2500 Kbps\n"
            "ComboVideoFramerate: [Auto]|14.985 fps|15.0 fps|23.975 fps|25.0 fps|29.97 fps|"
            "30.0 fps\n"
            "ComboAudioCodec: [mpeg4aac]\n"
            "ComboAudioBitrate: 32 Kbps|40 Kbps|48 Kbps|[64 Kbps]|80 Kbps|96 Kbps|112 Kbps|"
            "128 Kbps|160 Kbps|192 Kbps|224 Kbps|256 Kbps|320 Kbps\n"
            "ComboSamplingRate: 8000 Hz|16000 Hz|22050 Hz|32000 Hz|[44100 Hz]|48000 Hz|"
            "54000 Hz|96000 Hz\n"
            "ComboAudioChannels: [Stereo]|Mono\n"
            "ComboAspectRatio: Original|[4:3 (Standard]|16:9 (Wide Screen)\n"
            "FOutputType=MP4\n"
            "AudioCodec=libfaac\n"
            "AudioChannelLimit=2\n"
            "AudioSampleRate=44100\n"
            "AudioBitrate=64000\n"
            "VideoCodec=libx264\n"
            "FrameRate=Auto (the source's, at most 30.0)\n"
            "FrameSize=640x480\n"
            "VideoBitrate=1500000\n"
            "PixelFormat=yuv420p\n"
            "VideoProfile=66\n"
            "KeepSourceTiming=true\n");
}

TEST(CliProfilesTest, EntriesByPositionAndAudioFormats) {
  const TProcessResult ByText =
      RunProgram({TARNWICK_CLI, "profile", "MP3 - Mpeg Layer3 Audio (*.mp3)"});
  const TProcessResult ByPosition = RunProgram({TARNWICK_CLI, "profile", "23"});
  EXPECT_EQ(ByText.ExitStatus, 0) << ByText.Errors;
  EXPECT_EQ(ByPosition.Output, ByText.Output);
  EXPECT_EQ(ByText.Output.rfind("ComboVideoCodec:\nComboVideoSize:\nComboVideoBitrate:\n"
                                "ComboVideoFramerate:\nComboAudioCodec: [mp3]\n",
                                0),
            0u)
      << ByText.Output;
  EXPECT_NE(ByText.Output.find("FOutputType=MP3\nAudioCodec=libmp3lame\nAudioChannels=2\n"
                               "AudioSampleRate=48000\nAudioBitrate=192000\nDisableVideo=true\n"
                               "VideoBitrate=0\n"),
            std::string::npos)
      << ByText.Output;
}

// Picking a separator applies nothing: the list returns to the first entry without its
// settings, and a job from empty lists cannot be prepared.
TEST(CliProfilesTest, ASeparatorLeavesNothingToConvert) {
  const TProcessResult Result = RunProgram({TARNWICK_CLI, "profile", "28"});
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_EQ(Result.Output,
            "ComboVideoCodec:\nComboVideoSize:\nComboVideoBitrate:\nComboVideoFramerate:\n"
            "ComboAudioCodec:\nComboAudioBitrate:\nComboSamplingRate:\n"
            "ComboAudioChannels: [Stereo]|Mono\n"
            "ComboAspectRatio: [Original]|4:3 (Standard|16:9 (Wide Screen)\n"
            "FOutputType=\n"
            "Fail to add file to list!\n");
}

TEST(CliProfilesTest, MisuseIsReportedAndFails) {
  struct TMisuse {
    std::vector<std::string> Words;
    const char *Message;
  };
  const TMisuse Cases[] = {
      {{}, "no format list entry given"},
      {{"62"}, "'62' is neither a position nor an item of the format list"},
      {{"mp4 - mpeg4 video (*.mp5)"}, "is neither a position nor an item"},
      {{"10", "--pick", "ComboVideoCodec=H265"},
       "ComboVideoCodec holds no item 'H265' (items: MPEG4|H264|XVid)"},
      {{"10", "--pick", "ComboVideo=MPEG4"}, "no settings list named 'ComboVideo'"},
      {{"10", "--pick", "ComboVideoCodec"}, "expected LIST=TEXT after --pick"},
      {{"10", "--pick"}, "expected --pick LIST=TEXT"},
      {{"10", "ComboVideoCodec=MPEG4"}, "expected --pick LIST=TEXT"},
  };
  for (const TMisuse &Case : Cases) {
    std::vector<std::string> Arguments = {TARNWICK_CLI, "profile"};
    Arguments.insert(Arguments.end(), Case.Words.begin(), Case.Words.end());
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, 1) << Case.Message;
    EXPECT_EQ(Result.Output, "") << Case.Message;
    EXPECT_NE(Result.Errors.find(Case.Message), std::string::npos) << Result.Errors;
  }
  const TProcessResult Help = RunProgram({TARNWICK_CLI, "--help"});
  EXPECT_NE(Help.Output.find("tarnwick-cli formats"), std::string::npos);
  EXPECT_NE(Help.Output.find("tarnwick-cli profile ENTRY [--pick LIST=TEXT ...]"),
            std::string::npos);
}

}  // namespace
