// The media probe on the generated fixtures: stream layout, container facts, failures, the
// log lines of its queries, and agreement with the ffprobe program.

#include "engine/component/av_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_bindings.h"
#include "tests/support/test_support.h"

namespace {

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadSystemLibraries(); }
  TAVProbe Probe;
};

void ExpectClosed(const TAVProbe &Probe) {
  EXPECT_EQ(Probe.StreamCount(), -1);
  EXPECT_EQ(Probe.ProgramCount(), -1);
  EXPECT_EQ(Probe.AudioStreamCount(), -1);
  EXPECT_EQ(Probe.VideoStreamCount(), -1);
  EXPECT_EQ(Probe.SubtitleStreamCount(), -1);
  EXPECT_EQ(Probe.FirstAudioStream(), -1);
  EXPECT_EQ(Probe.FirstVideoStream(), -1);
  EXPECT_EQ(Probe.FirstSubtitleStream(), -1);
}

TEST_F(ProbeTest, QuickTimeFileReportsItsStreamsAndFacts) {
  ASSERT_TRUE(Probe.LoadFile(MediaFile("sample.mov"), "")) << Probe.LastError();
  EXPECT_EQ(Probe.StreamCount(), 2);
  EXPECT_EQ(Probe.VideoStreamCount(), 1);
  EXPECT_EQ(Probe.AudioStreamCount(), 1);
  EXPECT_EQ(Probe.SubtitleStreamCount(), 0);
  EXPECT_EQ(Probe.FirstVideoStream(), 0);
  EXPECT_EQ(Probe.FirstAudioStream(), 1);
  EXPECT_EQ(Probe.FirstSubtitleStream(), -1);
  EXPECT_EQ(Probe.FormatName(), "");

  TVideoStreamInfo Video;
  Probe.GetVideoStreamInfo(Video);
  EXPECT_EQ(Video.Width, 320);
  EXPECT_EQ(Video.Height, 240);
  EXPECT_EQ(Video.FrameRateNum, 25);
  EXPECT_EQ(Video.FrameRateDen, 1);
  EXPECT_STREQ(Video.CodecName, "h264");
  EXPECT_EQ(Video.PixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_NE(Video.Duration, -1);

  TFormatInfo Format;
  Probe.GetFormatInfo(Format);
  EXPECT_EQ(Format.Duration, 2000000);
  EXPECT_EQ(Format.StartTime, 0);
  EXPECT_GT(Format.BitRate, 0);
}

TEST_F(ProbeTest, StreamQueriesByIndexCheckTheIndexAndTheKind) {
  ASSERT_TRUE(Probe.LoadFile(MediaFile("ntsc.mp4"), ""));
  TLogCapture Log;
  TVideoStreamInfo Info;
  Probe.GetVideoStreamInfo(0, Info);
  EXPECT_EQ(Info.Width, 320);
  Probe.GetVideoStreamInfo(1, Info);
  EXPECT_EQ(Info.Width, -1);
  EXPECT_TRUE(Log.Contains(AV_LOG_ERROR, "stream #1 is not video stream.\n"));
  Probe.GetVideoStreamInfo(2, Info);
  EXPECT_TRUE(Log.Contains(AV_LOG_ERROR, "stream index #2 is invalid.\n"));
  EXPECT_EQ(Info.FrameRateNum, -1);
}

TEST_F(ProbeTest, AudioOnlyFileHasNoVideoStream) {
  ASSERT_TRUE(Probe.LoadFile(MediaFile("audio.m4a"), ""));
  EXPECT_EQ(Probe.VideoStreamCount(), 0);
  EXPECT_EQ(Probe.FirstVideoStream(), -1);
  EXPECT_EQ(Probe.AudioStreamCount(), 1);
  EXPECT_EQ(Probe.FirstAudioStream(), 0);
  TLogCapture Log;
  TVideoStreamInfo Video;
  Probe.GetVideoStreamInfo(Video);
  EXPECT_TRUE(Log.Contains(AV_LOG_ERROR, "no video stream.\n"));
  EXPECT_EQ(Video.Width, -1);
  EXPECT_EQ(Video.Height, -1);
  TFormatInfo Format;
  Probe.GetFormatInfo(Format);
  EXPECT_EQ(Format.Duration, 3000000);
}

TEST_F(ProbeTest, QueriesWithoutAFileLogAndReturnTheEmptyValues) {
  TLogCapture Log;
  TFormatInfo Format;
  Probe.GetFormatInfo(Format);
  EXPECT_EQ(Format.StartTime, -1);
  EXPECT_EQ(Format.Duration, -1);
  EXPECT_EQ(Format.BitRate, -1);
  EXPECT_EQ(Format.Year, -1);
  EXPECT_EQ(Format.Title[0], '\0');
  TVideoStreamInfo Video;
  Probe.GetVideoStreamInfo(Video);
  EXPECT_EQ(Video.Width, -1);
  int NotLoaded = 0;
  for (const TLogLine &Line : Log.Lines())
    NotLoaded += Line.Level == AV_LOG_INFO && Line.Text == "file not loaded.\n";
  EXPECT_EQ(NotLoaded, 2);
}

TEST_F(ProbeTest, ContainerWithoutDurationReportsTheNoValueConstant) {
  ASSERT_TRUE(Probe.LoadFile(MediaFile("noduration.mkv"), "")) << Probe.LastError();
  TFormatInfo Format;
  Probe.GetFormatInfo(Format);
  EXPECT_EQ(Format.Duration, AV_NOPTS_VALUE);
}

TEST_F(ProbeTest, NamesWithBlanksAndNonAsciiLettersOpen) {
  ASSERT_TRUE(Probe.LoadFile(MediaFile("Größe und Länge é.mov"), "")) << Probe.LastError();
  EXPECT_EQ(Probe.VideoStreamCount(), 1);
}

TEST_F(ProbeTest, FailedLoadsGiveTheOpenErrorAndLeaveTheProbeClosed) {
  const struct {
    const char *File;
    const char *Suffix;
  } Cases[] = {
      {"missing.mov", ": no such file or directory"},
      {"clip.mov", ": Unknown format"},
      {"truncated.mov", ": Error while parsing header"},
  };
  for (const auto &Case : Cases) {
    ASSERT_TRUE(Probe.LoadFile(MediaFile("sample.mov"), ""));
    EXPECT_FALSE(Probe.LoadFile(MediaFile(Case.File), ""));
    EXPECT_EQ(Probe.LastError(), MediaFile(Case.File) + Case.Suffix);
    ExpectClosed(Probe);
  }
}

TEST_F(ProbeTest, ForcedFormats) {
  EXPECT_FALSE(Probe.LoadFile(MediaFile("sample.mov"), "nosuchformat"));
  EXPECT_EQ(Probe.LastError(), "Unknown input format: nosuchformat");
  ExpectClosed(Probe);
  ASSERT_TRUE(Probe.LoadFile(MediaFile("sample.mov"), "mov")) << Probe.LastError();
  EXPECT_EQ(Probe.FormatName(), "mov");
  Probe.Close();
  ExpectClosed(Probe);
}

TEST_F(ProbeTest, OnlyRegularFilesAreOpenedAndTheOthersAreRefusedUnopened) {
  TTempFolder Folder("probe-kinds");
  const std::string Fifo = Folder.File("pipe.mov");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  // Should the probe open the pipe after all, this writer ends its wait at once (an end of
  // file), so the test fails instead of hanging. Otherwise the reader below lets it go.
  std::thread Writer([&Fifo] {
    const int Written = open(Fifo.c_str(), O_WRONLY);
    if (Written >= 0) close(Written);
  });
  std::filesystem::create_directory(Folder.File("folder.mov"));
  const struct {
    std::string File;
    const char *Kind;
  } Cases[] = {
      {Fifo, "a named pipe"},
      {Folder.File("folder.mov"), "a directory"},
      {"/dev/null", "a character device"},
  };
  for (const auto &Case : Cases) {
    ASSERT_TRUE(Probe.LoadFile(MediaFile("sample.mov"), ""));
    EXPECT_FALSE(Probe.LoadFile(Case.File, ""));
    EXPECT_EQ(Probe.LastError(), "'" + Case.File + "' is " + Case.Kind + ", not a regular file");
    ExpectClosed(Probe);
  }
  const int Reader = open(Fifo.c_str(), O_RDONLY | O_NONBLOCK);
  Writer.join();
  close(Reader);
}

// Runs in Folder as the working directory for its life.
class TWorkingFolder {
 public:
  explicit TWorkingFolder(const std::string &Folder) : FPrevious(std::filesystem::current_path()) {
    std::filesystem::current_path(Folder);
  }
  ~TWorkingFolder() { std::filesystem::current_path(FPrevious); }

 private:
  std::filesystem::path FPrevious;
};

TEST_F(ProbeTest, RelativeNamesAreFilesExactlyAsGivenNeverProtocols) {
  TTempFolder Folder("probe-names");
  // Each name holds film.mp4 (176x144); a name read another way finds sample.mov (320x240)
  // or nothing.
  const char *Names[] = {"clip.mov ", "concat:a|b.mp4", "file:c.mp4", "-dash.mov", "new\nline.mov"};
  std::filesystem::copy_file(MediaFile("sample.mov"), Folder.File("clip.mov"));
  std::filesystem::copy_file(MediaFile("sample.mov"), Folder.File("b.mp4"));
  std::filesystem::copy_file(MediaFile("sample.mov"), Folder.File("c.mp4"));
  std::ofstream(Folder.File("a")).flush();
  for (const char *Name : Names)
    std::filesystem::copy_file(MediaFile("film.mp4"), Folder.File(Name));
  TWorkingFolder Inside(Folder.Path());
  for (const char *Name : Names) {
    SCOPED_TRACE(Name);
    ASSERT_TRUE(Probe.LoadFile(Name, "")) << Probe.LastError();
    TVideoStreamInfo Video;
    Probe.GetVideoStreamInfo(Video);
    EXPECT_EQ(Video.Width, 176);
  }
  EXPECT_FALSE(Probe.LoadFile("gone.mov ", ""));
  EXPECT_EQ(Probe.LastError(), "gone.mov : no such file or directory");
}

TEST(ProbeLibrariesTest, MissingLibrariesRaiseInTheirOrder) {
  UnloadAVLibs();
  TAVProbe Probe;
  std::string Ignored;
  const struct {
    bool (*Load)(std::string &, const std::string &, bool);
    const char *MessageBefore;
  } Steps[] = {
      {LoadAVCodecLib, "LibAVCodec not loaded."},
      {LoadAVFormatLib, "LibAVFormat not loaded."},
      {LoadAVUtilLib, "LibAVUtil not loaded."},
      {LoadSwScaleLib, "LibSwScale not loaded."},
      {LoadSwResampleLib, "LibSwResample not loaded."},
  };
  for (const auto &Step : Steps) {
    try {
      Probe.LoadFile(MediaFile("sample.mov"), "");
      ADD_FAILURE() << "no exception before " << Step.MessageBefore;
    } catch (const FFMpegException &Error) {
      EXPECT_STREQ(Error.what(), Step.MessageBefore);
    }
    ASSERT_TRUE(Step.Load(Ignored, "", true)) << Ignored;
  }
  EXPECT_TRUE(Probe.LoadFile(MediaFile("sample.mov"), ""));
  Probe.Close();
  UnloadAVLibs();
}

// What ffprobe says of a file's first video stream and its container.
std::map<std::string, std::string> FfprobeFacts(const std::string &File) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                  "stream=width,height,r_frame_rate:format=duration", "-of",
                  "default=noprint_wrappers=1", File});
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  std::map<std::string, std::string> Facts;
  size_t Start = 0;
  while (Start < Result.Output.size()) {
    size_t End = Result.Output.find('\n', Start);
    if (End == std::string::npos) End = Result.Output.size();
    const std::string Line = Result.Output.substr(Start, End - Start);
    const size_t Equals = Line.find('=');
    if (Equals != std::string::npos) Facts[Line.substr(0, Equals)] = Line.substr(Equals + 1);
    Start = End + 1;
  }
  return Facts;
}

// ffprobe's seconds with six decimals, as microseconds; AV_NOPTS_VALUE for "N/A".
int64_t Microseconds(const std::string &Seconds) {
  if (Seconds == "N/A") return AV_NOPTS_VALUE;
  const size_t Dot = Seconds.find('.');
  std::string Digits = Seconds.substr(0, Dot);
  std::string Fraction = Dot == std::string::npos ? "" : Seconds.substr(Dot + 1);
  Fraction.resize(6, '0');
  return std::stoll(Digits) * 1000000 + std::stoll(Fraction);
}

TEST_F(ProbeTest, AgreesWithFfprobeOnEveryMediaFixture) {
  for (const char *Name : {"sample.mov", "ntsc.mp4", "film.mp4", "audio.m4a",
                           "Größe und Länge é.mov", "noduration.mkv"}) {
    SCOPED_TRACE(Name);
    const std::string File = MediaFile(Name);
    auto Facts = FfprobeFacts(File);
    ASSERT_TRUE(Probe.LoadFile(File, "")) << Probe.LastError();
    TFormatInfo Format;
    Probe.GetFormatInfo(Format);
    EXPECT_EQ(Format.Duration, Microseconds(Facts["duration"]));
    TVideoStreamInfo Video;
    Probe.GetVideoStreamInfo(Video);
    if (Facts.count("width")) {
      EXPECT_EQ(std::to_string(Video.Width), Facts["width"]);
      EXPECT_EQ(std::to_string(Video.Height), Facts["height"]);
      EXPECT_EQ(std::to_string(Video.FrameRateNum) + "/" + std::to_string(Video.FrameRateDen),
                Facts["r_frame_rate"]);
    } else {
      EXPECT_EQ(Probe.VideoStreamCount(), 0);
    }
  }
}

}  // namespace
