// Jobs of the device and player entries converted end to end with the command line, the
// outputs read back with ffprobe: channel counts a device plays and the "Auto" player size.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

// One ffprobe entry of the first stream of a type ("v", "a").
std::string StreamEntry(const std::string &File, const std::string &Type,
                        const std::string &Entry) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", Type + ":0",
                  "-show_entries", "stream=" + Entry, "-of", "csv=p=0", File});
  std::string Text = Result.Output;
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r')) Text.pop_back();
  return Text;
}

class DeviceConversionTest : public ::testing::Test {
 protected:
  // A 1 s clip of that picture size with a tone in that many channels.
  std::string Clip(const std::string &Name, const std::string &Size, int Channels) {
    const std::string File = Folder.File(Name);
    const TProcessResult Made = RunProgram({"/usr/bin/ffmpeg",
                                            "-nostdin",
                                            "-v",
                                            "error",
                                            "-y",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "testsrc=size=" + Size + ":rate=25:duration=1",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "sine=frequency=440:sample_rate=48000:duration=1",
                                            "-ac",
                                            std::to_string(Channels),
                                            "-c:v",
                                            "mpeg4",
                                            "-c:a",
                                            "aac",
                                            File});
    EXPECT_EQ(Made.ExitStatus, 0) << Made.Errors;
    return File;
  }

  // Converts Input with the entry and picks into a folder of its own; the output's name.
  std::string Convert(const std::string &Entry, const std::string &Input,
                      const std::vector<std::string> &Picks, const std::string &Extension) {
    const std::string Out = Folder.File("out" + std::to_string(++Runs));
    RunProgram({"/bin/mkdir", "-p", Out});
    std::vector<std::string> Arguments = {TARNWICK_CLI, "convert", Entry, Input, "--output", Out};
    for (const std::string &Pick : Picks) {
      Arguments.push_back("--pick");
      Arguments.push_back(Pick);
    }
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Output << Result.Errors;
    const std::string Name = Input.substr(Input.rfind('/') + 1);
    return Out + "/" + Name.substr(0, Name.rfind('.')) + Extension;
  }

  TTempFolder Folder{"device-conversion"};
  int Runs = 0;
};

TEST_F(DeviceConversionTest, DevicesGetAtMostTwoChannels) {
  struct TCase {
    const char *Entry;
    int SourceChannels;
    std::vector<std::string> Picks;
    const char *Channels;
  };
  const TCase Cases[] = {
      {"iPod (*.mp4)", 6, {}, "2"},
      {"iPod Extra (640 x 480) (*.mp4)", 6, {}, "2"},
      {"iPod Video For TV (*.mp4)", 6, {}, "2"},
      {"iPod Touch (*.mp4)", 6, {"ComboAudioChannels=Mono"}, "2"},
      {"iPod Touch Extra (640 x 480) (*.mp4)", 6, {}, "2"},
      {"Apple TV (*.mp4)", 6, {}, "2"},
      {"iPod (*.mp4)", 1, {}, "1"},
      {"iPod Touch (*.mp4)", 2, {}, "2"},
      {"MP4 - MPEG4 Video (*.mp4)", 6, {}, "2"},
  };
  const std::string Surround = Clip("surround.mp4", "320x240", 6);
  const std::string Mono = Clip("mono.mp4", "320x240", 1);
  const std::string Stereo = Clip("stereo.mp4", "320x240", 2);
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(std::string(Case.Entry) + ", " + std::to_string(Case.SourceChannels));
    const std::string &Input = Case.SourceChannels == 6   ? Surround
                               : Case.SourceChannels == 1 ? Mono
                                                          : Stereo;
    const std::string Output = Convert(Case.Entry, Input, Case.Picks, ".mp4");
    EXPECT_EQ(StreamEntry(Output, "a", "channels"), Case.Channels);
    EXPECT_EQ(StreamEntry(Output, "a", "codec_name"), "aac");
  }
}

TEST_F(DeviceConversionTest, PlayerSizeAutoFitsTheInput) {
  struct TCase {
    const char *Entry;
    const char *Source;
    const char *Size;
  };
  const TCase Cases[] = {
      {"Creative Zen Vision (*.avi)", "1280x720", "720,406"},
      {"Archos AV700 (*.avi)", "640x960", "320,480"},
      {"iRiver PMP100 (*.avi)", "320x240", "320,240"},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(std::string(Case.Entry) + ", " + Case.Source);
    const std::string Input = Clip(std::string("clip") + Case.Source + ".mp4", Case.Source, 2);
    const std::string Output = Convert(Case.Entry, Input, {"ComboVideoSize=Auto"}, ".avi");
    EXPECT_EQ(StreamEntry(Output, "v", "width,height"), Case.Size);
  }
}

}  // namespace
