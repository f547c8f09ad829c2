// The main window's output format choice and the settings lists it fills, as a model without
// a toolkit: the format list ComboOutputFormat, the nine settings lists, the applied output
// type and the job option filling that reads them. Main thread only.
#pragma once

#include <functional>
#include <string>

#include "engine/component/option_records.h"
#include "profiles/choice_list.h"
#include "profiles/settings_lists.h"

// The job row a job's options are fitted to: its "Video Size" and "FrameRate" cells.
struct TJobSource {
  std::string VideoSize;
  std::string FrameRate;
};

class TFormatSettings : public TSettingsLists {
 public:
  // Drop-down lines of the format list when the user's setting cannot be read.
  static constexpr int DefaultDropDownItems = 25;

  TChoiceList ComboOutputFormat;  // pick-only
  std::string FOutputType;        // type text of the entry applied last, e.g. "MP4"
  int LastFormatIndex = 0;        // format list position of the entry applied last

  // Writes the output type into the "Output" cell of every job row, ticked or not. Called on
  // the main thread, from ComboOutputFormatChange.
  std::function<void(const std::string &OutputType)> OnWriteOutputCells;
  // Reads the drop-down size chosen in the Additional Options dialog; may throw. Called on the
  // main thread; unassigned or failing, the list shows DefaultDropDownItems lines.
  std::function<int()> OnReadDropDownItems;

  // The 62 catalogue items, position 0 selected, as many drop-down lines as items.
  void FillOutputFormatList();
  // The user picked an item (also run once when the window is first shown).
  void ComboOutputFormatChange();
  // The format list opens: its line count follows the user's setting.
  void ComboOutputFormatDropDown();
  // Runs the profile of the entry the format list shows; nothing when it shows no entry.
  void ApplyFormatSettings();

  // Fills Options from the selected texts by the shown entry's mapping family; nothing when
  // the list shows no entry. EConvertError when a bit-rate or sampling-rate text holds no
  // whole number.
  void SetJobOptions(TOutputOptions &Options) const;
  // With "Auto" in the size list, the job's frame size follows the input's, SourceSize being
  // the job row's "Video Size" cell; other choices leave Options as they are.
  void FitAutoFrameSize(TOutputOptions &Options, const std::string &SourceSize) const;
  // The job's frame-rate text; for the disc entries empty, with the target fields set. With
  // KeepSource, "Auto" keeps the input's rate (SourceRate: the row's "FrameRate" cell),
  // within the list's rates for a device entry.
  std::string GetFrameRateText(TOutputOptions &Options, bool KeepSource = false,
                               const std::string &SourceRate = std::string()) const;
  // What the picks make of a job's options, the three steps above in their order: the
  // mapping, the "Auto" size fitted to Source, the frame rate (KeepSourceRate as KeepSource).
  // Without a Source (no file at hand) the size is left to the input. Fields the picks do not
  // set keep what Options holds; EConvertError as SetJobOptions.
  void FillJobOptions(TOutputOptions &Options, bool KeepSourceRate,
                      const TJobSource *Source = nullptr) const;
};
