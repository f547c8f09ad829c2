// The preset list on screen, beside the format list: the presets' names in a pick-only list
// and a "Presets" button whose menu saves, renames, deletes, imports and exports them. It shows
// TPresetList and forwards to it; the file is read again whenever the list or the menu opens,
// so presets another window saved show up. Main thread only.
#pragma once

#include <QWidget>

class TChoiceCombo;
class TPresetList;

class TPresetBar : public QWidget {
 public:
  explicit TPresetBar(TPresetList &Presets, QWidget *Parent = nullptr);

 private:
  // The list as the file has it now; its tool tip tells a file that cannot be used.
  void Reload();

  TPresetList &FPresets;
  TChoiceCombo *FCombo = nullptr;
};
