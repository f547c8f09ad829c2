// The commands of tarnwick-cli. Each takes the words after its name and returns the exit
// status; each writes its own usage into the help text.
#pragma once

#include <string>
#include <vector>

#include "text/text_utils.h"  // EscapedCell

class TCustomConvertEngine;
struct TPreset;

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
int RunPresetsCommand(const TCliArguments &Arguments);
extern const char PresetsUsage[];

// The volume bar's position a --volume word gives, or -1 when it gives none.
int VolumePosition(const std::string &Word);
inline constexpr char VolumeWordProblem[] =
    "--volume takes a position of the volume bar, 0 to 10 (5 is 100%)";
// The preset a --preset word names: a presets file that holds one, else one of the user's
// presets by name. Empty when found, else why not.
std::string FindCliPreset(const std::string &Word, TPreset &Preset);
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
