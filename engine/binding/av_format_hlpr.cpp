// Binding of libavformat, of the major version of the headers: its entry points are listed in
// entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(AVFormat, TARNWICK_AVFORMAT_ENTRY_POINTS, "libavformat", avformat_version,
                        LIBAVFORMAT_VERSION_MAJOR, LIBAVFORMAT_VERSION_INT)
