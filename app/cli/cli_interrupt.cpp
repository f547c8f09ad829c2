// The interrupt pipe of the converting commands.

#include "app/cli/cli_interrupt.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "text/format_text.h"

namespace {

// One process-wide pipe: a signal handler can reach nothing else.
int InterruptPipe[2] = {-1, -1};

void OnInterrupt(int Signal) {
  const int Saved = errno;
  const char Byte = static_cast<char>(Signal);
  [[maybe_unused]] const ssize_t Written = write(InterruptPipe[1], &Byte, 1);
  errno = Saved;
}

}  // namespace

TInterruptPipe::TInterruptPipe() {
  if (pipe(InterruptPipe) != 0) return;
  struct sigaction Action {};
  Action.sa_handler = OnInterrupt;
  sigemptyset(&Action.sa_mask);
  for (size_t Index = 0; Index < std::size(InterruptSignals); ++Index)
    sigaction(InterruptSignals[Index], &Action, &FPrevious[Index]);
  struct sigaction Ignore {};
  Ignore.sa_handler = SIG_IGN;
  sigemptyset(&Ignore.sa_mask);
  sigaction(SIGPIPE, &Ignore, &FPreviousPipe);
  FReady = true;
}

TInterruptPipe::~TInterruptPipe() {
  if (!FReady) return;
  for (size_t Index = 0; Index < std::size(InterruptSignals); ++Index)
    sigaction(InterruptSignals[Index], &FPrevious[Index], nullptr);
  sigaction(SIGPIPE, &FPreviousPipe, nullptr);
  close(InterruptPipe[0]);
  close(InterruptPipe[1]);
  InterruptPipe[0] = InterruptPipe[1] = -1;
}

int TInterruptPipe::ReadEnd() const {
  return InterruptPipe[0];
}

int TInterruptPipe::PendingSignal() const {
  pollfd Waiting{InterruptPipe[0], POLLIN, 0};
  if (!FReady || poll(&Waiting, 1, 0) != 1) return 0;
  char Byte = 0;
  return read(InterruptPipe[0], &Byte, 1) == 1 ? Byte : 0;
}

void TInterruptPipe::Write(char Byte) const {
  [[maybe_unused]] const ssize_t Written = write(InterruptPipe[1], &Byte, 1);
}

std::string ClockText(int64_t Seconds) {
  return FormatText("%d:%02d:%02d", static_cast<int>(Seconds / 3600),
                    static_cast<int>(Seconds / 60 % 60), static_cast<int>(Seconds % 60));
}
