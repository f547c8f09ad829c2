// What a conversion keeps of its source, measured against the ffmpeg program doing the same
// job: the frame rate through every video encoder of the catalogue, the track marked default,
// tags, cover art and dates, the pixel format of H.264 outputs, the level of a downmix.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
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
  // A short clip with a quiet first audio track and a loud second one marked default.
  static std::vector<std::string> TwoTracks(int Rate, std::vector<std::string> Extra) {
    std::vector<std::string> Arguments = {
        "-f",
        "lavfi",
        "-i",
        "testsrc=size=176x144:rate=" + std::to_string(Rate) + ":duration=1",
        "-f",
        "lavfi",
        "-i",
        "sine=frequency=440:duration=1,volume=0.1",
        "-f",
        "lavfi",
        "-i",
        "sine=frequency=880:duration=1,volume=0.4",
        "-map",
        "0",
        "-map",
        "1",
        "-map",
        "2",
        "-c:v",
        "mpeg4",
        "-c:a",
        "aac",
        "-disposition:a:0",
        "0",
        "-disposition:a:1",
        "default"};
    Arguments.insert(Arguments.end(), Extra.begin(), Extra.end());
    return Arguments;
  }
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

  // What ffprobe shows of File's Entries ("stream=codec_name"), one line per section.
  static std::string Shown(const std::string &File, const std::string &Entries) {
    const TProcessResult Result = RunProgram(
        {"/usr/bin/ffprobe", "-v", "error", "-show_entries", Entries, "-of", "compact", File});
    return Result.ExitStatus == 0 ? Result.Output : "ffprobe failed: " + Result.Errors;
  }
  // The mean (or with Peak the highest) level in dB, as the ffmpeg program's volumedetect
  // measures it.
  static double MeanVolume(const std::string &File, bool Peak = false) {
    const TProcessResult Result =
        RunProgram({Ffmpeg, "-nostdin", "-i", File, "-af", "volumedetect", "-f", "null", "-"});
    const std::string Name = Peak ? "max_volume: " : "mean_volume: ";
    const size_t At = Result.Errors.find(Name);
    return At == std::string::npos ? 1000 : std::atof(Result.Errors.c_str() + At + Name.size());
  }
  // Runs tarnwick-cli convert ENTRY FILE --output the folder, with Options; its output line.
  static std::string CliConvert(const std::string &Entry, const std::string &File,
                                const std::vector<std::string> &Options = {}) {
    std::vector<std::string> Command = {
        TARNWICK_CLI, "convert", Entry, File, "--overwrite", "--output", Folder->File("cli")};
    Command.insert(Command.end(), Options.begin(), Options.end());
    std::filesystem::create_directories(Folder->File("cli"));
    const TProcessResult Result = RunProgram(Command);
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Output << Result.Errors;
    const size_t Tab = Result.Output.rfind('\t');
    return Tab == std::string::npos
               ? ""
               : Result.Output.substr(Tab + 1, Result.Output.find('\n', Tab) - Tab - 1);
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

// The presentation times of File's video packets in seconds, in order.
std::vector<double> PictureTimes(const std::string &File) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                  "packet=pts_time", "-of", "csv=p=0", File});
  std::vector<double> Times;
  std::istringstream Lines(Result.Output);
  for (std::string Line; std::getline(Lines, Line);)
    if (!Line.empty()) Times.push_back(std::atof(Line.c_str()));
  std::sort(Times.begin(), Times.end());
  return Times;
}

// A variable-rate source (a second at 24 fps, then one at 60) with the source's timing asked
// for: MP4, MOV and MKV keep every picture at its time (the ffmpeg program's 5.1 makes MP4
// constant-rate, repeating pictures up to 120 fps); AVI and MPEG get the average rate, as the
// program gives for that rate; a constant-rate source comes out as without the switch.
TEST_F(KeptSourceTest, AVariableRateSourceKeepsItsTimestampsWhereTheContainerCan) {
  const std::string Mixed =
      Source("mixed-rate.mp4", {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=24:duration=1",
                                "-f", "lavfi", "-i", "testsrc=size=176x144:rate=60:duration=1",
                                "-filter_complex", "[0][1]concat=n=2:v=1:a=0[v]", "-map", "[v]",
                                "-c:v", "libx264", "-preset", "ultrafast", "-fps_mode", "vfr"});
  const std::string Steady =
      Source("steady-rate.mp4", {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=30:duration=1",
                                 "-c:v", "libx264", "-pix_fmt", "yuv420p"});
  const std::vector<double> MixedTimes = PictureTimes(Mixed);
  ASSERT_EQ(MixedTimes.size(), 84u);
  const std::string Average = Shown(Mixed, "stream=avg_frame_rate");
  const std::string AverageRate =
      Average.substr(Average.find('=') + 1, Average.find('\n') - Average.find('=') - 1);
  struct {
    std::string Input;
    const char *Encoder;
    const char *Extension;
    bool Kept;         // the source's timestamps, within Tolerance seconds
    double Tolerance;  // the output's clock (Matroska's milliseconds)
  } Cases[] = {
      {Mixed, "libx264", "mp4", true, 1e-6}, {Mixed, "mpeg4", "mp4", true, 2e-5},
      {Mixed, "mpeg4", "mov", true, 2e-5},   {Mixed, "libx264", "mkv", true, 5e-4},
      {Mixed, "mpeg4", "avi", false, 0},     {Mixed, "mpeg2video", "mpg", false, 0},
      {Steady, "libx264", "mp4", false, 0},  {Steady, "mpeg4", "mkv", false, 0},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Input + " through " + Case.Encoder + " into " + Case.Extension);
    const std::string Ours = Folder->File(std::string("ours-timing.") + Case.Extension);
    const std::string Theirs = Folder->File(std::string("theirs-timing.") + Case.Extension);
    std::filesystem::remove(Ours);
    ASSERT_TRUE(EngineConvert({{"i", Case.Input},
                               {"vcodec", Case.Encoder},
                               {"an", ""},
                               {"source_timing", ""},
                               {"", Ours}}));
    if (Case.Kept) {
      const std::vector<double> Times = PictureTimes(Ours);
      ASSERT_EQ(Times.size(), MixedTimes.size());
      for (size_t I = 0; I < Times.size(); ++I)
        EXPECT_NEAR(Times[I], MixedTimes[I], Case.Tolerance) << "picture " << I;
      // The program keeps them too where its muxer is flagged variable-rate.
      if (std::string(Case.Extension) == "mkv") {
        RunFfmpeg({"-i", Case.Input, "-c:v", Case.Encoder, "-an", Theirs});
        EXPECT_EQ(PictureTimes(Theirs).size(), Times.size());
      }
      continue;
    }
    // A constant-rate source as without the switch; a variable-rate one as the program does
    // at the source's average rate.
    if (Case.Input == Steady) {
      std::filesystem::remove(Theirs);
      ASSERT_TRUE(
          EngineConvert({{"i", Case.Input}, {"vcodec", Case.Encoder}, {"an", ""}, {"", Theirs}}));
      EXPECT_EQ(Shown(Ours, "stream=time_base,avg_frame_rate"),
                Shown(Theirs, "stream=time_base,avg_frame_rate"));
    } else {
      RunFfmpeg({"-i", Case.Input, "-c:v", Case.Encoder, "-an", "-r", AverageRate, "-fps_mode",
                 "cfr", Theirs});
    }
    // The rate exactly; the program of FFmpeg 7 shows the last picture one frame longer.
    const std::string Mine = RateAndFrames(Ours), Program = RateAndFrames(Theirs);
    const size_t Cut = Mine.find(' '), ProgramCut = Program.find(' ');
    ASSERT_NE(Cut, std::string::npos) << Mine;
    ASSERT_NE(ProgramCut, std::string::npos) << Program;
    EXPECT_EQ(Mine.substr(0, Cut), Program.substr(0, ProgramCut));
    EXPECT_NEAR(std::stoi(Mine.substr(Cut + 1)), std::stoi(Program.substr(ProgramCut + 1)),
                Case.Input == Steady ? 0 : 1)
        << Mine << " against " << Program;
  }
  // Through a job: the MP4 entry's "Auto" keeps the timestamps, 25 fps with the switch off.
  const std::vector<double> Job = PictureTimes(CliConvert("MP4 - MPEG4 Video (*.mp4)", Mixed));
  ASSERT_EQ(Job.size(), MixedTimes.size());
  for (size_t I = 0; I < Job.size(); ++I) EXPECT_NEAR(Job[I], MixedTimes[I], 2e-5);
  EXPECT_EQ(RateAndFrames(CliConvert("MP4 - MPEG4 Video (*.mp4)", Mixed, {"--auto-rate-25"}))
                .rfind("25/1 ", 0),
            0u);
}

// A two-track file whose second track is marked default (and four times as loud): the
// engine takes it as the ffmpeg program does, says so, and with the preference off takes the
// first, as before.
TEST_F(KeptSourceTest, TheTrackMarkedDefaultIsTaken) {
  for (const char *Extension : {"mkv", "mp4"}) {
    SCOPED_TRACE(Extension);
    const std::string Input = Source(
        std::string("two-tracks.") + Extension,
        TwoTracks(25, {"-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "language=fre"}));
    const std::string Theirs = Folder->File("theirs-track.mp3");
    RunFfmpeg({"-i", Input, "-vn", Theirs});
    const std::string First = Folder->File("first-track.mp3");
    RunFfmpeg({"-i", Input, "-map", "0:a:0", First});
    struct {
      bool Prefer;
      std::string Like;
    } Cases[] = {{true, Theirs}, {false, First}};
    for (const auto &Case : Cases) {
      const std::string Ours = Folder->File("ours-track.mp3");
      TArgs Args = {{"i", Input}, {"vn", ""}, {"acodec", "libmp3lame"}};
      if (Case.Prefer) Args.push_back({"default_streams", ""});
      Args.push_back({"", Ours});
      std::string Log;
      ASSERT_TRUE(EngineConvert(Args, &Log));
      EXPECT_NEAR(MeanVolume(Ours), MeanVolume(Case.Like), 0.5) << "preferring: " << Case.Prefer;
      EXPECT_EQ(Log.find("takes stream #0.2 (audio, fre, default); left out: #0.1 (audio, eng)") !=
                    std::string::npos,
                Case.Prefer)
          << Log;
    }
  }
}

// Tags, cover art and the file's date reach every output that can hold them, as the ffmpeg
// program copies tags; without the switch only the tags given are written.
TEST_F(KeptSourceTest, TagsCoverAndDatesAreKept) {
  const std::vector<std::string> Tags = {"-metadata", "title=Song T", "-metadata", "artist=Art A",
                                         "-metadata", "album=Alb B",  "-metadata", "date=2021",
                                         "-metadata", "genre=Rock",   "-metadata", "track=3"};
  const std::string Cover =
      Source("cover.jpg", {"-f", "lavfi", "-i", "color=c=red:s=64x64", "-frames:v", "1"});
  auto Tagged = [&](const std::string &Name, const std::string &Codec) {
    std::vector<std::string> Arguments = {"-f",
                                          "lavfi",
                                          "-i",
                                          "sine=duration=1",
                                          "-i",
                                          Cover,
                                          "-map",
                                          "0",
                                          "-map",
                                          "1",
                                          "-c:a",
                                          Codec,
                                          "-c:v",
                                          "copy",
                                          "-disposition:v",
                                          "attached_pic"};
    Arguments.insert(Arguments.end(), Tags.begin(), Tags.end());
    return Source(Name, Arguments);
  };
  const std::string Mp3 = Tagged("tagged.mp3", "libmp3lame");
  const std::string M4a = Tagged("tagged.m4a", "aac");
  const std::string Phone =
      Source("phone.mp4", {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=30:duration=1", "-c:v",
                           "libx264", "-pix_fmt", "yuv420p", "-metadata", "title=Clip", "-metadata",
                           "creation_time=2024-05-06T07:08:09.000000Z"});
  struct {
    std::string Input;
    const char *Output;
    bool Keep;
    const char *Wanted;  // the tags and covers ffprobe shows
  } Cases[] = {
      {Mp3, "mp3", true,
       "title=Song T|artist=Art A|album=Alb B|date=2021|genre=Rock|track=3|cover"},
      {Mp3, "m4a", true,
       "title=Song T|artist=Art A|album=Alb B|date=2021|genre=Rock|track=3|cover"},
      {M4a, "mp3", true,
       "title=Song T|artist=Art A|album=Alb B|date=2021|genre=Rock|track=3|cover"},
      {Mp3, "ogg", true, "title=Song T|artist=Art A|album=Alb B|date=2021|genre=Rock|track=3"},
      {Phone, "mp4", true, "title=Clip|creation_time=2024-05-06T07:08:09.000000Z"},
      {Mp3, "mp3", false, ""},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Input + " to " + Case.Output + (Case.Keep ? "" : ", tags off"));
    // An hour back and off the whole second, so that a fresh date or a rounded one shows.
    const auto Dated = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1) -
                       std::chrono::milliseconds(250);
    std::filesystem::last_write_time(Case.Input, Dated);
    const std::string Ours = Folder->File(std::string("ours-tags.") + Case.Output);
    // The phone clip keeps its video; the music loses the picture it has as video.
    TArgs Args = {{"i", Case.Input}};
    if (Case.Input == Phone)
      Args.push_back({"vcodec", "mpeg4"});
    else
      Args.push_back({"vn", ""});
    if (Case.Keep) Args.push_back({"keep_tags", ""});
    Args.push_back({"", Ours});
    ASSERT_TRUE(EngineConvert(Args));
    const std::string Facts =
        Shown(Ours, "format_tags:stream_tags:stream_disposition=attached_pic");
    std::string Found;
    for (const std::string Wanted :
         {"title=Song T", "artist=Art A", "album=Alb B", "date=2021", "genre=Rock", "track=3",
          "title=Clip", "creation_time=2024-05-06T07:08:09.000000Z", "attached_pic=1"})
      if (Facts.find("tag:" + Wanted) != std::string::npos ||
          Facts.find("disposition:" + Wanted) != std::string::npos)
        Found += (Found.empty() ? "" : "|") + (Wanted == "attached_pic=1" ? "cover" : Wanted);
    EXPECT_EQ(Found, Case.Wanted) << Facts;
    EXPECT_EQ(std::filesystem::last_write_time(Ours) == Dated, Case.Keep);
  }
}

// A 10-bit or 4:4:4 source through the device entries and an H.264 pick comes out 8-bit 4:2:0
// in a profile the device plays, where the ffmpeg program would write High 10.
TEST_F(KeptSourceTest, DevicesAndH264GetEightBitFourTwoZero) {
  const std::string Ten =
      Source("ten-bit.mp4", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-c:v",
                             "libx264", "-pix_fmt", "yuv420p10le"});
  const std::string Hevc =
      Source("ten-bit-hevc.mp4",
             {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-c:v", "libx265",
              "-pix_fmt", "yuv420p10le", "-x265-params", "log-level=error"});
  const std::string Full =
      Source("full-chroma.mp4", {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1",
                                 "-c:v", "libx264", "-pix_fmt", "yuv444p"});
  struct {
    std::string Input;
    const char *Entry;
    std::vector<std::string> Picks;
    const char *Wanted;
  } Cases[] = {
      {Ten, "Apple TV H264 (320 x 240) (*.mp4)", {}, "h264|Main|yuv420p"},
      {Hevc, "Apple TV H264 (640 x 480) (*.mp4)", {}, "h264|Main|yuv420p"},
      {Full, "Apple TV H264 (320 x 240) (*.mp4)", {}, "h264|Main|yuv420p"},
      {Ten,
       "iPod (*.mp4)",
       {"--pick", "ComboVideoCodec=H264"},
       "h264|Constrained Baseline|yuv420p"},
      {Ten, "iPod (*.mp4)", {}, "mpeg4|Simple Profile|yuv420p"},
      {Hevc, "MP4 - MPEG4 Video (*.mp4)", {"--pick", "ComboVideoCodec=H264"}, "h264|High|yuv420p"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Input + " through " + Case.Entry);
    const std::string Output = CliConvert(Case.Entry, Case.Input, Case.Picks);
    const std::string Facts = Shown(Output, "stream=codec_name,profile,pix_fmt");
    const std::string W = Case.Wanted;
    const size_t A = W.find('|'), B = W.rfind('|');
    EXPECT_EQ(Facts, "stream|codec_name=" + W.substr(0, A) + "|profile=" +
                         W.substr(A + 1, B - A - 1) + "|pix_fmt=" + W.substr(B + 1) + "\n");
  }
}

// 5.1 mixed down to stereo: the same level through the MP3, M4A, OGG and WAV entries, within
// 0.5 dB of the ffmpeg program's MP3 and M4A (which it mixes in float).
TEST_F(KeptSourceTest, OneDownmixLevelForEveryEntry) {
  std::vector<std::string> Arguments;
  const char *Tones[] = {"440", "660", "880", "110", "550", "770"};
  for (const char *Tone : Tones)
    Arguments.insert(
        Arguments.end(),
        {"-f", "lavfi", "-i", std::string("sine=sample_rate=48000:duration=2:frequency=") + Tone});
  Arguments.insert(Arguments.end(),
                   {"-filter_complex", "[0][1][2][3][4][5]join=inputs=6:channel_layout=5.1[a]",
                    "-map", "[a]", "-c:a", "ac3", "-b:a", "448k"});
  const std::string Input = Source("surround.ac3", Arguments);
  RunFfmpeg({"-i", Input, "-ac", "2", Folder->File("theirs-mix.mp3")});
  RunFfmpeg({"-i", Input, "-ac", "2", Folder->File("theirs-mix.m4a")});
  const double Reference = MeanVolume(Folder->File("theirs-mix.m4a"));
  EXPECT_NEAR(MeanVolume(Folder->File("theirs-mix.mp3")), Reference, 0.5);
  for (const char *Entry : {"mp3", "m4a", "ogg", "wav"}) {
    const std::string Output = CliConvert(Entry, Input);
    EXPECT_NEAR(MeanVolume(Output), Reference, 0.5) << Entry;
  }
}

// A 5.1 source with every channel at full scale: mixed at the same level it would clip. The
// loud passages are held below full scale instead, with one level for every entry; the 16-bit
// WAV, which no encoder reshapes, stays 1 dB below it.
TEST_F(KeptSourceTest, ALoudDownmixIsLimitedNotClipped) {
  const std::string Input =
      Source("loud-surround.wav",
             {"-f", "lavfi", "-i",
              "aevalsrc=sin(440*2*PI*t)|sin(660*2*PI*t)|sin(880*2*PI*t)|sin(110*2*PI*t)|"
              "sin(550*2*PI*t)|sin(770*2*PI*t):s=48000:d=2:c=5.1",
              "-c:a", "pcm_s16le"});
  const double Level = MeanVolume(CliConvert("wav", Input));
  EXPECT_LE(MeanVolume(Folder->File("cli/loud-surround.wav"), true), -0.9);
  for (const char *Entry : {"mp3", "m4a", "ogg"})
    EXPECT_NEAR(MeanVolume(CliConvert(Entry, Input)), Level, 0.5) << Entry;
}

// convert with each switch turned off by its word: a tagged 60 fps clip with a quiet first
// track and a loud one marked default. Through the whole batch: the window's switches reach
// the job.
TEST_F(KeptSourceTest, ConvertTurnsEachSwitchOffByItsWord) {
  const std::string Input = Source("switches.mkv", TwoTracks(60, {"-metadata", "title=Clip"}));
  const auto Dated = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  std::filesystem::last_write_time(Input, Dated);
  const std::string Loud = Folder->File("theirs-switches.mp4");
  RunFfmpeg({"-i", Input, "-ac", "2", Loud});
  struct {
    const char *Word;  // null: none
    const char *Rate;
    bool Tagged;
    bool LoudTrack;
  } Cases[] = {{nullptr, "60/1", true, true},
               {"--no-tags", "60/1", false, true},
               {"--first-tracks", "60/1", true, false},
               {"--auto-rate-25", "25/1", true, true}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Word ? Case.Word : "no word");
    std::vector<std::string> Words;
    if (Case.Word) Words.push_back(Case.Word);
    const std::string Output = CliConvert("MP4 - MPEG4 Video (*.mp4)", Input, Words);
    EXPECT_NE(Shown(Output, "stream=avg_frame_rate").find(Case.Rate), std::string::npos);
    EXPECT_EQ(Shown(Output, "format_tags=title").find("title=Clip") != std::string::npos,
              Case.Tagged);
    EXPECT_EQ(std::filesystem::last_write_time(Output) == Dated, Case.Tagged);
    EXPECT_EQ(std::abs(MeanVolume(Output) - MeanVolume(Loud)) < 0.5, Case.LoudTrack);
  }
}

}  // namespace
