// What a conversion keeps of its source, measured against the ffmpeg program doing the same
// job: the frame rate through every video encoder of the catalogue, the track marked default,
// tags, cover art and dates, the pixel format of H.264 outputs, the level of a downmix.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "profiles/format_settings.h"
#include "profiles/job_mapping.h"
#include "tests/engine/transcode_test_support.h"
#include "text/text_utils.h"

namespace {

const std::string Ffmpeg = "/usr/bin/ffmpeg";

// Generated sources, made once for the whole file.
class KeptSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Folder = new TTempFolder("kept_source"); }
  static void TearDownTestSuite() {
    delete Folder;
    Folder = nullptr;
  }
  void SetUp() override { LoadSystemLibraries(); }

  // Runs the ffmpeg program with Arguments after its quiet, overwriting options.
  static void RunFfmpeg(std::vector<std::string> Arguments) {
    Arguments.insert(Arguments.begin(), {Ffmpeg, "-nostdin", "-v", "error", "-y"});
    const TProcessResult Result = RunProgram(Arguments);
    ASSERT_EQ(Result.ExitStatus, 0) << Result.Errors;
  }
  // A source file Name made once by the ffmpeg program.
  static std::string Source(const std::string &Name, const std::vector<std::string> &Arguments) {
    const std::string Path = Folder->File(Name);
    if (!Made.insert(Name).second) return Path;
    std::vector<std::string> Command = Arguments;
    Command.push_back(Path);
    RunFfmpeg(Command);
    return Path;
  }
  // Converts with the engine in this thread; the task's log lines in Log.
  static bool EngineConvert(const TArgs &Args, std::string *Log = nullptr) {
    TCustomFFmpeg Task;
    Task.Reset();
    Task.FOnLog = [Log](TCustomFFmpeg *, int, const std::string &Text) {
      if (Log) *Log += Text + "\n";
    };
    if (!SetUpConversion(Task, Args)) {
      ADD_FAILURE() << Task.FLastErrorText;
      return false;
    }
    Task.Start(false);
    EXPECT_FALSE(Task.FExceptionRaised) << Task.FExceptionMessage;
    return Task.FFinished;
  }
  // "RATE FRAMES" of the first video stream, as ffprobe counts them.
  static std::string RateAndFrames(const std::string &File) {
    const TProbedFile Probed = Probe(File);
    const TProbedStream *Video = Probed.First("video");
    if (!Video) return "no video";
    return Video->at("avg_frame_rate") + " " + Video->at("nb_read_frames");
  }

  static TTempFolder *Folder;
  static std::set<std::string> Made;
};

TTempFolder *KeptSourceTest::Folder = nullptr;
std::set<std::string> KeptSourceTest::Made;

struct TVideoCodec {
  std::string Encoder;
  std::string Extension;
};

// Every video encoder the catalogue's entries offer, each with the first entry's container.
std::vector<TVideoCodec> CatalogueVideoCodecs() {
  TFormatSettings Settings;
  Settings.FillOutputFormatList();
  std::vector<TVideoCodec> Codecs;
  std::set<std::string> Seen;
  for (int Index = 0; Index < Settings.ComboOutputFormat.Count(); ++Index) {
    Settings.ComboOutputFormat.SetItemIndex(Index);
    Settings.ComboOutputFormatChange();
    if (IsAudioType(Settings.FOutputType)) continue;
    for (const std::string &Item : Settings.ComboVideoCodec.Items()) {
      const std::string Encoder = VideoCodecName(Item);
      if (!Encoder.empty() && Seen.insert(Encoder).second)
        Codecs.push_back({Encoder, LowerCaseText(Settings.FOutputType)});
    }
  }
  return Codecs;
}

// Without a rate asked for, the input's rate is kept as far as the encoder takes it, the same
// rate and count as the ffmpeg program gives: a phone clip's 90000/2999 is more than MPEG-4
// admits, MPEG-1/2 take only their fixed rates.
TEST_F(KeptSourceTest, EveryVideoEncoderKeepsTheSourceRateAsFarAsItCan) {
  const std::vector<TVideoCodec> Codecs = CatalogueVideoCodecs();
  ASSERT_GE(Codecs.size(), 10u);
  const char *Rates[] = {"30", "60", "90000/2999"};
  for (size_t R = 0; R < std::size(Rates); ++R) {
    const std::string Rate = Rates[R];
    const std::string Input = Source(
        "rate" + std::to_string(R) + ".mp4",
        {"-f", "lavfi", "-i", "testsrc=size=176x144:duration=1:rate=" + Rate, "-c:v", "libx264",
         "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-video_track_timescale", "90000"});
    for (const TVideoCodec &Codec : Codecs) {
      SCOPED_TRACE(Codec.Encoder + " at " + Rate);
      const std::string Ours = Folder->File("ours-" + Codec.Encoder + "." + Codec.Extension);
      const std::string Theirs = Folder->File("theirs-" + Codec.Encoder + "." + Codec.Extension);
      ASSERT_TRUE(EngineConvert({{"i", Input}, {"vcodec", Codec.Encoder}, {"an", ""}, {"", Ours}}));
      RunFfmpeg({"-i", Input, "-c:v", Codec.Encoder, "-an", Theirs});
      EXPECT_EQ(RateAndFrames(Ours), RateAndFrames(Theirs));
    }
  }
}

}  // namespace
