// What tarnwick-cli leaves on disk when things go wrong: a full disk, a killed process, other
// processes writing into the same folder, and a batch whose inputs share a name.

#include <gtest/gtest.h>
#include <signal.h>
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

// A small file system of its own; empty when this machine does not let the test mount one.
class TSmallDisk {
 public:
  TSmallDisk(const std::string &Path, const char *Size) : FPath(Path) {
    fs::create_directories(Path);
    FMounted = mount("tmpfs", Path.c_str(), "tmpfs", 0, Size) == 0;
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
