// The five library binding modules: load, unload and query for each media library.
// Load returns true when the library is loaded and all its entry points are bound; on failure
// ErrorText receives the library's LastError ("Load libraray ..." or "Load function ...").
// The binding state is process-wide and unsynchronised: load before any task runs.
#pragma once

#include <string>

#include "library_binding.h"

extern TLibraryBinding AVUtilBinding;
extern TLibraryBinding SwResampleBinding;
extern TLibraryBinding SwScaleBinding;
extern TLibraryBinding AVCodecBinding;
extern TLibraryBinding AVFormatBinding;

bool LoadAVUtilLib(std::string &ErrorText, const std::string &LibraryFolder, bool UseVersionedName);
void UnloadAVUtilLib();
bool AVUtilLibLoaded();

bool LoadSwResampleLib(std::string &ErrorText, const std::string &LibraryFolder,
                       bool UseVersionedName);
void UnloadSwResampleLib();
bool SwResampleLibLoaded();

bool LoadSwScaleLib(std::string &ErrorText, const std::string &LibraryFolder,
                    bool UseVersionedName);
void UnloadSwScaleLib();
bool SwScaleLibLoaded();

bool LoadAVCodecLib(std::string &ErrorText, const std::string &LibraryFolder,
                    bool UseVersionedName);
void UnloadAVCodecLib();
bool AVCodecLibLoaded();

bool LoadAVFormatLib(std::string &ErrorText, const std::string &LibraryFolder,
                     bool UseVersionedName);
void UnloadAVFormatLib();
bool AVFormatLibLoaded();
