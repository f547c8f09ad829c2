// The program's start-up wiring.

#include "app/window/application.h"

TApplication::TApplication(TDialogs &Dialogs, TSettingsStore &Settings)
    : Form1(Dialogs, TimerConvertAgain), Form4(Form1, Settings), Presets(Form1, PresetsPath()) {
  if (!Form1.FormCreate()) return;
  Form1.Form4 = &Form4;
  Form1.Presets = &Presets;
  Window = std::make_unique<TMainWindow>(Form1, Form4);
  Form4.FormCreate();
}

TApplication::~TApplication() {
  // The window lets go of the logic's events before the logic ends.
  Window.reset();
}
