// TPresetList, the preset list beside the format list: the user's presets by name, and the
// commands on them (save the window's settings as one, apply, rename, delete, import, export),
// asking and telling through TForm1's dialogs. Toolkit-free like TForm1; the window shows
// ComboPresets and forwards the commands. Main thread only.
#pragma once

#include <string>

#include "app/presets.h"
#include "profiles/choice_list.h"

class TForm1;

// The filter of the import and export dialogs.
inline constexpr char PresetFileFilter[] = "Tarnwick presets (*.json)|*.json|";

class TPresetList {
 public:
  TPresetList(TForm1 &Form1, std::string Path);

  TChoiceList ComboPresets;  // the presets' names in their file's order; none selected at first
  TPresetStore Store;
  // Why the presets file cannot be used; empty when it can (no file yet counts as empty).
  std::string Problem;

  // Reads the file again: another window or tarnwick-cli may have changed it.
  void Reload();
  // The user picked a preset: its entry, then its picks, volume and options; what it has that
  // this version does not is told.
  void ComboPresetsChange();
  // "Save as preset...": asks a name; a name in use asks whether to replace that preset.
  void SaveAsPresetClick();
  void RenamePresetClick();
  // Asks first.
  void DeletePresetClick();
  void ImportPresetsClick();
  // The chosen preset, or all of them, into a new file of the user's choice.
  void ExportPresetClick() { Export(false); }
  void ExportAllPresetsClick() { Export(true); }

 private:
  void Export(bool All);
  // The chosen preset's name; tells the user and gives empty when none is chosen.
  std::string Chosen();
  // Shows the file's presets again with Name selected (if it is there).
  void ReloadShowing(const std::string &Name);
  void Tell(const std::string &Text);
  bool Ask(const std::string &Question);

  TForm1 &Form1;
};
