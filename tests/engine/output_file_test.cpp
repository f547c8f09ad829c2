// An output's life in the engine: written beside its final name, moved there only when
// complete, never over a kept file, and every write failure reported with its cause.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/engine/transcode_test_support.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class TOutputFileTest : public TConversionTest {};

bool IsTemporary(const std::string &Name) {
  return Name.size() > 14 && Name.compare(Name.size() - 14, 14, TemporaryOutputSuffix) == 0;
}

TEST_F(TOutputFileTest, AnOutputReachesItsNameOnlyWhenComplete) {
  const struct {
    const char *Title;
    bool Keep;
    std::vector<std::string> Before;     // files there when the task is set up
    std::vector<std::string> Meanwhile;  // files that appear before it ends
    std::string Written;
  } Cases[] = {
      {"a new name", false, {}, {}, "out.avi"},
      {"replacing", false, {"out.avi"}, {}, "out.avi"},
      {"keeping", true, {"out.avi"}, {}, "out-1.avi"},
      {"kept and taken meanwhile", true, {}, {"out.avi", "out-1.avi"}, "out-2.avi"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Title);
    TTempFolder Folder("output-file");
    for (const std::string &Name : Case.Before) std::ofstream(Folder.File(Name)) << "a user's";
    TArgs Args = {{"i", MediaFile("sample.mov")}, {"t", "0.4"}, {"vcodec", "mpeg4"}};
    if (Case.Keep) Args.push_back({"n", ""});
    Args.push_back({"", Folder.File("out.avi")});
    ASSERT_TRUE(SetUpConversion(Task, Args)) << Task.FLastErrorText;
    // Set up: the temporary file is there and recognisable, the final name untouched.
    std::vector<std::string> Names = Folder.Names();
    ASSERT_EQ(Names.size(), Case.Before.size() + 1);
    EXPECT_EQ(std::count_if(Names.begin(), Names.end(), IsTemporary), 1);
    for (const std::string &Name : Case.Meanwhile) std::ofstream(Folder.File(Name)) << "a user's";

    Task.Start(false);
    ExpectFinished();
    EXPECT_EQ(Task.OutputFileName(0), Folder.File(Case.Written));
    EXPECT_EQ(Probe(Folder.File(Case.Written)).FormatName, "avi");
    Names = Folder.Names();
    EXPECT_EQ(std::count_if(Names.begin(), Names.end(), IsTemporary), 0);
    for (const std::string &Name : Case.Before)
      EXPECT_TRUE(Name == Case.Written || ReadFile(Folder.File(Name)) == "a user's") << Name;
    for (const std::string &Name : Case.Meanwhile)
      EXPECT_EQ(ReadFile(Folder.File(Name)), "a user's");
    Task.Reset();
  }
}

// A link to a full device is written in place (it is not replaced by a regular file), and the
// failed write names the file and the system's reason; a failed task leaves no file behind.
TEST_F(TOutputFileTest, WriteFailuresEndTheTaskWithTheirCause) {
  TTempFolder Folder("output-file-full");
  const std::string Full = Folder.File("full.avi");
  fs::create_symlink("/dev/full", Full);
  ASSERT_TRUE(SetUpConversion(
      Task, {{"i", MediaFile("sample.mov")}, {"t", "0.5"}, {"vcodec", "mpeg4"}, {"", Full}}))
      << Task.FLastErrorText;
  Task.Start(false);
  EXPECT_TRUE(Task.FExceptionRaised);
  EXPECT_FALSE(Task.FFinished);
  EXPECT_EQ(Task.FExceptionMessage, "Could not write '" + Full + "': No space left on device");
  EXPECT_TRUE(fs::is_symlink(Full));
  EXPECT_EQ(fs::read_symlink(Full), "/dev/full");
  EXPECT_EQ(Folder.Names(), std::vector<std::string>{"full.avi"});
}

}  // namespace
