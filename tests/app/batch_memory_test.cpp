// Memory over long batches: every task runs on a thread of its own, and what those threads
// allocate must not stay with the process. The batches run tarnwick-cli as a user runs it and
// compare the peak resident memory the kernel accounts for each finished child.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer's allocator keeps freed memory in quarantine and has no arenas.
constexpr bool OwnAllocator = true;
#else
constexpr bool OwnAllocator = false;
#endif

bool UserLimitsArenas() {
  const char *Tunables = std::getenv("GLIBC_TUNABLES");
  return std::getenv("MALLOC_ARENA_MAX") ||
         (Tunables && std::string(Tunables).find("arena_max") != std::string::npos);
}

struct TChildRun {
  int ExitStatus = -1;
  long PeakKb = 0;
};

// Runs a program with its standard output in a file and standard error discarded; the peak
// is that child's own, from the kernel's accounting of the reaped process.
TChildRun RunMeasured(const std::vector<std::string> &Arguments, const std::string &OutputFile) {
  const pid_t Child = StartProgram(Arguments, OutputFile, "/dev/null");
  TChildRun Run;
  int Status = 0;
  rusage Usage{};
  if (Child < 0 || wait4(Child, &Status, 0, &Usage) != Child) return Run;
  Run.ExitStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  Run.PeakKb = Usage.ru_maxrss;
  return Run;
}

size_t CountLines(const std::string &File, const std::string &Containing) {
  std::ifstream In(File);
  size_t Count = 0;
  for (std::string Line; std::getline(In, Line);)
    if (Line.find(Containing) != std::string::npos) ++Count;
  return Count;
}

// The arenas glibc has made so far, the main one included.
int ArenaCount() {
  char *Text = nullptr;
  size_t Size = 0;
  FILE *Stream = open_memstream(&Text, &Size);
  if (!Stream) return -1;
  malloc_info(0, Stream);
  std::fclose(Stream);
  int Count = 0;
  for (const char *At = Text; (At = std::strstr(At, "<heap nr=")) != nullptr; ++At) ++Count;
  std::free(Text);
  return Count;
}

TEST(BatchMemoryTest, ThreadsAliveTogetherShareOneArenaPerCore) {
  if (OwnAllocator) GTEST_SKIP() << "the sanitizer's allocator has no arenas";
  if (UserLimitsArenas()) GTEST_SKIP() << "the environment sets its own arena limit";
  LoadSystemLibraries();
  // Each thread allocates while all the others are alive, so none can take over a freed
  // arena: without a limit every one of them would get an arena of its own.
  const int Cores = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
  const int ThreadCount = 8 * Cores;
  std::vector<void *> Blocks(ThreadCount, nullptr);
  std::atomic<int> Allocated{0};
  std::atomic<bool> Release{false};
  std::vector<std::thread> Threads;
  for (int I = 0; I < ThreadCount; ++I)
    Threads.emplace_back([&, I] {
      // Kept where the other threads can see it, so the pair cannot be optimised away.
      Blocks[I] = std::malloc(4096);
      ++Allocated;
      while (!Release) std::this_thread::yield();
    });
  while (Allocated < ThreadCount) std::this_thread::yield();
  const int Arenas = ArenaCount();
  Release = true;
  for (std::thread &Thread : Threads) Thread.join();
  for (void *Block : Blocks) std::free(Block);
  EXPECT_TRUE(std::all_of(Blocks.begin(), Blocks.end(), [](void *Block) { return Block; }));
  EXPECT_GE(Arenas, 1);
  EXPECT_LE(Arenas, Cores);
}

TEST(BatchMemoryTest, ALongBatchPeaksNoHigherThanAShortOne) {
  if (OwnAllocator) GTEST_SKIP() << "the sanitizer's quarantine grows with every conversion";
  TTempFolder Folder("batch-memory");
  const std::string Clip = Folder.File("tick.wav");
  const TProcessResult Made = RunProgram(
      {"/usr/bin/env", "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "lavfi",
       "-i", "sine=frequency=440:sample_rate=44100:duration=0.2", "-ac", "2", Clip});
  ASSERT_EQ(Made.ExitStatus, 0) << Made.Errors;
  const struct {
    const char *Entry;
    int ShortBatch;
    int LongBatch;
    double Bound;
  } Cases[] = {
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", 10, 60, 1.25},
      {"M4A - Mpeg4 Audio File (*.m4a)", 10, 60, 1.25},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Entry);
    long Peaks[2] = {0, 0};
    const int Counts[2] = {Case.ShortBatch, Case.LongBatch};
    for (int Batch = 0; Batch < 2; ++Batch) {
      const std::string Out = Folder.File("out-" + std::to_string(Batch));
      std::filesystem::remove_all(Out);
      std::filesystem::create_directories(Out);
      std::vector<std::string> Arguments{TARNWICK_CLI, "convert", Case.Entry};
      Arguments.insert(Arguments.end(), Counts[Batch], Clip);
      Arguments.insert(Arguments.end(), {"--output", Out});
      const std::string Lines = Folder.File("rows.txt");
      const TChildRun Run = RunMeasured(Arguments, Lines);
      ASSERT_EQ(Run.ExitStatus, 0);
      ASSERT_EQ(CountLines(Lines, "\tDone\t"), static_cast<size_t>(Counts[Batch]));
      Peaks[Batch] = Run.PeakKb;
    }
    ASSERT_GT(Peaks[0], 0);
    EXPECT_LE(static_cast<double>(Peaks[1]) / static_cast<double>(Peaks[0]), Case.Bound)
        << Counts[0] << " files: " << Peaks[0] << " kB, " << Counts[1] << " files: " << Peaks[1]
        << " kB";
  }
}

}  // namespace
