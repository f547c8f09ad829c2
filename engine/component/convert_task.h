// One task of the engine component: an engine session with the option records that configured
// it. Only the component's own files and the tests include this header; it brings in the whole
// engine (and so the media libraries' headers), which the application never sees.
#pragma once

#include <string>
#include <thread>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/component/option_records.h"

class TFFmpeg : public TCustomFFmpeg {
 public:
  TFFmpeg();
  // Waits for a termination thread still delivering this task's end.
  ~TFFmpeg() override;

  int Index = -1;              // position in the task list
  std::thread::id ThreadID{};  // the thread running the task; none until started
  TInputOptions InputOptions;
  TOutputOptions OutputOptions;

  void SetInputOptions(const TInputOptions &Options) { InputOptions = Options; }
  void SetOutputOptions(const TOutputOptions &Options) { OutputOptions = Options; }
  void ResetInputOptions() { InitInputOptions(InputOptions); }
  void ResetOutputOptions() { InitOutputOptions(OutputOptions); }
  // One "name=value" per line (CR LF, CR or LF), each through SetOption.
  void ApplyExtOptions(const std::string &Text);

  // Running: asks it to stop. Never started: its termination is delivered on a short-lived
  // thread (TDoTerminateThread), so the end still arrives. Ending or terminated: nothing.
  void Stop();

 private:
  std::thread FTerminateThread;
};
