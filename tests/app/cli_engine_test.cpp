// tarnwick-cli engine --dry-run, run as a user runs it: the task set up from a command line,
// what each output would get, and the refusals.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_support.h"

namespace {

// Runs the dry run; "@name" stands for the generated media file, "%name" for a file in Folder.
TProcessResult DryRun(const TTempFolder &Folder, const std::vector<std::string> &Words) {
  std::vector<std::string> Arguments{TARNWICK_CLI, "engine"};
  for (const std::string &Word : Words) {
    if (Word.starts_with("@"))
      Arguments.push_back(MediaFile(Word.substr(1)));
    else if (Word.starts_with("%"))
      Arguments.push_back(Folder.File(Word.substr(1)));
    else
      Arguments.push_back(Word);
  }
  Arguments.push_back("--dry-run");
  return RunProgram(Arguments);
}

TEST(CliEngineTest, PrintsEachOutputWithItsStreams) {
  TTempFolder Folder("cli-engine");
  const struct {
    std::vector<std::string> Words;
    std::string Output;  // %s: the folder
  } Cases[] = {
      {{"-i", "@sample.mov", "-target", "pal-vcd", "%out.mpg"},
       "output #0 muxer=vcd file=%s/out.mpg\n"
       "#0.0 video codec=mpeg1video width=352 height=288 time_base=1/25 pix_fmt=yuv420p "
       "bit_rate=1150000\n"
       "#0.1 audio codec=mp2 sample_rate=44100 channels=2 bit_rate=224000\n"},
      {{"-i", "@sample.mov", "-vcodec", "libx264", "%out.mp4"},
       "output #0 muxer=mp4 file=%s/out.mp4\n"
       "#0.0 video codec=libx264 width=320 height=240 time_base=1/25 pix_fmt=yuv420p "
       "bit_rate=0\n"
       "#0.1 audio codec=aac sample_rate=44100 channels=1 bit_rate=0\n"},
      {{"-i", "@sample.mov", "-vcodec", "copy", "-acodec", "copy", "%out.mov"},
       "output #0 muxer=mov file=%s/out.mov\n"
       "#0.0 video copy=1\n"
       "#0.1 audio copy=1\n"},
      // Options given for one output stay for the next, except the per-stream ones.
      {{"-i", "@ntsc.mp4", "-s", "176x144", "-ab", "64000", "%a.avi", "-vn", "%b.wav"},
       "output #0 muxer=avi file=%s/a.avi\n"
       "#0.0 video codec=mpeg4 width=176 height=144 time_base=1001/30000 pix_fmt=yuv420p "
       "bit_rate=200000\n"
       "#0.1 audio codec=libmp3lame sample_rate=48000 channels=1 bit_rate=64000\n"
       "output #1 muxer=wav file=%s/b.wav\n"
       "#1.0 audio codec=pcm_s16le sample_rate=48000 channels=1 bit_rate=64000\n"},
      // "newvideo" adds a stream to the output created last.
      {{"-i", "@sample.mov", "-an", "%out.avi", "-vcodec", "mpeg2video", "-newvideo"},
       "output #0 muxer=avi file=%s/out.avi\n"
       "#0.0 video codec=mpeg4 width=320 height=240 time_base=1/25 pix_fmt=yuv420p "
       "bit_rate=200000\n"
       "#0.1 video codec=mpeg2video width=320 height=240 time_base=1/25 pix_fmt=yuv420p "
       "bit_rate=200000\n"},
      {{"-i", "@subtitled.mkv", "-scodec", "ass", "%out.mkv"},
       "output #0 muxer=matroska file=%s/out.mkv\n"
       "#0.0 video codec=libx264 width=176 height=144 time_base=1/25 pix_fmt=yuv420p "
       "bit_rate=0\n"
       "#0.1 subtitle codec=ass\n"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Words.back());
    const TProcessResult Result = DryRun(Folder, Case.Words);
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
    std::string Expected = Case.Output;
    for (size_t At; (At = Expected.find("%s")) != std::string::npos;)
      Expected.replace(At, 2, Folder.Path());
    EXPECT_EQ(Result.Output, Expected);
    // Nothing was written, so releasing the task removed the files again.
    EXPECT_TRUE(std::filesystem::is_empty(Folder.Path()));
  }
}

TEST(CliEngineTest, RefusalsPrintTheirMessageAndFail) {
  TTempFolder Folder("cli-engine-refusals");
  std::ofstream(Folder.File("exists.mp4")) << "keep me";
  const struct {
    std::vector<std::string> Words;
    std::string Message;  // %s: the folder
  } Cases[] = {
      {{"-i", "%gone.mov", "%out.mp4"}, "%s/gone.mov: no such file or directory"},
      {{"-threads", "2", "%out.mp4"}, "TODO: option - threads"},
      {{"-r", "abc", "%out.mp4"}, "Incorrect frame rate"},
      {{"%out.xyz"}, "Unable to find a suitable output format for '%s/out.xyz'"},
      {{"-vcodec", "nosuchcodec", "%out.avi"},
       "new_video_stream fail: Unknown encoder 'nosuchcodec'"},
      {{"-target", "DVD", "%out.mpg"}, "frame_rate is invalid."},
      {{"-r", "25", "-target", "DVD", "%out.mpg"}, "Unknown target type"},
      {{"-vn"}, "At least one output file must be specified"},
      {{"-newvideo", "%out.mp4"}, "At least one output file must be specified"},
      {{"-i"}, "tarnwick-cli engine: option -i needs a value"},
      // A dry run never destroys a file that is already there.
      {{"%exists.mp4"}, "%s/exists.mp4: file exists; a dry run does not replace files"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Message);
    const TProcessResult Result = DryRun(Folder, Case.Words);
    EXPECT_EQ(Result.ExitStatus, 1);
    EXPECT_EQ(Result.Output, "");
    std::string Expected = Case.Message;
    if (const size_t At = Expected.find("%s"); At != std::string::npos)
      Expected.replace(At, 2, Folder.Path());
    ASSERT_GE(Result.Errors.size(), Expected.size() + 1);
    EXPECT_EQ(Result.Errors.substr(Result.Errors.size() - Expected.size() - 1), Expected + "\n");
  }
  EXPECT_EQ(std::filesystem::file_size(Folder.File("exists.mp4")), 7u);
  EXPECT_FALSE(std::filesystem::exists(Folder.File("out.mp4")));
}

TEST(CliEngineTest, ConvertingIsNotAvailableYet) {
  const TProcessResult Result =
      RunProgram({TARNWICK_CLI, "engine", "-i", MediaFile("sample.mov"), "out.mp4"});
  EXPECT_EQ(Result.ExitStatus, 1);
  EXPECT_NE(Result.Errors.find("conversion is not available yet"), std::string::npos);
  EXPECT_NE(RunProgram({TARNWICK_CLI, "--help"}).Output.find("tarnwick-cli engine ARGS..."),
            std::string::npos);
}

}  // namespace
