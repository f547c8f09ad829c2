// Binding of libavutil.so.57: its entry points are listed in entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(AVUtil, TARNWICK_AVUTIL_ENTRY_POINTS, "libavutil.so.57", "libavutil.so")
