// The set loader. Order matters: each library is loaded after the ones it depends on, so a
// library folder's copies are the ones the later libraries bind to.

#include "av_libs.h"

#include <malloc.h>

#include <algorithm>
#include <cfenv>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/binding/av_api.h"
#include "engine/binding/av_bindings.h"

std::atomic<int> AVLogLevel{AV_LOG_INFO};
std::mutex CodecOpenLock;

namespace {

using TLoadFunction = bool (*)(std::string &, const std::string &, bool);
using TUnloadFunction = void (*)();

struct TLibraryStep {
  TLoadFunction Load;
  TUnloadFunction Unload;
};

constexpr TLibraryStep LoadOrder[] = {
    {LoadAVUtilLib, UnloadAVUtilLib},     {LoadSwResampleLib, UnloadSwResampleLib},
    {LoadSwScaleLib, UnloadSwScaleLib},   {LoadAVCodecLib, UnloadAVCodecLib},
    {LoadAVFormatLib, UnloadAVFormatLib},
};

// Written under StateLock; read without it by AVLibsLoaded on any thread.
std::atomic<bool> Loaded{false};
// Holders and a deferred unload; the mutex also serialises loading and unloading.
std::mutex StateLock;
int Holders = 0;
bool UnloadPending = false;
std::string LoadError;
// The floating-point environment from before the libraries were loaded.
std::fenv_t SavedEnvironment;

void UnloadLocked();

// glibc gives each new thread an arena of its own, up to eight per core, and keeps what is
// freed there. Every task runs on a new thread, so a long batch would collect arenas; one per
// core is enough for the codecs' own threads. A limit the user set stays.
void LimitAllocatorArenas() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    const char *Tunables = std::getenv("GLIBC_TUNABLES");
    if (std::getenv("MALLOC_ARENA_MAX") || (Tunables && std::strstr(Tunables, "arena_max"))) return;
    mallopt(M_ARENA_MAX, static_cast<int>(std::max(2u, std::thread::hardware_concurrency())));
  });
}

}  // namespace

bool LoadAVLibs(const std::string &LibraryFolder, bool UseVersionedNames) {
  std::lock_guard Lock(StateLock);
  UnloadPending = false;
  if (Loaded) return true;
  LimitAllocatorArenas();
  LoadError.clear();
  bool AllLoaded = true;
  for (const TLibraryStep &Step : LoadOrder) {
    std::string ErrorText;
    if (!Step.Load(ErrorText, LibraryFolder, UseVersionedNames)) {
      LoadError = ErrorText;
      AllLoaded = false;
      break;
    }
  }
  if (!AllLoaded) {
    UnloadLocked();
    return false;
  }
  // The libraries expect every floating-point exception masked; keep the caller's
  // environment to restore on unload.
  std::fenv_t Held;
  std::fegetenv(&SavedEnvironment);
  std::feholdexcept(&Held);
  Loaded = true;
  RefreshAVLogLevel();
  return true;
}

namespace {
void UnloadLocked() {
  if (Loaded) std::fesetenv(&SavedEnvironment);
  Loaded = false;
  UnloadPending = false;
  for (auto Step = std::rbegin(LoadOrder); Step != std::rend(LoadOrder); ++Step) Step->Unload();
}
}  // namespace

bool UnloadAVLibs() {
  std::lock_guard Lock(StateLock);
  if (Holders > 0) {
    UnloadPending = true;
    return false;
  }
  UnloadLocked();
  return true;
}

TAVLibsHold::TAVLibsHold() {
  std::lock_guard Lock(StateLock);
  ++Holders;
}

TAVLibsHold::~TAVLibsHold() {
  std::lock_guard Lock(StateLock);
  if (--Holders == 0 && UnloadPending) UnloadLocked();
}

int AVLibsHolderCount() {
  std::lock_guard Lock(StateLock);
  return Holders;
}

bool AVLibsLoaded() {
  return Loaded;
}

const std::string &AVLibsLoadError() {
  return LoadError;
}

void RefreshAVLogLevel() {
  if (AVUtilLibLoaded()) AVLogLevel = av::av_log_get_level();
}
