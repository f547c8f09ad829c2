// tarnwick-cli presets: the user's presets (presets.h) saved from an entry and --pick, --volume
// and switch words as convert takes them, listed, renamed, deleted, exported and imported; and
// the preset a convert --preset word names.

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/additional_options.h"
#include "app/cli/cli_entry.h"
#include "app/job_rules.h"
#include "app/presets.h"
#include "cli_commands.h"
#include "profiles/catalogue.h"
#include "profiles/format_settings.h"

const char PresetsUsage[] =
    "  tarnwick-cli presets list\n"
    "  tarnwick-cli presets save NAME ENTRY [--pick LIST=TEXT ...] [--volume N] [--no-copy]\n"
    "                      [--no-tags] [--first-tracks] [--auto-rate-25] [--replace]\n"
    "  tarnwick-cli presets rename NAME NEW-NAME\n"
    "  tarnwick-cli presets delete NAME\n"
    "  tarnwick-cli presets export FILE [NAME...]\n"
    "  tarnwick-cli presets import FILE\n"
    "      The user's presets, shared with the window (its preset list beside the format list)\n"
    "      in $XDG_CONFIG_HOME/Brimvale/tarnwick-presets.json (~/.config by default). list\n"
    "      prints one line per preset: its name, a tab and its entry. save stores ENTRY (as for\n"
    "      convert) with the picks, the volume and the switches given, as convert takes them,\n"
    "      under NAME; a preset of that name is replaced only with --replace. export writes the\n"
    "      presets named (all when none are) into FILE, which must not exist; import adds every\n"
    "      preset of FILE (one of the same name is replaced) or, when FILE is not a presets\n"
    "      file this version reads, none, saying why. Exit status 0 when done, 1 otherwise.\n";

namespace {

int PresetsError(const std::string &Message) {
  std::fprintf(stderr, "tarnwick-cli presets: %s\n", Message.c_str());
  return 1;
}

int Done(const std::string &Problem) {
  return Problem.empty() ? 0 : PresetsError(Problem);
}

// presets save NAME ENTRY words...
int SavePreset(TPresetStore &Store, const TCliArguments &Words) {
  if (Words.size() < 3) return PresetsError("save takes a NAME and an ENTRY");
  TFormatSettings Formats;
  Formats.FillOutputFormatList();
  Formats.ComboAspectRatio.SetItemIndex(0);
  const TEntryMatch Entry = MatchFormatEntry(Formats.ComboOutputFormat, Words[2]);
  if (Entry.Position < 0) return PresetsError(Entry.Problem);
  if (IsSeparator(Formats.ComboOutputFormat.Items()[Entry.Position]))
    return PresetsError("'" + Words[2] + "' is a separator line of the format list, not an entry");
  Formats.ComboOutputFormat.SetItemIndex(Entry.Position);
  Formats.ComboOutputFormatChange();
  int Volume = HundredPercentStep;
  bool Replace = false;
  std::map<std::string, bool> Options;
  for (const TPresetOption &Option : PresetOptions()) Options[Option.Key] = true;
  for (size_t Index = 3; Index < Words.size(); ++Index) {
    const std::string &Word = Words[Index];
    if (Word == "--replace") {
      Replace = true;
    } else if (Word == "--no-copy") {
      Options["CopyStreams"] = false;
    } else if (const TSourceSwitch *Switch = SourceSwitchOff(Word)) {
      Options[Switch->Key] = false;
    } else if (Word == "--volume" || Word == "--pick") {
      if (Index + 1 == Words.size()) return PresetsError(Word + " needs a value");
      const std::string &Value = Words[++Index];
      if (Word == "--volume") {
        Volume = VolumePosition(Value);
        if (Volume < 0) return PresetsError(VolumeWordProblem);
        continue;
      }
      const size_t Equals = Value.find('=');
      if (Equals == std::string::npos)
        return PresetsError("expected LIST=TEXT after --pick, got '" + Value + "'");
      const std::string Name = Value.substr(0, Equals), Text = Value.substr(Equals + 1);
      TChoiceList *List = FindSettingsList(Formats, Name);
      if (List == nullptr)
        return PresetsError("no settings list named '" + Name + "' (lists: " + SettingsListsText() +
                            ")");
      if (!List->SelectText(Text))
        return PresetsError(Name + " holds no item '" + Text + "' (items: " + ItemsText(*List) +
                            ")");
    } else {
      return PresetsError("unknown word '" + Word + "' for save");
    }
  }
  TPreset Preset = PresetOf(Formats, Words[1]);
  Preset.Volume = Volume;
  Preset.Options = Options;
  return Done(Store.Save(Preset, Replace));
}

}  // namespace

int VolumePosition(const std::string &Word) {
  if (Word.empty() || Word.size() > 2 || Word.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  const int Position = std::stoi(Word);
  return Position < VolumeStepCount ? Position : -1;
}

std::string FindCliPreset(const std::string &Word, TPreset &Preset) {
  std::error_code Ignored;
  if (std::filesystem::is_regular_file(Word, Ignored)) {
    const TPresetFile File = ReadPresetFile(Word);
    if (!File.Read) return "the preset file " + Word + " cannot be used: " + File.Problem;
    if (File.Items.size() != 1)
      return "the preset file " + Word + " holds " + std::to_string(File.Items.size()) +
             " presets, not one (import it with tarnwick-cli presets import, then name one)";
    Preset = File.Items.front();
    return {};
  }
  std::vector<TPreset> Presets;
  std::string Problem;
  if (!TPresetStore(PresetsPath()).Load(Presets, Problem)) return Problem;
  const TPreset *Found = FindPreset(Presets, Word);
  if (Found == nullptr)
    return "no preset named '" + Word + "' and no such file (see tarnwick-cli presets list)";
  Preset = *Found;
  return {};
}

int RunPresetsCommand(const TCliArguments &Words) {
  if (Words.empty()) return PresetsError("no subcommand given (see tarnwick-cli presets --help)");
  TPresetStore Store(PresetsPath());
  if (Store.Path().empty()) return PresetsError("there is no folder for presets (HOME is unset)");
  const std::string &Command = Words[0];
  const size_t Count = Words.size() - 1;
  if (Command == "list" && Count == 0) {
    std::vector<TPreset> Presets;
    std::string Problem;
    if (!Store.Load(Presets, Problem)) return PresetsError(Problem);
    for (const TPreset &Preset : Presets)
      std::printf("%s\t%s\n", EscapedCell(Preset.Name).c_str(), Preset.Entry.c_str());
    return 0;
  }
  if (Command == "save") return SavePreset(Store, Words);
  if (Command == "rename" && Count == 2) return Done(Store.Rename(Words[1], Words[2]));
  if (Command == "delete" && Count == 1) return Done(Store.Delete(Words[1]));
  if (Command == "export" && Count >= 1)
    return Done(Store.Export(Words[1], TCliArguments(Words.begin() + 2, Words.end())));
  if (Command == "import" && Count == 1) {
    std::vector<std::string> Imported;
    const std::string Problem = Store.Import(Words[1], Imported);
    for (const std::string &Name : Imported) std::printf("%s\n", EscapedCell(Name).c_str());
    return Done(Problem);
  }
  return PresetsError("unknown subcommand or wrong number of words: '" + Command +
                      "' (see tarnwick-cli presets --help)");
}
