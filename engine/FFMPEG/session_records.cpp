// The stream records own their stages, whose classes the records' header only names; the
// frame duration the decoder and the demuxer both fall back on.

#include "engine/FFMPEG/session_records.h"

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/decoder.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/FFMPEG/video_path.h"
#include "engine/binding/av_api.h"

int64_t FrameDurationUs(const AVStream *Stream) {
  AVRational Rate = Stream->r_frame_rate.num > 0 ? Stream->r_frame_rate : Stream->avg_frame_rate;
  if (Rate.num <= 0 || Rate.den <= 0) return 0;
  return av::av_rescale(1000000, Rate.den, Rate.num);
}

TInputStream::TInputStream() = default;
TInputStream::~TInputStream() = default;

TOutputStream::TOutputStream() = default;
TOutputStream::~TOutputStream() = default;
