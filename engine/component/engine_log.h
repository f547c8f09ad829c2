// The media libraries' log as lines: one process-wide callback assembles the pieces each
// thread logs into whole lines, prefixes them with the logging object, and hands each line to
// every registered engine component. Lock order: registry, a component's FLock, line buffers.
#pragma once

#include <string>
#include <thread>

class TCustomConvertEngine;

void RegisterComponent(TCustomConvertEngine *Component);
void UnregisterComponent(TCustomConvertEngine *Component);
// Installs the callback in the libraries (after they are loaded).
void InstallEngineLogCallback();
// Drops every thread's unfinished line.
void ClearLogLines();
// The libraries' level (their own scale) on the engine's scale 0..3.
int EngineLevelOfLibraryLevel(int LibraryLevel);
// The callback's work after the level filter, for one message already formatted; Object is
// the logging library object or null. Exposed for the tests.
void AssembleLogText(void *Object, int LibraryLevel, const std::string &Message);
