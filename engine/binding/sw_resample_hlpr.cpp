// Binding of libswresample.so.4: its entry points are listed in entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(SwResample, TARNWICK_SWRESAMPLE_ENTRY_POINTS, "libswresample.so.4",
                        "libswresample.so")
