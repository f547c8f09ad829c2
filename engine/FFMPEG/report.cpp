// placeholder: replaced by the progress report
#include "engine/FFMPEG/ffmpeg.h"
void TCustomFFmpeg::PrintReport(bool) {}
void TCustomFFmpeg::DoVideoStats(TOutputFileContext &, TOutputStream &, int) {}
