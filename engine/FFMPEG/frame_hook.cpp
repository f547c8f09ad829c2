// Frame-hook loading, configuring, running and releasing, and the process-wide library cache.

#include "engine/FFMPEG/frame_hook.h"

#include <dlfcn.h>
#include <strings.h>

#include <cstring>
#include <mutex>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/binding/av_api.h"

namespace {

struct THookLibrary {
  std::string Name;  // as written in the command line
  void *Handle;
};

// Process-wide and never unloaded: a later hook naming a library again, in any letter case and
// in any task, reuses the handle.
class THookLibraryCache {
 public:
  // The cached handle for Name, or the newly loaded one; null (with the loader's text in
  // Error) when the library does not load.
  void *Find(const char *Name, std::string &Error) {
    std::lock_guard Lock(FMutex);
    for (const THookLibrary &Library : FLibraries)
      if (strcasecmp(Library.Name.c_str(), Name) == 0) return Library.Handle;
    dlerror();
    void *Handle = dlopen(Name, RTLD_NOW | RTLD_LOCAL);
    if (!Handle) {
      const char *Text = dlerror();
      Error = Text ? Text : "";
      return nullptr;
    }
    FLibraries.push_back({Name, Handle});
    return Handle;
  }

 private:
  std::mutex FMutex;
  std::vector<THookLibrary> FLibraries;
};

THookLibraryCache &LibraryCache() {
  static THookLibraryCache Cache;
  return Cache;
}

template <typename TFunction>
TFunction EntryPoint(void *Handle, const char *Name) {
  return reinterpret_cast<TFunction>(dlsym(Handle, Name));
}

// Splits Text in place the way the C runtime's strtok does: runs of Separator are skipped,
// every token is terminated in place.
std::vector<char *> SplitInPlace(char *Text, const char *Separator) {
  std::vector<char *> Tokens;
  char *Position = nullptr;
  for (char *Token = strtok_r(Text, Separator, &Position); Token;
       Token = strtok_r(nullptr, Separator, &Position))
    Tokens.push_back(Token);
  return Tokens;
}

}  // namespace

TFrameHooks::~TFrameHooks() {
  ReleaseFrameHooks(*this);
}

int AddFrameHook(TFrameHooks &Hooks, int ArgCount, char *Args[]) {
  if (ArgCount < 1) return -2;
  const char *Name = Args[0];
  std::string Error;
  void *Library = LibraryCache().Find(Name, Error);
  if (!Library) {
    av::av_log(nullptr, AV_LOG_ERROR, "%s\n", Error.c_str());
    return -1;
  }
  // Room first, so an entry that Configure has set up can always be appended.
  Hooks.FEntries.reserve(Hooks.FEntries.size() + 1);
  TFrameHookEntryPtr Entry(static_cast<TFrameHookEntry *>(av::av_mallocz(sizeof(TFrameHookEntry))));
  if (!Entry) return -12;
  Entry->Configure = EntryPoint<TFrameHookConfigure>(Library, "Configure");
  Entry->Process = EntryPoint<TFrameHookProcess>(Library, "Process");
  Entry->Release = EntryPoint<TFrameHookRelease>(Library, "Release");
  if (!Entry->Process) {
    av::av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n", Name);
    return -2;
  }
  if (!Entry->Configure && ArgCount > 1) {
    av::av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n", Name);
    return -2;
  }
  if (Entry->Configure && Entry->Configure(&Entry->Context, ArgCount, Args) != 0) {
    av::av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", Name);
    return -22;
  }
  if (!Hooks.FEntries.empty()) Hooks.FEntries.back()->Next = Entry.get();
  Hooks.FEntries.push_back(std::move(Entry));
  return 0;
}

void ProcessFrameHooks(TFrameHookEntry *FirstEntry, TFrameHookPicture *Picture, int PixFmt,
                       int Width, int Height, int64_t Pts) {
  for (TFrameHookEntry *Entry = FirstEntry; Entry; Entry = Entry->Next)
    Entry->Process(Entry->Context, Picture, PixFmt, Width, Height, Pts);
}

void ReleaseFrameHooks(TFrameHooks &Hooks) {
  for (TFrameHookEntryPtr &Entry : Hooks.FEntries) {
    if (Entry->Release) Entry->Release(Entry->Context);
    Entry.reset();
  }
  Hooks.FEntries.clear();
  // Only now: a hook may use its argument strings until its Release.
  Hooks.FCommandLines.clear();
}

void AddFrameHookCommandLine(TFrameHooks &Hooks, const std::string &CommandLine) {
  const std::string Failure = "Failed to add video hook function: " + CommandLine;
  TAVMemoryPtr Copy(av::av_strdup(CommandLine.c_str()));
  if (!Copy) throw FFMpegException(Failure);
  const char *Separator = CommandLine.find('|') != std::string::npos ? "|" : " ";
  std::vector<char *> Args = SplitInPlace(static_cast<char *>(Copy.get()), Separator);
  if (Args.size() > static_cast<size_t>(MaxFrameHookArgs)) {
    av::av_log(nullptr, AV_LOG_ERROR, "Too many arguments (more than %d) for %s\n",
               MaxFrameHookArgs, Args[0]);
    throw FFMpegException(Failure);
  }
  const int ArgCount = static_cast<int>(Args.size());
  Args.push_back(nullptr);  // argv[argc] is null, as a C program's is
  Hooks.FCommandLines.push_back(std::move(Copy));
  if (AddFrameHook(Hooks, ArgCount, Args.data()) != 0) {
    Hooks.FCommandLines.pop_back();
    throw FFMpegException(Failure);
  }
}
