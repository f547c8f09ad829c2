// TForm1: adding files to the job list, from the open dialog or dropped; a folder adds the media
// files in it and its subfolders (folder_files.h). The files are probed on threads of their own
// (TFileProbes) while this thread appends their rows in the chosen order, a batch at a time, and
// keeps the event loop turning in between.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <unordered_set>

#include "app/additional_options.h"
#include "app/file_probes.h"
#include "app/folder_files.h"
#include "app/job_cells.h"
#include "app/job_rules.h"
#include "app/main_form.h"

namespace {

// Rows reach the list at most this often while files are being probed: each batch costs the
// view a layout and a repaint, whatever its size.
constexpr std::chrono::milliseconds RowBatchInterval(50);

// Lets a probing thread end this thread's wait for events; without an event loop there is
// nothing to wake.
std::function<void()> EventLoopWaker() {
  QAbstractEventDispatcher *Dispatcher =
      QAbstractEventDispatcher::instance(QThread::currentThread());
  if (Dispatcher == nullptr || QCoreApplication::instance() == nullptr) return nullptr;
  return [Dispatcher] { Dispatcher->wakeUp(); };
}

}  // namespace

void TForm1::ButtonAddFileClick() {
  AddFilesClick(nullptr);
}

void TForm1::FilesDropped(const std::vector<std::string> &Files) {
  AddFilesClick(&Files);
}

void TForm1::AddFilesClick(const std::vector<std::string> *Files) {
  // A drop or a second Add while adding would end the first adding's guard early.
  if (Busy()) return;
  FEngine.ClearTasks();
  ClearProgressCells(true);
  FAddingFiles = true;
  FStopAdding = false;
  try {
    if (Files)
      AddFilesToList(*Files);
    else
      Worker1.Start();
  } catch (...) {
    // An error ends the adding; the rows added so far stay.
  }
  FAddingFiles = false;
}

void TForm1::Worker1Start() {
  AddFilesToList();
}

void TForm1::AddFilesToList() {
  if (Form4 == nullptr) {
    AddFilesToList(Dialogs.OpenFiles(OpenDialogFilter, true));
    return;
  }
  // The dialog opens where it was left, with the filter it was left with.
  TOpenDialogMemory Memory = ReadOpenDialogMemory(Form4->SettingsStore());
  const std::vector<std::string> Files = Dialogs.OpenFiles(OpenDialogFilter, true, Memory);
  if (!Files.empty()) WriteOpenDialogMemory(Form4->SettingsStore(), Memory);
  AddFilesToList(Files);
}

void TForm1::AddFilesToList(const std::vector<std::string> &Files) {
  int Skipped = 0;
  std::vector<TListedFile> Chosen;
  std::vector<std::string> Names;
  // A second row for the same file would only convert it twice.
  std::unordered_set<std::string> Listed;
  if (SkipListedFiles)
    for (int Row = 0; Row < ListView1.Count(); ++Row) Listed.insert(ListView1.Row(Row).Caption);
  // A folder brings its media files.
  for (TListedFile &File : ListedFiles(Files)) {
    if (SkipListedFiles && !Listed.insert(File.File).second) {
      ++Skipped;
    } else {
      Names.push_back(File.File);
      Chosen.push_back(std::move(File));
    }
  }
  try {
    TFileProbes Probes(Names);
    const std::function<void()> Wake = EventLoopWaker();
    Probes.Start(0, Wake);
    size_t Added = 0;
    // Remove and Clear wait for the adding: the first new row keeps its place.
    const int FirstAdded = ListView1.Count();
    bool Raised = false;
    auto NextBatch = std::chrono::steady_clock::now();
    while (!Raised && !FStopAdding && Added < Chosen.size()) {
      // Stay responsive; FAddingFiles keeps Convert, Remove and Clear away.
      if (Wake)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      else
        Probes.WaitForNext();
      if (FStopAdding) break;
      // Every result wakes this thread, the last one too: waiting for the next batch's time
      // cannot leave rows behind.
      const auto Now = std::chrono::steady_clock::now();
      if (Wake && Now < NextBatch && !Probes.Finished()) continue;
      NextBatch = Now + RowBatchInterval;
      std::vector<TJobRow> Rows;
      for (TProbedFile &Probed : Probes.TakeReady()) {
        if (Probed.Outcome == TProbeOutcome::Raised) {
          Raised = true;
          break;
        }
        Rows.push_back(JobRow(Chosen[Added].File, Probed));
        Rows.back().SubFolder = Chosen[Added++].SubFolder;
      }
      if (Rows.empty()) continue;
      ListView1.Add(std::move(Rows));
      ListView1.MakeVisible(FirstAdded, true);
    }
  } catch (...) {
    // An error ends the adding silently; the rows added so far stay.
  }
  FAddingFiles = false;
  SetStatusPanel(0, SkippedFilesNote(Skipped));
}

TJobRow TForm1::JobRow(const std::string &FileName, const TProbedFile &Probed) const {
  return ProbedJobRow(FileName, Probed, FOutputType);
}
