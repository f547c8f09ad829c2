// The batch journal: the job list (files, ticks, each row's state and output) and the settings
// a batch converts with, kept in a small JSON file so that a batch killed or crashed can be
// picked up again. Written whole each time, to a temporary file that is synced and renamed over
// the last copy, so a crash in the middle of a write leaves the last good copy in place. A
// journal that cannot be read (cut off, of an unknown version) is set aside, never trusted.
//
// Format (version 1):
//   {"journal": "tarnwick batch", "version": 1, "entry": "<format list item>",
//    "picks": {"<settings list>": "<selected text>", ...}, "output_folder": "...",
//    "overwrite": false, "copy_streams": true, "volume": 5,
//    "rows": [{"file": "...", "checked": true, "state": "Done", "output": "...",
//              "video_size": "320x240", "frame_rate": "25", "duration": "00:00:02",
//              "sub_folder": ""}, ...]}
// where a row's state is "Waiting", "Converting", "Done", "Fail" or "Abort", its output the
// file its conversion writes (known from its start on), the next three its probed cells, so
// that a restored list needs no probing, and the last the subfolder of an added folder it was
// found in. Main thread only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/job_rules.h"

class TJobList;

inline constexpr int BatchJournalVersion = 1;

struct TJournalRow {
  std::string File;
  bool Checked = true;
  std::string State = "Waiting";
  std::string Output;
  std::string VideoSize, FrameRate, Duration;
  // The subfolder it was found in under an added folder; empty for a file given itself.
  std::string SubFolder;
};

struct TBatchJournal {
  std::string Entry;
  std::vector<std::pair<std::string, std::string>> Picks;
  std::string OutputFolder;
  bool Overwrite = false;
  bool CopyStreams = true;
  int Volume = HundredPercentStep;
  std::vector<TJournalRow> Rows;
};

// The journal's rows from the job list: a row's "Progress" cell gives its state ("37%" and a
// row just set up are "Converting"), its output the file it writes.
std::vector<TJournalRow> JournalRows(const TJobList &Rows);

// Writes the journal over Path's last copy; false with the system's reason otherwise, the last
// copy kept.
bool WriteBatchJournal(const std::string &Path, const TBatchJournal &Journal, std::string &Error);

enum class TJournalOutcome {
  Missing,   // no journal at Path
  Read,      // Journal holds it
  SetAside,  // unreadable or of another version: moved aside, Message says where and why
};

struct TJournalRead {
  TJournalOutcome Outcome = TJournalOutcome::Missing;
  TBatchJournal Journal;
  std::string Message;
};

TJournalRead ReadBatchJournal(const std::string &Path);

// A row of an earlier run counts as converted when its journal says "Done" and its output is
// still there, or when it was converting into a file that did not exist before (overwrite off)
// and now does: the run was killed between the output's final move and the journal's write.
bool JournalRowConverted(const TJournalRow &Row, bool Overwrite);
