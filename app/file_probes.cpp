// The job list's probing threads: each takes the next file not yet begun, probes it with its
// own TAVProbe and files the result under the file's position.

#include "app/file_probes.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "app/job_rules.h"
#include "engine/component/av_probe.h"

namespace {

constexpr int ProbeNiceIncrement = 5;
constexpr unsigned MaxProbeThreads = 8;

}  // namespace

TFileProbes::TFileProbes(std::vector<std::string> Files)
    : FFiles(std::move(Files)), FResults(FFiles.size()) {}

TFileProbes::~TFileProbes() {
  FStopping = true;
  for (std::thread &Thread : FThreads) Thread.join();
}

unsigned TFileProbes::DefaultThreadCount(size_t Files) {
  // Past a few threads the disk, not the processor, sets the pace.
  // The cores this process may use, like the conversions: a pinned process gets no more.
  const unsigned Cores = std::clamp(static_cast<unsigned>(ProcessorCount()), 1u, MaxProbeThreads);
  return static_cast<unsigned>(std::min<size_t>(Cores, std::max<size_t>(Files, 1)));
}

void TFileProbes::Start(unsigned Threads, std::function<void()> OnProbed) {
  FOnProbed = std::move(OnProbed);
  if (Threads == 0) Threads = DefaultThreadCount(FFiles.size());
  for (unsigned Index = 0; Index < Threads; ++Index) {
    ++FRunningThreads;
    try {
      FThreads.emplace_back([this] { Probe(); });
    } catch (...) {
      --FRunningThreads;
      throw;
    }
  }
}

void TFileProbes::Probe() {
  // A little below the thread that started it, so that the window's clicks and painting get
  // the processor first; a thread's nice value is its own on Linux.
  const int Nice = std::min(getpriority(PRIO_PROCESS, 0) + ProbeNiceIncrement, 19);
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), Nice);
  TAVProbe Probe;
  while (!FStopping) {
    const size_t Index = FNextFile++;
    if (Index >= FFiles.size()) break;
    TProbedFile Result;
    try {
      if (Probe.LoadFile(FFiles[Index], "")) {
        Result.Outcome = TProbeOutcome::Readable;
        Result.Cells = ProbedJobCells(Probe);
      } else {
        Result.Outcome = TProbeOutcome::Unreadable;
      }
    } catch (...) {
      Result.Outcome = TProbeOutcome::Raised;
      // Missing libraries fail every other file the same way.
      FStopping = true;
    }
    {
      std::lock_guard Lock(FLock);
      FResults[Index] = std::move(Result);
    }
    FReady.notify_all();
    if (FOnProbed) FOnProbed();
  }
  // The open file goes now, not when the adding ends.
  Probe.Close();
  {
    std::lock_guard Lock(FLock);
    --FRunningThreads;
  }
  FReady.notify_all();
  if (FOnProbed) FOnProbed();
}

std::vector<TProbedFile> TFileProbes::TakeReady() {
  std::vector<TProbedFile> Ready;
  std::lock_guard Lock(FLock);
  while (FTaken < FResults.size() && FResults[FTaken].Outcome != TProbeOutcome::Pending)
    Ready.push_back(std::move(FResults[FTaken++]));
  return Ready;
}

bool TFileProbes::AllTaken() const {
  std::lock_guard Lock(FLock);
  return FTaken == FResults.size();
}

void TFileProbes::WaitForNext() {
  std::unique_lock Lock(FLock);
  FReady.wait(Lock, [this] {
    return FTaken == FResults.size() || FResults[FTaken].Outcome != TProbeOutcome::Pending ||
           FRunningThreads == 0;
  });
}

TJobRow ProbedJobRow(const std::string &FileName, const TProbedFile &Probed,
                     const std::string &OutputType) {
  TJobRow Row;
  Row.Caption = FileName;
  if (Probed.Outcome == TProbeOutcome::Readable) {
    Row.SubItems[jcVideoSize] = Probed.Cells.VideoSize;
    Row.SubItems[jcFrameRate] = Probed.Cells.FrameRate;
    Row.SubItems[jcDuration] = Probed.Cells.Duration;
    Row.SubItems[jcOutput] = OutputType;
  } else {
    Row.SubItems[jcProgress] = "Error";
  }
  return Row;
}
