// The window's list journal: queued and immediate writes of the snapshot.

#include "app/list_journal.h"

#include <QObject>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

std::string WindowJournalPath() {
  const char *State = std::getenv("XDG_STATE_HOME");
  std::filesystem::path Folder;
  if (State != nullptr && *State == '/') {
    Folder = State;
  } else {
    const char *Home = std::getenv("HOME");
    if (Home == nullptr || *Home == '\0') return {};
    Folder = std::filesystem::path(Home) / ".local" / "state";
  }
  return (Folder / "tarnwick" / "batch-journal.json").string();
}

TListJournal::TListJournal() : FContext(std::make_unique<QObject>()) {}

TListJournal::~TListJournal() = default;

void TListJournal::Touch() {
  if (File.empty() || FQueued) return;
  FQueued = true;
  QTimer::singleShot(0, FContext.get(), [this] {
    if (FQueued) Write();
  });
}

void TListJournal::Write() {
  FQueued = false;
  if (File.empty() || !OnSnapshot) return;
  std::string Error;
  if (WriteBatchJournal(File, OnSnapshot(), Error)) {
    FFailed = false;
  } else if (!FFailed) {
    FFailed = true;
    if (OnError) OnError(Error);
  }
}

void TListJournal::Remove() {
  FQueued = false;
  if (File.empty()) return;
  std::error_code Ignored;
  std::filesystem::remove(File, Ignored);
}
