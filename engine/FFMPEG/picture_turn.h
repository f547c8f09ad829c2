// Turning a decoded picture the way its stream's display matrix shows it: a quarter or half
// turn, or a mirror, as a copy of the planes, so the scaler and the encoder see the picture
// upright. One per encoded video stream; any thread, on pictures it owns.
#pragma once

#include <cstdint>
#include <string>

#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/session_records.h"

// Where a pixel (X, Y) of the upright picture comes from in the stored one: with Swap from
// (Y, X), then counted from the right edge with FlipX and from the bottom with FlipY.
struct TTurn {
  bool Swap = false;  // rows become columns: width and height change places
  bool FlipX = false;
  bool FlipY = false;
  bool Turns() const { return Swap || FlipX || FlipY; }
};

// The turn that shows a picture upright by the display matrix Matrix (null: none); the
// degrees it turns clockwise, 0 to 359, in Degrees when given. A matrix that is no multiple of
// a quarter turn gives no turn.
TTurn TurnOfMatrix(const int32_t *Matrix, int *Degrees = nullptr);

class TPictureTurn {
 public:
  explicit TPictureTurn(TTurn Turn) : FTurn(Turn) {}
  TPictureTurn(const TPictureTurn &) = delete;
  TPictureTurn &operator=(const TPictureTurn &) = delete;

  // The turned picture's format and size for a source of Source's. Swapping the sides of a
  // format subsampled in one direction only (4:2:2) gives its counterpart (4:4:0). Format is
  // AV_PIX_FMT_NONE for a format that cannot be turned by copying: bitstream, hardware, Bayer,
  // packed chroma (YUYV), or a one-way subsampling without counterpart.
  TGeometry Turned(const TGeometry &Source) const;
  // Turned := Src (of Source's format and size) turned, in a buffer of its own that stays valid
  // until the next call. False when the format cannot be turned or no buffer can be had.
  bool Apply(const TPicture &Src, const TGeometry &Source, TPicture &Turned);

 private:
  const TTurn FTurn;
  TPictureBuffer FBuffer;
  TGeometry FBufferGeometry{AV_PIX_FMT_NONE, 0, 0};
};

// "rotated 90 degrees clockwise", "mirrored left to right", ... for the log.
std::string TurnText(const TTurn &Turn, int Degrees);
