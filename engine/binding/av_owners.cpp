// The release functions behind the owners of av_owners.h, calling through the bound table.

#include "av_owners.h"

#include "av_api.h"

namespace av_release {
void InputContext(AVFormatContext *Context) {
  av::avformat_close_input(&Context);
}
void OutputContext(AVFormatContext *Context) {
  av::avformat_free_context(Context);
}
void CodecContext(AVCodecContext *Context) {
  av::avcodec_free_context(&Context);
}
void Frame(AVFrame *Frame) {
  av::av_frame_free(&Frame);
}
void Packet(AVPacket *Packet) {
  av::av_packet_free(&Packet);
}
void Scaler(SwsContext *Scaler) {
  av::sws_freeContext(Scaler);
}
void Resampler(SwrContext *Resampler) {
  av::swr_free(&Resampler);
}
void AudioFifo(AVAudioFifo *Fifo) {
  av::av_audio_fifo_free(Fifo);
}
void Memory(void *Pointer) {
  av::av_free(Pointer);
}
void Dictionary(AVDictionary **Dictionary) {
  av::av_dict_free(Dictionary);
}
int DictionaryCount(const AVDictionary *Dictionary) {
  return av::av_dict_count(Dictionary);
}
void DictionarySet(AVDictionary **Dictionary, const char *Key, const char *Value) {
  av::av_dict_set(Dictionary, Key, Value, 0);
}
}  // namespace av_release
