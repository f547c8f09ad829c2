// How a word on the command line names an item of the output format list: its position, its
// text, a prefix of its text only one item has (letters in any case) or an extension only one
// item writes ("mp3", ".wmv"); and how a wrong word is told, with what would have been right.
// Shared by profile and convert.
#pragma once

#include <string>

#include "profiles/choice_list.h"

struct TEntryMatch {
  int Position = -1;    // -1: no single item
  std::string Problem;  // why not, with the candidates when the word fits several
};

TEntryMatch MatchFormatEntry(const TChoiceList &List, const std::string &Word);

// The list's items joined by "|", the selected one in brackets when MarkSelection.
std::string ItemsText(const TChoiceList &List, bool MarkSelection = false);
// The names of the settings lists a --pick can name, joined by ", ".
std::string SettingsListsText();
