// Frame hooks: separately built libraries that receive every decoded video picture of a task
// before it is encoded and may change it in place. A hook library exports "Process" and may
// export "Configure" and "Release" (C calling convention, signatures below). Libraries are
// loaded once per process, looked up by name without regard to letter case, and never unloaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/binding/av_owners.h"

// The picture handed to "Process": four plane pointers and four line sizes.
struct TFrameHookPicture {
  uint8_t *data[4];
  int linesize[4];
};

using TFrameHookConfigure = int (*)(void **Context, int ArgCount, char *ArgVector[]);
using TFrameHookProcess = void (*)(void *Context, TFrameHookPicture *Picture, int PixFmt, int Width,
                                   int Height, int64_t Pts);
using TFrameHookRelease = void (*)(void *Context);

struct TFrameHookEntry {
  TFrameHookEntry *Next;
  TFrameHookConfigure Configure;
  TFrameHookProcess Process;
  TFrameHookRelease Release;  // null when the library has none
  void *Context;              // the hook's own state, written by Configure
};

// Entries come from av_mallocz and go back with av_free.
using TFrameHookEntryPtr = TAVOwned<TFrameHookEntry>;

// A task's hook list: entries in the order added, plus the owned copies of the command lines
// their argument strings point into (hooks may keep those strings until Release).
class TFrameHooks {
 public:
  TFrameHooks() = default;
  TFrameHooks(const TFrameHooks &) = delete;
  TFrameHooks &operator=(const TFrameHooks &) = delete;
  ~TFrameHooks();

  TFrameHookEntry *First() const { return FEntries.empty() ? nullptr : FEntries.front().get(); }
  bool Empty() const { return FEntries.empty(); }
  int Count() const { return static_cast<int>(FEntries.size()); }

 private:
  friend int AddFrameHook(TFrameHooks &Hooks, int ArgCount, char *Args[]);
  friend void ReleaseFrameHooks(TFrameHooks &Hooks);
  friend void AddFrameHookCommandLine(TFrameHooks &Hooks, const std::string &CommandLine);

  std::vector<TFrameHookEntryPtr> FEntries;
  std::vector<TAVMemoryPtr> FCommandLines;
};

// The most arguments (library name included) one hook command line may have.
constexpr int MaxFrameHookArgs = 64;

// Loads the library named by Args[0] (through the process-wide cache), configures one hook
// from it and appends it to Hooks. Returns 0; -2 without arguments, without "Process", or
// without "Configure" when arguments follow the name; -1 when the library does not load;
// -12 when the entry cannot be allocated; -22 when Configure fails. Every failure is logged.
int AddFrameHook(TFrameHooks &Hooks, int ArgCount, char *Args[]);

// Calls Process of every entry from FirstEntry on, in list order.
void ProcessFrameHooks(TFrameHookEntry *FirstEntry, TFrameHookPicture *Picture, int PixFmt,
                       int Width, int Height, int64_t Pts);

// Calls Release of each entry that has one, frees every entry and the command line copies;
// the list is empty afterwards. The libraries stay loaded.
void ReleaseFrameHooks(TFrameHooks &Hooks);

// The "vhook" option's work: splits a copy of CommandLine at "|" when it contains one, else at
// blanks, and adds the hook. Raises FFMpegException "Failed to add video hook function: " plus
// CommandLine when the hook cannot be added or has more than MaxFrameHookArgs arguments.
void AddFrameHookCommandLine(TFrameHooks &Hooks, const std::string &CommandLine);
