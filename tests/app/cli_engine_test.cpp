// tarnwick-cli engine, run as a user runs it: with --dry-run the task set up from a command
// line, what each output would get, and the refusals; without it the conversion, a user's
// file kept, failures and the signals that stop it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

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

// ===== Converting =====

// A program found on the PATH, as the shell would find it.
std::string ProgramPath(const std::string &Name) {
  const char *Path = std::getenv("PATH");
  std::stringstream Folders(Path ? Path : "/usr/bin");
  for (std::string Folder; std::getline(Folders, Folder, ':');)
    if (std::filesystem::exists(Folder + "/" + Name)) return Folder + "/" + Name;
  return "/usr/bin/" + Name;
}

// The stream types ffprobe reads from File, one per line; empty when it cannot read it.
std::string StreamTypes(const std::string &File) {
  const TProcessResult Result = RunProgram({ProgramPath("ffprobe"), "-v", "error", "-show_entries",
                                            "stream=codec_type", "-of", "default=nw=1:nk=1", File});
  return Result.ExitStatus == 0 ? Result.Output : "";
}

std::string ContentsOf(const std::string &File) {
  std::ifstream Stream(File, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
}

TEST(CliEngineTest, ConvertsAndTheOutputIsReadable) {
  TTempFolder Folder("cli-engine-convert");
  const struct {
    std::vector<std::string> Words;
    const char *File;
    const char *Streams;
  } Cases[] = {
      {{"-i", MediaFile("sample.mov")}, "out.avi", "video\naudio\n"},
      {{"-i", MediaFile("sample.mov"), "-an", "-vcodec", "mpeg2video"}, "out.mpg", "video\n"},
      {{"-i", MediaFile("audio.m4a")}, "out.wav", "audio\n"},
      // Unlike a batch, the engine takes what the libraries take, protocols included.
      {{"-i", "file:" + MediaFile("film.mp4")}, "film.avi", "video\n"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File);
    std::vector<std::string> Arguments{TARNWICK_CLI, "engine"};
    Arguments.insert(Arguments.end(), Case.Words.begin(), Case.Words.end());
    Arguments.push_back(Folder.File(Case.File));
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
    // Not a terminal: no progress line.
    EXPECT_EQ(Result.Output, "");
    EXPECT_EQ(StreamTypes(Folder.File(Case.File)), Case.Streams);
  }
}

TEST(CliEngineTest, AnExistingOutputIsReplacedOnlyWithY) {
  TTempFolder Folder("cli-engine-existing");
  const std::string Out = Folder.File("out.avi");
  const struct {
    std::vector<std::string> Words;
    int ExitStatus;
  } Cases[] = {
      {{"-i", MediaFile("sample.mov"), Out}, 1},
      // A "-y" that is the value of another option is no switch.
      {{"-title", "-y", "-i", MediaFile("sample.mov"), Out}, 1},
      {{"-i", MediaFile("sample.mov"), Out, "-y"}, 0},
      {{"-y", "-i", MediaFile("sample.mov"), Out}, 0},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Words[0] + " " + Case.Words.back());
    std::ofstream(Out, std::ios::trunc) << "a user's file";
    std::vector<std::string> Arguments{TARNWICK_CLI, "engine"};
    Arguments.insert(Arguments.end(), Case.Words.begin(), Case.Words.end());
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, Case.ExitStatus) << Result.Errors;
    if (Case.ExitStatus == 0) {
      EXPECT_EQ(StreamTypes(Out), "video\naudio\n");
    } else {
      EXPECT_TRUE(Result.Errors.ends_with(Out + ": file exists; add -y to replace it\n"))
          << Result.Errors;
      EXPECT_EQ(ContentsOf(Out), "a user's file");
    }
  }
}

TEST(CliEngineTest, AFailedConversionExitsWithOneAndTheEnginesMessage) {
  TTempFolder Folder("cli-engine-failed");
  const struct {
    std::vector<std::string> Words;
    std::string Message;
  } Cases[] = {
      {{"-i", MediaFile("sample.mov"), "-vcodec", "nosuch", Folder.File("a.avi")},
       "new_video_stream fail: Unknown encoder 'nosuch'"},
      // Refused when the session starts.
      {{Folder.File("b.avi")}, "Must supply at least one input file"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Message);
    std::vector<std::string> Arguments{TARNWICK_CLI, "engine"};
    Arguments.insert(Arguments.end(), Case.Words.begin(), Case.Words.end());
    const TProcessResult Result = RunProgram(Arguments);
    EXPECT_EQ(Result.ExitStatus, 1);
    EXPECT_TRUE(Result.Errors.ends_with(Case.Message + "\n")) << Result.Errors;
    // The message is printed once.
    EXPECT_EQ(Result.Errors.find(Case.Message), Result.Errors.rfind(Case.Message));
  }
  EXPECT_TRUE(std::filesystem::is_empty(Folder.Path()));
}

TEST(CliEngineTest, CtrlCSigtermAndSighupStopTheConversionAndLeaveAReadableFile) {
  TTempFolder Folder("cli-engine-interrupt");
  const std::string Clip = Folder.File("long.mov");
  ASSERT_EQ(RunProgram({ProgramPath("ffmpeg"), "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=320x240:rate=25:duration=20", "-f", "lavfi", "-i",
                        "sine=duration=20", "-c:v", "mpeg4", "-c:a", "aac", "-shortest", Clip})
                .ExitStatus,
            0);
  const struct {
    int Signal;
    int ExitStatus;
  } Cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.ExitStatus);
    const std::string Out = Folder.File("out.avi");
    std::filesystem::remove(Out);
    const std::string Errors = Folder.File("errors.txt");
    // Real-time reading keeps the conversion running for twenty seconds.
    const pid_t Child =
        StartProgram({TARNWICK_CLI, "engine", "-re", "-i", Clip, Out}, Errors, Errors);
    ASSERT_GT(Child, 0);
    // Stopped once the session runs (it announces its stream mapping), a second later.
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (ContentsOf(Errors).find("Stream mapping:") == std::string::npos &&
           std::chrono::steady_clock::now() < Deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(Child, Case.Signal);
    int Status = 0;
    waitpid(Child, &Status, 0);
    ASSERT_TRUE(WIFEXITED(Status)) << ContentsOf(Errors);
    EXPECT_EQ(WEXITSTATUS(Status), Case.ExitStatus) << ContentsOf(Errors);
    EXPECT_EQ(StreamTypes(Out), "video\naudio\n");
    // Stopped long before the end of the clip.
    const TProcessResult Duration =
        RunProgram({ProgramPath("ffprobe"), "-v", "error", "-show_entries", "format=duration",
                    "-of", "csv=p=0", Out});
    EXPECT_GT(std::stod(Duration.Output), 0.1);
    EXPECT_LT(std::stod(Duration.Output), 15.0);
  }
}

TEST(CliEngineTest, HelpNamesTheCommand) {
  EXPECT_NE(RunProgram({TARNWICK_CLI, "--help"}).Output.find("tarnwick-cli engine ARGS..."),
            std::string::npos);
}

}  // namespace
