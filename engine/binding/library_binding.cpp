// Loading one library with dlopen and binding its entry points with dlsym.

#include "library_binding.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

#include "text/format_text.h"

namespace {

static_assert(sizeof(void *) == sizeof(void (*)()), "function pointers must fit a void*");

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The libraries keep some allocations for the life of the process; once unmapped, the leak
// checker can no longer see them referenced, and the thread sanitizer cannot name the library
// frames of stacks it recorded earlier. Sanitizer builds keep unloaded libraries mapped.
constexpr int LoadFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
#else
constexpr int LoadFlags = RTLD_NOW | RTLD_LOCAL;
#endif

std::string LoaderError() {
  const char *Text = dlerror();
  return Text ? Text : "unknown error";
}

}  // namespace

TLibraryBinding::TLibraryBinding(const char *VersionedName, const char *PlainName,
                                 std::span<const TEntryPoint> EntryPoints)
    : VersionedName(VersionedName), PlainName(PlainName), EntryPoints(EntryPoints) {}

bool TLibraryBinding::Load(std::string &ErrorText, const std::string &LibraryFolder,
                           bool UseVersioned) {
  UseVersionedName = UseVersioned;
  const char *Name = FileName();
  if (!Handle) {
    // A copy in the folder is taken when it exists, and only then: falling back to the
    // system's copy after a broken one would mix two builds in one process.
    std::string Path = Name;
    if (!LibraryFolder.empty()) {
      std::filesystem::path Candidate = std::filesystem::path(LibraryFolder) / Name;
      std::error_code Ignored;
      if (std::filesystem::exists(Candidate, Ignored)) Path = Candidate.string();
    }
    dlerror();
    Handle = dlopen(Path.c_str(), LoadFlags);
    if (!Handle) {
      LastError = FormatText("Load libraray %s error: %s", Name, LoaderError().c_str());
      ErrorText = LastError;
      return false;
    }
  }
  if (!Bound) {
    for (const TEntryPoint &Entry : EntryPoints) {
      dlerror();
      void *Address = dlsym(Handle, Entry.Name);
      if (!Address) {
        LastError =
            FormatText("Load function %s@%s error: %s", Entry.Name, Name, LoaderError().c_str());
        ErrorText = LastError;
        return false;
      }
      std::memcpy(Entry.Slot, &Address, sizeof Address);
    }
    Bound = true;
  }
  return true;
}

void TLibraryBinding::Unload() {
  // A pointer left behind would call into unmapped code; cleared, a stray call fails at once.
  for (const TEntryPoint &Entry : EntryPoints) std::memset(Entry.Slot, 0, sizeof(void *));
  if (Handle) {
    dlclose(Handle);
    Handle = nullptr;
    Bound = false;
  }
}
