// Binding of libswresample, of the major version of the headers: its entry points are listed
// in entry_points.h.

#include "binding_module.h"

TARNWICK_BINDING_MODULE(SwResample, TARNWICK_SWRESAMPLE_ENTRY_POINTS, "libswresample",
                        swresample_version, LIBSWRESAMPLE_VERSION_MAJOR, LIBSWRESAMPLE_VERSION_INT)
