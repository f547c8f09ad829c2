// A portrait phone clip through the window's batch with a fixed landscape size: the picture
// fits inside it, padded out to it when the letterbox list says so.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/model_test_support.h"
#include "tests/app/rotated_clips.h"

namespace {

class TRotationModelTest : public TModelFixture {};

TEST_F(TRotationModelTest, ALandscapeBoxTakesThePortraitPictureInsideLetterboxedAsPicked) {
  TTempFolder Folder("rotation-model");
  ASSERT_EQ(MakeUprightClip(Folder.File("upright.mp4"), "320x180").ExitStatus, 0);
  const std::string Source = RotatedClip(Folder.File("upright.mp4"), 90, Folder.Path());
  ASSERT_TRUE(Form.ComboOutputFormat.SelectText("Apple TV H264 (1280 x 720) (*.mp4)"));
  Form.ComboOutputFormatChange();
  const struct {
    int LetterBox;     // ComboLetterBox: "None", "LetterBox"
    const char *Size;  // by ffprobe
    bool BlackSides;
  } Cases[] = {{0, "406,720", false}, {1, "1280,720", true}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.LetterBox);
    const std::string Out = Folder.File("out" + std::to_string(C.LetterBox));
    std::filesystem::create_directories(Out);
    Form.ClearAllItems1Click();
    AddFiles({Source});
    ASSERT_EQ(Form.ListView1.Cell(0, jcVideoSize), "180x320");
    Form.ComboLetterBox.SetItemIndex(C.LetterBox);
    ConvertInto(Out);
    ASSERT_EQ(ProgressCells(), std::vector<std::string>{"Done"});
    const std::string Output = Out + "/rot90.mp4";
    EXPECT_EQ(ShownSize(Output), C.Size);
    // Square pixels: the picture keeps its shape without the player's help.
    const std::string Sar = VideoEntries(Output, "stream=sample_aspect_ratio");
    EXPECT_NEAR(std::atof(Sar.c_str()) / std::atof(Sar.c_str() + Sar.find(':') + 1), 1.0, 0.01)
        << Sar;
    // The first picture's leftmost 64 columns: the pad is black, the picture is not.
    const std::string Luma =
        RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", Output, "-frames:v", "1",
                    "-vf", "crop=64:720:0:0", "-f", "rawvideo", "-pix_fmt", "gray", "-"})
            .Output;
    ASSERT_EQ(Luma.size(), 64u * 720u);
    const auto Brightest =
        static_cast<unsigned char>(*std::max_element(Luma.begin(), Luma.end(), [](char A, char B) {
          return static_cast<unsigned char>(A) < static_cast<unsigned char>(B);
        }));
    EXPECT_EQ(Brightest < 40, C.BlackSides) << int(Brightest);
  }
}

}  // namespace
