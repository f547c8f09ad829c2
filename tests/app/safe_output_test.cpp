// What tarnwick-cli leaves on disk when things go wrong: a full disk, a failing sync, a killed or
// stopped process, a closed standard output, other processes writing into the same folder, and
// a batch whose inputs share a name.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "engine/FFMPEG/output_file.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char *const Mp4Entry = "MP4 - MPEG4 Video (*.mp4)";

bool IsTemporary(const fs::path &Path) {
  const std::string Name = Path.filename().string();
  const std::string Suffix = TemporaryOutputSuffix;
  return Name.size() > Suffix.size() &&
         Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
}

// A copy of a test clip under Folder/Name.
std::string Copy(const std::string &Clip, const std::string &Folder, const std::string &Name) {
  fs::create_directories(Folder);
  fs::copy_file(MediaFile(Clip), Folder + "/" + Name, fs::copy_options::overwrite_existing);
  return Folder + "/" + Name;
}

int Wait(pid_t Child) {
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

bool Playable(const std::string &File) {
  return RunProgram({"/usr/bin/ffprobe", "-v", "error", "-count_packets", "-show_entries",
                     "stream=nb_read_packets", "-of", "csv=p=0", File})
             .ExitStatus == 0;
}

// A 60 s clip that takes long enough to convert for a signal to come in the middle.
const std::string &LongClip() {
  static TTempFolder Folder("safe-output-long");
  static const std::string Clip = [] {
    const std::string Path = Folder.File("long.mkv");
    RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                "testsrc=size=640x480:rate=25:duration=60", "-f", "lavfi", "-i",
                "sine=frequency=440:duration=60", "-c:v", "mpeg4", "-c:a", "mp2", Path});
    return Path;
  }();
  return Clip;
}

// Waits until Count temporary outputs in Folder hold more than Bytes each.
bool TemporariesGrew(const std::string &Folder, int Count, std::uintmax_t Bytes) {
  for (int Tries = 0; Tries < 600; ++Tries) {
    int Growing = 0;
    std::error_code Ignored;
    for (const auto &Entry : fs::directory_iterator(Folder))
      Growing += IsTemporary(Entry.path()) && fs::file_size(Entry.path(), Ignored) > Bytes;
    if (Growing >= Count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Words with "OUT" at their start standing for Out.
std::vector<std::string> InFolder(const std::vector<std::string> &Words, const std::string &Out) {
  std::vector<std::string> Result;
  for (std::string Word : Words) {
    for (size_t At = Word.find("OUT"); At != std::string::npos; At = Word.find("OUT", At + 1))
      Word.replace(At, 3, Out);
    Result.push_back(Word);
  }
  return Result;
}

// A small file system of its own; empty when this machine does not let the test mount one.
class TSmallDisk {
 public:
  TSmallDisk(const std::string &Path, const char *Size, unsigned long Flags = 0) : FPath(Path) {
    fs::create_directories(Path);
    FMounted = mount("tmpfs", Path.c_str(), "tmpfs", Flags, Size) == 0;
  }
  ~TSmallDisk() {
    if (FMounted) umount2(FPath.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return FMounted; }

 private:
  std::string FPath;
  bool FMounted = false;
};

// One row at a time and two at once (both rows then fill the same disk together), re-encoded and
// with a stream copied.
TEST(SafeOutputTest, AFullDiskFailsEveryRowWithItsCauseAndKeepsTheUsersFile) {
  const struct {
    bool Overwrite;
    const char *Jobs, *Format, *First, *Second, *UsersFile;
  } Cases[] = {
      {false, "1", Mp4Entry, "sample.mov", "ntsc.mp4", "sample.mp4"},
      {true, "1", Mp4Entry, "sample.mov", "ntsc.mp4", "sample.mp4"},
      {false, "2", Mp4Entry, "sample.mov", "ntsc.mp4", "sample.mp4"},
      // fit.mp3 is already at the entry's settings, so its stream is copied.
      {false, "2", "MP3 - Mpeg Layer3 Audio (*.mp3)", "fit.mp3", "cd.mp3", "fit.mp3"},
  };
  for (const auto &[Overwrite, Jobs, Format, First, Second, UsersFile] : Cases) {
    SCOPED_TRACE(std::string(Overwrite ? "overwriting" : "keeping") + ", jobs " + Jobs + ", " +
                 First);
    TTempFolder Folder("safe-output-full");
    const std::string Full = Folder.File("full");
    TSmallDisk Disk(Full, "size=40k");
    if (!Disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    std::ofstream(Full + "/" + UsersFile) << "a user's file";
    std::vector<std::string> Arguments = {
        TARNWICK_CLI, "convert", Format, MediaFile(First), MediaFile(Second), "--output",
        Full,         "--jobs",  Jobs};
    if (Overwrite) Arguments.push_back("--overwrite");
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, 1) << Result.Errors;
    std::istringstream Rows(Result.Output);
    int Failed = 0;
    for (std::string Row; std::getline(Rows, Row); ++Failed) {
      EXPECT_NE(Row.find("\tFail\t"), std::string::npos) << Row;
      EXPECT_NE(Row.find("No space left on device"), std::string::npos) << Row;
      EXPECT_NE(Row.find(Full + "/"), std::string::npos) << Row;
    }
    EXPECT_EQ(Failed, 2) << Result.Output;
    std::vector<std::string> Left;
    for (const auto &Entry : fs::directory_iterator(Full))
      Left.push_back(Entry.path().filename().string());
    EXPECT_EQ(Left, std::vector<std::string>{UsersFile});
    EXPECT_EQ(ReadFile(Full + "/" + UsersFile), "a user's file");
  }
}

// A killed conversion leaves only recognisable temporary files; the files they were replacing
// are as they were: a re-encoding, a stream copy, and two rows converting at once.
TEST(SafeOutputTest, AKilledConversionLeavesTheOldFilesIntact) {
  TTempFolder Folder("safe-output-kill");
  const std::string Long = Folder.File("long.mkv"), Tone = Folder.File("tone.mp3");
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=640x480:rate=25:duration=60", "-c:v", "mpeg4", Long})
                .ExitStatus,
            0);
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "sine=frequency=440:sample_rate=48000:duration=30", "-ac", "2", "-b:a",
                        "192k", Tone})
                .ExitStatus,
            0);
  const std::string Second = Folder.File("other.mkv");
  fs::copy_file(Long, Second);
  struct TCase {
    const char *Name;
    std::vector<std::string> Arguments;  // after the program; OUT stands for the folder
    std::vector<std::string> OldFiles;   // there before, in the folder
    int Outputs;
    std::uintmax_t Written;  // bytes each temporary file holds before the kill
  };
  const TCase Cases[] = {
      {"re-encoding",
       {"engine", "-i", Long, "-y", "OUT/old.mpg", "OUT/new.mpg"},
       {"old.mpg"},
       2,
       100000},
      // Read at the file's own pace, so the copy is still running when it is killed.
      {"stream copy",
       {"engine", "-re", "-i", Tone, "-acodec", "copy", "-y", "OUT/old.mp3"},
       {"old.mp3"},
       1,
       30000},
      {"two rows at once",
       {"convert", Mp4Entry, Long, Second, "--output", "OUT", "--jobs", "2", "--overwrite"},
       {"long.mp4", "other.mp4"},
       2,
       100000},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Out = Folder.File(std::string("out-") + Case.Name);
    fs::create_directories(Out);
    for (const std::string &Old : Case.OldFiles) std::ofstream(Out + "/" + Old) << Old;
    std::vector<std::string> Arguments = {TARNWICK_CLI};
    for (std::string Argument : Case.Arguments) {
      if (Argument.rfind("OUT", 0) == 0) Argument.replace(0, 3, Out);
      Arguments.push_back(Argument);
    }
    const pid_t Child = StartProgram(Arguments, Folder.File("stdout"), Folder.File("stderr"));
    ASSERT_GT(Child, 0);
    // Killed once every output has received data.
    auto Written = [&] {
      int Growing = 0;
      for (const auto &Entry : fs::directory_iterator(Out))
        Growing += IsTemporary(Entry.path()) && fs::file_size(Entry.path()) > Case.Written;
      return Growing == Case.Outputs;
    };
    for (int Tries = 0; Tries < 300 && !Written(); ++Tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(Written()) << ReadFile(Folder.File("stderr"));
    kill(Child, SIGKILL);
    EXPECT_EQ(Wait(Child), 128 + SIGKILL);
    int Leftovers = 0;
    std::vector<std::string> Others;
    for (const auto &Entry : fs::directory_iterator(Out)) {
      if (IsTemporary(Entry.path()))
        ++Leftovers;
      else
        Others.push_back(Entry.path().filename().string());
    }
    EXPECT_EQ(Leftovers, Case.Outputs);
    std::sort(Others.begin(), Others.end());
    EXPECT_EQ(Others, Case.OldFiles);
    for (const std::string &Old : Case.OldFiles) EXPECT_EQ(ReadFile(Out + "/" + Old), Old);
  }
}

// Three processes convert same-named inputs into one folder at once: every row is Done with a
// file of its own, and no file mixes two conversions.
TEST(SafeOutputTest, ProcessesSharingAFolderNeverOverwriteEachOther) {
  TTempFolder Folder("safe-output-parallel");
  const std::string Out = Folder.File("out");
  fs::create_directories(Out);
  std::vector<pid_t> Children;
  for (int Process = 0; Process < 3; ++Process) {
    std::vector<std::string> Arguments = {TARNWICK_CLI, "convert", Mp4Entry};
    for (int Input = 0; Input < 2; ++Input)
      Arguments.push_back(Copy(
          "sample.mov", Folder.File("in" + std::to_string(Process) + "-" + std::to_string(Input)),
          "clip.mov"));
    Arguments.insert(Arguments.end(), {"--output", Out});
    const std::string Log = Folder.File("rows" + std::to_string(Process));
    Children.push_back(StartProgram(Arguments, Log, Log + ".err"));
  }
  std::set<std::string> Outputs;
  int Rows = 0;
  for (size_t Process = 0; Process < Children.size(); ++Process) {
    EXPECT_EQ(Wait(Children[Process]), 0);
    std::istringstream Listing(ReadFile(Folder.File("rows" + std::to_string(Process))));
    for (std::string Row; std::getline(Listing, Row); ++Rows) {
      const size_t Done = Row.find("\tDone\t");
      ASSERT_NE(Done, std::string::npos) << Row;
      Outputs.insert(Row.substr(Done + 6));
    }
  }
  EXPECT_EQ(Rows, 6);
  EXPECT_EQ(Outputs.size(), 6u);
  for (const std::string &Output : Outputs) EXPECT_TRUE(Playable(Output)) << Output;
  std::vector<std::string> Names;
  for (const auto &Entry : fs::directory_iterator(Out)) Names.push_back(Entry.path().string());
  EXPECT_EQ(std::set<std::string>(Names.begin(), Names.end()), Outputs);
}

// Overwriting replaces a file that was there before the batch, but never one the batch wrote.
TEST(SafeOutputTest, OverwritingNeverReplacesTheBatchsOwnOutput) {
  TTempFolder Folder("safe-output-own");
  const std::string First = Copy("sample.mov", Folder.File("d1"), "clip.mov");
  const std::string Second = Copy("film.mp4", Folder.File("d2"), "clip.mov");
  const std::string Out = Folder.File("out");
  fs::create_directories(Out);
  std::ofstream(Out + "/clip.mp4") << "from before";
  const TProcessResult Result = RunProgram(
      {TARNWICK_CLI, "convert", Mp4Entry, First, Second, "--output", Out, "--overwrite"});
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_EQ(Result.Output,
            First + "\tDone\t" + Out + "/clip.mp4\n" + Second + "\tDone\t" + Out + "/clip-1.mp4\n");
  EXPECT_TRUE(Playable(Out + "/clip.mp4"));
  EXPECT_TRUE(Playable(Out + "/clip-1.mp4"));
}

}  // namespace

namespace {

// A disk that reports its failure only when the data is synced: the row fails with the system's
// reason, the file it would have replaced is as it was, and no temporary file stays.
TEST(SafeOutputTest, AFailedSyncFailsTheRowAndKeepsTheUsersFile) {
  const struct {
    const char *Error, *Reason;
    std::vector<std::string> Words;  // after the program
  } Cases[] = {
      {"EIO",
       "Input/output error",
       {"convert", Mp4Entry, MediaFile("sample.mov"), "--output", "OUT", "--overwrite"}},
      {"ENOSPC",
       "No space left on device",
       {"convert", Mp4Entry, MediaFile("sample.mov"), "--output", "OUT"}},
      {"EIO",
       "Input/output error",
       {"engine", "-i", MediaFile("sample.mov"), "-y", "OUT/sample.mp4"}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(std::string(Case.Error) + " " + Case.Words.back());
    TTempFolder Out("safe-output-sync");
    std::ofstream(Out.File("sample.mp4")) << "a user's file";
    std::vector<std::string> Arguments = {"/usr/bin/env",
                                          std::string("TARNWICK_FAIL_SYNC=") + Case.Error,
                                          std::string("LD_PRELOAD=") + TARNWICK_FAILING_SYNC,
                                          "ASAN_OPTIONS=verify_asan_link_order=0", TARNWICK_CLI};
    for (const std::string &Word : InFolder(Case.Words, Out.Path())) Arguments.push_back(Word);
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, 1) << Result.Errors;
    const std::string Told = Case.Words[0] == "convert" ? Result.Output : Result.Errors;
    EXPECT_NE(Told.find("Could not write '" + Out.File("sample")), std::string::npos) << Told;
    EXPECT_NE(Told.find(Case.Reason), std::string::npos) << Told;
    if (Case.Words[0] == "convert") {
      EXPECT_NE(Result.Output.find("\tFail\t"), std::string::npos) << Result.Output;
    }
    EXPECT_EQ(ReadFile(Out.File("sample.mp4")), "a user's file");
    EXPECT_EQ(Out.Names().size(), 1u);
  }
}

// A stop keeps the part converted under a free name, or nothing with --on-stop remove, and never
// replaces a file that was there; every file still has its one line, the files not started
// "Skipped".
TEST(SafeOutputTest, AStopNeverReplacesAFileThatWasThere) {
  const std::string Long = LongClip();
  TTempFolder Inputs("safe-output-stop-in");
  for (const char *Name : {"other.mkv", "third.mkv"}) fs::create_symlink(Long, Inputs.File(Name));
  const std::string Other = Inputs.File("other.mkv"), Third = Inputs.File("third.mkv");
  const std::string Skipped = "\tSkipped\tnot started: the batch was stopped\n";
  const struct {
    const char *Name;
    int Signal;
    std::vector<std::string> Words;  // after the program; OUT stands for the output folder
    std::vector<std::string> There;  // the user's files in OUT
    int Running;                     // rows converting when the signal comes
    std::string Rows;                // standard output, OUT standing for the folder
    std::vector<std::string> Kept;   // the parts left, besides the user's files
  } Cases[] = {
      {"Ctrl-C",
       SIGINT,
       {"convert", Mp4Entry, Long, "--output", "OUT", "--overwrite"},
       {"long.mp4"},
       1,
       Long + "\tAbort\tOUT/long-1.mp4\n",
       {"long-1.mp4"}},
      {"two at once",
       SIGTERM,
       {"convert", Mp4Entry, Long, Other, Third, "--output", "OUT", "--overwrite", "--jobs", "2"},
       {"long.mp4", "other.mp4"},
       2,
       Long + "\tAbort\tOUT/long-1.mp4\n" + Other + "\tAbort\tOUT/other-1.mp4\n" + Third + Skipped,
       {"long-1.mp4", "other-1.mp4"}},
      {"removed",
       SIGTERM,
       {"convert", Mp4Entry, Long, Other, "--output", "OUT", "--overwrite", "--on-stop", "remove",
        "--jobs", "1"},
       {"long.mp4"},
       1,
       Long + "\tAbort\t\n" + Other + Skipped,
       {}},
      {"engine",
       SIGINT,
       {"engine", "-i", Long, "-y", "OUT/long.mp4"},
       {"long.mp4"},
       1,
       "",
       {"long-1.mp4"}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTempFolder Out("safe-output-stop");
    for (const std::string &Name : Case.There) std::ofstream(Out.File(Name)) << Name;
    std::vector<std::string> Arguments = InFolder(Case.Words, Out.Path());
    Arguments.insert(Arguments.begin(), TARNWICK_CLI);
    const pid_t Child = StartProgram(Arguments, Out.File("../stop-rows"), Out.File("../stop-log"));
    ASSERT_GT(Child, 0);
    ASSERT_TRUE(TemporariesGrew(Out.Path(), Case.Running, 100000))
        << ReadFile(Out.File("../stop-log"));
    kill(Child, Case.Signal);
    EXPECT_EQ(Wait(Child), 128 + Case.Signal) << ReadFile(Out.File("../stop-log"));
    EXPECT_EQ(ReadFile(Out.File("../stop-rows")), InFolder({Case.Rows}, Out.Path())[0]);
    std::vector<std::string> Expected = Case.There;
    Expected.insert(Expected.end(), Case.Kept.begin(), Case.Kept.end());
    std::sort(Expected.begin(), Expected.end());
    EXPECT_EQ(Out.Names(), Expected);
    for (const std::string &Name : Case.There) EXPECT_EQ(ReadFile(Out.File(Name)), Name);
    for (const std::string &Name : Case.Kept) EXPECT_TRUE(Playable(Out.File(Name))) << Name;
  }
}

// A reader that went away costs the rows' lines, never a conversion: every file is converted,
// and the status and standard error tell what was lost.
TEST(SafeOutputTest, AClosedStandardOutputStopsNoConversion) {
  for (const char *Jobs : {"1", "2"}) {
    SCOPED_TRACE(std::string("jobs ") + Jobs);
    TTempFolder Out("safe-output-pipe");
    const std::string Errors = Out.File("../pipe-errors");
    int Ends[2];
    ASSERT_EQ(pipe(Ends), 0);
    close(Ends[0]);
    const std::vector<std::string> Words = {TARNWICK_CLI,
                                            "convert",
                                            Mp4Entry,
                                            MediaFile("sample.mov"),
                                            MediaFile("ntsc.mp4"),
                                            MediaFile("film.mp4"),
                                            "--output",
                                            Out.Path(),
                                            "--jobs",
                                            Jobs};
    std::vector<char *> Argv;
    for (const std::string &Word : Words) Argv.push_back(const_cast<char *>(Word.c_str()));
    Argv.push_back(nullptr);
    const int Log = open(Errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    // Standard output is a pipe nobody reads: its read end is closed before the start.
    const pid_t Child = fork();
    if (Child == 0) {
      dup2(Ends[1], STDOUT_FILENO);
      dup2(Log, STDERR_FILENO);
      execv(Argv[0], Argv.data());
      _exit(127);
    }
    close(Ends[1]);
    close(Log);
    ASSERT_GT(Child, 0);
    EXPECT_EQ(Wait(Child), 1);
    EXPECT_NE(ReadFile(Errors).find("the rows could not be written: Broken pipe"),
              std::string::npos)
        << ReadFile(Errors);
    EXPECT_EQ(Out.Names(), (std::vector<std::string>{"film.mp4", "ntsc.mp4", "sample.mp4"}));
    for (const std::string &Name : Out.Names()) EXPECT_TRUE(Playable(Out.File(Name))) << Name;
  }
}

// The next conversion into a folder removes the temporary file a killed run left, says so, and
// leaves one a live process holds and every name it did not give.
TEST(SafeOutputTest, LeftoversOfKilledRunsGoAndHeldOnesStay) {
  TTempFolder Out("safe-output-leftover");
  const pid_t Killed =
      StartProgram({TARNWICK_CLI, "convert", Mp4Entry, LongClip(), "--output", Out.Path()},
                   "/dev/null", "/dev/null");
  ASSERT_GT(Killed, 0);
  ASSERT_TRUE(TemporariesGrew(Out.Path(), 1, 100000));
  kill(Killed, SIGKILL);
  EXPECT_EQ(Wait(Killed), 128 + SIGKILL);
  const std::vector<std::string> Leftovers = Out.Names();
  ASSERT_EQ(Leftovers.size(), 1u);

  const struct {
    const char *Name;
    bool Held;
  } Others[] = {
      {"held.mp4.0a1b2c.tarnwick-part", true},
      {"notes.tarnwick-part", false},
      {"clip.mp4.0A1B2C.tarnwick-part", false},
      {"clip.mp4.0a1b2c.tarnwick-part.txt", false},
  };
  std::vector<int> Locks;
  for (const auto &Other : Others) {
    std::ofstream(Out.File(Other.Name)) << "not a leftover";
    if (!Other.Held) continue;
    Locks.push_back(open(Out.File(Other.Name).c_str(), O_RDONLY));
    ASSERT_EQ(flock(Locks.back(), LOCK_EX | LOCK_NB), 0);
  }
  const TProcessResult Result = RunProgram(
      {TARNWICK_CLI, "engine", "-i", MediaFile("sample.mov"), "-t", "0.5", Out.File("new.mp4")});
  for (const int Lock : Locks) close(Lock);
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_NE(Result.Errors.find("Removed '" + Out.File(Leftovers[0]) + "'"), std::string::npos)
      << Result.Errors;
  std::vector<std::string> Expected = {"new.mp4"};
  for (const auto &Other : Others) Expected.push_back(Other.Name);
  std::sort(Expected.begin(), Expected.end());
  EXPECT_EQ(Out.Names(), Expected);
}

// A folder nothing can be created in: the open failure keeps its text and adds the system's
// reason, in the row (convert) and in the log (engine).
TEST(SafeOutputTest, AnOutputThatCannotBeCreatedSaysWhy) {
  TTempFolder Folder("safe-output-read-only");
  const std::string Out = Folder.File("ro");
  TSmallDisk Disk(Out, "size=40k", MS_RDONLY);
  if (!Disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
  const std::string Said = "Could not open '" + Out + "/sample.mp4': Read-only file system";
  const TProcessResult Converted =
      RunProgram({TARNWICK_CLI, "convert", Mp4Entry, MediaFile("sample.mov"), "--output", Out});
  EXPECT_EQ(Converted.ExitStatus, 1);
  EXPECT_EQ(Converted.Output, MediaFile("sample.mov") + "\tFail\t" + Said + "\n");
  const TProcessResult Run =
      RunProgram({TARNWICK_CLI, "engine", "-i", MediaFile("sample.mov"), Out + "/sample.mp4"});
  EXPECT_EQ(Run.ExitStatus, 1);
  EXPECT_NE(Run.Errors.find(Said), std::string::npos) << Run.Errors;
}

}  // namespace
