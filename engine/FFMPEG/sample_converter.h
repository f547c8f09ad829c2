// Decoded audio of one input stream as the audio paths take it: interleaved 16-bit samples at
// the decoder's rate and channels, with the task's volume applied. One per decoded audio input
// stream, owned by its record; runs on the task's thread.
#pragma once

#include <cstdint>

#include "engine/binding/av_owners.h"

struct AVFrame;

// Scales Size bytes of 16-bit samples by Volume / 256, rounded, clipped to the sample range.
void ApplyVolume(uint8_t *Data, int Size, int Volume);

class TSampleConverter {
 public:
  explicit TSampleConverter(int Volume) : FVolume(Volume) {}
  TSampleConverter(const TSampleConverter &) = delete;
  TSampleConverter &operator=(const TSampleConverter &) = delete;

  // The frame's samples, converted and scaled, in a buffer held here until the next call (Data,
  // Size bytes); false when they cannot be converted. The converter follows every change of
  // format, rate and layout.
  bool Convert(const AVFrame &Frame, uint8_t *&Data, int &Size);

  // The facts of the samples last converted; 0 before the first.
  int Rate() const { return FRate; }
  int Channels() const { return FChannels; }
  uint64_t Layout() const { return FLayout; }  // channel mask, 0 = the default of their count
  // Bytes of the sample buffer, which only grows.
  unsigned Capacity() const { return FSamplesSize; }

 private:
  // The resampler for the frame's format, rate and layout, kept while they stay the same.
  bool UseResampler(const AVFrame &Frame, uint64_t Mask);

  const int FVolume;
  TResamplerPtr FToS16;
  int FFormat = -1, FRate = 0, FChannels = 0;
  uint64_t FLayout = 0;
  TAVOwned<uint8_t> FSamples;
  unsigned FSamplesSize = 0;
};
