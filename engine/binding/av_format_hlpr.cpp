// Binding of libavformat.so.59: its entry points are listed in entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(AVFormat, TARNWICK_AVFORMAT_ENTRY_POINTS, "libavformat.so.59",
                        "libavformat.so")
