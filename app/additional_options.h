// TForm4, the Additional Options dialog's logic: the overwrite switch, the switch that copies
// streams already fitting a job, the drop-down size of the output format list, how many rows
// convert at once, and the user's settings, which it reads when it is created and writes
// when the main window closes. Main thread only.
#pragma once

#include <functional>

#include "app/settings_store.h"

class TForm1;

class TForm4 {
 public:
  static constexpr int SpinEdit1Min = 26;
  static constexpr int SpinEdit1Max = 47;

  TForm4(TForm1 &Form1, TSettingsStore &Store);

  bool CheckBoxOverWrite = false;   // "Overwrite Existing File With The Same Name"
  int SpinEdit1 = 27;               // " Drop Down Items in Output Format List"
  bool CheckBoxCopyStreams = true;  // "Copy streams that already fit"
  int SpinEditJobs = 1;             // "Simultaneous conversions"; 1 converts row after row
  // "Automatic": as many rows at once as finish a batch soonest, SpinEditJobs aside.
  bool CheckBoxAutoJobs = true;

  // The most rows that may convert at once: one per processor core.
  static int SpinEditJobsMax();
  // How many rows the next batch may convert at once: one per core when automatic (each row's
  // codecs then share the cores out), else the count chosen.
  int SimultaneousJobs() const;

  // The view refreshes the check boxes and the spin field.
  std::function<void()> OnChange;
  // "Done": the view closes the dialog.
  std::function<void()> OnClose;

  // Reads the settings; any error is swallowed.
  void FormCreate();
  // Held within SpinEdit1Min..SpinEdit1Max; the format list follows at once.
  void SetSpinEdit1(int Value);
  void SetCheckBoxOverWrite(bool Checked);
  void SetCheckBoxCopyStreams(bool Checked);
  // Held within 1..SpinEditJobsMax(); the next batch uses it.
  void SetSpinEditJobs(int Value);
  void SetCheckBoxAutoJobs(bool Checked);
  void SpinEdit1Change();
  void Button1Click();

  // A value that is missing or of the wrong type stops the reading of the older values, and the
  // current values are written instead; the values read before it stay. The values added later
  // (CopyStreams, Simultaneous Conversions) are read each on its own whatever came before.
  void LoadSettings();
  // Write errors are ignored.
  void SaveSettings();
  // The window keeps its own placement in the same settings.
  TSettingsStore &SettingsStore() { return Store; }

 private:
  void Changed();
  // The view shows what was read.
  void Loaded();

  TForm1 &Form1;
  TSettingsStore &Store;
};
