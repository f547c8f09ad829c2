// The engine counts log levels -1 (quiet) to 3 (all); FFmpeg 5.1 has its own scale. The
// engine keeps its own numbers everywhere and translates only when it sets the libraries'
// level.
#pragma once

#include <libavutil/log.h>

inline int LibraryLogLevel(int EngineLevel) {
  constexpr int Levels[] = {AV_LOG_QUIET, AV_LOG_ERROR, AV_LOG_INFO, AV_LOG_DEBUG, AV_LOG_TRACE};
  if (EngineLevel < -1) EngineLevel = -1;
  if (EngineLevel > 3) EngineLevel = 3;
  return Levels[EngineLevel + 1];
}
