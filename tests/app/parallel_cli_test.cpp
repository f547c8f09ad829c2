// tarnwick-cli convert --jobs, run as a user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/job_rules.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

// Ended after two minutes: a hang fails the test (status 124) instead of blocking it.
TProcessResult Convert(std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), {"/usr/bin/timeout", "120", TARNWICK_CLI, "convert"});
  return RunProgram(Arguments);
}

std::string Line(const std::string &Input, const char *State, const std::string &Output) {
  return Input + "\t" + State + "\t" + Output + "\n";
}

TEST(ParallelCliTest, JobsOutsideZeroToTheCoresAreRefusedWithTheRange) {
  const std::string Cores = std::to_string(ProcessorCount());
  const std::string Range = "tarnwick-cli convert: --jobs takes 0 to " + Cores +
                            " conversions at once (0: one per processor core)\n";
  const struct {
    std::vector<std::string> Jobs;
    std::string Error;
  } Cases[] = {
      {{"--jobs"}, "tarnwick-cli convert: --jobs needs a value\n"},
      {{"--jobs", "-1"}, Range},
      {{"--jobs", "two"}, Range},
      {{"--jobs", ""}, Range},
      {{"--jobs", "1.5"}, Range},
      {{"--jobs", std::to_string(ProcessorCount() + 1)}, Range},
      {{"--jobs", "99999"}, Range},
  };
  TTempFolder Out("parallel-cli-usage");
  for (const auto &Case : Cases) {
    std::vector<std::string> Arguments = {"10", MediaFile("sample.mov"), "--output", Out.Path()};
    Arguments.insert(Arguments.end(), Case.Jobs.begin(), Case.Jobs.end());
    const TProcessResult Result = Convert(Arguments);
    EXPECT_EQ(Result.ExitStatus, 1) << Case.Jobs.back();
    EXPECT_EQ(Result.Errors, Case.Error) << Case.Jobs.back();
    EXPECT_EQ(Result.Output, "");
  }
  EXPECT_TRUE(Out.Names().empty());
}

// Rows end in any order but are told in the list's; two inputs of one name get two outputs.
TEST(ParallelCliTest, RowsConvertAtOnceAndAreToldInTheListsOrder) {
  TTempFolder In("parallel-cli-in");
  const std::string First = CopyMedia(In.File("x"), "clip.mov");
  const std::string Second = CopyMedia(In.File("y"), "clip.mov", "ntsc.mp4");
  const std::string Broken = MediaFile("clip.mov");  // a text file
  const std::string Two = std::to_string(std::min(ProcessorCount(), 2));
  const struct {
    std::string Jobs;
    std::vector<std::string> Files;
    std::vector<std::pair<const char *, const char *>> Rows;  // state, output name or reason
    int Status;
    std::string Counts;
  } Cases[] = {
      {Two,
       {First, MediaFile("film.mp4"), Second},
       {{"Done", "clip.mp4"}, {"Done", "film.mp4"}, {"Done", "clip-1.mp4"}},
       0,
       "All Conversions Completed\n3 Done\n"},
      {"0",
       {Second, Broken, MediaFile("audio.m4a"), First},
       {{"Done", "clip.mp4"}, {"Fail", nullptr}, {"Done", "audio.mp4"}, {"Done", "clip-1.mp4"}},
       1,
       "Conversions Completed with errors\n3 Done, 1 Fail\n"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Jobs);
    TTempFolder Out("parallel-cli-out");
    std::vector<std::string> Arguments = {"MP4 - MPEG4 Video (*.mp4)"};
    Arguments.insert(Arguments.end(), Case.Files.begin(), Case.Files.end());
    Arguments.insert(Arguments.end(), {"--output", Out.Path(), "--jobs", Case.Jobs});
    const TProcessResult Result = Convert(Arguments);
    EXPECT_EQ(Result.ExitStatus, Case.Status) << Result.Errors;
    EXPECT_TRUE(Result.Errors.ends_with(Case.Counts)) << Result.Errors;
    std::string Expected;
    for (size_t Row = 0; Row < Case.Files.size(); ++Row) {
      const auto &[State, Name] = Case.Rows[Row];
      Expected += Line(Case.Files[Row], State,
                       Name ? Out.File(Name) : Case.Files[Row] + ": Unknown format");
    }
    EXPECT_EQ(Result.Output, Expected);
    for (const auto &Row : Case.Rows) {
      if (Row.second) {
        EXPECT_GT(fs::file_size(Out.File(Row.second)), 1000u) << Row.second;
      }
    }
  }
}

// Without --jobs a row per core converts at once: their unfinished outputs lie side by side.
TEST(ParallelCliTest, WithoutJobsARowPerCoreConvertsAtOnce) {
  TTempFolder In("parallel-cli-default-in");
  const std::string Long = In.File("long.mov");
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=640x480:rate=25:duration=20", "-c:v", "mpeg4", Long})
                .ExitStatus,
            0);
  std::vector<std::string> Files;
  for (const char *Name : {"a.mov", "b.mov", "c.mov"}) {
    fs::copy_file(Long, In.File(Name));
    Files.push_back(In.File(Name));
  }
  const int Rows = static_cast<int>(Files.size());
  const struct {
    std::vector<std::string> Jobs;
    int AtOnce;
  } Cases[] = {{{}, std::min(ProcessorCount(), Rows)}, {{"--jobs", "1"}, 1}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Jobs.empty() ? "default" : Case.Jobs.back());
    TTempFolder Out("parallel-cli-default-out");
    std::vector<std::string> Arguments = {TARNWICK_CLI, "convert", "MPEG-2 Movie (*.mpg)"};
    Arguments.insert(Arguments.end(), Files.begin(), Files.end());
    Arguments.insert(Arguments.end(), {"--output", Out.Path()});
    Arguments.insert(Arguments.end(), Case.Jobs.begin(), Case.Jobs.end());
    const pid_t Child = StartProgram(Arguments, In.File("stdout.txt"), "/dev/null");
    ASSERT_GE(Child, 0);
    int Most = 0, Status = 0;
    while (waitpid(Child, &Status, WNOHANG) == 0) {
      int Parts = 0;
      for (const auto &Entry : fs::directory_iterator(Out.Path()))
        Parts += Entry.path().string().ends_with(".tarnwick-part");
      Most = std::max(Most, Parts);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 0);
    EXPECT_EQ(Most, Case.AtOnce);
    EXPECT_EQ(Out.Names().size(), Files.size());
  }
}

}  // namespace
