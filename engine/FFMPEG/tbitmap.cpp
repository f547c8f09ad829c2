// The custom hook's bitmap.

#include "engine/FFMPEG/tbitmap.h"

TBitmap::TBitmap(int Width, int Height, int BitsPerPixel)
    : FWidth(Width),
      FHeight(Height),
      FBitsPerPixel(BitsPerPixel),
      FStride((Width * (BitsPerPixel / 8) + 3) & ~3),
      FPixels(static_cast<size_t>(FStride) * (Height > 0 ? Height : 0)) {}
