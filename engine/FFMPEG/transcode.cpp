// placeholder
#include "engine/FFMPEG/ffmpeg.h"
void TCustomFFmpeg::Transcode() { throw FFMpegException("not built"); }
