// tarnwick-cli convert, run as a user runs it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/binding/av_bindings.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

TProcessResult Convert(std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), {TARNWICK_CLI, "convert"});
  return RunProgram(Arguments);
}

// The same in Folder as the working directory, ended after a minute: a hang fails the test
// (status 124) instead of blocking it.
TProcessResult ConvertIn(const std::string &Folder, std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), {"/usr/bin/timeout", "60", "/usr/bin/env", "-C", Folder,
                                       TARNWICK_CLI, "convert"});
  return RunProgram(Arguments);
}

// The stream types ffprobe reads from File, one per line.
std::string StreamTypes(const std::string &File) {
  return RunProgram({"/usr/bin/ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of",
                     "default=nw=1:nk=1", File})
      .Output;
}

std::string LastLine(const std::string &Text) {
  const size_t End = Text.ends_with('\n') ? Text.size() - 1 : Text.size();
  const size_t Start = Text.rfind('\n', End - 1);
  return Text.substr(Start == std::string::npos || End == 0 ? 0 : Start + 1, End - Start - 1);
}

std::string Line(const std::string &Input, const char *State, const std::string &Output) {
  return Input + "\t" + State + "\t" + Output + "\n";
}

TEST(CliConvertTest, TwoFilesToAnEntryByTextAndByPosition) {
  const struct {
    const char *Entry;
    const char *Extension;
  } Cases[] = {{"MP4 - MPEG4 Video (*.mp4)", ".mp4"}, {"6", ".avi"}};  // 6: the XviD entry
  for (const auto &Case : Cases) {
    TTempFolder Out("cli-convert-two");
    const TProcessResult Result =
        Convert({Case.Entry, MediaFile("sample.mov"), MediaFile("film.mp4"), "--output", Out.Path(),
                 "--volume", "10"});
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
    const std::string First = Out.File(std::string("sample") + Case.Extension);
    const std::string Second = Out.File(std::string("film") + Case.Extension);
    EXPECT_EQ(Result.Output, Line(MediaFile("sample.mov"), "Done", First) +
                                 Line(MediaFile("film.mp4"), "Done", Second));
    EXPECT_EQ(Result.Errors, "All Conversions Completed\n2 Done\n");
    const TProcessResult Probe =
        RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "stream=codec_name", "-of", "csv=p=0", First});
    EXPECT_EQ(Probe.Output, "mpeg4\n") << Case.Entry;
    EXPECT_TRUE(fs::file_size(Second) > 1000) << Case.Entry;
  }
}

TEST(CliConvertTest, ANameClashGivesANumberedNameUnlessOverwriting) {
  TTempFolder Out("cli-convert-clash");
  std::ofstream(Out.File("sample.mp4")) << "a user's file";
  const TProcessResult Kept = Convert({"10", MediaFile("sample.mov"), "--output", Out.Path()});
  EXPECT_EQ(Kept.ExitStatus, 0) << Kept.Errors;
  EXPECT_EQ(Kept.Output, Line(MediaFile("sample.mov"), "Done", Out.File("sample-1.mp4")));
  EXPECT_EQ(fs::file_size(Out.File("sample.mp4")), 13u);

  const TProcessResult Replaced =
      Convert({"10", MediaFile("sample.mov"), "--output", Out.Path(), "--overwrite"});
  EXPECT_EQ(Replaced.ExitStatus, 0) << Replaced.Errors;
  EXPECT_EQ(Replaced.Output, Line(MediaFile("sample.mov"), "Done", Out.File("sample.mp4")));
  EXPECT_GT(fs::file_size(Out.File("sample.mp4")), 1000u);
}

TEST(CliConvertTest, ABrokenFileFailsWithItsReasonAndTheOthersGoOn) {
  TTempFolder Out("cli-convert-broken");
  const std::string Odd = CopyMedia(Out.File("in"), "tab\there.mov");
  const TProcessResult Result =
      Convert({"MP4 - MPEG4 Video (*.mp4)", MediaFile("clip.mov"), Odd, "--output", Out.Path()});
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_EQ(Result.Output,
            Line(MediaFile("clip.mov"), "Fail", MediaFile("clip.mov") + ": Unknown format") +
                Line(Out.File("in/tab\\there.mov"), "Done", Out.File("tab\\there.mp4")));
  EXPECT_TRUE(fs::exists(Out.File("tab\there.mp4")));
  // Counted in the order Done, Fail, Abort whatever the order of the rows.
  EXPECT_TRUE(Result.Errors.ends_with("Conversions Completed with errors\n1 Done, 1 Fail\n"))
      << Result.Errors;
}

TEST(CliConvertTest, OddNamesConvertTheFileTheyNameExactly) {
  TTempFolder In("cli-convert-odd-in"), Out("cli-convert-odd-out");
  // Each odd name holds sample.mov (video and sound); a name read another way finds a clip
  // without sound or nothing at all.
  const struct {
    const char *Name;
    const char *Output;  // in Out
    const char *Listed;  // the row's input and output cells, escaped
    const char *ListedOutput;
  } Cases[] = {
      {"clip.mov ", "clip.mp4", "clip.mov ", "clip.mp4"},
      {"concat:a|b.mp4", "concat:a|b.mp4", "concat:a|b.mp4", "concat:a|b.mp4"},
      {"-dash.mov", "-dash.mp4", "-dash.mov", "-dash.mp4"},
      {"new\nline.mov", "new\nline.mp4", "new\\nline.mov", "new\\nline.mp4"},
      {"-v", "-v.mp4", "-v", "-v.mp4"},  // a file after "--", not the switch
  };
  CopyMedia(In.Path(), "clip.mov", "film.mp4");
  CopyMedia(In.Path(), "b.mp4", "film.mp4");
  std::ofstream(In.File("a")).flush();
  std::vector<std::string> Arguments = {Mp4Entry, "--output", Out.Path(), "--"};
  std::string Listing;
  for (const auto &Case : Cases) {
    CopyMedia(In.Path(), Case.Name);
    Arguments.push_back(Case.Name);
    Listing += Line(Case.Listed, "Done", Out.File(Case.ListedOutput));
  }
  const TProcessResult Result = ConvertIn(In.Path(), Arguments);
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_EQ(Result.Output, Listing);
  for (const auto &Case : Cases)
    EXPECT_EQ(StreamTypes(Out.File(Case.Output)), "video\naudio\n") << Case.Name;
  EXPECT_EQ(LastLine(Result.Errors), "5 Done");
}

TEST(CliConvertTest, APipeFailsAtOnceWithItsReasonAFolderIsItsFilesAndTheCountsEndTheRun) {
  TTempFolder In("cli-convert-kinds"), Out("cli-convert-kinds-out");
  ASSERT_EQ(mkfifo(In.File("pipe.mov").c_str(), 0600), 0);
  // A folder is the media files in it.
  CopyMedia(In.File("folder.mov"), "inner.mov");
  const struct {
    std::string File;
    const char *State;
    std::string Last;
    std::string Row = "";  // the row's file, when not File itself
  } Cases[] = {
      {In.File("pipe.mov"), "Fail",
       "'" + In.File("pipe.mov") + "' is a named pipe, not a regular file"},
      {MediaFile("sample.mov"), "Done", Out.File("sample.mp4")},
      {In.File("folder.mov"), "Done", Out.File("inner.mp4"), In.File("folder.mov/inner.mov")},
  };
  std::vector<std::string> Arguments = {Mp4Entry};
  std::string Listing;
  for (const auto &Case : Cases) {
    Arguments.push_back(Case.File);
    Listing += Line(Case.Row.empty() ? Case.File : Case.Row, Case.State, Case.Last);
  }
  Arguments.insert(Arguments.end(), {"--output", Out.Path()});
  const TProcessResult Result = ConvertIn(In.Path(), Arguments);
  EXPECT_EQ(Result.ExitStatus, 1) << Result.Errors;
  EXPECT_EQ(Result.Output, Listing);
  EXPECT_TRUE(Result.Errors.ends_with("Conversions Completed with errors\n2 Done, 1 Fail\n"))
      << Result.Errors;
  EXPECT_TRUE(fs::exists(Out.File("sample.mp4")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Out.Path()), fs::directory_iterator()), 2);
}

TEST(CliConvertTest, MisuseAndFoldersThatCannotBeMadeExitWithStatusOne) {
  TTempFolder Out("cli-convert-misuse");
  // An output folder under a regular file cannot be made.
  TTempFolder Blocked("cli-convert-blocked");
  std::ofstream(Blocked.File("plain")) << "a user's file";
  const std::string Unmakeable = Blocked.File("plain/gone");
  const std::vector<std::vector<std::string>> Cases = {
      {"10"},
      {"18", MediaFile("sample.mov")},  // a separator line
      {"99", MediaFile("sample.mov")},
      {"Nothing (*.xyz)", MediaFile("sample.mov")},
      {"10", MediaFile("sample.mov"), "--pick", "ComboVideoCodec=none"},
      {"10", MediaFile("sample.mov"), "--volume", "11"},
      {"10", MediaFile("sample.mov"), "--output", Unmakeable},
  };
  for (const std::vector<std::string> &Arguments : Cases) {
    const TProcessResult Result = Convert(Arguments);
    EXPECT_EQ(Result.ExitStatus, 1) << Arguments.back();
    EXPECT_EQ(Result.Output, "") << Arguments.back();
    EXPECT_NE(Result.Errors, "") << Arguments.back();
    // The folder message's line ends are line feeds only on a terminal.
    EXPECT_EQ(Result.Errors.find('\r'), std::string::npos) << Arguments.back();
  }
  EXPECT_TRUE(fs::is_empty(Out.Path()));
  const TProcessResult Gone = Convert({"10", MediaFile("sample.mov"), "--output", Unmakeable});
  EXPECT_EQ(Gone.Errors, "The output folder \"" + Unmakeable +
                             "\" could not be created: Not a directory\n0 Done\n");
  EXPECT_EQ(Blocked.Names(), std::vector<std::string>{"plain"});
  EXPECT_EQ(fs::file_size(Blocked.File("plain")), 13u);
}

TEST(CliConvertTest, AnOutputFolderThatDoesNotExistIsMade) {
  TTempFolder Out("cli-convert-made");
  const std::string Folder = Out.File("new/and deeper");
  const TProcessResult Result = Convert({"10", MediaFile("sample.mov"), "--output", Folder});
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_EQ(Result.Output, Line(MediaFile("sample.mov"), "Done", Folder + "/sample.mp4"));
}

TEST(CliConvertTest, MediaLibrariesThatDoNotLoadGiveStatusTwo) {
  // A library folder beside a copy of the program, holding a text file under a library's name.
  TTempFolder Folder("cli-convert-nolibs");
  const std::string Program = Folder.File("tarnwick-cli");
  fs::copy_file(TARNWICK_CLI, Program);
  fs::create_directories(Folder.File("Common Files"));
  std::ofstream(Folder.File(std::string("Common Files/") + AVUtilBinding.VersionedFileName()))
      << "not a library";
  const TProcessResult Result =
      RunProgram({Program, "convert", "10", MediaFile("sample.mov"), "--output", Folder.Path()});
  EXPECT_EQ(Result.ExitStatus, 2);
  EXPECT_NE(Result.Errors.find("Some files are missing. Please re-install this software"),
            std::string::npos);
}

// The rows a stop kept from starting still have their line, so a script accounts for every file.
TEST(CliConvertTest, CtrlCSigtermAndSighupAbortTheRunningRowAndStartNoOther) {
  TTempFolder Out("cli-convert-interrupt");
  // Long enough to be interrupted while it converts.
  const std::string Long = Out.File("in/long.mov");
  fs::create_directories(Out.File("in"));
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=640x480:rate=25:duration=60", "-c:v", "mpeg4", Long})
                .ExitStatus,
            0);
  const struct {
    int Signal;
    int ExitStatus;
  } Cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.ExitStatus);
    for (const char *Name : {"sample.mpg", "long.mpg"}) fs::remove(Out.File(Name));
    std::vector<std::string> Arguments = {TARNWICK_CLI, "convert", "MPEG-2 Movie (*.mpg)"};
    for (const std::string &Word :
         {MediaFile("sample.mov"), Long, MediaFile("film.mp4"), std::string("--output"), Out.Path(),
          std::string("--jobs"), std::string("1")})
      Arguments.push_back(Word);
    const std::string Listing = Out.File("stdout.txt");
    const std::string Errors = Out.File("stderr.txt");

    const pid_t Child = StartProgram(Arguments, Listing, Errors);
    ASSERT_GE(Child, 0);
    // The long clip's output is written beside its name from the moment its row starts.
    EXPECT_TRUE(RunEventsUntil([&Out] {
      for (const auto &Entry : fs::directory_iterator(Out.Path()))
        if (Entry.path().filename().string().rfind("long.mpg.", 0) == 0) return true;
      return false;
    }));
    RunEventsUntil([] { return false; }, 0.3);
    kill(Child, Case.Signal);
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status)) << "ended by the signal itself";
    EXPECT_EQ(WEXITSTATUS(Status), Case.ExitStatus);

    std::stringstream Listed, Said;
    Listed << std::ifstream(Listing).rdbuf();
    Said << std::ifstream(Errors).rdbuf();
    EXPECT_EQ(Listed.str(),
              Line(MediaFile("sample.mov"), "Done", Out.File("sample.mpg")) +
                  Line(Long, "Abort", Out.File("long.mpg")) +
                  Line(MediaFile("film.mp4"), "Skipped", "not started: the batch was stopped"));
    EXPECT_EQ(LastLine(Said.str()), "1 Done, 1 Abort, 1 Skipped");
    EXPECT_EQ(StreamTypes(Out.File("long.mpg")), "video\n");
    EXPECT_FALSE(fs::exists(Out.File("film.mpg")));
  }
}

}  // namespace
