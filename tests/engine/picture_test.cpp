// Picture operations of the video path: crop offsets per plane, pad colours and the inner
// copy, the deinterlacing filter, refusals, picture buffers.

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

TEST_F(PictureTest, CropOffsetsEachPlaneBySubsampling) {
  const struct {
    AVPixelFormat Format;
    int ChromaRowsDown, ChromaColumnsIn;  // for Top = 4, Left = 8
  } Cases[] = {{AV_PIX_FMT_YUV420P, 2, 4},
               {AV_PIX_FMT_YUV444P, 4, 8},
               {AV_PIX_FMT_YUV411P, 4, 2},
               {AV_PIX_FMT_YUV410P, 1, 2}};
  for (const auto &C : Cases) {
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

// Crop and pad take 8-bit planar YUV only; the deinterlacer the formats it filters, at sizes in
// multiples of 4. A refusal writes nothing.
TEST_F(PictureTest, FormatsAndSizesRefused) {
  const struct {
    AVPixelFormat Format;
    bool CropPad, Deinterlace;  // accepted
    int Width = 8, Height = 8;
  } Cases[] = {{AV_PIX_FMT_RGB24, false, false},        {AV_PIX_FMT_GRAY8, false, true},
               {AV_PIX_FMT_NV12, false, false},         {AV_PIX_FMT_YUVA420P, false, false},
               {AV_PIX_FMT_GBRP, false, false},         {AV_PIX_FMT_YUV420P10LE, false, false},
               {AV_PIX_FMT_NONE, false, false},         {AV_PIX_FMT_YUV410P, true, false},
               {AV_PIX_FMT_YUVJ444P, true, false},      {AV_PIX_FMT_YUV420P, true, false, 6, 8},
               {AV_PIX_FMT_YUV420P, true, false, 8, 6}, {AV_PIX_FMT_YUV420P, true, false, 0, 0}};
  for (const auto &C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Format << " " << C.Width << "x" << C.Height);
    TTestPicture Src(AV_PIX_FMT_YUV444P, 12, 12, 5), Dst(AV_PIX_FMT_YUV444P, 12, 12, 1);
    TPicture View{};
    EXPECT_EQ(IsPlanarYuv(C.Format), C.CropPad);
    EXPECT_EQ(CropPicture(View, Src.Picture, C.Format, 2, 2), C.CropPad ? 0 : -1);
    EXPECT_EQ(DeinterlacePicture(Dst.Picture, Src.Picture, C.Format, C.Width, C.Height),
              C.Deinterlace ? 0 : -1);
    if (!C.CropPad) {
      EXPECT_EQ(PadPicture(Dst.Picture, nullptr, 8, 8, C.Format, 2, 2, 2, 2, {16, 128, 128}), -1);
    }
    EXPECT_EQ(Dst.At(0, 1, 0), C.Deinterlace ? 5 : 1);
  }
}

// Without a source the inner area is left alone; bytes beyond a row's width never written.
TEST_F(PictureTest, PadPaintsBordersAndCopiesTheSourceInside) {
  const struct {
    AVPixelFormat Format;
    int Top, Bottom, Left, Right;
  } Cases[] = {{AV_PIX_FMT_YUV420P, 2, 4, 4, 2},
               {AV_PIX_FMT_YUV422P, 0, 2, 2, 0},
               {AV_PIX_FMT_YUV444P, 2, 2, 2, 2}};
  const std::array<int, 3> Colour{16, 100, 200};
  const uint8_t SourceValue[3] = {50, 60, 70};
  for (const auto &C : Cases)
    for (bool WithSource : {true, false}) {
      SCOPED_TRACE(testing::Message() << av::av_get_pix_fmt_name(C.Format) << " " << WithSource);
      TTestPicture Dst(C.Format, 16, 12, 7);
      TTestPicture Src(C.Format, 16 - C.Left - C.Right, 12 - C.Top - C.Bottom, 0);
      for (int P = 0; P < 3; ++P)
        for (int Y = 0; Y < Src.Sizes[P].H; ++Y) Src.SetRow(P, Y, SourceValue[P]);
      ASSERT_EQ(PadPicture(Dst.Picture, WithSource ? &Src.Picture : nullptr, 12, 16, C.Format,
                           C.Top, C.Bottom, C.Left, C.Right, Colour),
                0);
      // Every pixel: borders in the plane's colour, inside the source's value or the fill.
      const AVPixFmtDescriptor *D = av::av_pix_fmt_desc_get(C.Format);
      for (int P = 0; P < 3; ++P) {
        const int XS = P ? D->log2_chroma_w : 0, YS = P ? D->log2_chroma_h : 0;
        const int W = Dst.Sizes[P].W, H = Dst.Sizes[P].H;
        int Wrong = 0;
        for (int Y = 0; Y < H; ++Y)
          for (int X = 0; X < W; ++X) {
            const bool Border = Y < (C.Top >> YS) || Y >= H - (C.Bottom >> YS) ||
                                X < (C.Left >> XS) || X >= W - (C.Right >> XS);
            Wrong += Dst.At(P, X, Y) != (Border ? Colour[P] : WithSource ? SourceValue[P] : 7);
          }
        EXPECT_EQ(Wrong, 0) << "plane " << P;
        EXPECT_EQ(Dst.At(P, W, 0), 7) << "beyond the width of plane " << P;
      }
    }
}

// Rows of a plane in, rows out: even rows copied, odd rows filtered. Picture sizes give every
// plane checked eight rows, chroma planes at their subsampled width.
TEST_F(PictureTest, DeinterlaceFiltersOddRowsOfEveryPlane) {
  const struct {
    const char *Name;
    uint8_t Rows[8], Expected[8];
  } Cases[] = {
      // A ramp is reproduced except where the edges repeat the first and last rows.
      {"ramp", {10, 20, 30, 40, 50, 60, 70, 80}, {10, 19, 30, 40, 50, 60, 70, 78}},
      // Row 3: (-255 + 0 + 0 + 0 - 255 + 4) >> 3 is negative, and so is row 7: clipped to 0.
      {"clip low", {0, 255, 0, 0, 0, 255, 0, 0}, {0, 64, 0, 0, 0, 64, 0, 0}},
      // Row 3: (0 + 1020 + 510 + 1020 - 0 + 4) >> 3 = 319, row 7 287: clipped to 255.
      {"clip high", {255, 0, 255, 255, 255, 0, 255, 255}, {255, 191, 255, 255, 255, 191, 255, 255}},
      {"comb", {200, 200, 200, 0, 200, 0, 0, 0}, {200, 225, 200, 175, 200, 100, 0, 0}},
  };
  const struct {
    AVPixelFormat Format;
    int Width, Height, Planes;
  } Formats[] = {{AV_PIX_FMT_GRAY8, 4, 8, 1},
                 {AV_PIX_FMT_YUV444P, 4, 8, 3},
                 {AV_PIX_FMT_YUV420P, 8, 16, 3},  // luma of 16 rows not checked
                 {AV_PIX_FMT_YUV411P, 16, 8, 3}};
  for (const auto &F : Formats)
    for (const auto &C : Cases) {
      SCOPED_TRACE(std::string(av::av_get_pix_fmt_name(F.Format)) + " " + C.Name);
      TTestPicture Src(F.Format, F.Width, F.Height, 0), Dst(F.Format, F.Width, F.Height, 1);
      for (int P = 0; P < F.Planes; ++P)
        for (int Y = 0; Y < Src.Sizes[P].H; ++Y) Src.SetRow(P, Y, C.Rows[Y % 8]);
      ASSERT_EQ(DeinterlacePicture(Dst.Picture, Src.Picture, F.Format, F.Width, F.Height), 0);
      for (int P = 0; P < F.Planes; ++P) {
        if (Dst.Sizes[P].H != 8) continue;
        for (int Y = 0; Y < 8; ++Y)
          for (int X = 0; X < Dst.Sizes[P].W; ++X)
            EXPECT_EQ(Dst.At(P, X, Y), C.Expected[Y]) << "plane " << P << " x " << X << " y " << Y;
        EXPECT_EQ(Dst.At(P, Dst.Sizes[P].W, 0), 1) << "beyond the width of plane " << P;
      }
    }
}

// Planes and rows aligned to 32 bytes, in owned memory or in memory of PictureBufferSize bytes.
TEST_F(PictureTest, BuffersAreAlignedAndHoldACopy) {
  TPictureBuffer Buffer;
  ASSERT_TRUE(AllocPictureBuffer(Buffer, AV_PIX_FMT_YUV420P, 33, 17));
  for (int P = 0; P < 3; ++P) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Buffer.Picture.data[P]) % 32, 0u) << "plane " << P;
    EXPECT_EQ(Buffer.Picture.linesize[P] % 32, 0) << "plane " << P;
  }
  EXPECT_FALSE(AllocPictureBuffer(Buffer, AV_PIX_FMT_NONE, 33, 17));
  EXPECT_FALSE(Buffer);
  EXPECT_FALSE(AllocPictureBuffer(Buffer, AV_PIX_FMT_YUV420P, 0, 17));

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

}  // namespace
