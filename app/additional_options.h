// TForm4, the Additional Options dialog's logic: the overwrite switch, the switch that copies
// streams already fitting a job, the drop-down size of the output format list, how many rows
// convert at once, and the user's settings, which it reads when it is created and writes
// when the main window closes. Main thread only.
#pragma once

#include <functional>
#include <string>

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

  // Added folders: "Keep subfolders in the output folder" (in/2024/a.mov to out/2024/a.mp4),
  // and "Skip files already converted" (the expected output holds the whole input).
  bool CheckBoxKeepFolders = false;
  bool CheckBoxSkipConverted = false;
  void SetCheckBoxKeepFolders(bool Checked);
  void SetCheckBoxSkipConverted(bool Checked);
  // What a job keeps of its input, each its own switch and setting (TSourceSwitch below).
  bool CheckBoxKeepTags = true;       // "Keep tags, cover art and dates"
  bool CheckBoxDefaultTracks = true;  // "Take the tracks marked default"
  bool CheckBoxKeepFrameRate = true;  // "Auto keeps the source's frame rate"

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
  // One of the switches of SourceSwitches.
  void SetSourceSwitch(bool TForm4::*Box, bool Checked);
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

// The switches of what a job keeps of its input: the field, its caption, its settings key.
// All are on by default; a settings file saved before one existed gets it on.
struct TSourceSwitch {
  bool TForm4::*Box;
  const char *Caption;
  const char *Name;  // the check box's object name
  const char *Key;
  const char *OffWord;  // the command line's word that turns it off
};
inline constexpr TSourceSwitch SourceSwitches[] = {
    {&TForm4::CheckBoxKeepTags, "Keep tags, cover art and dates", "CheckBoxKeepTags", "KeepTags",
     "--no-tags"},
    {&TForm4::CheckBoxDefaultTracks, "Take the tracks marked default", "CheckBoxDefaultTracks",
     "DefaultTracks", "--first-tracks"},
    {&TForm4::CheckBoxKeepFrameRate, "Auto keeps the source's frame rate", "CheckBoxKeepFrameRate",
     "KeepFrameRate", "--auto-rate-25"},
};

// The switch Word turns off, or null.
const TSourceSwitch *SourceSwitchOff(const std::string &Word);
