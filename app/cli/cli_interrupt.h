// Ctrl-C for the converting commands: the signal handler only writes a byte into a pipe
// (all it may safely do); the command reads the pipe where it can act. Also the clock text of
// the progress lines.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

class TInterruptPipe {
 public:
  // Installs the SIGINT handler; Ready() is false when the pipe could not be made.
  TInterruptPipe();
  // Restores the previous handler and closes the pipe.
  ~TInterruptPipe();
  TInterruptPipe(const TInterruptPipe &) = delete;
  TInterruptPipe &operator=(const TInterruptPipe &) = delete;

  bool Ready() const { return FReady; }
  int ReadEnd() const;
  // Writes Byte as the handler does ('i' for an interrupt), e.g. to end a reader.
  void Write(char Byte) const;

 private:
  bool FReady = false;
  struct sigaction FPrevious {};
};

// "H:MM:SS".
std::string ClockText(int64_t Seconds);
