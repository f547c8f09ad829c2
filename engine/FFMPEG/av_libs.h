// The media libraries as one set: loading all five in dependency order, unloading them, and
// the process-wide state the rest of the engine reads (loaded flag, last error, cached log
// level, the codec open lock).
#pragma once

#include <atomic>
#include <mutex>
#include <string>

// Loads libavutil, libswresample, libswscale, libavcodec and libavformat, each from
// LibraryFolder when a copy is there, else from the system. Stops at the first failure, whose
// text becomes AVLibsLoadError, and unloads what did load. True when all five are bound; a
// second call after a success returns true at once.
bool LoadAVLibs(const std::string &LibraryFolder, bool UseVersionedNames);
// Unloads the set and clears every bound pointer. While a holder (TAVLibsHold) exists the
// unload is deferred: it happens when the last holder goes, and false is returned. A load
// in between cancels the deferred unload.
bool UnloadAVLibs();
bool AVLibsLoaded();
const std::string &AVLibsLoadError();

// Keeps the library set loaded while it exists: every object that may hold library objects
// (a task, a probe) carries one, declared so that it is destroyed after those objects.
class TAVLibsHold {
 public:
  TAVLibsHold();
  ~TAVLibsHold();
  TAVLibsHold(const TAVLibsHold &) = delete;
  TAVLibsHold &operator=(const TAVLibsHold &) = delete;
};
int AVLibsHolderCount();

// The libraries' log level (FFmpeg's scale), cached so the log callback can filter without
// calling into the library. Refreshed after every load and level change.
extern std::atomic<int> AVLogLevel;
void RefreshAVLogLevel();

// Held around every codec open and close and around stream probing of inputs.
extern std::mutex CodecOpenLock;
