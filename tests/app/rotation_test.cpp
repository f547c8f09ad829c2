// Phone clips with a display matrix through the command line, read back with ffprobe and
// compared with the ffmpeg program's own autorotated conversion: the picture comes out upright
// and the size cell shows it as it is shown.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/rotated_clips.h"
#include "tests/support/test_support.h"

namespace {

class RotationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProcessResult Made = MakeUprightClip(Folder.File("upright.mp4"), "320x180");
    ASSERT_EQ(Made.ExitStatus, 0) << Made.Errors;
  }

  std::string Rotated(int Degrees) {
    return RotatedClip(Folder.File("upright.mp4"), Degrees, Folder.Path());
  }

  // Converts Input with the entry into a folder of its own; the output's name.
  std::string Convert(const std::string &Entry, const std::string &Input) {
    const std::string Out = Folder.File("out" + std::to_string(++Runs));
    RunProgram({"/bin/mkdir", "-p", Out});
    const TProcessResult Result =
        RunProgram({TARNWICK_CLI, "convert", Entry, Input, "--output", Out});
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Output << Result.Errors;
    const std::string Name = Input.substr(Input.rfind('/') + 1);
    return Out + "/" + Name;
  }

  TTempFolder Folder{"rotation"};
  int Runs = 0;
};

// The mean PSNR (dB) of B's pictures against A's; 0 when it cannot be measured.
double Psnr(const std::string &A, const std::string &B) {
  const TProcessResult Result = RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-i", A, "-i", B,
                                            "-lavfi", "[0:v][1:v]psnr", "-f", "null", "-"});
  const size_t At = Result.Errors.rfind("average:");
  if (At == std::string::npos) return 0;
  const std::string Value = Result.Errors.substr(At + 8);
  return Value.rfind("inf", 0) == 0 ? 100 : std::atof(Value.c_str());
}

TEST_F(RotationTest, TheMp4EntryWritesThePictureUpright) {
  const struct {
    int Degrees;
    const char *Shown;  // by ffprobe
    const char *Cell;   // the size cell
  } Cases[] = {{0, "320,180", "320x180"},
               {90, "180,320", "180x320"},
               {180, "320,180", "320x180"},
               {270, "180,320", "180x320"}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Degrees);
    const std::string Source = C.Degrees ? Rotated(C.Degrees) : Folder.File("upright.mp4");
    // The ffmpeg program turns it by its own filters: the picture to compare with.
    const std::string Reference = Folder.File("ref" + std::to_string(C.Degrees) + ".mp4");
    ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y", "-i", Source, "-c:v",
                          "mpeg4", "-q:v", "2", Reference})
                  .ExitStatus,
              0);
    ASSERT_EQ(ShownSize(Reference), C.Shown);

    const std::string Probed = RunProgram({TARNWICK_CLI, "probe", Source}).Output;
    EXPECT_NE(Probed.find(std::string("\t") + C.Cell + "\t"), std::string::npos) << Probed;

    const std::string Output = Convert("MP4 - MPEG4 Video (*.mp4)", Source);
    EXPECT_EQ(ShownSize(Output), C.Shown);
    EXPECT_EQ(Rotation(Output), "");
    // A picture turned the wrong way, or mirrored, is far below this against the reference.
    EXPECT_GT(Psnr(Output, Reference), 30.0);
  }
}

TEST_F(RotationTest, ACopiedStreamKeepsItsMatrix) {
  const std::string Source = Rotated(90);
  const std::string Output = Folder.File("copied.mp4");
  const TProcessResult Result =
      RunProgram({TARNWICK_CLI, "engine", "-i", Source, "-vcodec", "copy", Output});
  ASSERT_EQ(Result.ExitStatus, 0) << Result.Errors;
  EXPECT_NE(Rotation(Source), "");
  EXPECT_EQ(Rotation(Output), Rotation(Source));
  EXPECT_EQ(ShownSize(Output), "320,180");  // as stored: the matrix turns it when shown
}

TEST_F(RotationTest, ADeviceEntryFitsThePortraitPictureInsideItsBox) {
  const std::string Output = Convert("Apple TV H264 (1280 x 720) (*.mp4)", Rotated(90));
  const std::string Size = ShownSize(Output);
  const int Width = std::atoi(Size.c_str());
  const int Height = std::atoi(Size.c_str() + Size.find(',') + 1);
  EXPECT_EQ(Height, 720) << Size;
  EXPECT_LE(Width, 1280) << Size;
  // Shown 9:16 as the source: the pixels are near square, not stretched across the box.
  const std::string Sar = VideoEntries(Output, "stream=sample_aspect_ratio");
  const double PixelAspect = std::atof(Sar.c_str()) / std::atof(Sar.c_str() + Sar.find(':') + 1);
  EXPECT_NEAR(Width * PixelAspect / Height, 180.0 / 320.0, 0.01) << Size << " " << Sar;
  EXPECT_EQ(Rotation(Output), "");
}

}  // namespace
