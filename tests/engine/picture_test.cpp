// Picture operations of the video path: crop offsets per plane, pad colours and the inner
// copy, the deinterlacing filter and its refusals, picture buffers.

#include "engine/FFMPEG/picture.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/binding/av_api.h"
#include "tests/support/test_support.h"

namespace {

// A picture over vectors owned by the test, with deliberately wide rows.
class TTestPicture {
 public:
  TTestPicture(AVPixelFormat Format, int Width, int Height, uint8_t Fill) {
    const AVPixFmtDescriptor *D = av::av_pix_fmt_desc_get(Format);
    for (int P = 0; P < 3; ++P) {
      const int W = P && D->nb_components > 1 ? Width >> D->log2_chroma_w : Width;
      const int H = P && D->nb_components > 1 ? Height >> D->log2_chroma_h : Height;
      Sizes[P] = {W, H};
      Planes[P].assign(static_cast<size_t>((W + 8) * H), Fill);
      Picture.data[P] = Planes[P].data();
      Picture.linesize[P] = W + 8;
    }
  }
  uint8_t At(int P, int X, int Y) const { return Planes[P][Y * Picture.linesize[P] + X]; }
  void SetRow(int P, int Y, uint8_t Value) {
    for (int X = 0; X < Sizes[P].W; ++X) Planes[P][Y * Picture.linesize[P] + X] = Value;
  }
  struct TSize {
    int W, H;
  };
  TPicture Picture{};
  std::vector<uint8_t> Planes[3];
  TSize Sizes[3]{};
};

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSystemLibraries();
    ASSERT_FALSE(HasFatalFailure());
  }
};

struct TCropCase {
  AVPixelFormat Format;
  int ChromaRowsDown, ChromaColumnsIn;  // for Top = 4, Left = 8
};

TEST_F(PictureTest, CropOffsetsEachPlaneBySubsampling) {
  const TCropCase Cases[] = {{AV_PIX_FMT_YUV420P, 2, 4}, {AV_PIX_FMT_YUVJ420P, 2, 4},
                             {AV_PIX_FMT_YUV422P, 4, 4}, {AV_PIX_FMT_YUV444P, 4, 8},
                             {AV_PIX_FMT_YUV411P, 4, 2}, {AV_PIX_FMT_YUV410P, 1, 2}};
  for (const TCropCase &C : Cases) {
    SCOPED_TRACE(av::av_get_pix_fmt_name(C.Format));
    TTestPicture Src(C.Format, 32, 16, 0);
    TPicture Dst{};
    ASSERT_EQ(CropPicture(Dst, Src.Picture, C.Format, 4, 8), 0);
    EXPECT_EQ(Dst.data[0], Src.Picture.data[0] + 4 * Src.Picture.linesize[0] + 8);
    for (int P = 1; P < 3; ++P) {
      EXPECT_EQ(Dst.data[P], Src.Picture.data[P] + C.ChromaRowsDown * Src.Picture.linesize[P] +
                                 C.ChromaColumnsIn);
      EXPECT_EQ(Dst.linesize[P], Src.Picture.linesize[P]);
    }
  }
}

TEST_F(PictureTest, CropAndPadRefuseFormatsOtherThanPlanarYuv) {
  const AVPixelFormat Refused[] = {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR24,       AV_PIX_FMT_GRAY8,
                                   AV_PIX_FMT_NV12,  AV_PIX_FMT_YUYV422,     AV_PIX_FMT_YUVA420P,
                                   AV_PIX_FMT_GBRP,  AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_NONE};
  for (AVPixelFormat Format : Refused) {
    SCOPED_TRACE(Format);
    TTestPicture Picture(AV_PIX_FMT_YUV444P, 8, 8, 0);
    TPicture Dst{};
    EXPECT_EQ(CropPicture(Dst, Picture.Picture, Format, 2, 2), -1);
    EXPECT_EQ(PadPicture(Picture.Picture, nullptr, 8, 8, Format, 2, 2, 2, 2, {16, 128, 128}), -1);
    EXPECT_FALSE(IsPlanarYuv(Format));
  }
}

// Every pixel of every plane: border pixels carry the plane's colour, inner pixels the source's
// value (or the untouched fill without a source).
void ExpectPadded(const TTestPicture &Dst, AVPixelFormat Format, int Top, int Bottom, int Left,
                  int Right, const std::array<int, 3> &Color, const uint8_t *SourceValue,
                  uint8_t Untouched) {
  const AVPixFmtDescriptor *D = av::av_pix_fmt_desc_get(Format);
  for (int P = 0; P < 3; ++P) {
    const int XS = P ? D->log2_chroma_w : 0, YS = P ? D->log2_chroma_h : 0;
    const int W = Dst.Sizes[P].W, H = Dst.Sizes[P].H;
    int Wrong = 0;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        const bool Border = Y < (Top >> YS) || Y >= H - (Bottom >> YS) || X < (Left >> XS) ||
                            X >= W - (Right >> XS);
        const int Want = Border ? Color[P] : SourceValue ? SourceValue[P] : Untouched;
        Wrong += Dst.At(P, X, Y) != Want;
      }
    EXPECT_EQ(Wrong, 0) << "plane " << P;
    // Row padding beyond the plane width is never written.
    EXPECT_EQ(Dst.At(P, W, 0), Untouched) << "plane " << P;
  }
}

struct TPadCase {
  AVPixelFormat Format;
  int Top, Bottom, Left, Right;
};

const TPadCase PadCases[] = {{AV_PIX_FMT_YUV420P, 2, 4, 4, 2},
                             {AV_PIX_FMT_YUV422P, 0, 2, 2, 0},
                             {AV_PIX_FMT_YUV444P, 2, 2, 2, 2},
                             {AV_PIX_FMT_YUVJ420P, 4, 0, 0, 4}};
const std::array<int, 3> PadColour{16, 100, 200};

TEST_F(PictureTest, PadPaintsBordersAndCopiesTheSourceInside) {
  for (const TPadCase &C : PadCases) {
    SCOPED_TRACE(av::av_get_pix_fmt_name(C.Format));
    TTestPicture Dst(C.Format, 16, 12, 7);
    const uint8_t SourceValue[3] = {50, 60, 70};
    TTestPicture Src(C.Format, 16 - C.Left - C.Right, 12 - C.Top - C.Bottom, 0);
    for (int P = 0; P < 3; ++P)
      for (int Y = 0; Y < Src.Sizes[P].H; ++Y) Src.SetRow(P, Y, SourceValue[P]);
    ASSERT_EQ(PadPicture(Dst.Picture, &Src.Picture, 12, 16, C.Format, C.Top, C.Bottom, C.Left,
                         C.Right, PadColour),
              0);
    ExpectPadded(Dst, C.Format, C.Top, C.Bottom, C.Left, C.Right, PadColour, SourceValue, 7);
  }
}

TEST_F(PictureTest, PadWithoutSourceLeavesTheInnerAreaAlone) {
  for (const TPadCase &C : PadCases) {
    SCOPED_TRACE(av::av_get_pix_fmt_name(C.Format));
    TTestPicture Dst(C.Format, 16, 12, 7);
    ASSERT_EQ(PadPicture(Dst.Picture, nullptr, 12, 16, C.Format, C.Top, C.Bottom, C.Left, C.Right,
                         PadColour),
              0);
    ExpectPadded(Dst, C.Format, C.Top, C.Bottom, C.Left, C.Right, PadColour, nullptr, 7);
  }
}

struct TDeinterlaceCase {
  const char *Name;
  uint8_t Rows[8];
  uint8_t Expected[8];
};

// Rows of one plane in, rows out: even rows unchanged, odd rows filtered.
const TDeinterlaceCase DeinterlaceCases[] = {
    // A ramp is reproduced except where the edges repeat the first and last rows.
    {"ramp", {10, 20, 30, 40, 50, 60, 70, 80}, {10, 19, 30, 40, 50, 60, 70, 78}},
    {"flat", {99, 99, 99, 99, 99, 99, 99, 99}, {99, 99, 99, 99, 99, 99, 99, 99}},
    // Row 3: (-255 + 0 + 0 + 0 - 255 + 4) >> 3 is negative, and so is row 7: clipped to 0.
    {"clip low", {0, 255, 0, 0, 0, 255, 0, 0}, {0, 64, 0, 0, 0, 64, 0, 0}},
    // Row 3: (0 + 1020 + 510 + 1020 - 0 + 4) >> 3 = 319, row 7 287: clipped to 255.
    {"clip high", {255, 0, 255, 255, 255, 0, 255, 255}, {255, 191, 255, 255, 255, 191, 255, 255}},
    {"comb", {200, 200, 200, 0, 200, 0, 0, 0}, {200, 225, 200, 175, 200, 100, 0, 0}},
};

TEST_F(PictureTest, DeinterlaceFiltersOddRowsOfEveryPlane) {
  const AVPixelFormat Formats[] = {AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUV444P};
  for (AVPixelFormat Format : Formats)
    for (const TDeinterlaceCase &C : DeinterlaceCases) {
      SCOPED_TRACE(std::string(av::av_get_pix_fmt_name(Format)) + " " + C.Name);
      TTestPicture Src(Format, 4, 8, 0), Dst(Format, 4, 8, 1);
      const int Planes = Format == AV_PIX_FMT_GRAY8 ? 1 : 3;
      for (int P = 0; P < Planes; ++P)
        for (int Y = 0; Y < 8; ++Y) Src.SetRow(P, Y, C.Rows[Y]);
      ASSERT_EQ(DeinterlacePicture(Dst.Picture, Src.Picture, Format, 4, 8), 0);
      for (int P = 0; P < Planes; ++P)
        for (int Y = 0; Y < 8; ++Y)
          for (int X = 0; X < 4; ++X)
            EXPECT_EQ(Dst.At(P, X, Y), C.Expected[Y]) << "plane " << P << " x " << X << " y " << Y;
    }
}

TEST_F(PictureTest, DeinterlaceUsesSubsampledChromaPlanes) {
  // 8 x 8 yuv420p: chroma planes are 4 x 4, so chroma row 3 is the last one.
  TTestPicture Src(AV_PIX_FMT_YUV420P, 8, 8, 0), Dst(AV_PIX_FMT_YUV420P, 8, 8, 1);
  const uint8_t Chroma[4] = {10, 20, 30, 40};
  for (int P = 1; P < 3; ++P)
    for (int Y = 0; Y < 4; ++Y) Src.SetRow(P, Y, Chroma[Y]);
  ASSERT_EQ(DeinterlacePicture(Dst.Picture, Src.Picture, AV_PIX_FMT_YUV420P, 8, 8), 0);
  const uint8_t Expected[4] = {10, 19, 30, 38};  // row 3: (-20 + 120 + 80 + 160 - 40 + 4) >> 3
  for (int P = 1; P < 3; ++P) {
    for (int Y = 0; Y < 4; ++Y) EXPECT_EQ(Dst.At(P, 3, Y), Expected[Y]) << "plane " << P;
    EXPECT_EQ(Dst.At(P, 4, 0), 1) << "chroma width is 4";
  }
  // yuv411p: chroma is a quarter wide and full height.
  TTestPicture Src411(AV_PIX_FMT_YUV411P, 8, 4, 0), Dst411(AV_PIX_FMT_YUV411P, 8, 4, 1);
  ASSERT_EQ(DeinterlacePicture(Dst411.Picture, Src411.Picture, AV_PIX_FMT_YUV411P, 8, 4), 0);
  EXPECT_EQ(Dst411.At(1, 1, 3), 0);
  EXPECT_EQ(Dst411.At(1, 2, 3), 1);
}

TEST_F(PictureTest, DeinterlaceRefusesOtherFormatsAndSizes) {
  struct TRefusal {
    AVPixelFormat Format;
    int Width, Height;
  };
  const TRefusal Refusals[] = {{AV_PIX_FMT_YUV420P, 6, 8},  {AV_PIX_FMT_YUV420P, 8, 6},
                               {AV_PIX_FMT_YUV420P, 8, 10}, {AV_PIX_FMT_YUV420P, 0, 0},
                               {AV_PIX_FMT_RGB24, 8, 8},    {AV_PIX_FMT_NV12, 8, 8},
                               {AV_PIX_FMT_YUV410P, 8, 8},  {AV_PIX_FMT_YUVA420P, 8, 8},
                               {AV_PIX_FMT_YUVJ444P, 8, 8}, {AV_PIX_FMT_NONE, 8, 8}};
  for (const TRefusal &R : Refusals) {
    SCOPED_TRACE(testing::Message() << R.Format << " " << R.Width << "x" << R.Height);
    TTestPicture Src(AV_PIX_FMT_YUV444P, 12, 12, 5), Dst(AV_PIX_FMT_YUV444P, 12, 12, 1);
    EXPECT_EQ(DeinterlacePicture(Dst.Picture, Src.Picture, R.Format, R.Width, R.Height), -1);
    EXPECT_EQ(Dst.At(0, 0, 0), 1) << "nothing written";
  }
}

TEST_F(PictureTest, BufferPlanesAndRowsAreAligned) {
  TPictureBuffer Buffer;
  ASSERT_TRUE(AllocPictureBuffer(Buffer, AV_PIX_FMT_YUV420P, 33, 17));
  ASSERT_TRUE(Buffer);
  EXPECT_EQ(Buffer.Picture.data[0], Buffer.Data.get());
  for (int P = 0; P < 3; ++P) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Buffer.Picture.data[P]) % 32, 0u) << "plane " << P;
    EXPECT_EQ(Buffer.Picture.linesize[P] % 32, 0) << "plane " << P;
  }
  EXPECT_FALSE(AllocPictureBuffer(Buffer, AV_PIX_FMT_NONE, 33, 17));
  EXPECT_FALSE(Buffer);
  EXPECT_FALSE(AllocPictureBuffer(Buffer, AV_PIX_FMT_YUV420P, 0, 17));
}

TEST_F(PictureTest, FilledBufferHoldsACopiedPicture) {
  const int Size = PictureBufferSize(AV_PIX_FMT_YUV422P, 20, 6);
  ASSERT_GE(Size, av::av_image_get_buffer_size(AV_PIX_FMT_YUV422P, 20, 6, 1));
  EXPECT_LT(PictureBufferSize(AV_PIX_FMT_NONE, 20, 6), 0);
  std::vector<uint8_t> Memory(static_cast<size_t>(Size));
  TPicture Copy{};
  ASSERT_GE(FillPicture(Copy, Memory.data(), AV_PIX_FMT_YUV422P, 20, 6), 0);
  EXPECT_EQ(Copy.linesize[0] % 32, 0);
  TTestPicture Src(AV_PIX_FMT_YUV422P, 20, 6, 0);
  for (int P = 0; P < 3; ++P)
    for (int Y = 0; Y < 6; ++Y) Src.SetRow(P, Y, static_cast<uint8_t>(10 * P + Y));
  CopyPicture(Copy, Src.Picture, AV_PIX_FMT_YUV422P, 20, 6);
  for (int P = 0; P < 3; ++P)
    for (int Y = 0; Y < 6; ++Y)
      EXPECT_EQ(Copy.data[P][Y * Copy.linesize[P] + Src.Sizes[P].W - 1], 10 * P + Y);
}

TEST_F(PictureTest, PictureOfAFrameTakesItsPlanesAndLineSizes) {
  TFramePtr Frame(av::av_frame_alloc());
  ASSERT_TRUE(Frame);
  Frame->format = AV_PIX_FMT_YUV420P;
  Frame->width = 16;
  Frame->height = 8;
  ASSERT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
  const TPicture Picture = PictureOf(*Frame);
  for (int P = 0; P < 4; ++P) {
    EXPECT_EQ(Picture.data[P], Frame->data[P]);
    EXPECT_EQ(Picture.linesize[P], Frame->linesize[P]);
  }
}

}  // namespace
