// Helpers for the profile tests: a window model after start-up and picks, and the lists and
// job options it shows, written as the command line prints them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "profiles/format_settings.h"
#include "profiles/output_option_fields.h"

using TPicks = std::vector<std::pair<std::string, std::string>>;

// "a|[b]|c": the items, the selected one in brackets.
inline std::string Shown(const TChoiceList &List) {
  std::string Text;
  for (int Position = 0; Position < List.Count(); ++Position) {
    if (Position > 0) Text += '|';
    Text +=
        Position == List.ItemIndex() ? "[" + List.Items()[Position] + "]" : List.Items()[Position];
  }
  return Text;
}

// Model as the window has it once created: the format list filled, nothing applied.
inline void StartUp(TFormatSettings &Settings) {
  Settings.FillOutputFormatList();
  Settings.ComboOutputFormat.SetDropDownCount(TFormatSettings::DefaultDropDownItems);
}

// The user picks the format list item with that text.
inline void PickFormat(TFormatSettings &Settings, const std::string &Text) {
  const int Position = Settings.ComboOutputFormat.IndexOf(Text);
  ASSERT_GE(Position, 0) << Text;
  Settings.ComboOutputFormat.SetItemIndex(Position);
  Settings.ComboOutputFormatChange();
}

inline void PickSettings(TFormatSettings &Settings, const TPicks &Picks) {
  for (const auto &[Name, Text] : Picks) {
    TChoiceList *List = FindSettingsList(Settings, Name);
    ASSERT_NE(List, nullptr) << Name;
    ASSERT_TRUE(List->SelectText(Text)) << Name << " has no '" << Text << "'";
  }
}

// The output options a job gets, as the driver fills them before volume and aspect.
inline TOutputOptions JobOptions(const TFormatSettings &Settings) {
  TOutputOptions Options;
  Settings.SetJobOptions(Options);
  Options.FrameRate = Settings.GetFrameRateText(Options);
  return Options;
}

// The fields that differ from their defaults, one "Name=value" per line.
inline std::string ChangedFields(const TOutputOptions &Options) {
  std::string Text;
  for (const auto &[Name, Value] : ChangedOutputOptions(Options)) Text += Name + "=" + Value + "\n";
  return Text;
}
