// The set loader. Order matters: each library is loaded after the ones it depends on, so a
// library folder's copies are the ones the later libraries bind to.

#include "av_libs.h"

#include <cfenv>

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

bool Loaded = false;
std::string LoadError;
// The floating-point environment from before the libraries were loaded.
std::fenv_t SavedEnvironment;

}  // namespace

bool LoadAVLibs(const std::string &LibraryFolder, bool UseVersionedNames) {
  if (Loaded) return true;
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
    UnloadAVLibs();
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

void UnloadAVLibs() {
  if (Loaded) std::fesetenv(&SavedEnvironment);
  Loaded = false;
  for (auto Step = std::rbegin(LoadOrder); Step != std::rend(LoadOrder); ++Step) Step->Unload();
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
