// Expands one library's entry-point list into its function pointers, its lookup table and its
// load, unload and query operations. Used once by each binding module.
#pragma once

#include "av_api.h"
#include "av_bindings.h"

#define TARNWICK_DEFINE_ENTRY_POINT(name) decltype(&::name) name = nullptr;
#define TARNWICK_ENTRY_POINT_ROW(name) TEntryPoint{#name, &av::name},

// File is the library's file name without ".so", Major and Version its headers' version
// macros: the versioned name is the one of the major version the engine was compiled against.
#define TARNWICK_BINDING_MODULE(Name, ENTRY_POINTS, File, VersionFunction, Major, Version)      \
  namespace av {                                                                                \
  ENTRY_POINTS(TARNWICK_DEFINE_ENTRY_POINT)                                                     \
  }                                                                                             \
  namespace {                                                                                   \
  const TEntryPoint Name##EntryPoints[] = {ENTRY_POINTS(TARNWICK_ENTRY_POINT_ROW)};             \
  }                                                                                             \
  TLibraryBinding Name##Binding(File ".so." AV_STRINGIFY(Major), File ".so",                    \
                                TLibraryVersion{#VersionFunction, Version}, Name##EntryPoints); \
  bool Load##Name##Lib(std::string &ErrorText, const std::string &LibraryFolder,                \
                       bool UseVersionedName) {                                                 \
    return Name##Binding.Load(ErrorText, LibraryFolder, UseVersionedName);                      \
  }                                                                                             \
  void Unload##Name##Lib() {                                                                    \
    Name##Binding.Unload();                                                                     \
  }                                                                                             \
  bool Name##LibLoaded() {                                                                      \
    return Name##Binding.Loaded();                                                              \
  }
