// What differs between the media library versions the engine builds against (FFmpeg 5.1 to
// 9.0), in one place: the stages call these instead of reading fields that some versions lack.
#pragma once

#include <cstdint>

#include "av_api.h"

namespace av_compat {

// What an encoder accepts, each list ended the way the libraries end it (a NONE, a zero, a
// zeroed layout); null when the encoder takes anything or does not say.
const AVPixelFormat *PixelFormats(const AVCodec *Codec);
const AVSampleFormat *SampleFormats(const AVCodec *Codec);
const int *SampleRates(const AVCodec *Codec);
const AVRational *FrameRates(const AVCodec *Codec);
const AVChannelLayout *ChannelLayouts(const AVCodec *Codec);

// A decoded frame's duration in its stream's time base; 0 when unknown.
int64_t FrameDuration(const AVFrame &Frame);

bool Interlaced(const AVFrame &Frame);
bool TopFieldFirst(const AVFrame &Frame);
void SetInterlacing(AVFrame &Frame, bool Interlaced, bool TopFieldFirst);

// The precision of intra DC coefficients, 8 to 11 bits: an option of the MPEG-2 encoder's
// own since FFmpeg 9, a field of the context before.
void SetIntraDcPrecision(AVCodecContext &Encoder, int Bits);

// The stream's display matrix (3x3, see libavutil/display.h); null when it has none.
const int32_t *DisplayMatrix(const AVStream &Stream);
// Gives Stream the display matrix (9 values), replacing the one it has; false when out of
// memory. Before the muxer writes its header.
bool SetDisplayMatrix(AVStream &Stream, const int32_t *Matrix);

}  // namespace av_compat
