// tarnwick-cli submit and collect on a Slurm cluster of this one machine, without accounting.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "tests/app/single_node_slurm.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr char Mp4Entry[] = "MP4 - MPEG4 Video (*.mp4)";

// Ended after a few minutes: a hang fails the test (status 124) instead of blocking it.
TProcessResult Cli(std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), {"/usr/bin/timeout", "300", TARNWICK_CLI});
  return RunProgram(Arguments);
}

std::string Replaced(std::string Text, const std::string &From, const std::string &To) {
  for (size_t At = Text.find(From); At != std::string::npos; At = Text.find(From, At + To.size()))
    Text.replace(At, From.size(), To);
  return Text;
}

// The job id from "Submitted batch job N; ...".
std::string SubmittedJobId(const std::string &Errors) {
  const std::string Before = "Submitted batch job ";
  const size_t At = Errors.find(Before);
  if (At == std::string::npos) return {};
  const size_t Start = At + Before.size();
  return Errors.substr(Start, Errors.find_first_not_of("0123456789", Start) - Start);
}

// Decodes the whole file; empty when it plays without an error.
std::string PlaybackErrors(const std::string &File) {
  const TProcessResult Played =
      RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", File, "-f", "null", "-"});
  return Played.ExitStatus == 0 ? Played.Errors : "status " + std::to_string(Played.ExitStatus);
}

class CliSlurmTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { Cluster = std::make_unique<TSingleNodeSlurm>(); }
  static void TearDownTestSuite() { Cluster.reset(); }
  void SetUp() override {
    if (!Cluster->Problem().empty())
      GTEST_SKIP() << "no single-node Slurm here: " << Cluster->Problem();
  }
  static std::unique_ptr<TSingleNodeSlurm> Cluster;
};

std::unique_ptr<TSingleNodeSlurm> CliSlurmTest::Cluster;

TEST_F(CliSlurmTest, ABatchEndsWithTheRowsAndOutputsConvertGives) {
  TTempFolder In("slurm-in"), Out("slurm-out"), Alone("slurm-alone");
  // A quote and a blank in a name must survive the batch script.
  fs::copy_file(MediaFile("sample.mov"), In.File("it's a clip.mov"));
  const std::vector<std::string> Files = {In.File("it's a clip.mov"), MediaFile("clip.mov"),
                                          MediaFile("film.mp4")};
  std::vector<std::string> Submit = {"submit", Mp4Entry};
  Submit.insert(Submit.end(), Files.begin(), Files.end());
  Submit.insert(Submit.end(), {"--output", Out.Path(), "--max-parallel", "2", "--wait"});
  const TProcessResult Batch = Cli(Submit);

  std::vector<std::string> Convert = {"convert", Mp4Entry};
  Convert.insert(Convert.end(), Files.begin(), Files.end());
  Convert.insert(Convert.end(), {"--output", Alone.Path()});
  const TProcessResult Reference = Cli(Convert);
  ASSERT_EQ(Reference.ExitStatus, 1) << Reference.Errors;

  EXPECT_EQ(Batch.ExitStatus, 1) << Batch.Errors;
  EXPECT_EQ(Batch.Output, Replaced(Reference.Output, Alone.Path(), Out.Path()));
  EXPECT_EQ(Batch.Output.find(MediaFile("clip.mov") + "\tFail\t"), Batch.Output.find('\n') + 1)
      << Batch.Output;
  EXPECT_TRUE(Batch.Errors.ends_with("\n2 Done, 1 Fail\n")) << Batch.Errors;
  for (const char *Name : {"it's a clip.mp4", "film.mp4"}) {
    EXPECT_EQ(PlaybackErrors(Out.File(Name)), "") << Name;
    EXPECT_GT(fs::file_size(Out.File(Name)), 1000u) << Name;
  }

  // Asked again later, the recorded rows give the same answer.
  const std::string JobId = SubmittedJobId(Batch.Errors);
  ASSERT_NE(JobId, "") << Batch.Errors;
  const TProcessResult Again = Cli({"collect", JobId, "--output", Out.Path()});
  EXPECT_EQ(Again.ExitStatus, 1) << Again.Errors;
  EXPECT_EQ(Again.Output, Batch.Output);
  EXPECT_EQ(Out.Names(),
            (std::vector<std::string>{"film.mp4", "it's a clip.mp4", "tarnwick-job-" + JobId}));
}

TEST_F(CliSlurmTest, ACancelledElementFailsWithSlurmsState) {
  TTempFolder In("slurm-cancel-in"), Out("slurm-cancel-out");
  // Tiny frames made large with H.264: long enough to be cancelled while it runs.
  const std::string Long = In.File("long.mp4");
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=64x48:rate=25:duration=60", "-c:v", "mpeg4", Long})
                .ExitStatus,
            0);
  const TProcessResult Submitted =
      Cli({"submit", "Apple TV H264 (1280 x 720) (*.mp4)", Long, "--output", Out.Path()});
  ASSERT_EQ(Submitted.ExitStatus, 0) << Submitted.Errors;
  const std::string JobId = Submitted.Output.substr(0, Submitted.Output.find('\n'));

  const std::vector<std::string> Collect = {"collect", JobId, "--output", Out.Path()};
  TProcessResult Rows = Cli(Collect);
  while (Rows.ExitStatus == 3 && Rows.Output == Long + "\tPending\n") {
    ::usleep(100 * 1000);
    Rows = Cli(Collect);
  }
  ASSERT_EQ(Rows.Output, Long + "\tRunning\n") << Rows.Errors;
  EXPECT_EQ(Rows.ExitStatus, 3);
  EXPECT_TRUE(Rows.Errors.ends_with("0 Done, 1 Running\n")) << Rows.Errors;

  ASSERT_EQ(RunProgram({"/usr/bin/scancel", JobId + "_0"}).ExitStatus, 0);
  while (Rows.ExitStatus == 3) {
    ::usleep(200 * 1000);
    Rows = Cli(Collect);
  }
  EXPECT_EQ(Rows.ExitStatus, 1) << Rows.Errors;
  EXPECT_EQ(Rows.Output, Long + "\tFail\tstopped by Slurm: CANCELLED\n");
  EXPECT_TRUE(Rows.Errors.ends_with("1 Fail\n")) << Rows.Errors;
}

TEST_F(CliSlurmTest, ASubmissionThatCannotGoAheadSaysWhyAndLeavesNothing) {
  TTempFolder Out("slurm-refused");
  const std::string File = MediaFile("sample.mov");
  const struct {
    std::vector<std::string> Arguments;
    std::string Message;
  } Cases[] = {
      {{"/usr/bin/env", "PATH=/nowhere", TARNWICK_CLI, "submit", Mp4Entry, File, "--output",
        Out.Path()},
       "tarnwick-cli submit: sbatch was not found on the PATH"},
      {{TARNWICK_CLI, "submit", Mp4Entry, File, "--output", Out.Path(), "--partition", "nosuch"},
       "tarnwick-cli submit: sbatch refused the job: sbatch: error: invalid partition"},
      {{TARNWICK_CLI, "submit", "Nothing (*.xyz)", File, "--output", Out.Path()},
       "tarnwick-cli submit: 'Nothing (*.xyz)' is neither"},
      {{TARNWICK_CLI, "submit", Mp4Entry, File}, "tarnwick-cli submit: no output folder given"},
      {{TARNWICK_CLI, "collect", "999999", "--output", Out.Path()},
       "tarnwick-cli collect: no results of job 999999"},
  };
  for (const auto &Case : Cases) {
    const TProcessResult Result = RunProgram(Case.Arguments);
    EXPECT_EQ(Result.ExitStatus, 1) << Case.Message;
    EXPECT_EQ(Result.Output, "") << Case.Message;
    EXPECT_TRUE(Result.Errors.starts_with(Case.Message)) << Result.Errors;
  }
  EXPECT_EQ(Out.Names(), std::vector<std::string>{});
}

}  // namespace
