// tarnwick-cli submit and collect on a Slurm cluster of two nodes on this one machine, without
// accounting.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "tests/app/one_host_slurm.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr char Mp4Entry[] = "MP4 - MPEG4 Video (*.mp4)";

std::vector<std::string> FolderNames(const std::string &Folder) {
  std::vector<std::string> Names;
  for (const auto &Entry : fs::directory_iterator(Folder))
    Names.push_back(Entry.path().filename().string());
  return Names;
}

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

// A clip of Seconds in tiny frames, which the Apple TV entry makes large with H.264: long
// enough to be stopped while it converts.
std::string LongClip(const TTempFolder &In, const std::string &Name, int Seconds) {
  const std::string File = In.File(Name);
  const TProcessResult Made = RunProgram(
      {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
       "testsrc=size=64x48:rate=25:duration=" + std::to_string(Seconds), "-c:v", "mpeg4", File});
  EXPECT_EQ(Made.ExitStatus, 0) << Made.Errors;
  return File;
}
constexpr char H264Entry[] = "Apple TV H264 (1280 x 720) (*.mp4)";

// Asks collect until Enough says its answer will do (or collect's own time limit ends it).
TProcessResult CollectUntil(const std::string &JobId, const std::string &Output,
                            const std::function<bool(const TProcessResult &)> &Enough) {
  TProcessResult Rows = Cli({"collect", JobId, "--output", Output});
  for (int Try = 0; Try < 3000 && !Enough(Rows) && Rows.ExitStatus != 124; ++Try) {
    ::usleep(200 * 1000);
    Rows = Cli({"collect", JobId, "--output", Output});
  }
  return Rows;
}

TProcessResult CollectEnded(const std::string &JobId, const std::string &Output) {
  return CollectUntil(JobId, Output,
                      [](const TProcessResult &Rows) { return Rows.ExitStatus != 3; });
}

double Duration(const std::string &File) {
  const TProcessResult Probed = RunProgram({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                                            "format=duration", "-of", "csv=p=0", File});
  return Probed.ExitStatus == 0 && !Probed.Output.empty() ? std::stod(Probed.Output) : -1.0;
}

// Every output against every row: the output folder holds exactly the files the "Done" rows
// name (and the results folder), no part of a stopped conversion and no half-written row.
void ExpectOutputsMatchRows(const std::string &Rows, const TTempFolder &Out) {
  std::vector<std::string> Named;
  std::istringstream Lines(Rows);
  for (std::string Line; std::getline(Lines, Line);) {
    const size_t First = Line.find('\t'), Second = Line.find('\t', First + 1);
    if (Line.substr(First + 1, Second - First - 1) != "Done") continue;
    std::string Output;
    for (size_t At = Second + 1; At < Line.size(); ++At) {
      if (Line[At] != '\\' || At + 1 == Line.size()) {
        Output += Line[At];
        continue;
      }
      const char C = Line[++At];
      Output += C == 't' ? '\t' : C == 'n' ? '\n' : C == 'r' ? '\r' : C;
    }
    ASSERT_TRUE(Output.starts_with(Out.Path() + "/")) << Line;
    Named.push_back(Output.substr(Out.Path().size() + 1));
    EXPECT_EQ(PlaybackErrors(Output), "") << Output;
  }
  std::sort(Named.begin(), Named.end());
  std::vector<std::string> Found;
  for (const std::string &Name : Out.Names()) {
    if (!Name.starts_with("tarnwick-job-")) {
      Found.push_back(Name);
      continue;
    }
    for (const std::string &Kept : FolderNames(Out.File(Name)))
      EXPECT_TRUE(Kept.starts_with("element-") || Kept.starts_with("row-") || Kept == "inputs" ||
                  Kept == "arguments" || Kept == "cluster" || Kept.starts_with("batch") ||
                  Kept == "files-per-element" || Kept.starts_with("array"))
          << Kept;
    for (const std::string &Kept : FolderNames(Out.File(Name)))
      EXPECT_FALSE(Kept.ends_with(".part")) << Kept;
  }
  EXPECT_EQ(Found, Named) << Rows;
}

class CliSlurmTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { Cluster = std::make_unique<TOneHostSlurm>(); }
  static void TearDownTestSuite() { Cluster.reset(); }
  void SetUp() override {
    if (!Cluster->Problem().empty())
      GTEST_SKIP() << "no Slurm of this machine here: " << Cluster->Problem();
  }
  static std::unique_ptr<TOneHostSlurm> Cluster;
};

std::unique_ptr<TOneHostSlurm> CliSlurmTest::Cluster;

TEST_F(CliSlurmTest, ABatchEndsWithTheRowsAndOutputsConvertGives) {
  TTempFolder In("slurm-in"), Out("slurm-out"), Alone("slurm-alone");
  // A quote, a blank and a CR LF in a name must survive the batch (sbatch refuses a script
  // with a carriage return).
  fs::copy_file(MediaFile("sample.mov"), In.File("it's a clip.mov"));
  fs::copy_file(MediaFile("sample.mov"), In.File("two\r\nlines.mov"));
  const std::vector<std::string> Files = {In.File("it's a clip.mov"), MediaFile("clip.mov"),
                                          MediaFile("film.mp4"), In.File("two\r\nlines.mov")};
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
  EXPECT_TRUE(Batch.Errors.ends_with("\n3 Done, 1 Fail\n")) << Batch.Errors;
  ExpectOutputsMatchRows(Batch.Output, Out);

  // Asked again later, the recorded rows give the same answer.
  const std::string JobId = SubmittedJobId(Batch.Errors);
  ASSERT_NE(JobId, "") << Batch.Errors;
  const TProcessResult Again = Cli({"collect", JobId, "--output", Out.Path()});
  EXPECT_EQ(Again.ExitStatus, 1) << Again.Errors;
  EXPECT_EQ(Again.Output, Batch.Output);
  EXPECT_EQ(Out.Names(), (std::vector<std::string>{"film.mp4", "it's a clip.mp4",
                                                   "tarnwick-job-" + JobId, "two\r\nlines.mp4"}));
}

TEST_F(CliSlurmTest, FilesOfOneNameGetTheOutputsConvertGives) {
  TTempFolder In("slurm-names-in");
  for (const char *Folder : {"a", "b", "c"}) fs::create_directory(In.File(Folder));
  fs::copy_file(MediaFile("sample.mov"), In.File("a/clip.mov"));
  fs::copy_file(MediaFile("sample.mov"), In.File("b/clip.mov"));
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", MediaFile("sample.mov"),
                        "-c", "copy", In.File("c/clip.mkv")})
                .ExitStatus,
            0);
  const std::vector<std::string> Files = {In.File("a/clip.mov"), In.File("b/clip.mov"),
                                          In.File("c/clip.mkv")};
  const std::string UsersFile = "a file of the user's, there before the batch";
  for (const bool Overwrite : {false, true}) {
    TTempFolder Out("slurm-names-out"), Alone("slurm-names-alone");
    for (const TTempFolder *Folder : {&Out, &Alone})
      std::ofstream(Folder->File("clip.mp4")) << UsersFile;
    std::vector<std::string> Submit = {"submit", Mp4Entry}, Convert = {"convert", Mp4Entry};
    for (std::vector<std::string> *Words : {&Submit, &Convert}) {
      Words->insert(Words->end(), Files.begin(), Files.end());
      if (Overwrite) Words->push_back("--overwrite");
    }
    Submit.insert(Submit.end(), {"--output", Out.Path(), "--wait"});
    Convert.insert(Convert.end(), {"--output", Alone.Path()});
    const TProcessResult Batch = Cli(Submit), Reference = Cli(Convert);
    ASSERT_EQ(Reference.ExitStatus, 0) << Reference.Errors;
    EXPECT_EQ(Batch.ExitStatus, 0) << Batch.Errors;
    EXPECT_EQ(Batch.Output, Replaced(Reference.Output, Alone.Path(), Out.Path())) << Overwrite;
    // The user's file stays as it was unless --overwrite gave its name to the first file.
    EXPECT_EQ(ReadFile(Out.File("clip.mp4")) == UsersFile, !Overwrite);
    if (!Overwrite) fs::remove(Out.File("clip.mp4"));
    ExpectOutputsMatchRows(Batch.Output, Out);
  }
}

// Slurm ends an element (cancel) or runs it again (requeue, its node set down): a stopped
// attempt leaves no output and no part of one, the rerun replaces its own earlier output, and
// while Slurm runs the element again no earlier row counts.
TEST_F(CliSlurmTest, AnElementSlurmStopsLeavesNoOutputAndItsRerunReplacesItself) {
  TTempFolder In("slurm-stop-in");
  const std::string Long = LongClip(In, "long.mp4", 20);
  const auto Requeue = [](const std::string &Element) {
    return RunProgram({"/usr/bin/scontrol", "requeue", Element});
  };
  // Slurm requeues what ran on a node taken down; the rerun goes to the other node. With the
  // node's daemon killed first, the first attempt runs on unwatched beside the rerun.
  const auto NodeDown = [](bool KillDaemon) {
    return [KillDaemon](const std::string &Element) {
      std::string Node =
          RunProgram({"/usr/bin/squeue", "--noheader", "--jobs=" + Element, "--format=%N"}).Output;
      Node = Node.substr(0, Node.find('\n'));
      if (KillDaemon) Cluster->KillNodeDaemon(Node);
      const bool Down = Cluster->SetNodeDown(Node);
      return TProcessResult{Down ? 0 : 1, Node, Cluster->Problem()};
    };
  };
  const struct {
    const char *Name;
    std::function<TProcessResult(const std::string &)> Stop;
    bool WhileRunning;
    std::string End;  // the row's state and last cell
    long Attempts;
    bool NodeDown = false;
  } Cases[] = {
      {"cancel",
       [](const std::string &Element) {
         return RunProgram({"/usr/bin/scancel", Element});
       },
       true, "Fail\tstopped by Slurm: CANCELLED", 1},
      {"requeue while running", Requeue, true, "Done", 2},
      {"requeue after the end", Requeue, false, "Done", 2},
      {"node set down", NodeDown(false), true, "Done", 2, true},
      {"node's daemon killed, node set down", NodeDown(true), true, "Done", 2, true},
  };
  for (const auto &Case : Cases) {
    TTempFolder Out("slurm-stop-out");
    const TProcessResult Submitted = Cli({"submit", H264Entry, Long, "--output", Out.Path()});
    ASSERT_EQ(Submitted.ExitStatus, 0) << Submitted.Errors;
    const std::string JobId = Submitted.Output.substr(0, Submitted.Output.find('\n'));
    const std::string Done = Long + "\tDone\t" + Out.File("long.mp4") + "\n";
    const TProcessResult Before = CollectUntil(JobId, Out.Path(), [&](const TProcessResult &Rows) {
      return Case.WhileRunning ? Rows.Output != Long + "\tPending\n" : Rows.ExitStatus != 3;
    });
    ASSERT_EQ(Before.Output, Case.WhileRunning ? Long + "\tRunning\n" : Done) << Case.Name;
    EXPECT_TRUE(Before.Errors.ends_with(Case.WhileRunning ? "0 Done, 1 Running\n" : "1 Done\n"))
        << Before.Errors;

    // Mid-run: the conversion is writing its part.
    auto Writing = [&Out] {
      const std::vector<std::string> Names = Out.Names();
      return std::any_of(Names.begin(), Names.end(),
                         [](const std::string &Name) { return Name.ends_with(".tarnwick-part"); });
    };
    for (int Try = 0; Try < 3000 && Case.WhileRunning && !Writing(); ++Try) ::usleep(100 * 1000);
    auto State = [&JobId] {
      const std::string Shown =
          RunProgram({"/usr/bin/scontrol", "show", "job", JobId + "_0"}).Output;
      const size_t At = Shown.find("JobState=");
      return At == std::string::npos ? std::string()
                                     : Shown.substr(At + 9, Shown.find(' ', At) - At - 9);
    };
    // The row is written before the element's process ends; Slurm takes a requeue of an
    // ended element only once it has finished completing it.
    for (int Try = 0; Try < 600 && !Case.WhileRunning && State() != "COMPLETED"; ++Try)
      ::usleep(100 * 1000);
    const TProcessResult Stopped = Case.Stop(JobId + "_0");
    ASSERT_EQ(Stopped.ExitStatus, 0) << Case.Name << ": " << Stopped.Errors;
    if (!Case.WhileRunning) {
      const TProcessResult Again = Cli({"collect", JobId, "--output", Out.Path()});
      EXPECT_EQ(Again.ExitStatus, 3)
          << Case.Name << ": " << Again.Output
          << RunProgram({"/usr/bin/scontrol", "show", "job", JobId + "_0"}).Output;
    }
    const TProcessResult Rows = CollectEnded(JobId, Out.Path());
    EXPECT_EQ(Rows.Output, Case.End == "Done" ? Done : Long + "\t" + Case.End + "\n") << Case.Name;
    EXPECT_EQ(Rows.ExitStatus, Case.End == "Done" ? 0 : 1) << Case.Name;
    EXPECT_TRUE(Rows.Errors.ends_with(Case.End == "Done" ? "1 Done\n" : "1 Fail\n")) << Rows.Errors;
    ExpectOutputsMatchRows(Rows.Output, Out);
    if (Case.End == "Done") {
      EXPECT_NEAR(Duration(Out.File("long.mp4")), 20.0, 0.5) << Case.Name;
    }
    // Every attempt's log is kept.
    const std::vector<std::string> Logs = FolderNames(Out.File("tarnwick-job-" + JobId));
    const auto Attempts = std::count_if(Logs.begin(), Logs.end(), [](const std::string &Name) {
      return Name.starts_with("element-0.attempt-");
    });
    EXPECT_EQ(Attempts, Case.Attempts)
        << Case.Name << ":\n"
        << ReadFile(Out.File("tarnwick-job-" + JobId + "/element-0.log"))
        << RunProgram({"/usr/bin/scontrol", "show", "job", JobId + "_0"}).Output;
    if (Case.NodeDown) {
      // Each attempt's log names the node it ran on.
      const std::string Results = Out.File("tarnwick-job-" + JobId + "/element-0.attempt-");
      EXPECT_NE(ReadFile(Results + "1.log").find(" on " + Stopped.Output + ":"), std::string::npos);
      EXPECT_EQ(ReadFile(Results + "2.log").find(" on " + Stopped.Output + ":"), std::string::npos);
      EXPECT_TRUE(Cluster->ReturnNode(Stopped.Output)) << Cluster->Problem();
    }
  }
}

// Several files per element, given or chosen: each file still has its own row and output.
TEST_F(CliSlurmTest, FilesPackedIntoElementsKeepTheirOwnRows) {
  TTempFolder In("slurm-pack-in");
  std::vector<std::string> Files;
  for (const char *Name : {"a.mov", "b.mov", "c.mov", "d.mov", "e.mov"}) {
    fs::copy_file(MediaFile("sample.mov"), In.File(Name));
    Files.push_back(In.File(Name));
  }
  Files.insert(Files.begin() + 2, MediaFile("clip.mov"));  // a file that fails
  TTempFolder Alone("slurm-pack-alone");
  std::vector<std::string> Convert = {"convert", Mp4Entry};
  Convert.insert(Convert.end(), Files.begin(), Files.end());
  Convert.insert(Convert.end(), {"--output", Alone.Path()});
  const TProcessResult Reference = Cli(Convert);
  ASSERT_EQ(Reference.ExitStatus, 1) << Reference.Errors;
  const struct {
    std::vector<std::string> Packing;
    int Elements;
  } Cases[] = {
      {{"--files-per-element", "2"}, 3},
      // Short files, one slot: two elements of three files each.
      {{"--max-parallel", "1"}, 2},
  };
  for (const auto &Case : Cases) {
    TTempFolder Out("slurm-pack-out");
    std::vector<std::string> Submit = {"submit", Mp4Entry};
    Submit.insert(Submit.end(), Files.begin(), Files.end());
    Submit.insert(Submit.end(), Case.Packing.begin(), Case.Packing.end());
    Submit.insert(Submit.end(), {"--output", Out.Path(), "--wait"});
    const TProcessResult Batch = Cli(Submit);
    EXPECT_EQ(Batch.ExitStatus, 1) << Batch.Errors;
    EXPECT_EQ(Batch.Output, Replaced(Reference.Output, Alone.Path(), Out.Path()));
    ExpectOutputsMatchRows(Batch.Output, Out);
    const std::string Results = Out.File("tarnwick-job-" + SubmittedJobId(Batch.Errors));
    int Logs = 0;
    for (const std::string &Name : FolderNames(Results))
      Logs += Name.starts_with("element-") && Name.ends_with(".log") &&
              Name.find(".attempt-") == std::string::npos;
    EXPECT_EQ(Logs, Case.Elements) << Case.Packing[0];
  }
}

// A packed element mid-run: the file it has done shows its row, the one it converts Running and
// the next Pending; requeued, none of its files counts as done, and cancelled while pending
// after the requeue, no earlier attempt's output or row outlives it.
TEST_F(CliSlurmTest, APackedElementShowsEachFileAsItGoes) {
  TTempFolder In("slurm-packed-in"), Out("slurm-packed-out");
  const std::vector<std::string> Files = {LongClip(In, "a.mp4", 2), LongClip(In, "b.mp4", 20),
                                          LongClip(In, "c.mp4", 2)};
  std::vector<std::string> Submit = {"submit", H264Entry};
  Submit.insert(Submit.end(), Files.begin(), Files.end());
  Submit.insert(Submit.end(), {"--files-per-element", "3", "--output", Out.Path()});
  const TProcessResult Submitted = Cli(Submit);
  ASSERT_EQ(Submitted.ExitStatus, 0) << Submitted.Errors;
  const std::string JobId = Submitted.Output.substr(0, Submitted.Output.find('\n'));
  const std::string FirstDone = Files[0] + "\tDone\t" + Out.File("a.mp4") + "\n";
  const TProcessResult Midway = CollectUntil(JobId, Out.Path(), [&](const TProcessResult &Rows) {
    return Rows.Output.starts_with(FirstDone) || Rows.ExitStatus != 3;
  });
  EXPECT_EQ(Midway.ExitStatus, 3) << Midway.Errors;
  EXPECT_EQ(Midway.Output, FirstDone + Files[1] + "\tRunning\n" + Files[2] + "\tPending\n");
  EXPECT_TRUE(Midway.Errors.ends_with("1 Done, 1 Pending, 1 Running\n")) << Midway.Errors;

  ASSERT_EQ(RunProgram({"/usr/bin/scontrol", "requeue", JobId + "_0"}).ExitStatus, 0);
  std::string Pending;
  for (const std::string &File : Files) Pending += File + "\tPending\n";
  // Until Slurm has stopped the first attempt the element may still show as running.
  EXPECT_EQ(CollectUntil(JobId, Out.Path(),
                         [&](const TProcessResult &Rows) {
                           return Rows.Output == Pending || Rows.ExitStatus != 3 ||
                                  Rows.Output.starts_with(FirstDone);
                         })
                .Output,
            Pending);
  ASSERT_EQ(RunProgram({"/usr/bin/scancel", JobId + "_0"}).ExitStatus, 0);
  const TProcessResult Rows = CollectEnded(JobId, Out.Path());
  std::string Cancelled;
  for (const std::string &File : Files) Cancelled += File + "\tFail\tstopped by Slurm: CANCELLED\n";
  EXPECT_EQ(Rows.Output, Cancelled);
  EXPECT_EQ(Rows.ExitStatus, 1);
  ExpectOutputsMatchRows(Rows.Output, Out);
}

// More elements than one job array holds: several arrays under the first job's results folder,
// one after another, and the rows and outputs of convert.
TEST_F(CliSlurmTest, MoreElementsThanAnArrayHoldsGoAsSeveralArrays) {
  TTempFolder In("slurm-arrays-in"), Out("slurm-arrays-out"), Alone("slurm-arrays-alone");
  std::vector<std::string> Files;
  for (int Index = 0; Index <= TOneHostSlurm::MaxArraySize; ++Index) {
    Files.push_back(In.File("clip" + std::to_string(Index) + ".mov"));
    fs::copy_file(MediaFile("sample.mov"), Files.back());
  }
  Files[1] = MediaFile("clip.mov");  // a file that fails
  std::vector<std::string> Submit = {"submit", Mp4Entry}, Convert = {"convert", Mp4Entry};
  Submit.insert(Submit.end(), Files.begin(), Files.end());
  Convert.insert(Convert.end(), Files.begin(), Files.end());
  Submit.insert(Submit.end(), {"--files-per-element", "1", "--max-parallel", "2", "--output",
                               Out.Path(), "--wait"});
  Convert.insert(Convert.end(), {"--output", Alone.Path()});
  const TProcessResult Batch = Cli(Submit), Reference = Cli(Convert);
  ASSERT_EQ(Reference.ExitStatus, 1) << Reference.Errors;
  EXPECT_EQ(Batch.ExitStatus, 1) << Batch.Errors;
  EXPECT_EQ(Batch.Output, Replaced(Reference.Output, Alone.Path(), Out.Path()));
  ExpectOutputsMatchRows(Batch.Output, Out);
  const std::string JobId = SubmittedJobId(Batch.Errors);
  const std::string Results = Out.File("tarnwick-job-" + JobId);
  const std::string Later = ReadFile(Results + "/arrays");
  EXPECT_TRUE(Later.ends_with(" " + std::to_string(TOneHostSlurm::MaxArraySize) + "\n")) << Later;
  EXPECT_EQ(std::count(Later.begin(), Later.end(), '\n'), 1) << Later;
  EXPECT_TRUE(fs::exists(Results + "/array-4.element-0.log"));
  EXPECT_EQ(Cli({"collect", JobId, "--output", Out.Path()}).Output, Batch.Output);
}

TEST_F(CliSlurmTest, AWaitOutlivesTheControllersRestart) {
  TTempFolder In("slurm-wait-in"), Out("slurm-wait-out");
  const std::string Long = LongClip(In, "long.mp4", 20);
  const std::string Told = In.File("told"), Rows = In.File("rows");
  const int Waiting = StartProgram({"/usr/bin/timeout", "600", TARNWICK_CLI, "submit", H264Entry,
                                    Long, "--output", Out.Path(), "--wait"},
                                   Rows, Told);
  ASSERT_GT(Waiting, 0);
  auto WaitToTell = [&Told](const std::string &Text) {
    for (int Try = 0; Try < 3000 && ReadFile(Told).find(Text) == std::string::npos; ++Try)
      ::usleep(100 * 1000);
    return ReadFile(Told);
  };
  const std::string Told0 = WaitToTell("Waiting for job ");
  EXPECT_NE(Told0.find(" to end: 0 Done"), std::string::npos) << Told0;
  // Another cluster, which never knew the job, gives no verdict on it.
  const std::string JobId = SubmittedJobId(Told0);
  const std::string Other = Cluster->StartOtherCluster();
  ASSERT_NE(Other, "") << Cluster->Problem();
  const TProcessResult Elsewhere = RunProgram({"/usr/bin/env", "SLURM_CONF=" + Other, TARNWICK_CLI,
                                               "collect", JobId, "--output", Out.Path()});
  EXPECT_EQ(Elsewhere.ExitStatus, 1);
  EXPECT_EQ(Elsewhere.Output, "");
  EXPECT_TRUE(
      Elsewhere.Errors.starts_with("tarnwick-cli collect: the Slurm cluster "
                                   "'tarnwickother' does not know job " +
                                   JobId + ", which was submitted to 'tarnwicktest'"))
      << Elsewhere.Errors;
  Cluster->StopController();
  const std::string Silent = WaitToTell("asking again in ");
  ASSERT_TRUE(Cluster->StartController()) << Cluster->Problem();
  EXPECT_NE(Silent.find("tarnwick-cli submit: squeue failed: "), std::string::npos) << Silent;
  int Status = 0;
  ASSERT_EQ(::waitpid(Waiting, &Status, 0), Waiting);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << ReadFile(Told);
  EXPECT_EQ(ReadFile(Rows), Long + "\tDone\t" + Out.File("long.mp4") + "\n");
  EXPECT_TRUE(ReadFile(Told).ends_with("\n1 Done\n")) << ReadFile(Told);
}

TEST_F(CliSlurmTest, ASubmissionThatCannotGoAheadSaysWhyAndLeavesNothing) {
  TTempFolder Out("slurm-refused");
  const std::string File = MediaFile("sample.mov");
  // An sbatch that has submitted the job when Ctrl-C reaches submit.
  TTempFolder Bin("slurm-interrupting-bin");
  std::ofstream(Bin.File("sbatch")) << "#!/bin/sh\n/usr/bin/sbatch \"$@\"; status=$?\n"
                                    << "kill -INT $PPID\nexit $status\n";
  fs::permissions(Bin.File("sbatch"), fs::perms::owner_all);
  const struct {
    std::vector<std::string> Arguments;
    std::string Message;
    int Status = 1;
  } Cases[] = {
      {{"/usr/bin/env", "PATH=" + Bin.Path() + ":/usr/bin:/bin", TARNWICK_CLI, "submit", Mp4Entry,
        File, "--output", Out.Path()},
       "tarnwick-cli submit: interrupted; job ",
       130},
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
    EXPECT_EQ(Result.ExitStatus, Case.Status) << Case.Message;
    EXPECT_EQ(Result.Output, "") << Case.Message;
    EXPECT_TRUE(Result.Errors.starts_with(Case.Message)) << Result.Errors;
  }
  EXPECT_EQ(Out.Names(), std::vector<std::string>{});
  // The interrupted submission left no job held.
  EXPECT_EQ(RunProgram({"/usr/bin/squeue", "--noheader", "--states=PENDING"}).Output, "");
}

}  // namespace
