// Owners for media-library objects: std::unique_ptr with a deleter that calls the bound
// release function. The bound function table outlives every owner (the libraries stay loaded
// while any task or probe exists).
#pragma once

#include <memory>

#include "av_api.h"

template <typename T, void (*Release)(T *)>
struct TAVRelease {
  void operator()(T *Object) const {
    if (Object) Release(Object);
  }
};

namespace av_release {
inline void InputContext(AVFormatContext *C) {
  av::avformat_close_input(&C);
}
inline void OutputContext(AVFormatContext *C) {
  av::avformat_free_context(C);
}
inline void CodecContext(AVCodecContext *C) {
  av::avcodec_free_context(&C);
}
inline void Frame(AVFrame *F) {
  av::av_frame_free(&F);
}
inline void Packet(AVPacket *P) {
  av::av_packet_free(&P);
}
inline void Scaler(SwsContext *S) {
  av::sws_freeContext(S);
}
inline void Resampler(SwrContext *S) {
  av::swr_free(&S);
}
inline void AudioFifo(AVAudioFifo *F) {
  av::av_audio_fifo_free(F);
}
inline void Memory(void *P) {
  av::av_free(P);
}
}  // namespace av_release

// An opened input (closed with avformat_close_input).
using TInputContextPtr =
    std::unique_ptr<AVFormatContext, TAVRelease<AVFormatContext, av_release::InputContext>>;
// An output or an unopened context (freed with avformat_free_context, streams included).
using TOutputContextPtr =
    std::unique_ptr<AVFormatContext, TAVRelease<AVFormatContext, av_release::OutputContext>>;
using TCodecContextPtr =
    std::unique_ptr<AVCodecContext, TAVRelease<AVCodecContext, av_release::CodecContext>>;
using TFramePtr = std::unique_ptr<AVFrame, TAVRelease<AVFrame, av_release::Frame>>;
using TPacketPtr = std::unique_ptr<AVPacket, TAVRelease<AVPacket, av_release::Packet>>;
using TScalerPtr = std::unique_ptr<SwsContext, TAVRelease<SwsContext, av_release::Scaler>>;
using TResamplerPtr = std::unique_ptr<SwrContext, TAVRelease<SwrContext, av_release::Resampler>>;
using TAudioFifoPtr = std::unique_ptr<AVAudioFifo, TAVRelease<AVAudioFifo, av_release::AudioFifo>>;

// Memory from the libraries' allocator (av_malloc, av_strdup), released with av_free.
template <typename T>
struct TAVFree {
  void operator()(T *Pointer) const { av::av_free(Pointer); }
};
template <typename T>
using TAVOwned = std::unique_ptr<T, TAVFree<T>>;
using TAVMemoryPtr = TAVOwned<void>;

// An option dictionary; entries left after an open call were not used by the library.
class TDictionary {
 public:
  TDictionary() = default;
  TDictionary(const TDictionary &) = delete;
  TDictionary &operator=(const TDictionary &) = delete;
  ~TDictionary() { Clear(); }

  void Clear() {
    if (Entries) av::av_dict_free(&Entries);
  }
  void Set(const char *Key, const char *Value) { av::av_dict_set(&Entries, Key, Value, 0); }
  AVDictionary *Get() const { return Entries; }
  AVDictionary **Address() { return &Entries; }
  int Count() const { return Entries ? av::av_dict_count(Entries) : 0; }

 private:
  AVDictionary *Entries = nullptr;
};
