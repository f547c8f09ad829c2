// What tests of a batch killed with SIGKILL share: a child's exit status and the temporary
// output a conversion leaves while it runs.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

// The child's exit status, 128 + the signal when a signal ended it.
inline int WaitFor(pid_t Child) {
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
}

// A temporary output of Output's name in Folder has more than Bytes.
inline bool HasTemporary(const std::string &Folder, const std::string &Output,
                         std::uintmax_t Bytes) {
  std::error_code Ignored;
  for (const auto &Entry : std::filesystem::directory_iterator(Folder))
    if (Entry.path().filename().string().starts_with(Output) &&
        Entry.path().string().ends_with(".tarnwick-part") &&
        std::filesystem::file_size(Entry.path(), Ignored) > Bytes)
      return true;
  return false;
}

// A started program, killed and waited for when the test leaves early.
struct TRunningChild {
  pid_t Pid;
  ~TRunningChild() {
    if (Pid > 0 && kill(Pid, SIGKILL) == 0) waitpid(Pid, nullptr, 0);
  }
  // Its exit status (see WaitFor); it is not running any more.
  int Wait() { return WaitFor(std::exchange(Pid, -1)); }
};
