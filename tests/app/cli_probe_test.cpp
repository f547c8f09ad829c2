// tarnwick-cli probe, run as a user runs it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/binding/av_bindings.h"
#include "tests/support/test_support.h"

namespace {

TEST(CliProbeTest, PrintsTheJobRowCellsOfEachFile) {
  const TProcessResult Result = RunProgram(
      {TARNWICK_CLI, "probe", MediaFile("sample.mov"), MediaFile("ntsc.mp4"), MediaFile("film.mp4"),
       MediaFile("audio.m4a"), MediaFile("noduration.mkv"), MediaFile("Größe und Länge é.mov")});
  EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_EQ(Result.Output, MediaFile("sample.mov") + "\t320x240\t25\t00:00:02\n" +
                               MediaFile("ntsc.mp4") + "\t320x240\t29.97\t00:00:02\n" +
                               MediaFile("film.mp4") + "\t176x144\t23.98\t00:00:02\n" +
                               MediaFile("audio.m4a") + "\t \t \t00:00:03\n" +
                               MediaFile("noduration.mkv") + "\t320x240\t25\tUnknown\n" +
                               MediaFile("Größe und Länge é.mov") + "\t320x240\t25\t00:00:02\n");
}

TEST(CliProbeTest, FilesThatDoNotOpenPrintErrorAndFailTheRun) {
  const TProcessResult Result = RunProgram({TARNWICK_CLI, "probe", MediaFile("truncated.mov"),
                                            MediaFile("sample.mov"), MediaFile("gone.mov")});
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_EQ(Result.Output, MediaFile("truncated.mov") + "\tError\t" + MediaFile("truncated.mov") +
                               ": Error while parsing header\n" + MediaFile("sample.mov") +
                               "\t320x240\t25\t00:00:02\n" + MediaFile("gone.mov") + "\tError\t" +
                               MediaFile("gone.mov") + ": no such file or directory\n");
}

TEST(CliProbeTest, TabsLineBreaksAndBackslashesInNamesAreEscapedSoEachFileStaysOneRow) {
  TTempFolder Folder("cli-probe-names");
  const struct {
    const char *Name;
    const char *Shown;
  } Cases[] = {
      {"tab\there.mov", "tab\\there.mov"},
      {"line\nbreak.mov", "line\\nbreak.mov"},
      {"return\r.mov", "return\\r.mov"},
      {"back\\tslash.mov", "back\\\\tslash.mov"},
  };
  std::vector<std::string> Arguments{TARNWICK_CLI, "probe"};
  std::string Expected;
  for (const auto &Case : Cases) {
    std::filesystem::copy_file(MediaFile("sample.mov"), Folder.File(Case.Name));
    Arguments.push_back(Folder.File(Case.Name));
    Expected += Folder.File(Case.Shown) + "\t320x240\t25\t00:00:02\n";
  }
  // The reason quotes the name: escaped the same way, it stays in its cell.
  Arguments.push_back(Folder.File("gone\t.mov"));
  Expected += Folder.File("gone\\t.mov") + "\tError\t" + Folder.File("gone\\t.mov") +
              ": no such file or directory\n";
  const TProcessResult Result = RunProgram(Arguments);
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_EQ(Result.Output, Expected);
}

TEST(CliProbeTest, HelpAndMisuse) {
  const TProcessResult Help = RunProgram({TARNWICK_CLI, "--help"});
  EXPECT_EQ(Help.ExitStatus, 0);
  EXPECT_NE(Help.Output.find("tarnwick-cli probe FILE..."), std::string::npos);
  EXPECT_EQ(RunProgram({TARNWICK_CLI, "probe"}).ExitStatus, 1);
  EXPECT_EQ(RunProgram({TARNWICK_CLI, "bogus"}).ExitStatus, 1);
}

TEST(CliProbeTest, LibrariesBesideTheProgramWinAndTheirFailureExitsWithTwo) {
  TTempFolder Install("cli-install");
  const std::string Program = Install.File("tarnwick-cli");
  std::filesystem::copy_file(TARNWICK_CLI, Program);
  std::filesystem::create_directory(Install.File("Common Files"));
  std::ofstream(Install.File(std::string("Common Files/") + AVUtilBinding.VersionedFileName()))
      << "broken copy\n";
  const TProcessResult Result = RunProgram({Program, "probe", MediaFile("sample.mov")});
  EXPECT_EQ(Result.ExitStatus, 2);
  EXPECT_EQ(Result.Output, "");
  EXPECT_EQ(Result.Errors.rfind(
                std::string("Load libraray ") + AVUtilBinding.VersionedFileName() + " error: ", 0),
            0u)
      << Result.Errors;
}

}  // namespace
