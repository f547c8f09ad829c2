// Binding of libavutil, of the major version of the headers: its entry points are listed in
// entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(AVUtil, TARNWICK_AVUTIL_ENTRY_POINTS, "libavutil", avutil_version,
                        LIBAVUTIL_VERSION_MAJOR, LIBAVUTIL_VERSION_INT)
