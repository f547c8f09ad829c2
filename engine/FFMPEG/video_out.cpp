// placeholder: replaced by the video output path
#include "engine/FFMPEG/ffmpeg.h"
void TCustomFFmpeg::PreProcessVideoFrame(TInputStream &, TPicture &) {}
void TCustomFFmpeg::DoVideoOut(TOutputFileContext &, TOutputStream &, int &FrameSize, const AVFrame &,
                               const TPicture &, TInputStream &) { FrameSize = 0; }
