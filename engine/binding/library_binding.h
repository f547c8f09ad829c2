// One run-time loaded library: its handle, its binding state and its table of entry points.
// Each binding module (av_codec_hlpr.cpp, ...) owns one of these; the set loader in
// engine/FFMPEG/av_libs.cpp drives them in dependency order.
#pragma once

#include <span>
#include <string>

// "57.28.100" for a version packed as the libraries pack it (AV_VERSION_INT).
std::string LibraryVersionText(unsigned Version);

// One name to look up and the function-pointer variable that receives its address.
struct TEntryPoint {
  const char *Name;
  void *Slot;  // address of a function-pointer variable
};

// What a library was built as: the name of its version function (avcodec_version, ...) and
// the version of the headers the engine was compiled with (LIBAVCODEC_VERSION_INT, ...).
struct TLibraryVersion {
  const char *Function;
  unsigned Compiled;
};

class TLibraryBinding {
 public:
  TLibraryBinding(const char *VersionedName, const char *PlainName, TLibraryVersion Version,
                  std::span<const TEntryPoint> EntryPoints);

  // Loads the library unless loaded and looks up its entry points unless bound. A file of
  // that name in LibraryFolder wins over the system loader's search. The library must say it
  // is the compiled major version, of the compiled minor version or later: the engine's
  // structures are laid out as that version's headers say. False with the text in ErrorText
  // (and LastError) when the file does not load, is another version or a name is missing.
  bool Load(std::string &ErrorText, const std::string &LibraryFolder, bool UseVersionedName);
  // Frees the library; the function pointers keep their old values, as a caller that
  // still holds one would find them.
  void Unload();

  bool Loaded() const { return Bound; }
  const char *FileName() const { return UseVersionedName ? VersionedName : PlainName; }
  // The name of the major version the engine was compiled against (libavcodec.so.59, ...).
  const char *VersionedFileName() const { return VersionedName; }

  void *Handle = nullptr;
  bool Bound = false;
  bool UseVersionedName = true;
  std::string LastError;

 private:
  const char *VersionedName;
  const char *PlainName;
  TLibraryVersion Version;
  std::span<const TEntryPoint> EntryPoints;
};
