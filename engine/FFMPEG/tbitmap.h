// The 24-bit picture handed to the custom hook: BGR rows with a stride, addressable row by
// row. The engine holds its lock only while it copies a picture in or out, never while the
// hook runs; whoever else touches the pixels (the hook, or a thread it shares them with)
// takes the lock for that.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

class TBitmap {
 public:
  TBitmap(int Width, int Height, int BitsPerPixel = 24);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int BitsPerPixel() const { return FBitsPerPixel; }
  int Stride() const { return FStride; }
  uint8_t *ScanLine(int Row) { return FPixels.data() + static_cast<size_t>(Row) * FStride; }
  const uint8_t *ScanLine(int Row) const {
    return FPixels.data() + static_cast<size_t>(Row) * FStride;
  }
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }

 private:
  int FWidth;
  int FHeight;
  int FBitsPerPixel;
  int FStride;  // bytes per row, a multiple of 4
  std::vector<uint8_t> FPixels;
  std::mutex FLock;
};

// Holds a bitmap's lock for a scope.
class TBitmapLock {
 public:
  explicit TBitmapLock(TBitmap &Bitmap) : FBitmap(Bitmap) { FBitmap.Lock(); }
  ~TBitmapLock() { FBitmap.Unlock(); }
  TBitmapLock(const TBitmapLock &) = delete;
  TBitmapLock &operator=(const TBitmapLock &) = delete;

 private:
  TBitmap &FBitmap;
};
