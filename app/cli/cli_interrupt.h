// Ctrl-C, SIGTERM and SIGHUP for the converting commands: each stops the conversion as Ctrl-C
// does, so a terminal closed or a "kill" never leaves a file without its trailer. The signal
// handler only writes the signal's number as a byte into a pipe (all it may safely do); the
// command reads the pipe where it can act. A closed pipe on an output (`| head`) is ignored: the
// write fails and the command says so, the conversions go on. Also the clock text of the
// progress lines.
#pragma once

#include <csignal>
#include <cstdint>
#include <iterator>
#include <string>

// The signals that stop a conversion.
inline constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

class TInterruptPipe {
 public:
  // Installs the handlers; Ready() is false when the pipe could not be made.
  TInterruptPipe();
  // Restores the previous handlers and closes the pipe.
  ~TInterruptPipe();
  TInterruptPipe(const TInterruptPipe &) = delete;
  TInterruptPipe &operator=(const TInterruptPipe &) = delete;

  bool Ready() const { return FReady; }
  int ReadEnd() const;
  // The signal waiting in the pipe, taken out of it; 0 when none. Never waits.
  int PendingSignal() const;
  // Writes Byte as a handler does, e.g. to end a reader; pick one that is no signal's number.
  void Write(char Byte) const;

 private:
  bool FReady = false;
  struct sigaction FPrevious[std::size(InterruptSignals)]{};
  struct sigaction FPreviousPipe {};
};

// The exit status of a command stopped by Signal, as a shell reports a killed one.
constexpr int InterruptedExitStatus(int Signal) {
  return 128 + Signal;
}

// "H:MM:SS".
std::string ClockText(int64_t Seconds);
