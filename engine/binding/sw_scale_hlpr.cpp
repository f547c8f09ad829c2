// Binding of libswscale.so.6: its entry points are listed in entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(SwScale, TARNWICK_SWSCALE_ENTRY_POINTS, "libswscale.so.6", "libswscale.so")
