#include "app/list_summary.h"

#include <cstdio>

#include "app/job_cells.h"
#include "app/job_list.h"

namespace {

// The seconds of a "Duration" cell ("01:02:03"); -1 when it holds no time ("Unknown", an
// unreadable file's empty cell).
long long CellSeconds(const std::string &Cell) {
  long long Hours = 0;
  int Minutes = 0, Seconds = 0, Used = 0;
  if (std::sscanf(Cell.c_str(), "%lld:%d:%d%n", &Hours, &Minutes, &Seconds, &Used) != 3 ||
      Used != static_cast<int>(Cell.size()))
    return -1;
  return (Hours * 60 + Minutes) * 60 + Seconds;
}

}  // namespace

std::string ListedFilesNote(const TJobList &Rows) {
  if (Rows.Count() == 0) return {};
  long long Total = 0;
  int Unknown = 0;
  for (int Row = 0; Row < Rows.Count(); ++Row) {
    const long long Seconds = CellSeconds(Rows.Cell(Row, jcDuration));
    if (Seconds < 0)
      ++Unknown;
    else
      Total += Seconds;
  }
  std::string Note = std::to_string(Rows.Count()) + (Rows.Count() == 1 ? " file" : " files") +
                     " listed, " + FormatDuration(static_cast<double>(Total), ':') + " in all";
  if (Unknown > 0) Note += ", " + std::to_string(Unknown) + " of unknown length";
  return Note;
}
