// Binding of libswscale, of the major version of the headers: its entry points are listed in
// entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(SwScale, TARNWICK_SWSCALE_ENTRY_POINTS, "libswscale", swscale_version,
                        LIBSWSCALE_VERSION_MAJOR, LIBSWSCALE_VERSION_INT)
