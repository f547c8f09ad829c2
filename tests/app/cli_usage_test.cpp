// tarnwick-cli's own help and version, how a word names a format list entry, what a wrong
// pick is told, and its progress line on a terminal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/model_test_support.h"

namespace {

TProcessResult Cli(std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), TARNWICK_CLI);
  return RunProgram(Arguments);
}

TEST(CliUsageTest, VersionAndTheUsageOfOneCommand) {
  const TProcessResult Version = Cli({"--version"});
  EXPECT_EQ(Version.ExitStatus, 0);
  EXPECT_EQ(Version.Output, "tarnwick-cli 0.1\n");

  for (const char *Command : {"probe", "formats", "profile", "engine", "convert"}) {
    const TProcessResult Help = Cli({"help", Command});
    const TProcessResult Asked = Cli({Command, "--help"});
    EXPECT_EQ(Help.ExitStatus, 0) << Command;
    EXPECT_EQ(Asked.ExitStatus, 0) << Command;
    EXPECT_EQ(Help.Output, Asked.Output) << Command;
    EXPECT_TRUE(Help.Output.starts_with("Usage:\n  tarnwick-cli " + std::string(Command)))
        << Help.Output;
    EXPECT_EQ(Help.Output.find("tarnwick-cli probe", 1) == std::string::npos,
              std::string(Command) != "probe")
        << "only that command's usage is printed";
  }
  const TProcessResult Unknown = Cli({"help", "transmogrify"});
  EXPECT_EQ(Unknown.ExitStatus, 1);
  EXPECT_NE(Unknown.Errors.find("no command 'transmogrify'"), std::string::npos);
}

TEST(CliUsageTest, EntryByPositionTextPrefixOrExtension) {
  const std::pair<const char *, const char *> Cases[] = {
      {"23", "FOutputType=MP3\n"},   {"MP3 - Mpeg Layer3 Audio (*.mp3)", "FOutputType=MP3\n"},
      {"mp3", "FOutputType=MP3\n"},  {"wmv", "FOutputType=WMV\n"},
      {"Wav", "FOutputType=WAV\n"},  {"avi - x", "FOutputType=AVI\n"},
      {".flv", "FOutputType=FLV\n"}, {"ra", "FOutputType=RA\n"},
  };
  for (const auto &[Word, Type] : Cases) {
    const TProcessResult Result = Cli({"profile", Word});
    EXPECT_EQ(Result.ExitStatus, 0) << Word << ": " << Result.Errors;
    EXPECT_NE(Result.Output.find(Type), std::string::npos) << Word << ": " << Result.Output;
  }
}

TEST(CliUsageTest, AWordThatFitsSeveralEntriesListsThem) {
  const TProcessResult Result = Cli({"convert", "avi", MediaFile("sample.mov")});
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_EQ(Result.Output, "");
  for (const char *Candidate :
       {"'avi' fits several items", "\n  3\tAVI - Audio Video Interleave (*.avi)",
        "\n  6\tAVI - XviD Video (*.avi)", "\n  61\tiRiver PMP100 (*.avi)"})
    EXPECT_NE(Result.Errors.find(Candidate), std::string::npos) << Result.Errors;
  EXPECT_EQ(Result.Errors.find("MP4"), std::string::npos) << Result.Errors;
}

TEST(CliUsageTest, ABadPickListsTheValidValues) {
  const std::pair<std::vector<std::string>, const char *> Cases[] = {
      {{"convert", "mp3", MediaFile("sample.mov"), "--pick", "ComboAudioChannels=Quad"},
       "ComboAudioChannels holds no item 'Quad' (items: Stereo|Mono)"},
      {{"convert", "mp3", MediaFile("sample.mov"), "--pick", "Channels=Mono"},
       "no settings list named 'Channels' (lists: ComboVideoCodec, "},
      {{"profile", "mp3", "--pick", "ComboAudioChannels=Quad"},
       "ComboAudioChannels holds no item 'Quad' (items: Stereo|Mono)"},
  };
  for (const auto &[Words, Message] : Cases) {
    const TProcessResult Result = Cli(Words);
    EXPECT_EQ(Result.ExitStatus, 1) << Message;
    EXPECT_NE(Result.Errors.find(Message), std::string::npos) << Result.Errors;
  }
}

// stderr on a terminal (script's), stdout into a file: the progress stays on the terminal,
// names the file and is wiped before the counts.
TEST(CliUsageTest, ProgressLineOnATerminalNamesTheFileAndLeavesNothingBehind) {
  TTempFolder Folder{"cli-progress"};
  const std::string Input = CopyMedia(Folder.Path(), "talk.mov");
  const std::string Results = Folder.File("results.txt");
  const std::string Command = std::string("'") + TARNWICK_CLI + "' convert mp3 '" + Input +
                              "' --output '" + Folder.Path() + "' > '" + Results + "'";
  const TProcessResult Run = RunProgram({"/usr/bin/script", "-qec", Command, "/dev/null"});
  ASSERT_EQ(Run.ExitStatus, 0) << Run.Output << Run.Errors;
  const std::string Written = ReadFile(Results);
  EXPECT_EQ(Written, Input + "\tDone\t" + Folder.File("talk.mp3") + "\n");
  EXPECT_NE(Run.Output.find("\r1 of 1"), std::string::npos) << Run.Output;
  EXPECT_NE(Run.Output.find("talk.mov"), std::string::npos) << Run.Output;
  // The last progress line is overwritten with blanks and the cursor put back before the
  // end message, and nothing of it follows.
  const std::size_t Wipe = Run.Output.rfind(" \r");
  ASSERT_NE(Wipe, std::string::npos) << Run.Output;
  const std::string After = Run.Output.substr(Wipe + 2);
  EXPECT_TRUE(After.starts_with("All Conversions Completed\r\n")) << After;
  EXPECT_EQ(After.find("talk.mov"), std::string::npos) << After;
}

}  // namespace
