// The option records' defaults and the listing of the fields a job changes.

#include "profiles/output_option_fields.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(OptionRecordsTest, ResetRestoresEveryDefault) {
  TInputOptions Input;
  Input.FileName = "a.mov";
  Input.ForceFormat = "mov";
  Input.TimeStart = 0;
  Input.ProgramID = 3;
  Input.ExtOptions = "a=1";
  InitInputOptions(Input);
  EXPECT_EQ(Input.FileName, "");
  EXPECT_EQ(Input.ForceFormat, "");
  EXPECT_EQ(Input.TimeStart, -1);
  EXPECT_EQ(Input.ProgramID, -1);
  EXPECT_EQ(Input.ExtOptions, "");

  TOutputOptions Output;
  Output.VideoBitrate = 1200000;
  Output.DisableVideo = true;
  Output.MuxDelay = 0.7f;
  Output.Timestamp = 0;
  Output.DefaultNorm = 2;
  std::memset(Output.Title, 'x', sizeof Output.Title);  // no terminating zero at all
  std::memset(Output.Genre, 'y', sizeof Output.Genre);
  InitOutputOptions(Output);
  EXPECT_TRUE(ChangedOutputOptions(Output).empty());
  const char Zeros[512] = {};
  EXPECT_EQ(std::memcmp(Output.Title, Zeros, sizeof Output.Title), 0);
  EXPECT_EQ(std::memcmp(Output.Genre, Zeros, sizeof Output.Genre), 0);
  EXPECT_EQ(Output.DefaultNorm, 1);
  EXPECT_EQ(Output.Timestamp, -1.0);
  EXPECT_EQ(Output.AudioSync, 0);
}

TEST(OptionRecordsTest, ChangedFieldsInRecordOrderWithTheirTexts) {
  TOutputOptions Options;
  Options.ExtOptions = "threads=2";
  Options.TargetType = 3;
  std::strcpy(Options.Genre, "Jazz");
  std::memset(Options.Title, 'T', sizeof Options.Title);  // a full tag ends at its size
  Options.Timestamp = 0;
  Options.DisableVideo = true;
  Options.MuxDelay = 0.7f;
  Options.AudioVolume = 256;
  Options.FileName = "out file.mp4";
  Options.DefaultNorm = 1;  // its default: not listed
  const auto Changed = ChangedOutputOptions(Options);
  const std::vector<std::pair<std::string, std::string>> Expected = {
      {"FileName", "out file.mp4"},
      {"MuxDelay", "0.7"},
      {"AudioVolume", "256"},
      {"DisableVideo", "true"},
      {"Timestamp", "0"},
      {"Title", std::string(512, 'T')},
      {"Genre", "Jazz"},
      {"TargetType", "3"},
      {"ExtOptions", "threads=2"},
  };
  EXPECT_EQ(Changed, Expected);
}

}  // namespace
