// One run-time loaded library: its handle, its binding state and its table of entry points.
// Each binding module (av_codec_hlpr.cpp, ...) owns one of these; the set loader in
// engine/FFMPEG/av_libs.cpp drives them in dependency order.
#pragma once

#include <span>
#include <string>

// One name to look up and the function-pointer variable that receives its address.
struct TEntryPoint {
  const char *Name;
  void *Slot;  // address of a function-pointer variable
};

class TLibraryBinding {
 public:
  TLibraryBinding(const char *VersionedName, const char *PlainName,
                  std::span<const TEntryPoint> EntryPoints);

  // Loads the library unless loaded and looks up its entry points unless bound. A file of
  // that name in LibraryFolder wins over the system loader's search. False with the text
  // in ErrorText (and LastError) when the file does not load or a name is missing.
  bool Load(std::string &ErrorText, const std::string &LibraryFolder, bool UseVersionedName);
  // Frees the library; the function pointers keep their old values, as a caller that
  // still holds one would find them.
  void Unload();

  bool Loaded() const { return Bound; }
  const char *FileName() const { return UseVersionedName ? VersionedName : PlainName; }

  void *Handle = nullptr;
  bool Bound = false;
  bool UseVersionedName = true;
  std::string LastError;

 private:
  const char *VersionedName;
  const char *PlainName;
  std::span<const TEntryPoint> EntryPoints;
};
