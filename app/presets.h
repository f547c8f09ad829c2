// Presets: a format list entry with every settings list's pick, the volume and the Additional
// Options that change what a job writes, under a name of the user's. They live in a JSON file of
// their own, not in the settings a closing window rewrites whole: every change takes a lock on
// the file, reads it again, and writes it whole by temporary file and rename, so two windows
// (or a window and tarnwick-cli) never lose each other's preset. Main thread only.
//
// Format (version 1; a file of an older version is read, one of a newer version refused):
//   {"presets": "tarnwick", "version": 1,
//    "items": [{"name": "Phone clips", "entry": "<format list item>",
//               "picks": {"ComboVideoBitrate": "4000 Kbps", ...}, "volume": 5,
//               "options": {"CopyStreams": true, "KeepTags": true, "DefaultTracks": true,
//                           "KeepFrameRate": true}}, ...]}
// Only "name" and "entry" are required; fields and options this version does not know are
// ignored. An export is the same format with the presets chosen.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/job_rules.h"

class TFormatSettings;
class TForm1;
class TForm4;

inline constexpr int PresetFileVersion = 1;

struct TPreset {
  std::string Name;
  std::string Entry;                                       // the format list item's text
  std::vector<std::pair<std::string, std::string>> Picks;  // settings list name, selected text
  int Volume = HundredPercentStep;                         // the volume bar's position, 0..10
  std::map<std::string, bool> Options;                     // by the key of PresetOptionBoxes
};

// The Additional Options a preset keeps, each by its key: "Copy streams that already fit" and
// the switches of what a job keeps of its input.
struct TPresetOption {
  std::string Key;
  bool TForm4::*Box;
};
const std::vector<TPresetOption> &PresetOptions();
// The preset's value of the option Box; on when the preset does not have it (all are on by
// default).
bool PresetOption(const TPreset &Preset, bool TForm4::*Box);

// Where the user's presets live: $XDG_CONFIG_HOME/Brimvale/tarnwick-presets.json, by default
// under ~/.config; empty when neither is set.
std::string PresetsPath();

struct TPresetFile {
  bool Read = false;     // false: Problem says why (a missing file too)
  bool Missing = false;  // there is no file at all
  std::vector<TPreset> Items;
  std::string Problem;
};
TPresetFile ReadPresetFile(const std::string &Path);
std::string PresetFileJson(const std::vector<TPreset> &Presets);

// The preset with that name, or null.
const TPreset *FindPreset(const std::vector<TPreset> &Presets, const std::string &Name);

// Each change returns empty when done, else why nothing was changed.
class TPresetStore {
 public:
  explicit TPresetStore(std::string Path) : FPath(std::move(Path)) {}
  const std::string &Path() const { return FPath; }

  // The stored presets in their file's order; none when there is no file yet. False with the
  // reason when the file cannot be read: it is then never written over.
  bool Load(std::vector<TPreset> &Presets, std::string &Problem) const;
  // Under the lock: the file read again, Edit run on its presets, the result written. Edit
  // returns empty, or why it changes nothing.
  std::string Change(const std::function<std::string(std::vector<TPreset> &)> &Edit);

  // A preset of the same name is replaced only with Replace.
  std::string Save(const TPreset &Preset, bool Replace);
  std::string Rename(const std::string &From, const std::string &To);
  std::string Delete(const std::string &Name);
  // Every preset of File, or none when File is not a presets file this version reads; one of the
  // same name as a stored one replaces it. Imported gets their names.
  std::string Import(const std::string &File, std::vector<std::string> &Imported);
  // The presets named (all when none are) into File, which must not exist yet.
  std::string Export(const std::string &File, const std::vector<std::string> &Names) const;

 private:
  std::string FPath;
};

// A preset of the entry and picks Formats shows now; the volume and options are the caller's.
TPreset PresetOf(const TFormatSettings &Formats, const std::string &Name);
// Picks the preset's entry (as the user picks it: the lists take the entry's defaults), then
// selects its picks. Returns what could not be applied, one text each: an entry the format list
// no longer has (its picks are then left out too), a list or an item it no longer has.
std::vector<std::string> ApplyPresetLists(TFormatSettings &Formats, const TPreset &Preset);

// The window's whole settings as a preset, and a preset applied to them: the lists as above,
// then the volume bar and the options (Form1.Form4's, when it has one; one the preset lacks is on).
TPreset PresetOf(const TForm1 &Form1, const std::string &Name);
std::vector<std::string> ApplyPreset(TForm1 &Form1, const TPreset &Preset);
