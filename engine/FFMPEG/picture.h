// The engine's own picture operations on four-plane pictures: crop views, padding, the
// field-blending deinterlacer, buffers, cached scalers. No shared state; any thread, on pictures
// it owns.
#pragma once

#include <array>
#include <cstdint>

#include "engine/FFMPEG/session_records.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVCodecContext;
struct AVFrame;
struct SwsContext;

// 8-bit planar YUV with one plane per component and no alpha: what crop and pad accept.
bool IsPlanarYuv(AVPixelFormat Format);

// Dst := a view of Src starting Top rows down and Left columns in (chroma offsets shifted by
// the format's subsampling). 0, or -1 when Format is not planar YUV.
int CropPicture(TPicture &Dst, const TPicture &Src, AVPixelFormat Format, int Top, int Left);

// Paints the borders of the Width x Height picture Dst with Color (Y, U, V) and, when Src is
// given, copies it (Width - PadLeft - PadRight by Height - PadTop - PadBottom) into the inner
// area; without Src the inner area is left alone. 0, or -1 when Format is not planar YUV.
int PadPicture(TPicture &Dst, const TPicture *Src, int Height, int Width, AVPixelFormat Format,
               int PadTop, int PadBottom, int PadLeft, int PadRight,
               const std::array<int, 3> &Color);

// Dst := Src with every odd line of each plane rebuilt from the five lines centred on it,
// (-l[-2] + 4 l[-1] + 2 l[0] + 4 l[+1] - l[+2] + 4) >> 3 clipped to 0..255, edges repeating
// the nearest line; even lines are copied. Dst and Src must not overlap. 0, or -1 for a format
// other than yuv420p, yuvj420p, yuv422p, yuvj422p, yuv444p, yuv411p, gray8, or sizes that are
// not positive multiples of 4.
int DeinterlacePicture(TPicture &Dst, const TPicture &Src, AVPixelFormat Format, int Width,
                       int Height);

// Bytes of a picture buffer for FillPicture (rows aligned for the scaler); negative when the
// format or size is invalid.
int PictureBufferSize(AVPixelFormat Format, int Width, int Height);
// Points Picture's planes into Buffer (PictureBufferSize bytes). Negative on failure.
int FillPicture(TPicture &Picture, uint8_t *Buffer, AVPixelFormat Format, int Width, int Height);
void CopyPicture(TPicture &Dst, const TPicture &Src, AVPixelFormat Format, int Width, int Height);

// Allocates Buffer for a Width x Height picture of Format (rows and planes aligned to 32
// bytes), releasing what it held before. False (Buffer empty) on failure.
bool AllocPictureBuffer(TPictureBuffer &Buffer, AVPixelFormat Format, int Width, int Height);

// The planes and line sizes of a frame.
TPicture PictureOf(const AVFrame &Frame);

struct TGeometry {
  AVPixelFormat Format;
  int Width, Height;
};
// The decoded frame's own geometry: it may differ from the decoder context's and change
// mid-stream.
TGeometry FrameGeometry(const AVFrame &Frame, const AVCodecContext &Dec);

// Re-uses Context when its settings still fit, else replaces it; false when no context results.
bool CachedScaler(TScalerPtr &Context, int SrcWidth, int SrcHeight, AVPixelFormat SrcFormat,
                  int DstWidth, int DstHeight, AVPixelFormat DstFormat, int Flags);
void ScalePicture(SwsContext *Context, const TPicture &Src, int SrcHeight, TPicture &Dst);
