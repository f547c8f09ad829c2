// The output clock: the last picture's display time, where the audio starts, the recording
// time, re-stamped pictures that collide, jumps in the input's clock and broken packets. Clips
// are generated with the ffmpeg program and the outputs read back with ffprobe.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/engine/transcode_test_support.h"

namespace {

// A stream's facts as ffprobe gives them; -1 when it has none.
struct TStreamClock {
  double StartTime = -1;
  double Duration = -1;
  int Frames = -1;
};

TStreamClock ProbeStream(const std::string &File, const std::string &Selector) {
  const TProcessResult Result = RunProgram(
      {"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", Selector,
       "-show_entries", "stream=start_time,duration,nb_read_frames", "-of", "flat=s=_", File});
  TStreamClock Clock;
  std::istringstream Lines(Result.Output);
  std::string Line;
  while (std::getline(Lines, Line)) {
    const size_t Equals = Line.find('=');
    if (Equals == std::string::npos) continue;
    std::string Value = Line.substr(Equals + 1);
    if (Value.size() >= 2 && Value.front() == '"') Value = Value.substr(1, Value.size() - 2);
    if (Value.empty() || Value == "N/A") continue;
    const std::string Key = Line.substr(0, Equals);
    const auto EndsWith = [&](const std::string &End) {
      return Key.size() >= End.size() && Key.compare(Key.size() - End.size(), End.size(), End) == 0;
    };
    if (EndsWith("_start_time")) Clock.StartTime = std::atof(Value.c_str());
    if (EndsWith("_duration")) Clock.Duration = std::atof(Value.c_str());
    if (EndsWith("_nb_read_frames")) Clock.Frames = std::atoi(Value.c_str());
  }
  return Clock;
}

// The time of the last frame's end as ffprobe reads the packets: pts + duration.
double StreamEnd(const std::string &File, const std::string &Selector) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", Selector, "-show_entries",
                  "packet=pts_time,duration_time", "-of", "csv=p=0", File});
  std::istringstream Lines(Result.Output);
  std::string Line;
  double End = -1;
  while (std::getline(Lines, Line)) {
    const size_t Comma = Line.find(',');
    if (Comma == std::string::npos) continue;
    const double Pts = std::atof(Line.c_str());
    const double Duration = std::atof(Line.c_str() + Comma + 1);
    if (Pts + Duration > End) End = Pts + Duration;
  }
  return End;
}

// Ogg's page checksum: CRC-32, polynomial 0x04c11db7, not reflected, starting at 0.
uint32_t OggChecksum(const std::string &Page) {
  uint32_t Crc = 0;
  for (const unsigned char Byte : Page) {
    Crc ^= uint32_t{Byte} << 24;
    for (int Bit = 0; Bit < 8; ++Bit) Crc = Crc & 0x80000000u ? (Crc << 1) ^ 0x04c11db7u : Crc << 1;
  }
  return Crc;
}

// Scrambles the body of every Step-th Vorbis page after the headers and mends the page's
// checksum, so that the demuxer hands the damaged packets on.
std::string DamageVorbisPages(const std::string &Ogg, int Step) {
  std::string Out;
  std::string Vorbis;  // the serial number of the Vorbis stream
  int Seen = 0;
  for (size_t At = 0; At + 27 <= Ogg.size();) {
    const size_t Segments = static_cast<unsigned char>(Ogg[At + 26]);
    size_t Body = 0;
    for (size_t I = 0; I < Segments; ++I) Body += static_cast<unsigned char>(Ogg[At + 27 + I]);
    std::string Page = Ogg.substr(At, 27 + Segments + Body);
    At += Page.size();
    const size_t Start = 27 + Segments;
    const std::string Serial = Page.substr(14, 4);
    if (Vorbis.empty() && Page.compare(Start, 7, "\x01vorbis") == 0) Vorbis = Serial;
    if (Serial == Vorbis && ++Seen > 3 && Seen % Step == 0) {
      for (size_t I = Start; I < Page.size(); I += 7)
        Page[I] = static_cast<char>(Page[I] * 31 + 17);
      Page.replace(22, 4, 4, '\0');
      const uint32_t Crc = OggChecksum(Page);
      for (int I = 0; I < 4; ++I) Page[22 + I] = static_cast<char>(Crc >> (8 * I));
    }
    Out += Page;
  }
  return Out;
}

class TOutputClockTest : public TConversionTest {
 protected:
  // A clip made by the ffmpeg program from Arguments (lavfi sources and encoders).
  std::string Make(const std::string &Name, const std::vector<std::string> &Arguments) {
    std::vector<std::string> Command{"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
    Command.insert(Command.end(), Arguments.begin(), Arguments.end());
    Command.push_back(Folder.File(Name));
    EXPECT_EQ(RunProgram(Command).ExitStatus, 0) << Name;
    return Folder.File(Name);
  }
  void ConvertClip(const std::string &Input, const TArgs &Options, const std::string &Output) {
    Task.Reset();
    TArgs Args{{"i", Input}};
    Args.insert(Args.end(), Options.begin(), Options.end());
    Args.push_back({"", Folder.File(Output)});
    Convert(Args);
  }
  TTempFolder Folder{"output-clock"};
};

struct TLastPictureCase {
  const char *Name;
  std::vector<std::string> Source;
  TArgs Options;
  int Frames;
  double Duration;
};

TEST_F(TOutputClockTest, LastPictureIsShownUntilItsEndTime) {
  // clang-format off
  const TLastPictureCase Cases[] = {
      {"one.avi", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=1:duration=2", "-c:v", "mpeg4"},
       {{"r", "25"}, {"vcodec", "mpeg4"}}, 50, 2.0},
      {"five.avi", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=5:duration=2", "-c:v", "mpeg4"},
       {{"r", "25"}, {"vcodec", "mpeg4"}}, 50, 2.0},
  };
  // clang-format on
  for (const TLastPictureCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Input = Make(Case.Name, Case.Source);
    ConvertClip(Input, Case.Options, std::string(Case.Name) + ".mp4");
    ExpectFinished();
    const std::string Output = Folder.File(std::string(Case.Name) + ".mp4");
    EXPECT_EQ(ProbeStream(Output, "v:0").Frames, Case.Frames);
    EXPECT_NEAR(StreamEnd(Output, "v:0"), Case.Duration, 0.041);
  }
}

struct TAudioStartCase {
  const char *Name;
  std::vector<std::string> Source;
  const char *Encoder;
};

// The output's audio ends where the input's does, give or take one encoder frame, and starts
// no later than the input.
TEST_F(TOutputClockTest, AudioStartsWithTheInput) {
  // clang-format off
  const TAudioStartCase Cases[] = {
      {"tone48.flac", {"-f", "lavfi", "-i", "sine=sample_rate=48000:duration=2"}, "aac"},
      {"tone44.flac", {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=2"}, "aac"},
      {"tone44b.flac", {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=2"}, "libmp3lame"},
      {"tone44.m4a", {"-f", "lavfi", "-i", "sine=sample_rate=44100:duration=2"}, "aac"},
  };
  // clang-format on
  for (const TAudioStartCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Input = Make(Case.Name, Case.Source);
    const std::string Output = std::string(Case.Name) + ".mp4";
    ConvertClip(Input, {{"acodec", Case.Encoder}}, Output);
    ExpectFinished();
    const TStreamClock Clock = ProbeStream(Folder.File(Output), "a:0");
    EXPECT_LE(Clock.StartTime, 0.001);
    EXPECT_NEAR(StreamEnd(Folder.File(Output), "a:0"), 2.0, 0.03);
  }
}

struct TRecordingCase {
  TArgs Options;
  const char *Output;
  double AudioEnd;  // the MP3 encoder's own delay comes on top, as with the ffmpeg program
};

// The sample clip is 25 fps H.264 with 44.1 kHz AAC; encoders that hold frames back must not
// let more than the recording time through.
TEST_F(TOutputClockTest, RecordingTimeEndsTheFeed) {
  // clang-format off
  const TRecordingCase Cases[] = {
      {{{"t", "1"}}, "default.mp4", 1.0},
      {{{"t", "1"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}}, "mpeg4.mp4", 1.0},
      {{{"t", "1"}, {"vcodec", "libx264"}, {"acodec", "aac"}}, "x264.mp4", 1.0},
      {{{"t", "1.5"}, {"vcodec", "libx264"}, {"acodec", "aac"}}, "x264_15.mp4", 1.5},
      {{{"t", "1"}, {"vcodec", "mpeg4"}, {"bf", "2"}, {"acodec", "libmp3lame"}}, "bframes.avi", 1.045},
  };
  // clang-format on
  for (const TRecordingCase &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    ConvertClip(MediaFile("sample.mov"), Case.Options, Case.Output);
    ExpectFinished();
    const std::string Output = Folder.File(Case.Output);
    EXPECT_EQ(ProbeStream(Output, "v:0").Frames,
              std::ceil(std::atof(Case.Options[0].second.c_str()) * 25));
    EXPECT_NEAR(StreamEnd(Output, "a:0"), Case.AudioEnd, 0.03);
  }
}

struct TRestampCase {
  const char *Name;
  const char *SourceRate;
  const char *Sync;
};

// Re-stamped to the output rate, several pictures land on one time: all but one are dropped.
TEST_F(TOutputClockTest, PicturesOnAnEarlierTimeAreDropped) {
  const TRestampCase Cases[] = {
      {"v50_2.mkv", "50", "2"},
      {"v50_0.mkv", "50", "0"},
      {"ntsc_2.mkv", "30000/1001", "2"},
      {"ntsc_0.mkv", "30000/1001", "0"},
  };
  for (const TRestampCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Input =
        Make(Case.Name, {"-f", "lavfi", "-i",
                         std::string("testsrc=size=160x120:duration=2:rate=") + Case.SourceRate,
                         "-c:v", "mpeg4"});
    ConvertClip(Input, {{"vsync", Case.Sync}, {"r", "25"}, {"vcodec", "mpeg4"}, {"an", ""}},
                std::string(Case.Name) + ".avi");
    ExpectFinished();
    EXPECT_GT(Task.Results().FramesDrop, 0);
    const int Frames = ProbeStream(Folder.File(std::string(Case.Name) + ".avi"), "v:0").Frames;
    EXPECT_GE(Frames, 49);
    EXPECT_LE(Frames, 51);
  }
}

struct TJumpCase {
  const char *Name;
  const char *Encoder;
};

// Two 1 s pieces of a transport stream, the second 20 s later: the output continues without a
// gap and keeps every picture.
TEST_F(TOutputClockTest, TimestampJumpKeepsEveryPicture) {
  const TJumpCase Cases[] = {{"jump_mpeg4", "mpeg4"}, {"jump_x264", "libx264"}};
  for (const TJumpCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::string Joined;
    for (const char *Offset : {"0", "20"})
      Joined += ReadFile(Make(std::string(Case.Name) + "_" + Offset + ".ts",
                              {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
                               "-c:v", Case.Encoder, "-bf", "2", "-output_ts_offset", Offset}));
    const std::string Input = Folder.File(std::string(Case.Name) + ".ts");
    std::ofstream(Input, std::ios::binary) << Joined;
    ConvertClip(Input, {{"vcodec", "mpeg4"}}, std::string(Case.Name) + ".mp4");
    ExpectFinished();
    const std::string Output = Folder.File(std::string(Case.Name) + ".mp4");
    EXPECT_EQ(ProbeStream(Output, "v:0").Frames, 50);
    EXPECT_NEAR(StreamEnd(Output, "v:0"), 2.0, 0.041);
  }
}

// Damaged audio packets neither stretch the output nor shift the pictures: the output stays
// within the input's 8 s, or the task fails for too many decoding errors.
TEST_F(TOutputClockTest, BrokenPacketsDoNotMoveTheClock) {
  const std::string Clean =
      ReadFile(Make("clean.ogg", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=8",
                                  "-f", "lavfi", "-i", "sine=sample_rate=44100:duration=8", "-c:v",
                                  "libtheora", "-c:a", "libvorbis"}));
  for (const int Step : {1, 2, 3}) {
    SCOPED_TRACE(Step);
    const std::string Name = "broken" + std::to_string(Step);
    std::ofstream(Folder.File(Name + ".ogg"), std::ios::binary) << DamageVorbisPages(Clean, Step);
    ConvertClip(Folder.File(Name + ".ogg"), {{"vcodec", "mpeg4"}, {"acodec", "aac"}},
                Name + ".mp4");
    if (Task.FExceptionRaised) {
      EXPECT_NE(Task.FExceptionMessage.find("too many decoding errors"), std::string::npos)
          << Task.FExceptionMessage;
      continue;
    }
    const std::string Output = Folder.File(Name + ".mp4");
    EXPECT_LE(StreamEnd(Output, "v:0"), 8.05);
    EXPECT_LE(StreamEnd(Output, "a:0"), 8.05);
    EXPECT_EQ(ProbeStream(Output, "v:0").Frames, 200);
  }
}

}  // namespace
