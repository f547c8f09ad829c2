// Inputs that cannot be read whole: a read error part way (a preload library fails read() with
// EIO from its N-th call on) and files cut short before or while they are read fail their row;
// deliberate limits and lengths that are only estimates still convert.

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

// Each run fails with the reason, leaves the user's file as it was and no file of its own.
TEST_F(DamagedInputTest, AReadErrorOrACutWhileReadingFailsAndKeepsTheUsersFile) {
  const std::string Input = Made("clip.mp4", Clip("long.mp4"));
  const long Size = static_cast<long>(fs::file_size(Input));
  TTempFolder Out("damaged-input-out");
  const std::string Output = Out.File("clip.mp4");
  const std::string Unreadable = "Could not read '" + Input + "': Input/output error";
  const std::vector<std::string> Convert = {"convert",  "10",       Input,
                                            "--output", Out.Path(), "--overwrite"};
  const struct {
    const char *Name;
    int AtRead;
    long CutTo;  // -1: the read fails instead
    std::vector<std::string> Arguments;
    std::string Reason;  // in standard output or error
  } Cases[] = {
      {"convert, early", 7, -1, Convert, Input + "\tFail\t" + Unreadable + "\n"},
      {"convert, late", 13, -1, Convert, Input + "\tFail\t" + Unreadable + "\n"},
      {"engine", 10, -1, {"engine", "-i", Input, "-y", Output}, Unreadable},
      {"cut while read", 8, Size * 3 / 10, Convert,
       " of 0:00:10 could be read: the file is damaged or incomplete\n"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    WriteFile(Input, Clip("long.mp4"));
    WriteFile(Output, "the user's own file");
    const TProcessResult Result = RunFaulty("clip.mp4", Case.AtRead, Case.Arguments, Case.CutTo);
    EXPECT_NE(Result.ExitStatus, 0);
    EXPECT_NE((Result.Output + Result.Errors).find(Case.Reason), std::string::npos)
        << Result.Output << Result.Errors;
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

}  // namespace
