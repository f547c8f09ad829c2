// The version tests behind av_compat.h. Where a replacement exists on a version it is used
// there too, so that builds against different versions run the same code wherever they can.

#include "av_compat.h"

#include <cstring>

// avcodec_get_supported_config: FFmpeg 7.1; the AVCodec lists it replaces are gone in 9.0.
#define TARNWICK_CODEC_CONFIG (LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100))
// AVFrame::duration: FFmpeg 6.0; pkt_duration is gone in 7.0.
#define TARNWICK_FRAME_DURATION (LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100))
// AV_FRAME_FLAG_INTERLACED and _TOP_FIELD_FIRST: FFmpeg 6.1; the fields are gone in 9.0.
#define TARNWICK_FRAME_FLAGS (LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100))
// AVCodecParameters::coded_side_data: FFmpeg 6.1; AVStream::side_data is gone in 7.0.
#define TARNWICK_CODED_SIDE_DATA (LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100))
// AVCodecContext::intra_dc_precision: deprecated in FFmpeg 9 for the encoder's own option.
#define TARNWICK_CONTEXT_DC_PRECISION (LIBAVCODEC_VERSION_MAJOR < 63)

namespace av_compat {

namespace {

#if TARNWICK_CODEC_CONFIG
template <typename T>
const T *Supported(const AVCodec *Codec, AVCodecConfig Config) {
  if (!Codec) return nullptr;
  const void *List = nullptr;
  int Count = 0;
  if (av::avcodec_get_supported_config(nullptr, Codec, Config, 0, &List, &Count) < 0)
    return nullptr;
  return static_cast<const T *>(List);
}
#endif

}  // namespace

#if TARNWICK_CODEC_CONFIG
const AVPixelFormat *PixelFormats(const AVCodec *Codec) {
  return Supported<AVPixelFormat>(Codec, AV_CODEC_CONFIG_PIX_FORMAT);
}
const AVSampleFormat *SampleFormats(const AVCodec *Codec) {
  return Supported<AVSampleFormat>(Codec, AV_CODEC_CONFIG_SAMPLE_FORMAT);
}
const int *SampleRates(const AVCodec *Codec) {
  return Supported<int>(Codec, AV_CODEC_CONFIG_SAMPLE_RATE);
}
const AVRational *FrameRates(const AVCodec *Codec) {
  return Supported<AVRational>(Codec, AV_CODEC_CONFIG_FRAME_RATE);
}
const AVChannelLayout *ChannelLayouts(const AVCodec *Codec) {
  return Supported<AVChannelLayout>(Codec, AV_CODEC_CONFIG_CHANNEL_LAYOUT);
}
#else
const AVPixelFormat *PixelFormats(const AVCodec *Codec) {
  return Codec ? Codec->pix_fmts : nullptr;
}
const AVSampleFormat *SampleFormats(const AVCodec *Codec) {
  return Codec ? Codec->sample_fmts : nullptr;
}
const int *SampleRates(const AVCodec *Codec) {
  return Codec ? Codec->supported_samplerates : nullptr;
}
const AVRational *FrameRates(const AVCodec *Codec) {
  return Codec ? Codec->supported_framerates : nullptr;
}
const AVChannelLayout *ChannelLayouts(const AVCodec *Codec) {
  return Codec ? Codec->ch_layouts : nullptr;
}
#endif

int64_t FrameDuration(const AVFrame &Frame) {
#if TARNWICK_FRAME_DURATION
  return Frame.duration > 0 ? Frame.duration : 0;
#else
  return Frame.pkt_duration > 0 ? Frame.pkt_duration : 0;
#endif
}

bool Interlaced(const AVFrame &Frame) {
#if TARNWICK_FRAME_FLAGS
  return Frame.flags & AV_FRAME_FLAG_INTERLACED;
#else
  return Frame.interlaced_frame;
#endif
}

bool TopFieldFirst(const AVFrame &Frame) {
#if TARNWICK_FRAME_FLAGS
  return Frame.flags & AV_FRAME_FLAG_TOP_FIELD_FIRST;
#else
  return Frame.top_field_first;
#endif
}

void SetInterlacing(AVFrame &Frame, bool Interlaced, bool TopFieldFirst) {
#if TARNWICK_FRAME_FLAGS
  Frame.flags &= ~(AV_FRAME_FLAG_INTERLACED | AV_FRAME_FLAG_TOP_FIELD_FIRST);
  if (Interlaced) Frame.flags |= AV_FRAME_FLAG_INTERLACED;
  if (TopFieldFirst) Frame.flags |= AV_FRAME_FLAG_TOP_FIELD_FIRST;
#else
  Frame.interlaced_frame = Interlaced;
  Frame.top_field_first = TopFieldFirst;
#endif
}

void SetIntraDcPrecision(AVCodecContext &Encoder, int Bits) {
  if (Encoder.priv_data &&
      av::av_opt_find(Encoder.priv_data, "intra_dc_precision", nullptr, 0, 0)) {
    av::av_opt_set_int(Encoder.priv_data, "intra_dc_precision", Bits - 8, 0);
    return;
  }
#if TARNWICK_CONTEXT_DC_PRECISION
  Encoder.intra_dc_precision = Bits - 8;
#endif
}

const int32_t *DisplayMatrix(const AVStream &Stream) {
#if TARNWICK_CODED_SIDE_DATA
  const AVPacketSideData *Data = Stream.codecpar->coded_side_data;
  const int Count = Stream.codecpar->nb_coded_side_data;
#else
  const AVPacketSideData *Data = Stream.side_data;
  const int Count = Stream.nb_side_data;
#endif
  for (int I = 0; I < Count; ++I)
    if (Data[I].type == AV_PKT_DATA_DISPLAYMATRIX && Data[I].size >= 9 * sizeof(int32_t))
      return reinterpret_cast<const int32_t *>(Data[I].data);
  return nullptr;
}

bool SetDisplayMatrix(AVStream &Stream, const int32_t *Matrix) {
  constexpr size_t Size = 9 * sizeof(int32_t);
#if TARNWICK_CODED_SIDE_DATA
  AVCodecParameters &Par = *Stream.codecpar;
  const AVPacketSideData *Data = av::av_packet_side_data_new(
      &Par.coded_side_data, &Par.nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX, Size, 0);
  if (!Data) return false;
  std::memcpy(Data->data, Matrix, Size);
#else
  uint8_t *Data = av::av_stream_new_side_data(&Stream, AV_PKT_DATA_DISPLAYMATRIX, Size);
  if (!Data) return false;
  std::memcpy(Data, Matrix, Size);
#endif
  return true;
}

}  // namespace av_compat
