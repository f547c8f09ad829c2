// Turning pictures upright: what a display matrix asks for (mirrors included), every plane of
// the formats decoders give turned in place of the whole picture, and the formats refused.

#include "engine/FFMPEG/picture_turn.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "engine/binding/av_api.h"
#include "tests/support/test_support.h"

namespace {

constexpr int32_t One = 1 << 16;

class PictureTurnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSystemLibraries();
    ASSERT_FALSE(HasFatalFailure());
  }
};

TEST_F(PictureTurnTest, MatricesGiveTheTurnsAndMirrors) {
  // 2x2 parts of display matrices (a, b, c, d); the third row and column are 0 0 1.
  const struct {
    const char *Name;
    std::array<int32_t, 4> Part;
    bool Swap, FlipX, FlipY;
    int Degrees;
  } Cases[] = {
      {"identity", {One, 0, 0, One}, false, false, false, 0},
      {"turned 90 clockwise", {0, One, -One, 0}, true, false, true, 90},
      {"turned 180", {-One, 0, 0, -One}, false, true, true, 180},
      {"turned 90 counter-clockwise", {0, -One, One, 0}, true, true, false, 270},
      {"mirrored left to right", {-One, 0, 0, One}, false, true, false, 180},
      {"mirrored top to bottom", {One, 0, 0, -One}, false, false, true, 0},
      {"transposed", {0, One, One, 0}, true, false, false, 90},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Name);
    const int32_t Matrix[9] = {C.Part[0], C.Part[1], 0, C.Part[2], C.Part[3], 0, 0, 0, 1 << 30};
    int Degrees = -1;
    const TTurn Turn = TurnOfMatrix(Matrix, &Degrees);
    EXPECT_EQ(Turn.Swap, C.Swap);
    EXPECT_EQ(Turn.FlipX, C.FlipX);
    EXPECT_EQ(Turn.FlipY, C.FlipY);
    EXPECT_EQ(Degrees, C.Degrees);
  }
  EXPECT_FALSE(TurnOfMatrix(nullptr).Turns());
}

// Bytes of each plane's visible rows.
int RowBytes(AVPixelFormat Format, int Plane, int Width) {
  const AVPixFmtDescriptor &D = *av::av_pix_fmt_desc_get(Format);
  int Step = 0;
  for (int C = 0; C < D.nb_components; ++C)
    if (D.comp[C].plane == Plane) Step = D.comp[C].step;
  const int Shift = (Plane == 1 || Plane == 2) ? D.log2_chroma_w : 0;
  return -((-Width) >> Shift) * Step;
}
int PlaneRows(AVPixelFormat Format, int Plane, int Height) {
  const AVPixFmtDescriptor &D = *av::av_pix_fmt_desc_get(Format);
  const int Shift = (Plane == 1 || Plane == 2) ? D.log2_chroma_h : 0;
  return -((-Height) >> Shift);
}

TEST_F(PictureTurnTest, FourQuarterTurnsGiveThePictureBack) {
  const struct {
    AVPixelFormat Format, TurnedFormat;
    int Planes;
  } Cases[] = {
      {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, 3},
      {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ420P, 3},
      {AV_PIX_FMT_NV12, AV_PIX_FMT_NV12, 2},
      {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV440P, 3},
      {AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_YUV440P10LE, 3},
      {AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV420P10LE, 3},
      {AV_PIX_FMT_P010LE, AV_PIX_FMT_P010LE, 2},
      {AV_PIX_FMT_YUVA444P, AV_PIX_FMT_YUVA444P, 4},
      {AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB24, 1},
      {AV_PIX_FMT_GRAY16LE, AV_PIX_FMT_GRAY16LE, 1},
  };
  // Odd sides: the chroma planes' rounding is part of what is turned.
  constexpr int Width = 38, Height = 22;
  const TTurn Clockwise{true, false, true};
  for (const auto &C : Cases) {
    SCOPED_TRACE(av::av_get_pix_fmt_name(C.Format));
    TPictureBuffer Source;
    ASSERT_TRUE(AllocPictureBuffer(Source, C.Format, Width + 1, Height + 1));
    const TGeometry Start{C.Format, Width + 1, Height + 1};
    for (int P = 0; P < C.Planes; ++P)
      for (int Y = 0; Y < PlaneRows(C.Format, P, Start.Height); ++Y)
        for (int X = 0; X < RowBytes(C.Format, P, Start.Width); ++X)
          Source.Picture.data[P][Y * Source.Picture.linesize[P] + X] =
              static_cast<uint8_t>(P * 61 + Y * 7 + X * 13 + (X * Y) % 5);

    std::unique_ptr<TPictureTurn> Turns[4];
    TPicture Picture = Source.Picture;
    TGeometry G = Start;
    for (int Quarter = 0; Quarter < 4; ++Quarter) {
      Turns[Quarter] = std::make_unique<TPictureTurn>(Clockwise);
      TPicture Turned{};
      ASSERT_TRUE(Turns[Quarter]->Apply(Picture, G, Turned)) << Quarter;
      const TGeometry Next = Turns[Quarter]->Turned(G);
      EXPECT_EQ(Next.Width, G.Height);
      EXPECT_EQ(Next.Height, G.Width);
      EXPECT_EQ(Next.Format, Quarter % 2 ? C.Format : C.TurnedFormat);
      if (Quarter == 0) {
        // Clockwise: the bottom-left pixel comes to the top-left, the top-left to the right.
        const int Bytes = RowBytes(C.Format, 0, 1);
        for (int B = 0; B < Bytes; ++B) {
          EXPECT_EQ(Turned.data[0][B],
                    Source.Picture.data[0][(Start.Height - 1) * Source.Picture.linesize[0] + B]);
          EXPECT_EQ(Turned.data[0][(Start.Height - 1) * Bytes + B], Source.Picture.data[0][B]);
        }
      }
      Picture = Turned;
      G = Next;
    }
    for (int P = 0; P < C.Planes; ++P)
      for (int Y = 0; Y < PlaneRows(C.Format, P, Start.Height); ++Y)
        for (int X = 0; X < RowBytes(C.Format, P, Start.Width); ++X)
          ASSERT_EQ(Picture.data[P][Y * Picture.linesize[P] + X],
                    Source.Picture.data[P][Y * Source.Picture.linesize[P] + X])
              << "plane " << P << " at " << X << "," << Y;
  }
}

TEST_F(PictureTurnTest, FormatsThatCannotBeCopiedPixelByPixelAreRefused) {
  const TTurn Clockwise{true, false, true};
  for (const AVPixelFormat Format : {AV_PIX_FMT_YUYV422, AV_PIX_FMT_UYVY422, AV_PIX_FMT_MONOBLACK,
                                     AV_PIX_FMT_BAYER_RGGB8, AV_PIX_FMT_VAAPI}) {
    SCOPED_TRACE(av::av_get_pix_fmt_name(Format));
    TPictureTurn Turn(Clockwise);
    EXPECT_EQ(Turn.Turned({Format, 32, 16}).Format, AV_PIX_FMT_NONE);
    uint8_t Bytes[4096] = {};
    TPicture Picture{};
    Picture.data[0] = Bytes;
    Picture.linesize[0] = 128;
    TPicture Turned{};
    EXPECT_FALSE(Turn.Apply(Picture, {Format, 32, 16}, Turned));
  }
}

}  // namespace
