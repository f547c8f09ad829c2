// Checks of what a decoder delivers and of the stream parameters an encoder is set up from.
// The scaler, the resampler and some encoders abort or read out of bounds on a picture without
// format or size, or on samples without format, rate or channels, and damaged files give
// exactly those; so nothing reaches them unchecked. Pure functions; any thread.
#pragma once

#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

struct AVFrame;
struct AVStream;

// Why pictures of Format and this size cannot be scaled or encoded; empty when they can.
std::string PictureDefect(AVPixelFormat Format, int Width, int Height);
// Why samples of Format, Rate and Channels cannot be resampled or encoded; empty when they can.
std::string SamplesDefect(AVSampleFormat Format, int Rate, int Channels);

// The same for a decoded frame of MediaType (video or audio), its planes included: a decoder
// that reports success may still hand over a frame without them.
std::string DecodedFrameDefect(int MediaType, const AVFrame &Frame);

// Why an opened input's video or audio stream, as the probe left it, cannot feed an output: no
// codec, the picture or sample facts a decoded frame would have given, or no packet read for it
// while probing. Empty when it can.
std::string ProbedStreamDefect(const AVStream &Stream);
