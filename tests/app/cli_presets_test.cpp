// tarnwick-cli presets and convert --preset, run as a user runs them, with the presets in a
// configuration folder of the test's own.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "app/presets.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

// tarnwick-cli with XDG_CONFIG_HOME set to Config, in Config's folder, ended after a minute.
TProcessResult Cli(const std::string &Config, std::vector<std::string> Arguments) {
  Arguments.insert(Arguments.begin(), {"/usr/bin/timeout", "60", "/usr/bin/env", "-C", Config,
                                       "XDG_CONFIG_HOME=" + Config, TARNWICK_CLI});
  return RunProgram(Arguments);
}

std::string Probe(const std::string &File, const std::string &Entries) {
  return RunProgram({"/usr/bin/ffprobe", "-v", "error", "-show_entries", Entries, "-of",
                     "default=nw=1:nk=1", File})
      .Output;
}

// Two programs saving presets at the same time each keep every one of theirs: each change reads
// the file again under the lock.
TEST(CliPresetsTest, TwoWritersAtOnceLoseNothing) {
  TTempFolder Config("presets-two-writers");
  const std::string Script = std::string("for i in 1 2 3 4 5 6 7 8 9 10 11 12; do ") +
                             "XDG_CONFIG_HOME=" + Config.Path() + " " + TARNWICK_CLI +
                             " presets save \"$0 $i\" mp3 --volume 3 || exit 1; done";
  std::vector<int> Writers;
  for (const char *Name : {"left", "right"})
    Writers.push_back(StartProgram({"/bin/sh", "-c", Script, Name}, "/dev/null", "/dev/null"));
  for (int Writer : Writers) {
    int Status = 0;
    ASSERT_EQ(waitpid(Writer, &Status, 0), Writer);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
  }
  const TPresetFile File = ReadPresetFile(Config.File("Brimvale/tarnwick-presets.json"));
  ASSERT_TRUE(File.Read) << File.Problem;
  EXPECT_EQ(File.Items.size(), 24u);
  for (const char *Name : {"left 1", "left 12", "right 1", "right 12"})
    EXPECT_NE(FindPreset(File.Items, Name), nullptr) << Name;
}

// convert --preset by name and by exported file converts as the words saved would; a preset
// of an entry the list lacks fails with the reason; the user's settings are never written.
TEST(CliPresetsTest, ConvertTakesAPresetByNameOrFile) {
  TTempFolder Config("presets-convert"), Out("presets-convert-out");
  ASSERT_EQ(Cli(Config.Path(), {"presets", "save", "Voice", "mp3", "--pick",
                                "ComboSamplingRate=22050 Hz", "--pick", "ComboAudioChannels=Mono"})
                .ExitStatus,
            0);
  const TProcessResult Exported =
      Cli(Config.Path(), {"presets", "export", Config.File("voice.json"), "Voice"});
  ASSERT_EQ(Exported.ExitStatus, 0) << Exported.Errors;
  TPreset Gone{"Gone", "HoloVideo (*.hv)", {}, 5, {}};
  ASSERT_EQ(TPresetStore(Config.File("gone.json")).Save(Gone, false), "");

  const struct {
    const char *Name;
    std::string Preset;
    int Status;
    const char *Says;  // in the messages
  } Cases[] = {
      {"by name", "Voice", 0, ""},
      {"by file", Config.File("voice.json"), 0, ""},
      {"gone entry", Config.File("gone.json"), 1, "no entry \"HoloVideo (*.hv)\""},
      {"no such", "Nothing", 1, "no preset named 'Nothing'"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    fs::remove_all(Out.Path());
    fs::create_directories(Out.Path());
    const TProcessResult Result =
        Cli(Config.Path(),
            {"convert", "--preset", Case.Preset, MediaFile("sample.mov"), "--output", Out.Path()});
    EXPECT_EQ(Result.ExitStatus, Case.Status) << Result.Errors;
    EXPECT_NE(Result.Errors.find(Case.Says), std::string::npos) << Result.Errors;
    if (Case.Status != 0) continue;
    EXPECT_EQ(Probe(Out.File("sample.mp3"), "stream=codec_name,sample_rate,channels"),
              "mp3\n22050\n1\n");
  }
  EXPECT_FALSE(fs::exists(Config.File("Brimvale/Tarnwick.conf")));
}

}  // namespace
