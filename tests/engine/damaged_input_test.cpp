// Inputs that cannot be read whole: a read error part way (a preload library fails read() with
// EIO from its N-th call on), files cut short before or while they are read, and generated
// corruptions that used to give Done with an empty stream or a runaway output. Deliberate
// limits and lengths that are only estimates must still convert.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "tests/engine/transcode_test_support.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::string;

void WriteFile(const std::string &Path, const TBytes &Bytes) {
  std::ofstream(Path, std::ios::binary) << Bytes;
}

void PutWord(TBytes &Bytes, size_t At, uint32_t Value, bool BigEndian) {
  for (int I = 0; I < 4; ++I)
    Bytes[At + I] = static_cast<char>(Value >> (BigEndian ? 24 - 8 * I : 8 * I));
}

// Every entry of the first sample-size table set to Value.
TBytes SampleSizes(TBytes Bytes, uint32_t Value) {
  const size_t At = Bytes.find("stsz");
  const auto Byte = [&](size_t K) { return static_cast<uint8_t>(Bytes[At + K]); };
  const uint32_t Count = Byte(12) << 24 | Byte(13) << 16 | Byte(14) << 8 | Byte(15);
  for (uint32_t K = 0; K < Count; ++K) PutWord(Bytes, At + 16 + 4 * K, Value, true);
  return Bytes;
}

// The first ASF stream header twice: the second takes the first one's packets.
TBytes DuplicateAsfStream(const TBytes &Bytes) {
  const TBytes Guid("\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16);
  const size_t At = Bytes.find(Guid);
  uint64_t Size = 0, HeaderSize = 0;
  std::memcpy(&Size, Bytes.data() + At + 16, 8);
  std::memcpy(&HeaderSize, Bytes.data() + 16, 8);
  TBytes Out = Bytes.substr(0, At + Size) + Bytes.substr(At, Size) + Bytes.substr(At + Size);
  HeaderSize += Size;
  std::memcpy(Out.data() + 16, &HeaderSize, 8);
  PutWord(Out, 24, static_cast<uint8_t>(Out[24]) + 1, false);
  return Out;
}

// The first AVI stream's time scale and rate.
TBytes AviRate(TBytes Bytes, uint32_t Scale, uint32_t Rate) {
  const size_t At = Bytes.find("strh");
  PutWord(Bytes, At + 28, Scale, false);
  PutWord(Bytes, At + 32, Rate, false);
  return Bytes;
}

class DamagedInputTest : public TConversionTest {
 protected:
  static void SetUpTestSuite() {
    Clips = std::make_unique<TTempFolder>("damaged-input-clips");
    const std::string Video = "testsrc=size=320x240:rate=25:duration=";
    const std::string Tone = "sine=frequency=440:sample_rate=44100:duration=";
    const std::vector<std::vector<std::string>> Commands = {
        // About 500 KB: some 15 reads of 32 KB, the first few of them the probe's.
        {"-f", "lavfi", "-i", Video + "10", "-f", "lavfi", "-i", Tone + "10", "-c:v", "mpeg4",
         "-q:v", "2", "-c:a", "aac", "-movflags", "+faststart", Clips->File("long.mp4")},
        {"-f", "lavfi", "-i", Video + "6", "-f", "lavfi", "-i", Tone + "3", "-c:v", "mpeg4", "-c:a",
         "aac", Clips->File("short-audio.mkv")},
        // Quiet first, so the length estimated from the first frames' rate is far off.
        {"-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo:d=5", "-f", "lavfi", "-i",
         "anoisesrc=d=10:a=0.5", "-filter_complex", "[0][1]concat=n=2:v=0:a=1", "-c:a",
         "libmp3lame", "-q:a", "0", "-write_xing", "0", "-id3v2_version", "0",
         Clips->File("no-header.mp3")},
        {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-f", "lavfi", "-i",
         Tone + "1", "-c:v", "mpeg4", "-c:a", "mp3", Clips->File("clip.avi")},
        {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-f", "lavfi", "-i",
         Tone + "1", "-c:v", "wmv2", "-c:a", "wmav2", Clips->File("clip.wmv")},
        {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-f", "lavfi", "-i",
         Tone + "1", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
         Clips->File("clip.mov")},
    };
    for (std::vector<std::string> Command : Commands) {
      Command.insert(Command.begin(), {"/usr/bin/ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                       "error", "-y", "-fflags", "+bitexact"});
      ASSERT_EQ(RunProgram(Command).ExitStatus, 0) << Command.back();
    }
  }
  static void TearDownTestSuite() { Clips.reset(); }

  static TBytes Clip(const std::string &Name) { return ReadFile(Clips->File(Name)); }
  std::string Made(const std::string &Name, const TBytes &Bytes) const {
    WriteFile(Folder.File(Name), Bytes);
    return Folder.File(Name);
  }

  // A tarnwick-cli run whose reads of the file named Faulty go wrong from the AtRead-th on:
  // EIO, or with CutTo the file is cut to that many bytes at that read.
  static TProcessResult RunFaulty(const std::string &Faulty, int AtRead,
                                  std::vector<std::string> Arguments, long CutTo = -1) {
    std::vector<std::string> Command = {
        "/usr/bin/env", std::string("LD_PRELOAD=") + TARNWICK_READ_FAULT,
        // A sanitized program would refuse a library loaded ahead of its runtime.
        "ASAN_OPTIONS=verify_asan_link_order=0", "TARNWICK_READ_FAULT_FILE=/" + Faulty,
        "TARNWICK_READ_FAULT_AT=" + std::to_string(AtRead),
        "TARNWICK_READ_FAULT_CUT=" + (CutTo < 0 ? std::string() : std::to_string(CutTo)),
        TARNWICK_CLI};
    Command.insert(Command.end(), Arguments.begin(), Arguments.end());
    return RunProgram(Command);
  }

  // Converts in this process with the options given; empty when it finished, else the reason.
  std::string ConvertOrReason(const TArgs &Args) {
    TCustomFFmpeg Run;
    Run.Reset();
    if (!SetUpConversion(Run, Args)) return Run.FLastErrorText;
    Run.Start(false);
    if (Run.FExceptionRaised) return Run.FExceptionMessage;
    return Run.FFinished ? "" : "(not finished)";
  }

  static std::unique_ptr<TTempFolder> Clips;
  TTempFolder Folder{"damaged-input"};
};

std::unique_ptr<TTempFolder> DamagedInputTest::Clips;

TEST_F(DamagedInputTest, AReadErrorFailsTheRowAndKeepsTheUsersFile) {
  const std::string Input = Made("clip.mp4", Clip("long.mp4"));
  TTempFolder Out("damaged-input-out");
  const std::string Output = Out.File("clip.mp4");
  const std::string Reason = "Could not read '" + Input + "': Input/output error";
  const std::vector<std::string> Convert = {"convert",  "10",       Input,
                                            "--output", Out.Path(), "--overwrite"};
  const struct {
    const char *Name;
    int AtRead;
    std::vector<std::string> Arguments;
    std::string Row;  // the line standard output must hold
  } Cases[] = {
      {"convert, early", 7, Convert, Input + "\tFail\t" + Reason + "\n"},
      {"convert, late", 13, Convert, Input + "\tFail\t" + Reason + "\n"},
      {"engine", 10, {"engine", "-i", Input, "-y", Output}, ""},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    WriteFile(Output, "the user's own file");
    const TProcessResult Result = RunFaulty("clip.mp4", Case.AtRead, Case.Arguments);
    EXPECT_NE(Result.ExitStatus, 0) << Result.Output << Result.Errors;
    if (!Case.Row.empty()) {
      EXPECT_NE(Result.Output.find(Case.Row), std::string::npos) << Result.Output;
    }
    EXPECT_NE((Result.Output + Result.Errors).find(Reason), std::string::npos) << Result.Errors;
    EXPECT_EQ(ReadFile(Output), "the user's own file");
    EXPECT_EQ(Out.Names(), std::vector<std::string>{"clip.mp4"});
  }
}

TEST_F(DamagedInputTest, AnInputReadShortFailsAndALimitOrAnEstimatedLengthDoesNot) {
  const TBytes Whole = Clip("long.mp4");
  const std::string Cut = Made("cut.mp4", Whole.substr(0, Whole.size() * 3 / 10));
  const std::string Long = Made("long.mp4", Whole);
  const std::string Incomplete = " of 0:00:10 could be read: the file is damaged or incomplete";
  const struct {
    const char *Name;
    TArgs Args;
    std::string Reason;  // how the failure ends; empty: finishes
    double Length;       // of a finished output, seconds (0: no stream written)
  } Cases[] = {
      {"cut to 30 %", {{"i", Cut}, {"", Folder.File("o1.mp4")}}, Incomplete, 0},
      {"whole", {{"i", Long}, {"", Folder.File("o2.mp4")}}, "", 10},
      {"-t", {{"i", Cut}, {"t", "1"}, {"", Folder.File("o3.mp4")}}, "", 1},
      {"-vframes", {{"i", Cut}, {"vframes", "10"}, {"", Folder.File("o4.mp4")}}, "", 0.4},
      {"-vframes 0", {{"i", Long}, {"vframes", "0"}, {"", Folder.File("o5.mp4")}}, "", 0},
      {"-ss", {{"ss", "8"}, {"i", Long}, {"", Folder.File("o6.mp4")}}, "", 2},
      {"audio shorter than the video",
       {{"i", Clips->File("short-audio.mkv")}, {"", Folder.File("o7.mkv")}},
       "",
       6},
      {"length estimated from the bit rate",
       {{"i", Clips->File("no-header.mp3")}, {"", Folder.File("o8.mp3")}},
       "",
       15},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Reason = ConvertOrReason(Case.Args);
    if (!Case.Reason.empty()) {
      EXPECT_TRUE(Reason.starts_with("only 0:00:0") && Reason.ends_with(Case.Reason)) << Reason;
      EXPECT_FALSE(fs::exists(Case.Args.back().second));
      continue;
    }
    EXPECT_EQ(Reason, "");
    if (Case.Length > 0) {
      EXPECT_NEAR(Probe(Case.Args.back().second).Duration, Case.Length, 0.3);
    }
  }
}

TEST_F(DamagedInputTest, AFileCutWhileItIsReadFails) {
  const std::string Input = Made("growing.mp4", Clip("long.mp4"));
  const long Size = static_cast<long>(fs::file_size(Input));
  const TProcessResult Result =
      RunFaulty("growing.mp4", 8, {"engine", "-i", Input, Folder.File("out.mp4")}, Size * 3 / 10);
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_NE(Result.Errors.find(" could be read: the file is damaged or incomplete"),
            std::string::npos)
      << Result.Errors;
  EXPECT_FALSE(fs::exists(Folder.File("out.mp4")));
}

TEST_F(DamagedInputTest, ACorruptedInputNeverGivesAnEmptyOrRunawayOutput) {
  const struct {
    const char *Name;
    std::function<TBytes()> Make;
    const char *Reason;  // part of the failure's text; null: Done, each stream about 1 s
  } Cases[] = {
      {"duplicated-stream.wmv", [] { return DuplicateAsfStream(Clip("clip.wmv")); }, nullptr},
      {"huge-time-scale.avi", [] { return AviRate(Clip("clip.avi"), 34049, 25); },
       "its timing is damaged"},
      {"zero-sizes.mov", [] { return SampleSizes(Clip("clip.mov"), 0); }, "got nothing from"},
      {"no-sizes.mov", [] { return SampleSizes(Clip("clip.mov"), 0xffffffff); },
       "Error while parsing header"},
  };
  std::vector<std::string> Inputs;
  for (const auto &Case : Cases) Inputs.push_back(Made(Case.Name, Case.Make()));
  for (const char *Entry : {"3", "10", "17"}) {
    TTempFolder Out("damaged-input-out");
    std::vector<std::string> Command = {TARNWICK_CLI, "convert", Entry};
    Command.insert(Command.end(), Inputs.begin(), Inputs.end());
    Command.insert(Command.end(), {"--output", Out.Path()});
    const TProcessResult Result = RunProgram(Command);
    for (size_t I = 0; I < Inputs.size(); ++I) {
      SCOPED_TRACE(std::string(Entry) + " " + Cases[I].Name);
      const size_t Row = Result.Output.find(Inputs[I] + "\t");
      ASSERT_NE(Row, std::string::npos) << Result.Output;
      const std::string Line = Result.Output.substr(Row, Result.Output.find('\n', Row) - Row);
      if (Cases[I].Reason) {
        EXPECT_NE(Line.find("\tFail\t"), std::string::npos) << Line;
        EXPECT_NE(Line.find(Cases[I].Reason), std::string::npos) << Line;
        continue;
      }
      ASSERT_NE(Line.find("\tDone\t"), std::string::npos) << Line;
      const TProbedFile Probed = Probe(Line.substr(Line.rfind('\t') + 1));
      ASSERT_EQ(Probed.Streams.size(), 2u);
      for (const TProbedStream &Stream : Probed.Streams)
        EXPECT_GE(std::stoi(Stream.at("nb_read_frames")), 10) << Stream.at("codec_type");
      EXPECT_NEAR(Probed.Duration, 1.0, 0.3);
    }
  }
}

}  // namespace
