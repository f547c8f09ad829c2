// One growing buffer for the session's paths: decoded samples, silence padding, the hook
// pictures. It only grows, so a steady stream stops allocating after its first frames.
#pragma once

#include <algorithm>
#include <cstddef>

#include "engine/binding/av_api.h"
#include "engine/binding/av_owners.h"

// Grows Buffer to at least Needed bytes (at least one), never shrinking it; false when memory
// runs out, Buffer then keeping its old block.
inline bool GrowBuffer(TAVOwned<uint8_t> &Buffer, unsigned &Capacity, size_t Needed) {
  Needed = std::max<size_t>(Needed, 1);
  if (Buffer && Needed <= Capacity) return true;
  void *Grown = av::av_fast_realloc(Buffer.get(), &Capacity, Needed);
  if (!Grown) return false;
  static_cast<void>(Buffer.release());
  Buffer.reset(static_cast<uint8_t *>(Grown));
  return true;
}
