// tarnwick-cli formats and profile: the output format list, and what picking an entry (and
// then some settings) puts into the settings lists and into a job's output options.

#include <cstdio>
#include <string>

#include "app/cli/cli_entry.h"
#include "cli_commands.h"
#include "profiles/catalogue.h"
#include "profiles/format_settings.h"
#include "profiles/number_text.h"
#include "profiles/output_option_fields.h"

namespace {

int ProfileUsageError(const std::string &Message) {
  std::fprintf(stderr, "tarnwick-cli profile: %s\n", Message.c_str());
  return 1;
}

// What "Auto" keeps when no source is at hand: the input's rate, below the cap a source
// faster than every rate of the list meets.
std::string SourceRateText(const TFormatSettings &Settings) {
  TOutputOptions Scratch;
  const std::string Cap = Settings.GetFrameRateText(Scratch, true, "1000000");
  return Cap.empty() ? "Auto (the source's)" : "Auto (the source's, at most " + Cap + ")";
}

}  // namespace

int RunFormatsCommand(const TCliArguments &Arguments) {
  if (!Arguments.empty()) {
    std::fputs("tarnwick-cli formats: takes no arguments (see tarnwick-cli --help)\n", stderr);
    return 1;
  }
  int Position = 0;
  for (const TCatalogueEntry &Entry : OutputFormatCatalogue())
    std::printf("%d\t%s\n", Position++, Entry.Text);
  return 0;
}

int RunProfileCommand(const TCliArguments &Arguments) {
  if (Arguments.empty())
    return ProfileUsageError("no format list entry given (see tarnwick-cli --help)");

  // As at start-up: the lists filled, the entry selected and applied as a pick applies it.
  TFormatSettings Settings;
  Settings.FillOutputFormatList();
  Settings.ComboOutputFormat.SetDropDownCount(TFormatSettings::DefaultDropDownItems);
  const TEntryMatch Entry = MatchFormatEntry(Settings.ComboOutputFormat, Arguments[0]);
  if (Entry.Position < 0) return ProfileUsageError(Entry.Problem);
  Settings.ComboOutputFormat.SetItemIndex(Entry.Position);
  Settings.ComboOutputFormatChange();

  bool KeepSourceRate = true;
  for (std::size_t Index = 1; Index < Arguments.size(); ++Index) {
    if (Arguments[Index] == "--auto-rate-25") {
      KeepSourceRate = false;
      continue;
    }
    if (Arguments[Index] != "--pick" || Index + 1 == Arguments.size())
      return ProfileUsageError("expected --pick LIST=TEXT, got '" + Arguments[Index] + "'");
    const std::string &Pick = Arguments[++Index];
    const std::size_t Equals = Pick.find('=');
    if (Equals == std::string::npos)
      return ProfileUsageError("expected LIST=TEXT after --pick, got '" + Pick + "'");
    const std::string Name = Pick.substr(0, Equals);
    const std::string Text = Pick.substr(Equals + 1);
    TChoiceList *List = FindSettingsList(Settings, Name);
    if (List == nullptr)
      return ProfileUsageError("no settings list named '" + Name +
                               "' (lists: " + SettingsListsText() + ")");
    if (!List->SelectText(Text))
      return ProfileUsageError(Name + " holds no item '" + Text +
                               "' (items: " + ItemsText(*List, false) + ")");
  }

  for (const TSettingsListName &Entry : SettingsListNames) {
    const std::string Items = ItemsText(Settings.*Entry.List, true);
    std::printf("%s:%s%s\n", Entry.Name, Items.empty() ? "" : " ", Items.c_str());
  }
  std::printf("FOutputType=%s\n", Settings.FOutputType.c_str());

  TOutputOptions Options;
  try {
    Settings.FillJobOptions(Options, KeepSourceRate);
    if (Options.KeepSourceTiming) Options.FrameRate = SourceRateText(Settings);
  } catch (const EConvertError &) {
    // What the application shows when a job cannot be prepared.
    std::puts("Fail to add file to list!");
    return 1;
  }
  for (const auto &[Name, Value] : ChangedOutputOptions(Options))
    std::printf("%s=%s\n", Name.c_str(), Value.c_str());
  return 0;
}
