// Binding of libavcodec.so.59: its entry points are listed in entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(AVCodec, TARNWICK_AVCODEC_ENTRY_POINTS, "libavcodec.so.59", "libavcodec.so")
