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

// A library of another major version has other structure layouts; an older minor version
// may lack what the headers promise. Empty when the loaded one will do.
std::string VersionMismatch(const std::string &File, unsigned Found, unsigned Compiled) {
  const unsigned Major = Compiled >> 16, Minor = (Compiled >> 8) & 0xff;
  if (Found >> 16 == Major && ((Found >> 8) & 0xff) >= Minor) return "";
  return FormatText("%s is version %s, Tarnwick was built for %s (%u.%u or a later %u.x)",
                    File.c_str(), LibraryVersionText(Found).c_str(),
                    LibraryVersionText(Compiled).c_str(), Major, Minor, Major);
}

// The file the loader took for Address, which the name alone does not tell.
std::string FileOf(void *Address, const std::string &Fallback) {
  Dl_info Info{};
  return dladdr(Address, &Info) && Info.dli_fname ? Info.dli_fname : Fallback;
}

}  // namespace

std::string LibraryVersionText(unsigned Version) {
  return FormatText("%u.%u.%u", Version >> 16, (Version >> 8) & 0xff, Version & 0xff);
}

TLibraryBinding::TLibraryBinding(const char *VersionedName, const char *PlainName,
                                 TLibraryVersion Version, std::span<const TEntryPoint> EntryPoints)
    : VersionedName(VersionedName),
      PlainName(PlainName),
      Version(Version),
      EntryPoints(EntryPoints) {}

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
    // Checked before any other name is looked up: a library of another version may lack them,
    // and its version is the reason worth telling.
    dlerror();
    void *Address = dlsym(Handle, Version.Function);
    std::string Mismatch;
    if (!Address) {
      Mismatch = FormatText("Load function %s@%s error: %s", Version.Function, Name,
                            LoaderError().c_str());
    } else {
      unsigned (*VersionOf)() = nullptr;
      std::memcpy(&VersionOf, &Address, sizeof Address);
      Mismatch = VersionMismatch(FileOf(Address, Path), VersionOf(), Version.Compiled);
      if (!Mismatch.empty())
        Mismatch = FormatText("Load libraray %s error: %s", Name, Mismatch.c_str());
    }
    if (!Mismatch.empty()) {
      dlclose(Handle);
      Handle = nullptr;
      LastError = Mismatch;
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
