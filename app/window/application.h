// The program's parts wired as its start-up wires them, in one place: the job timer, the window
// logic with the media libraries loaded, its options over the given settings and the main
// window over both. main() and the benches start from here. Main thread only.
#pragma once

#include <memory>

#include "app/additional_options.h"
#include "app/job_timer.h"
#include "app/main_form.h"
#include "app/presets_list.h"
#include "app/window/main_window.h"

class TApplication {
 public:
  // The job timer's interval, as the batch driver has it.
  static constexpr int JobTimerInterval = 100;

  // Loads the libraries (telling the user when they are missing), then creates the window and
  // reads the settings; the window is not shown yet.
  TApplication(TDialogs &Dialogs, TSettingsStore &Settings);
  ~TApplication();

  // False when the media libraries did not load: there is no window, the program ends.
  bool Created() const { return Window != nullptr; }

  TQtJobTimer TimerConvertAgain{JobTimerInterval};
  TForm1 Form1;
  TForm4 Form4;
  // The user's presets; the window shows them beside the format list.
  TPresetList Presets;
  std::unique_ptr<TMainWindow> Window;
};
