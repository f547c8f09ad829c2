// The window's list journaled as the user works: a snapshot of the list and its settings
// written to the user's state folder whenever rows are added, removed or ticked (once per
// turn of the event loop however many changed) and at once when a row starts or ends. The
// next start finds it when the program did not close normally, and offers the list back.
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/batch_journal.h"

class QObject;

// $XDG_STATE_HOME/tarnwick/batch-journal.json, else ~/.local/state/tarnwick/batch-journal.json.
std::string WindowJournalPath();

class TListJournal {
 public:
  TListJournal();
  ~TListJournal();

  // What is written: the list and its settings as they stand.
  std::function<TBatchJournal()> OnSnapshot;
  // A write failed, with the system's reason; told once until a write succeeds again.
  std::function<void(const std::string &Error)> OnError;

  // Where; empty (the default) journals nothing.
  std::string File;

  // Written once the event loop is back.
  void Touch();
  // Written now.
  void Write();
  // The program closes normally: nothing is left to restore.
  void Remove();

 private:
  std::unique_ptr<QObject> FContext;  // owns the queued write
  bool FQueued = false;
  bool FFailed = false;
};
