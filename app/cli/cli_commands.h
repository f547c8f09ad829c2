// The commands of tarnwick-cli. Each takes the words after its name and returns the exit
// status; each writes its own usage into the help text.
#pragma once

#include <string>
#include <vector>

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
extern const char SubmitUsage[];
extern const char CollectUsage[];

// Loads the media libraries as the application does. On failure prints AVLibsLoadError to
// stderr and returns false.
bool LoadLibrariesForCli();

// Text for one cell of a tab-separated row: tab, line feed, carriage return and the backslash
// itself become \t, \n, \r and \\, so a file name with them stays one cell of one row.
std::string EscapedCell(const std::string &Text);

// Exit status of a command whose libraries failed to load.
constexpr int ExitLibraryLoadFailed = 2;
