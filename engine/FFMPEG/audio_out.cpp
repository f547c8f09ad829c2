// placeholder: replaced by the audio output path
#include "engine/FFMPEG/ffmpeg.h"
bool TCustomFFmpeg::DecodedAudioToS16(TInputStream &, const AVFrame &, uint8_t *&, int &) { return false; }
void TCustomFFmpeg::DoAudioOut(TOutputFileContext &, TOutputStream &, int, uint8_t *, TInputStream &) {}
void TCustomFFmpeg::FlushAudioFifo(TOutputFileContext &, TOutputStream &) {}
