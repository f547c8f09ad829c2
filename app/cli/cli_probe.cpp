// tarnwick-cli probe: the job-row cells of each file, as the job list would show them.

#include <cstdio>

#include "app/job_cells.h"
#include "cli_commands.h"
#include "engine/component/convert_engine.h"

namespace {

// The reason on one line and in one cell, so every file stays one row of output. It may
// quote the file name, so its tabs and backslashes are escaped like the name's.
std::string OneLine(const std::string &Text) {
  std::string Joined;
  for (char C : Text)
    if (C != '\r') Joined += C == '\n' ? ' ' : C;
  return EscapedCell(Joined);
}

}  // namespace

int RunProbeCommand(const TCliArguments &Arguments) {
  if (Arguments.empty()) {
    std::fputs("tarnwick-cli probe: no file given (see tarnwick-cli --help)\n", stderr);
    return 1;
  }
  TConvertEngine Engine;
  if (!LoadLibrariesForCli(Engine)) return ExitLibraryLoadFailed;
  // The library's own diagnostics would interleave with the table; the reason is printed.
  Engine.SetLogLevel(TLogLevel::llQuiet);
  TAVProbe &Probe = Engine.Probe();
  int Status = 0;
  for (const std::string &FileName : Arguments) {
    if (!Probe.LoadFile(FileName, "")) {
      std::printf("%s\tError\t%s\n", EscapedCell(FileName).c_str(),
                  OneLine(Probe.LastError()).c_str());
      Status = 1;
      continue;
    }
    const TJobCells Cells = ProbedJobCells(Probe);
    std::printf("%s\t%s\t%s\t%s\n", EscapedCell(FileName).c_str(), Cells.VideoSize.c_str(),
                Cells.FrameRate.c_str(), Cells.Duration.c_str());
  }
  return Status;
}
