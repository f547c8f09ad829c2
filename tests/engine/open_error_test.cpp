// Open-error messages and the translation of library results into their codes.

#include "engine/FFMPEG/open_error.h"

#include <gtest/gtest.h>

#include "engine/binding/av_api.h"
#include "tests/support/test_support.h"

namespace {

TEST(FormatOpenErrorTest, EveryCodeHasItsMessage) {
  const struct {
    int Code;
    const char *Message;
  } Cases[] = {
      {-42, "clip.mov: Unknown format"},
      {-22, "clip.mov: Error while parsing header"},
      {-12, "clip.mov: memory allocation error occurred"},
      {-5,
       "clip.mov: I/O error occurred\r\nUsually that means that input file is truncated and/or "
       "corrupted."},
      {-2, "clip.mov: no such file or directory"},
      {-1, "clip.mov: Error while opening file"},
      {-21, "clip.mov: Error while opening file"},
      {0, "clip.mov: Error while opening file"},
  };
  for (const auto &Case : Cases) EXPECT_EQ(FormatOpenError("clip.mov", Case.Code), Case.Message);
}

TEST(FormatOpenErrorTest, ImageNumberMessageShowsThePatternsLiterally) {
  EXPECT_EQ(FormatOpenError("img.jpg", -33),
            "img.jpg: Incorrect image filename syntax.\r\n"
            "Use '%d' to specify the image number:\r\n"
            "  for img1.jpg, img2.jpg, ..., use 'img%d.jpg';\r\n"
            "  for img001.jpg, img002.jpg, ..., use 'img%03d.jpg'.");
}

TEST(FormatOpenErrorTest, FileNamesAreNotFormatTexts) {
  EXPECT_EQ(FormatOpenError("50%s %d.mov", -2), "50%s %d.mov: no such file or directory");
  EXPECT_EQ(FormatOpenError("av_interleaved_write_frame()", -5).substr(0, 50),
            "av_interleaved_write_frame(): I/O error occurred\r\n");
}

TEST(OpenErrorCodeTest, LibraryResultsBecomeTheMessageCodes) {
  LoadSystemLibraries();
  // Invalid data is an unknown format only when no demuxer recognises the content.
  EXPECT_EQ(InputOpenErrorCode(MediaFile("clip.mov"), AVERROR_INVALIDDATA), -42);
  EXPECT_EQ(InputOpenErrorCode(MediaFile("truncated.mov"), AVERROR_INVALIDDATA), -22);
  EXPECT_EQ(InputOpenErrorCode(MediaFile("no-such-file.mov"), AVERROR_INVALIDDATA), -42);
  EXPECT_EQ(InputOpenErrorCode(MediaFile("sample.mov"), AVERROR_EOF), -5);
  EXPECT_EQ(OpenErrorCode(AVERROR_INVALIDDATA), -22);
  for (int Same :
       {AVERROR(ENOENT), AVERROR(ENOMEM), AVERROR(EIO), AVERROR(EINVAL), AVERROR(EISDIR)})
    EXPECT_EQ(OpenErrorCode(Same), Same);
}

}  // namespace
