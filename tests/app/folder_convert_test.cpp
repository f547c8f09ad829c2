// Folders given to tarnwick-cli convert, which adds them as a drop onto the job list does: their
// media files in name order, their subfolders kept on demand, and a second run converting only
// what the first did not.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

// A small clip of Seconds with pictures and sound, or sound only (an MP3 without the header
// that states its length, so that its duration is only estimated).
void MakeClip(const std::string &File, const char *Seconds = "1") {
  fs::create_directories(fs::path(File).parent_path());
  std::vector<std::string> Arguments = {"/usr/bin/ffmpeg", "-nostdin", "-y", "-v", "error"};
  if (!File.ends_with(".mp3"))
    Arguments.insert(Arguments.end(), {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10"});
  Arguments.insert(Arguments.end(), {"-f", "lavfi", "-i", "sine", "-t", Seconds, "-shortest"});
  if (File.ends_with(".mp3")) Arguments.insert(Arguments.end(), {"-write_xing", "0"});
  Arguments.push_back(File);
  ASSERT_EQ(RunProgram(Arguments).ExitStatus, 0) << File;
}

TProcessResult Convert(const std::string &Entry, std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), {TARNWICK_CLI, "convert", Entry});
  return RunProgram(Arguments);
}

std::string Lines(const std::vector<std::array<std::string, 3>> &Rows) {
  std::string Text;
  for (const auto &[Input, State, Output] : Rows)
    Text += Input + "\t" + State + "\t" + Output + "\n";
  return Text;
}

TEST(FolderConvertTest, ATreeInNameOrderMirroredThenOnlyWhatIsNew) {
  TTempFolder In("folder-in"), Out("folder-out");
  for (const char *Name : {"b.mov", "2024/a.mov", "2024/B.MOV", "2024/.hidden.mov", ".cache/x.mov"})
    MakeClip(In.File(Name));
  MakeClip(In.File("tone.mp3"));
  std::ofstream(In.File("notes.txt")) << "not media";
  const std::string Folder = In.Path() + "/";  // named as a user types it
  const TProcessResult First = Convert("mp4", {Folder, "--output", Out.Path(), "--keep-folders"});
  EXPECT_EQ(First.ExitStatus, 0) << First.Errors;
  EXPECT_EQ(First.Output, Lines({{Folder + "2024/B.MOV", "Done", Out.File("2024/B.mp4")},
                                 {Folder + "2024/a.mov", "Done", Out.File("2024/a.mp4")},
                                 {Folder + "b.mov", "Done", Out.File("b.mp4")},
                                 {Folder + "tone.mp3", "Done", Out.File("tone.mp4")}}));

  // A new file, and an output cut short as a stop leaves it: both converted, the rest not.
  MakeClip(In.File("2024/new.mov"));
  MakeClip(Out.File("b.mp4"), "0.3");
  const std::string Cut = ReadFile(Out.File("b.mp4")), Kept = ReadFile(Out.File("2024/a.mp4"));
  const TProcessResult Again =
      Convert("mp4", {Folder, "--output", Out.Path(), "--keep-folders", "--skip-converted"});
  EXPECT_EQ(Again.ExitStatus, 0) << Again.Errors;
  EXPECT_EQ(Again.Output,
            Lines({{Folder + "2024/B.MOV", "Already converted", Out.File("2024/B.mp4")},
                   {Folder + "2024/a.mov", "Already converted", Out.File("2024/a.mp4")},
                   {Folder + "2024/new.mov", "Done", Out.File("2024/new.mp4")},
                   {Folder + "b.mov", "Done", Out.File("b-1.mp4")},
                   // Its length is a guess from its bit rate: it proves nothing.
                   {Folder + "tone.mp3", "Done", Out.File("tone-1.mp4")}}));
  EXPECT_TRUE(Again.Errors.ends_with("\n3 Done, 2 Already converted\n")) << Again.Errors;
  EXPECT_EQ(ReadFile(Out.File("b.mp4")), Cut);
  EXPECT_EQ(ReadFile(Out.File("2024/a.mp4")), Kept);
}

TEST(FolderConvertTest, OutputsIntoTheInputFolderNeverReplaceAnInput) {
  const struct {
    const char *Name;
    std::vector<std::string> Options;
    std::vector<std::string> Outputs;  // in the rows' order: 2024/a.mov, then a.mov
  } Cases[] = {
      {"flat", {}, {"a-1.mov", "a-2.mov"}},
      {"subfolders kept", {"--keep-folders"}, {"2024/a-1.mov", "a-1.mov"}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TTempFolder In("folder-self");
    MakeClip(In.File("a.mov"));
    MakeClip(In.File("2024/a.mov"), "0.5");
    const std::string Top = ReadFile(In.File("a.mov")), Inner = ReadFile(In.File("2024/a.mov"));
    std::vector<std::string> Arguments = {In.Path(), "--output", In.Path(), "--overwrite"};
    Arguments.insert(Arguments.end(), Case.Options.begin(), Case.Options.end());
    const TProcessResult Result = Convert("mov", Arguments);
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
    EXPECT_EQ(Result.Output, Lines({{In.File("2024/a.mov"), "Done", In.File(Case.Outputs[0])},
                                    {In.File("a.mov"), "Done", In.File(Case.Outputs[1])}}));
    EXPECT_EQ(ReadFile(In.File("a.mov")), Top);
    EXPECT_EQ(ReadFile(In.File("2024/a.mov")), Inner);
  }
}

TEST(FolderConvertTest, AFolderWithoutMediaIsAnError) {
  TTempFolder In("folder-empty");
  std::ofstream(In.File("notes.txt")) << "not media";
  const TProcessResult Result = Convert("mp4", {In.Path(), "--output", In.Path()});
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_EQ(Result.Errors, "tarnwick-cli convert: no media files in the folders given\n");
}

}  // namespace
