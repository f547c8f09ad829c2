// Binding of libavcodec, of the major version of the headers: its entry points are listed in
// entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(AVCodec, TARNWICK_AVCODEC_ENTRY_POINTS, "libavcodec", avcodec_version,
                        LIBAVCODEC_VERSION_MAJOR, LIBAVCODEC_VERSION_INT)
