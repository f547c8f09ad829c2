// Picture operations of the video path: crop views, padding, deinterlacing, buffers, scalers.
// Runs on the task's thread (any thread: no shared state).

#include "engine/FFMPEG/picture.h"

#include <algorithm>
#include <cstring>

#include "engine/binding/av_api.h"

namespace {

constexpr int PictureAlign = 32;  // keeps swscale off its unaligned path

struct TShift {
  int X, Y;
};

TShift PlaneShift(const AVPixFmtDescriptor &Descriptor, int Plane) {
  if (Plane == 0) return {0, 0};
  return {Descriptor.log2_chroma_w, Descriptor.log2_chroma_h};
}

int ShiftUp(int Size, int Shift) {
  return -((-Size) >> Shift);
}

void FillRow(uint8_t *Row, int Value, int Count) {
  if (Count > 0) std::memset(Row, Value, static_cast<size_t>(Count));
}

void PadPlane(uint8_t *Dst, int DstLine, const uint8_t *Src, int SrcLine, int Width, int Height,
              int Top, int Bottom, int Left, int Right, int Value) {
  const int InnerWidth = Width - Left - Right;
  for (int Y = 0; Y < Height; ++Y) {
    uint8_t *Row = Dst + static_cast<ptrdiff_t>(Y) * DstLine;
    if (Y < Top || Y >= Height - Bottom) {
      FillRow(Row, Value, Width);
      continue;
    }
    FillRow(Row, Value, Left);
    FillRow(Row + Width - Right, Value, Right);
    if (Src && InnerWidth > 0)
      std::memcpy(Row + Left, Src + static_cast<ptrdiff_t>(Y - Top) * SrcLine,
                  static_cast<size_t>(InnerWidth));
  }
}

uint8_t BlendLines(const uint8_t *Above2, const uint8_t *Above1, const uint8_t *Line,
                   const uint8_t *Below1, const uint8_t *Below2, int X) {
  const int Sum = -Above2[X] + 4 * Above1[X] + 2 * Line[X] + 4 * Below1[X] - Below2[X];
  return static_cast<uint8_t>(std::clamp((Sum + 4) >> 3, 0, 255));
}

void DeinterlacePlane(uint8_t *Dst, int DstLine, const uint8_t *Src, int SrcLine, int Width,
                      int Height) {
  auto Line = [&](int Y) {
    return Src + static_cast<ptrdiff_t>(std::clamp(Y, 0, Height - 1)) * SrcLine;
  };
  for (int Y = 0; Y < Height; ++Y) {
    uint8_t *Out = Dst + static_cast<ptrdiff_t>(Y) * DstLine;
    if (Y % 2 == 0) {
      std::memcpy(Out, Line(Y), static_cast<size_t>(Width));
      continue;
    }
    const uint8_t *A2 = Line(Y - 2), *A1 = Line(Y - 1), *L = Line(Y), *B1 = Line(Y + 1),
                  *B2 = Line(Y + 2);
    for (int X = 0; X < Width; ++X) Out[X] = BlendLines(A2, A1, L, B1, B2, X);
  }
}

bool Deinterlaceable(AVPixelFormat Format) {
  switch (Format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUV411P:
    case AV_PIX_FMT_GRAY8:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsPlanarYuv(AVPixelFormat Format) {
  const AVPixFmtDescriptor *Descriptor = av::av_pix_fmt_desc_get(Format);
  if (!Descriptor || !(Descriptor->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
  constexpr uint64_t Refused = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL |
                               AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                               AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT |
                               AV_PIX_FMT_FLAG_ALPHA;
  if ((Descriptor->flags & Refused) || Descriptor->nb_components != 3) return false;
  for (int C = 0; C < 3; ++C) {
    const AVComponentDescriptor &Comp = Descriptor->comp[C];
    if (Comp.plane != C || Comp.depth != 8 || Comp.step != 1 || Comp.offset != 0) return false;
  }
  return true;
}

int CropPicture(TPicture &Dst, const TPicture &Src, AVPixelFormat Format, int Top, int Left) {
  if (!IsPlanarYuv(Format)) return -1;
  const AVPixFmtDescriptor &Descriptor = *av::av_pix_fmt_desc_get(Format);
  for (int P = 0; P < 3; ++P) {
    const TShift Shift = PlaneShift(Descriptor, P);
    Dst.data[P] =
        Src.data[P] + static_cast<ptrdiff_t>(Top >> Shift.Y) * Src.linesize[P] + (Left >> Shift.X);
    Dst.linesize[P] = Src.linesize[P];
  }
  Dst.data[3] = Src.data[3];
  Dst.linesize[3] = Src.linesize[3];
  return 0;
}

int PadPicture(TPicture &Dst, const TPicture *Src, int Height, int Width, AVPixelFormat Format,
               int PadTop, int PadBottom, int PadLeft, int PadRight,
               const std::array<int, 3> &Color) {
  if (!IsPlanarYuv(Format)) return -1;
  const AVPixFmtDescriptor &Descriptor = *av::av_pix_fmt_desc_get(Format);
  for (int P = 0; P < 3; ++P) {
    const TShift Shift = PlaneShift(Descriptor, P);
    const int PlaneWidth = ShiftUp(Width, Shift.X), PlaneHeight = ShiftUp(Height, Shift.Y);
    const int Top = std::min(PadTop >> Shift.Y, PlaneHeight);
    const int Bottom = std::min(PadBottom >> Shift.Y, PlaneHeight - Top);
    const int Left = std::min(PadLeft >> Shift.X, PlaneWidth);
    const int Right = std::min(PadRight >> Shift.X, PlaneWidth - Left);
    PadPlane(Dst.data[P], Dst.linesize[P], Src ? Src->data[P] : nullptr, Src ? Src->linesize[P] : 0,
             PlaneWidth, PlaneHeight, Top, Bottom, Left, Right, Color[P]);
  }
  return 0;
}

int DeinterlacePicture(TPicture &Dst, const TPicture &Src, AVPixelFormat Format, int Width,
                       int Height) {
  if (!Deinterlaceable(Format) || Width <= 0 || Height <= 0 || Width % 4 || Height % 4) return -1;
  const AVPixFmtDescriptor &Descriptor = *av::av_pix_fmt_desc_get(Format);
  const int Planes = Format == AV_PIX_FMT_GRAY8 ? 1 : 3;
  for (int P = 0; P < Planes; ++P) {
    const TShift Shift = PlaneShift(Descriptor, P);
    DeinterlacePlane(Dst.data[P], Dst.linesize[P], Src.data[P], Src.linesize[P], Width >> Shift.X,
                     Height >> Shift.Y);
  }
  return 0;
}

int PictureBufferSize(AVPixelFormat Format, int Width, int Height) {
  return av::av_image_get_buffer_size(Format, Width, Height, PictureAlign);
}

int FillPicture(TPicture &Picture, uint8_t *Buffer, AVPixelFormat Format, int Width, int Height) {
  return av::av_image_fill_arrays(Picture.data, Picture.linesize, Buffer, Format, Width, Height,
                                  PictureAlign);
}

void CopyPicture(TPicture &Dst, const TPicture &Src, AVPixelFormat Format, int Width, int Height) {
  av::av_image_copy(Dst.data, Dst.linesize, const_cast<const uint8_t **>(Src.data), Src.linesize,
                    Format, Width, Height);
}

bool AllocPictureBuffer(TPictureBuffer &Buffer, AVPixelFormat Format, int Width, int Height) {
  Buffer.Data.reset();
  Buffer.Picture = TPicture{};
  TPicture Picture{};
  if (av::av_image_alloc(Picture.data, Picture.linesize, Width, Height, Format, PictureAlign) < 0)
    return false;
  Buffer.Data.reset(Picture.data[0]);
  Buffer.Picture = Picture;
  return true;
}

TPicture PictureOf(const AVFrame &Frame) {
  TPicture Picture{};
  for (int P = 0; P < 4; ++P) {
    Picture.data[P] = Frame.data[P];
    Picture.linesize[P] = Frame.linesize[P];
  }
  return Picture;
}

TGeometry FrameGeometry(const AVFrame &Frame, const AVCodecContext &Dec) {
  if (Frame.width > 0 && Frame.height > 0 && Frame.format >= 0)
    return {static_cast<AVPixelFormat>(Frame.format), Frame.width, Frame.height};
  return {Dec.pix_fmt, Dec.width, Dec.height};
}

bool CachedScaler(TScalerPtr &Context, int SrcWidth, int SrcHeight, AVPixelFormat SrcFormat,
                  int DstWidth, int DstHeight, AVPixelFormat DstFormat, int Flags) {
  Context.reset(av::sws_getCachedContext(Context.release(), SrcWidth, SrcHeight, SrcFormat,
                                         DstWidth, DstHeight, DstFormat, Flags, nullptr, nullptr,
                                         nullptr));
  return static_cast<bool>(Context);
}

void ScalePicture(SwsContext *Context, const TPicture &Src, int SrcHeight, TPicture &Dst) {
  av::sws_scale(Context, Src.data, Src.linesize, 0, SrcHeight, Dst.data, Dst.linesize);
}
