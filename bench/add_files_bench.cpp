// Adds files to the job list the way "Add Files" does, with the main window shown on the
// offscreen platform, and prints how long the adding took and the longest time the event loop
// did not turn meanwhile; beside it the same files probed one by one without a window, as the
// list was once filled. Not a test: `make bench` runs it through bench/add_files.sh.
// Usage: add_files_bench [--runs N] FILE...
// Prints one line: files, rows (the fewest of any run), rows marked "Error", the median add
// time in seconds, the longest pause in milliseconds, the median one-by-one time in seconds.

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/additional_options.h"
#include "app/job_cells.h"
#include "app/main_form.h"
#include "app/settings_store.h"
#include "app/window/application.h"
#include "engine/component/av_probe.h"

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
  return std::chrono::duration<double>(TClock::now() - Start).count();
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

// The open dialog always chooses the bench's files; nothing else is asked.
class TBenchDialogs : public TDialogs {
 public:
  std::vector<std::string> Files;
  TModalResult MessageBox(const std::string &Text, const std::string &, TMsgIcon,
                          TMsgButtons) override {
    std::fprintf(stderr, "add_files_bench: message: %s\n", Text.c_str());
    return TModalResult::No;
  }
  std::vector<std::string> OpenFiles(const std::string &, bool) override { return Files; }
  bool BrowseForFolder(const std::string &, std::string &) override { return false; }
  bool ShowHelp(const std::string &) override { return false; }
  bool OpenWebSite(const std::string &) override { return false; }
};

// Measures the longest pause between two turns of the event loop while it exists.
class TLoopGapMeter {
 public:
  TLoopGapMeter() {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(1);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      const TClock::time_point Now = TClock::now();
      FLongest = std::max(FLongest, Now - FLast);
      FLast = Now;
    });
    FLast = TClock::now();
    FTimer.start();
  }
  // Counts the time since the last turn too: an add that never let the loop run shows it all.
  double LongestMilliseconds() const {
    const auto Longest = std::max(FLongest, TClock::now() - FLast);
    return std::chrono::duration<double, std::milli>(Longest).count();
  }

 private:
  QTimer FTimer;
  TClock::time_point FLast;
  TClock::duration FLongest{};
};

struct TRun {
  double Seconds;
  double LongestGap;
};

TRun AddOnce(TForm1 &Form) {
  TLoopGapMeter Meter;
  const TClock::time_point Start = TClock::now();
  Form.ButtonAddFileClick();
  return {SecondsSince(Start), Meter.LongestMilliseconds()};
}

// The list as it was once filled: one probe, one file after the other, no window.
double ProbeOneByOne(TAVProbe &Probe, const std::vector<std::string> &Files) {
  const TClock::time_point Start = TClock::now();
  for (const std::string &File : Files)
    if (Probe.LoadFile(File, "")) ProbedJobCells(Probe);
  Probe.Close();
  return SecondsSince(Start);
}

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication Application(argc, argv);
  int Runs = 3;
  TBenchDialogs Dialogs;
  for (int Index = 1; Index < argc; ++Index) {
    const std::string Argument = argv[Index];
    if (Argument == "--runs" && Index + 1 < argc)
      Runs = std::max(1, std::atoi(argv[++Index]));
    else
      Dialogs.Files.push_back(Argument);
  }
  if (Dialogs.Files.empty()) {
    std::fputs("usage: add_files_bench [--runs N] FILE...\n", stderr);
    return 2;
  }

  TMemorySettingsStore Settings;
  TApplication Program(Dialogs, Settings);
  if (!Program.Created()) return 1;
  TForm1 &Form = Program.Form1;
  Program.Window->show();
  QCoreApplication::processEvents();

  std::vector<double> Seconds, Gaps;
  int Rows = static_cast<int>(Dialogs.Files.size()), Errors = 0;
  for (int Run = 0; Run < Runs; ++Run) {
    Form.ClearAllItems1Click();
    QCoreApplication::processEvents();
    const TRun Result = AddOnce(Form);
    // The adding worker's end arrives queued; until then a further Add is refused.
    while (Form.Worker1.Runs()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Seconds.push_back(Result.Seconds);
    Gaps.push_back(Result.LongestGap);
    Rows = std::min(Rows, Form.ListView1.Count());
    Errors = 0;
    for (int Row = 0; Row < Form.ListView1.Count(); ++Row)
      if (Form.ListView1.Cell(Row, jcProgress) == "Error") ++Errors;
  }
  std::vector<double> OneByOne;
  for (int Run = 0; Run < Runs; ++Run)
    OneByOne.push_back(ProbeOneByOne(Form.Engine().Probe(), Dialogs.Files));

  std::printf("%zu %d %d %.3f %.1f %.3f\n", Dialogs.Files.size(), Rows, Errors, Median(Seconds),
              *std::max_element(Gaps.begin(), Gaps.end()), Median(OneByOne));
  return Rows == static_cast<int>(Dialogs.Files.size()) ? 0 : 1;
}
