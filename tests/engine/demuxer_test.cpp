// Demuxing on its own: every packet of a file handed on and then its end told, a file's offset
// and scale on the packets, jumps in an input's clock, and a task's options as they were after
// a run. Clips are generated with the ffmpeg program; jumps are written into a transport
// stream's packet headers.

#include "engine/FFMPEG/demuxer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/engine/transcode_test_support.h"

namespace {

constexpr int64_t TsTicksPerSecond = 90000;

// Reads a transport stream packet header's 33-bit timestamp (5 bytes).
int64_t PesTimestamp(const unsigned char *Field) {
  return (int64_t{(Field[0] >> 1) & 7} << 30) | (int64_t{(Field[1] << 7) | (Field[2] >> 1)} << 15) |
         ((Field[3] << 7) | (Field[4] >> 1));
}

void SetPesTimestamp(unsigned char *Field, int64_t Value) {
  Field[0] = static_cast<unsigned char>((Field[0] & 0xf0) | (((Value >> 30) & 7) << 1) | 1);
  Field[1] = static_cast<unsigned char>(Value >> 22);
  Field[2] = static_cast<unsigned char>(((Value >> 14) & 0xfe) | 1);
  Field[3] = static_cast<unsigned char>(Value >> 7);
  Field[4] = static_cast<unsigned char>(((Value << 1) & 0xfe) | 1);
}

// Moves the timestamps of the video packets numbered From to To - 1 (counted from 0) of a
// transport stream by Seconds; the count of video packets seen.
int ShiftVideoPackets(std::string &Ts, int From, int To, int64_t Seconds) {
  int Seen = 0;
  for (size_t At = 0; At + 188 <= Ts.size(); At += 188) {
    auto *Packet = reinterpret_cast<unsigned char *>(&Ts[At]);
    if (Packet[0] != 0x47 || !(Packet[1] & 0x40)) continue;  // no packet header starts here
    size_t Payload = 4;
    if (Packet[3] & 0x20) Payload += 1 + Packet[4];
    if (Payload + 19 > 188) continue;
    unsigned char *Pes = Packet + Payload;
    if (Pes[0] != 0 || Pes[1] != 0 || Pes[2] != 1 || (Pes[3] & 0xf0) != 0xe0) continue;
    const int Number = Seen++;
    if (Number < From || Number >= To) continue;
    const int Flags = Pes[7] >> 6;  // 2: a presentation time, 3: and a decoding time
    for (int Field = 0; Field < (Flags == 3 ? 2 : Flags == 2 ? 1 : 0); ++Field) {
      unsigned char *Time = Pes + 9 + 5 * Field;
      SetPesTimestamp(Time, PesTimestamp(Time) + Seconds * TsTicksPerSecond);
    }
  }
  return Seen;
}

// How many packets of each stream ffprobe reads from File.
std::vector<int> ProbedPacketCounts(const std::string &File) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-count_packets", "-show_entries",
                  "stream=nb_read_packets", "-of", "csv=p=0", File});
  std::vector<int> Counts;
  std::istringstream Lines(Result.Output);
  std::string Line;
  while (std::getline(Lines, Line))
    if (!Line.empty()) Counts.push_back(std::atoi(Line.c_str()));
  return Counts;
}

// A packet as the demuxer hands it on.
struct TReadPacket {
  int Stream;
  int64_t Dts;  // the stream's time base
  int64_t DtsUs;
};

class TDemuxerTest : public TConversionTest {
 protected:
  // Opens File in the task, the streams listed in Used taken by an output.
  void Open(const std::string &File, const std::vector<int> &Used) {
    Task.Reset();
    ASSERT_TRUE(Task.OpenInputFile(File)) << Task.FLastErrorText;
    for (const int Index : Used) Task.FInputFiles[0]->Streams.at(Index)->Discard = 0;
  }
  TDemuxSettings Settings(int64_t Offset) const {
    TDemuxSettings Settings;
    Settings.Offsets = {Offset};
    Settings.Verbose = 3;
    return Settings;
  }
  std::unique_ptr<TDemuxer> Demuxer(const TDemuxSettings &Settings) {
    return std::make_unique<TDemuxer>(Task.FInputFiles, Settings,
                                      [this](int Level, const std::string &Text) {
                                        Log.push_back({Level, Text});
                                      });
  }
  // Everything the demuxer hands on from the first file until it tells the end.
  std::vector<TReadPacket> ReadAll(TDemuxer &Demuxer) {
    TPacketPtr Packet(av::av_packet_alloc());
    std::vector<TReadPacket> Read;
    while (Demuxer.Read(0, *Packet)) {
      EXPECT_FALSE(Demuxer.AtEnd(0));
      const AVRational TimeBase = Task.FInputFiles[0]->Streams[Packet->stream_index]->St->time_base;
      Read.push_back({Packet->stream_index, Packet->dts,
                      av::av_rescale_q(Packet->dts, TimeBase, AV_TIME_BASE_Q)});
      av::av_packet_unref(Packet.get());
    }
    EXPECT_TRUE(Demuxer.AtEnd(0));
    EXPECT_FALSE(Demuxer.Read(0, *Packet));
    return Read;
  }
  bool Logged(const std::string &Text) const {
    for (const TTaskLogLine &Line : Log)
      if (Line.Text.find(Text) != std::string::npos) return true;
    return false;
  }
  // A 2 s MPEG-2 transport stream of 50 pictures, the pictures From to To - 1 moved by Seconds.
  std::string JumpClip(const std::string &Name, int From, int To, int64_t Seconds) {
    const std::string Clean = Folder.File("clean.ts");
    if (ReadFile(Clean).empty()) {
      const TProcessResult Made = RunProgram(
          {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
           "testsrc=size=160x120:rate=25:duration=2", "-c:v", "mpeg2video", "-bf", "0", Clean});
      EXPECT_EQ(Made.ExitStatus, 0) << Made.Errors;
    }
    std::string Ts = ReadFile(Clean);
    EXPECT_EQ(ShiftVideoPackets(Ts, From, To, Seconds), 50);
    std::ofstream(Folder.File(Name), std::ios::binary) << Ts;
    return Folder.File(Name);
  }
  TTempFolder Folder{"demuxer"};
};

TEST_F(TDemuxerTest, HandsOnEveryPacketOfTheStreamsInUseThenTellsTheEnd) {
  const struct {
    const char *File;
    std::vector<int> Used;
  } Cases[] = {
      {"sample.mov", {0, 1}},
      {"sample.mov", {1}},
      {"subtitled.mkv", {0, 1}},
      {"film.mp4", {}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(std::string(Case.File) + " with " + std::to_string(Case.Used.size()));
    Open(MediaFile(Case.File), Case.Used);
    const std::vector<int> Probed = ProbedPacketCounts(MediaFile(Case.File));
    ASSERT_EQ(Probed.size(), Task.FInputFiles[0]->Streams.size());
    std::vector<int> Expected(Probed.size(), 0), Counted(Probed.size(), 0);
    for (const int Index : Case.Used) Expected[Index] = Probed[Index];
    for (const TReadPacket &Packet : ReadAll(*Demuxer(Settings(0)))) ++Counted.at(Packet.Stream);
    EXPECT_EQ(Counted, Expected);
  }
}

TEST_F(TDemuxerTest, AppliesTheFileOffsetThenTheScale) {
  Open(MediaFile("late.mkv"), {0});
  const std::vector<TReadPacket> Plain = ReadAll(*Demuxer(Settings(0)));
  ASSERT_EQ(Plain.size(), 100u);
  const AVRational TimeBase = Task.FInputFiles[0]->Streams[0]->St->time_base;
  const struct {
    const char *Name;
    int64_t Offset;  // microseconds
    double Scale;
  } Cases[] = {
      {"an offset", 2500000, 0},
      {"a scale", 0, 2},
      {"both", -500000, 0.5},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Open(MediaFile("late.mkv"), {0});
    TDemuxSettings Settings = this->Settings(Case.Offset);
    Settings.Scales = {{Case.Scale}};
    const std::vector<TReadPacket> Read = ReadAll(*Demuxer(Settings));
    ASSERT_EQ(Read.size(), Plain.size());
    const int64_t Offset = av::av_rescale_q(Case.Offset, AV_TIME_BASE_Q, TimeBase);
    for (size_t I = 0; I < Read.size(); ++I) {
      const int64_t Moved = Plain[I].Dts + Offset;
      EXPECT_EQ(Read[I].Dts, Case.Scale != 0 ? std::llround(Moved * Case.Scale) : Moved) << I;
    }
  }
}

// A picture's clock steps 40 ms; a jump counts when it goes past the 10 s threshold.
TEST_F(TDemuxerTest, FollowsAJumpTheNextPacketKeepsAndMendsOneThatItDoesNot) {
  const struct {
    const char *Name;
    int From, To;
    int64_t Seconds;
    bool CopyTs;
    int64_t OffsetMoved;  // seconds
    bool Continuous;
  } Cases[] = {
      {"one packet off the clock", 20, 21, 20, false, 0, true},
      {"a jump for good", 20, 50, 20, false, -20, true},
      {"back for good", 0, 20, 20, false, 20, true},
      {"a jump under the threshold", 20, 50, 5, false, 0, false},
      {"timestamps copied", 20, 50, 20, true, 0, false},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Open(JumpClip("jump.ts", Case.From, Case.To, Case.Seconds), {0});
    Log.clear();
    TDemuxSettings Settings = this->Settings(Task.Options().FInputFilesTsOffset[0]);
    Settings.CopyTs = Case.CopyTs;
    const std::unique_ptr<TDemuxer> Reader = Demuxer(Settings);
    const std::vector<TReadPacket> Read = ReadAll(*Reader);
    ASSERT_EQ(Read.size(), 50u);
    const double Moved = static_cast<double>(Reader->Offset(0) - Settings.Offsets[0]) / 1e6;
    EXPECT_NEAR(Moved, static_cast<double>(Case.OffsetMoved), 0.05);
    EXPECT_EQ(Logged("timestamp discontinuity"), Case.OffsetMoved != 0);
    bool Continuous = true;
    for (size_t I = 1; I < Read.size(); ++I)
      Continuous &= std::llabs(Read[I].DtsUs - Read[I - 1].DtsUs - 40000) <= 1000;
    EXPECT_EQ(Continuous, Case.Continuous);
  }
}

// The demuxer moves its own copy of a file's offset: the task's options read back the same.
TEST_F(TDemuxerTest, ARunLeavesTheTasksOffsetsAsTheyWere) {
  const struct {
    const char *Name;
    int To;
    bool Jumps;
  } Cases[] = {
      {"one packet off the clock", 21, false},
      {"a jump for good", 50, true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Name = "run" + std::to_string(Case.To);
    const std::string Input = JumpClip(Name + ".ts", 20, Case.To, 20);
    const std::string Output = Folder.File(Name + ".avi");
    Task.Reset();
    Log.clear();
    ASSERT_TRUE(SetUpConversion(Task, {{"i", Input}, {"vcodec", "mpeg4"}, {"", Output}}))
        << Task.FLastErrorText;
    Task.EditOptions().FVerbose = 3;
    const auto Offsets = Task.Options().FInputFilesTsOffset;
    const auto Scales = Task.Options().FInputFilesTsScale;
    Task.Start(false);
    ASSERT_TRUE(Task.FTerminated);
    ExpectFinished();
    EXPECT_EQ(Logged("timestamp discontinuity"), Case.Jumps);
    EXPECT_EQ(Task.Options().FInputFilesTsOffset, Offsets);
    EXPECT_EQ(Task.Options().FInputFilesTsScale, Scales);
    const TProbedFile Probed = Probe(Output);
    ASSERT_EQ(Probed.Streams.size(), 1u);
    EXPECT_EQ(Probed.Streams[0].at("nb_read_frames"), "50");
  }
}

}  // namespace
