// Owners for media-library objects: std::unique_ptr with a deleter that calls the bound
// release function. Only forward declarations are needed here, so a header holding owners
// does not pull the libraries' headers into its includers. The libraries stay loaded while
// any owner holds an object (TAVLibsHold, av_libs.h).
#pragma once

#include <memory>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;
struct AVAudioFifo;
struct AVDictionary;

namespace av_release {
void InputContext(AVFormatContext *Context);   // avformat_close_input
void OutputContext(AVFormatContext *Context);  // avformat_free_context
void CodecContext(AVCodecContext *Context);
void Frame(AVFrame *Frame);
void Packet(AVPacket *Packet);
void Scaler(SwsContext *Scaler);
void Resampler(SwrContext *Resampler);
void AudioFifo(AVAudioFifo *Fifo);
void Memory(void *Pointer);  // av_free
void Dictionary(AVDictionary **Dictionary);
int DictionaryCount(const AVDictionary *Dictionary);
void DictionarySet(AVDictionary **Dictionary, const char *Key, const char *Value);
}  // namespace av_release

template <typename T, void (*Release)(T *)>
struct TAVRelease {
  void operator()(T *Object) const {
    if (Object) Release(Object);
  }
};

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
  void operator()(T *Pointer) const { av_release::Memory(Pointer); }
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
    if (Entries) av_release::Dictionary(&Entries);
  }
  void Set(const char *Key, const char *Value) { av_release::DictionarySet(&Entries, Key, Value); }
  AVDictionary *Get() const { return Entries; }
  AVDictionary **Address() { return &Entries; }
  int Count() const { return Entries ? av_release::DictionaryCount(Entries) : 0; }

 private:
  AVDictionary *Entries = nullptr;
};
