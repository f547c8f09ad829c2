// The commands of tarnwick-cli. Each takes the words after its name and returns the exit
// status; each writes its own usage into the help text.
#pragma once

#include <string>
#include <vector>

#include "text/text_utils.h"  // EscapedCell

class TCustomConvertEngine;

using TCliArguments = std::vector<std::string>;

struct TCliCommand {
  const char *Name;
  const char *Usage;  // one or more lines for --help
  int (*Run)(const TCliArguments &Arguments);
};

int RunProbeCommand(const TCliArguments &Arguments);
int RunFormatsCommand(const TCliArguments &Arguments);
int RunProfileCommand(const TCliArguments &Arguments);
int RunEngineCommand(const TCliArguments &Arguments);
int RunConvertCommand(const TCliArguments &Arguments);
int RunSubmitCommand(const TCliArguments &Arguments);
int RunCollectCommand(const TCliArguments &Arguments);
int RunElementCommand(const TCliArguments &Arguments);
extern const char SubmitUsage[];
extern const char CollectUsage[];
extern const char ElementUsage[];

// Loads the media libraries through Engine as the application does. On failure prints the
// reason to stderr and returns false.
bool LoadLibrariesForCli(TCustomConvertEngine &Engine);

// Exit status of a command whose libraries failed to load.
constexpr int ExitLibraryLoadFailed = 2;
