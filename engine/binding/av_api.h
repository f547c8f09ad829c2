// The bound media-library functions, called as av::name(...) with the library's own signature.
// The engine never links the media libraries: every call goes through these pointers, which
// the binding modules fill at run time. Headers are included for types and constants only;
// inline helpers that call exported functions (avio_tell, av_err2str, ...) must not be used.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "entry_points.h"

namespace av {
#define TARNWICK_DECLARE_ENTRY_POINT(name) extern decltype(&::name) name;
TARNWICK_AVUTIL_ENTRY_POINTS(TARNWICK_DECLARE_ENTRY_POINT)
TARNWICK_SWRESAMPLE_ENTRY_POINTS(TARNWICK_DECLARE_ENTRY_POINT)
TARNWICK_SWSCALE_ENTRY_POINTS(TARNWICK_DECLARE_ENTRY_POINT)
TARNWICK_AVCODEC_ENTRY_POINTS(TARNWICK_DECLARE_ENTRY_POINT)
TARNWICK_AVFORMAT_ENTRY_POINTS(TARNWICK_DECLARE_ENTRY_POINT)
#undef TARNWICK_DECLARE_ENTRY_POINT
}  // namespace av
