// Turning pictures upright by their display matrix. Runs on the task's thread (any thread: no
// shared state).

#include "engine/FFMPEG/picture_turn.h"

#include <cmath>
#include <cstring>

#include "engine/binding/av_api.h"

namespace {

constexpr AVPixFmtDescriptor NoDescriptor{};
constexpr int PaletteBytes = 256 * 4;
// Rows of the turned picture written together: a quarter turn reads its source by columns, so
// a band of rows keeps those reads on the same source lines while they are in the cache.
constexpr int BandRows = 16;

int PlaneCount(const AVPixFmtDescriptor &D) {
  int Count = 0;
  for (int C = 0; C < D.nb_components; ++C) Count = std::max(Count, D.comp[C].plane + 1);
  return Count;
}

// Bytes per pixel of Plane; 0 when its components do not share one step (packed YUYV).
int PlaneStep(const AVPixFmtDescriptor &D, int Plane) {
  int Step = 0;
  for (int C = 0; C < D.nb_components; ++C) {
    if (D.comp[C].plane != Plane) continue;
    if (Step != 0 && D.comp[C].step != Step) return 0;
    Step = D.comp[C].step;
  }
  return Step;
}

bool CopyTurnable(const AVPixFmtDescriptor &D) {
  if (D.flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER))
    return false;
  if (D.nb_components == 0) return false;
  for (int P = 0; P < PlaneCount(D); ++P)
    if (PlaneStep(D, P) == 0) return false;
  // Subsampled chroma packed with the luma it belongs to cannot be moved pixel by pixel.
  if (D.log2_chroma_w || D.log2_chroma_h)
    for (int C = 1; C < D.nb_components; ++C)
      if (D.comp[C].plane == D.comp[0].plane && (C == 1 || C == 2)) return false;
  return true;
}

bool SameComponents(const AVPixFmtDescriptor &Left, const AVPixFmtDescriptor &Right) {
  if (Left.nb_components != Right.nb_components || Left.flags != Right.flags) return false;
  for (int C = 0; C < Left.nb_components; ++C) {
    const AVComponentDescriptor &L = Left.comp[C], &R = Right.comp[C];
    if (L.plane != R.plane || L.step != R.step || L.offset != R.offset || L.shift != R.shift ||
        L.depth != R.depth)
      return false;
  }
  return true;
}

// The format whose subsampling is Format's with the directions exchanged (yuv422p: yuv440p).
AVPixelFormat SidesSwapped(AVPixelFormat Format) {
  const AVPixFmtDescriptor *D = av::av_pix_fmt_desc_get(Format);
  if (!D) return AV_PIX_FMT_NONE;
  if (D->log2_chroma_w == D->log2_chroma_h) return Format;
  for (const AVPixFmtDescriptor *E = av::av_pix_fmt_desc_next(nullptr); E;
       E = av::av_pix_fmt_desc_next(E))
    if (E->log2_chroma_w == D->log2_chroma_h && E->log2_chroma_h == D->log2_chroma_w &&
        SameComponents(*D, *E))
      return av::av_pix_fmt_desc_get_id(E);
  return AV_PIX_FMT_NONE;
}

template <int Step>
void CopyPixel(uint8_t *Dst, const uint8_t *Src, int) {
  std::memcpy(Dst, Src, Step);
}
void CopyAnyPixel(uint8_t *Dst, const uint8_t *Src, int Step) {
  std::memcpy(Dst, Src, static_cast<size_t>(Step));
}

// Dst (the turned plane) := Src (SrcWidth x SrcHeight pixels of Step bytes) turned.
template <void (*Copy)(uint8_t *, const uint8_t *, int)>
void TurnPlane(uint8_t *Dst, int DstLine, const uint8_t *Src, int SrcLine, int SrcWidth,
               int SrcHeight, int Step, const TTurn &Turn) {
  const int DstWidth = Turn.Swap ? SrcHeight : SrcWidth;
  const int DstHeight = Turn.Swap ? SrcWidth : SrcHeight;
  const ptrdiff_t Across = Turn.FlipX ? -Step : Step;      // next source column
  const ptrdiff_t Down = Turn.FlipY ? -SrcLine : SrcLine;  // next source row
  const ptrdiff_t AlongX = Turn.Swap ? Down : Across;      // one pixel right in Dst
  const ptrdiff_t AlongY = Turn.Swap ? Across : Down;      // one row down in Dst
  const uint8_t *Origin = Src + (Turn.FlipX ? static_cast<ptrdiff_t>(SrcWidth - 1) * Step : 0) +
                          (Turn.FlipY ? static_cast<ptrdiff_t>(SrcHeight - 1) * SrcLine : 0);
  for (int Band = 0; Band < DstHeight; Band += BandRows) {
    const int BandEnd = std::min(DstHeight, Band + BandRows);
    for (int X = 0; X < DstWidth; ++X) {
      const uint8_t *Column = Origin + X * AlongX;
      uint8_t *Out = Dst + static_cast<ptrdiff_t>(X) * Step;
      for (int Y = Band; Y < BandEnd; ++Y)
        Copy(Out + static_cast<ptrdiff_t>(Y) * DstLine, Column + Y * AlongY, Step);
    }
  }
}

void TurnAnyPlane(uint8_t *Dst, int DstLine, const uint8_t *Src, int SrcLine, int SrcWidth,
                  int SrcHeight, int Step, const TTurn &Turn) {
  switch (Step) {
    case 1:
      return TurnPlane<CopyPixel<1>>(Dst, DstLine, Src, SrcLine, SrcWidth, SrcHeight, 1, Turn);
    case 2:
      return TurnPlane<CopyPixel<2>>(Dst, DstLine, Src, SrcLine, SrcWidth, SrcHeight, 2, Turn);
    case 4:
      return TurnPlane<CopyPixel<4>>(Dst, DstLine, Src, SrcLine, SrcWidth, SrcHeight, 4, Turn);
    default:
      return TurnPlane<CopyAnyPixel>(Dst, DstLine, Src, SrcLine, SrcWidth, SrcHeight, Step, Turn);
  }
}

int ShiftUp(int Size, int Shift) {
  return -((-Size) >> Shift);
}

}  // namespace

TTurn TurnOfMatrix(const int32_t *Matrix, int *Degrees) {
  if (Degrees) *Degrees = 0;
  if (!Matrix) return {};
  const double Rotation = av::av_display_rotation_get(Matrix);
  if (std::isnan(Rotation)) return {};
  // The matrix turns counter-clockwise; what is shown is turned clockwise by as much.
  double Theta = -std::round(Rotation);
  Theta -= 360 * std::floor(Theta / 360 + 0.9 / 360);
  const auto Near = [Theta](double Angle) { return std::fabs(Theta - Angle) < 1.0; };
  TTurn Turn;
  // The signs tell a mirror from a turn: the same rules as the ffmpeg program's.
  if (Near(90)) {
    Turn = {true, false, Matrix[3] <= 0};
  } else if (Near(180)) {
    Turn = {false, Matrix[0] < 0, Matrix[4] < 0};
  } else if (Near(270)) {
    Turn = {true, true, Matrix[3] < 0};
  } else if (Near(0) || Near(360)) {
    Turn = {false, false, Matrix[4] < 0};
  } else {
    return {};
  }
  if (Degrees) *Degrees = Near(360) ? 0 : static_cast<int>(Theta);
  return Turn;
}

TGeometry TPictureTurn::Turned(const TGeometry &Source) const {
  const AVPixFmtDescriptor *D = av::av_pix_fmt_desc_get(Source.Format);
  if (!D || !CopyTurnable(*D)) return {AV_PIX_FMT_NONE, Source.Width, Source.Height};
  if (!FTurn.Swap) return Source;
  return {SidesSwapped(Source.Format), Source.Height, Source.Width};
}

bool TPictureTurn::Apply(const TPicture &Src, const TGeometry &Source, TPicture &Turned) {
  const TGeometry Target = this->Turned(Source);
  if (Target.Format == AV_PIX_FMT_NONE || Source.Width <= 0 || Source.Height <= 0) return false;
  if (!FBuffer || FBufferGeometry.Format != Target.Format ||
      FBufferGeometry.Width != Target.Width || FBufferGeometry.Height != Target.Height) {
    FBufferGeometry = {AV_PIX_FMT_NONE, 0, 0};
    if (!AllocPictureBuffer(FBuffer, Target.Format, Target.Width, Target.Height)) return false;
    FBufferGeometry = Target;
  }
  const AVPixFmtDescriptor &D = *av::av_pix_fmt_desc_get(Source.Format);
  TPicture &Dst = FBuffer.Picture;
  for (int P = 0; P < PlaneCount(D); ++P) {
    const bool Chroma = P == 1 || P == 2;
    const int Width = Chroma ? ShiftUp(Source.Width, D.log2_chroma_w) : Source.Width;
    const int Height = Chroma ? ShiftUp(Source.Height, D.log2_chroma_h) : Source.Height;
    TurnAnyPlane(Dst.data[P], Dst.linesize[P], Src.data[P], Src.linesize[P], Width, Height,
                 PlaneStep(D, P), FTurn);
  }
  if ((D.flags & AV_PIX_FMT_FLAG_PAL) && Src.data[1] && Dst.data[1])
    std::memcpy(Dst.data[1], Src.data[1], PaletteBytes);
  Turned = Dst;
  return true;
}

std::string TurnText(const TTurn &Turn, int Degrees) {
  if (!Turn.Turns()) return "upright";
  const TTurn Pure90{true, false, true}, Pure180{false, true, true}, Pure270{true, true, false};
  const auto Same = [&Turn](const TTurn &Other) {
    return Turn.Swap == Other.Swap && Turn.FlipX == Other.FlipX && Turn.FlipY == Other.FlipY;
  };
  if (Same(Pure90) || Same(Pure180) || Same(Pure270))
    return "turned " + std::to_string(Degrees) + " degrees clockwise";
  return "turned " + std::to_string(Degrees) + " degrees clockwise and mirrored";
}
