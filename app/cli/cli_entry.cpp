// Matching a command-line word to an item of the output format list.

#include "app/cli/cli_entry.h"

#include <algorithm>
#include <vector>

#include "profiles/catalogue.h"
#include "profiles/settings_lists.h"
#include "text/text_utils.h"

namespace {

// The extensions in an item's "(*.avi)" or "(*.mpg;*.mpeg)", lower case.
std::vector<std::string> ItemExtensions(const std::string &Item) {
  std::vector<std::string> Found;
  const std::size_t Open = Item.rfind('(');
  for (std::size_t At = Item.find("*.", Open == std::string::npos ? Item.size() : Open);
       At != std::string::npos; At = Item.find("*.", At + 2)) {
    const std::size_t End = Item.find_first_of(";,) ", At + 2);
    Found.push_back(LowerCaseText(Item.substr(At + 2, End - At - 2)));
  }
  return Found;
}

std::string CandidateList(const TChoiceList &List, const std::vector<int> &Positions) {
  std::string Text;
  for (int Position : Positions)
    Text += "\n  " + std::to_string(Position) + "\t" + List.Items()[Position];
  return Text;
}

}  // namespace

TEntryMatch MatchFormatEntry(const TChoiceList &List, const std::string &Word) {
  const std::string NoSuchItem = "'" + Word +
                                 "' is neither a position nor an item of the format list (see "
                                 "tarnwick-cli formats)";
  if (!Word.empty() && Word.size() <= 3 &&
      Word.find_first_not_of("0123456789") == std::string::npos)
    return std::stoi(Word) < List.Count() ? TEntryMatch{std::stoi(Word), {}}
                                          : TEntryMatch{-1, NoSuchItem};
  if (const int Exact = List.IndexOf(Word); Exact >= 0) return {Exact, {}};

  const std::string Lower = LowerCaseText(Word);
  std::string Extension = Lower;
  if (Extension.starts_with("*.")) Extension.erase(0, 2);
  if (Extension.starts_with(".")) Extension.erase(0, 1);
  std::vector<int> ByPrefix, ByExtension;
  for (int Position = 0; Position < List.Count() && !Lower.empty(); ++Position) {
    if (IsSeparator(List.Items()[Position])) continue;
    const std::string Item = LowerCaseText(List.Items()[Position]);
    if (Item.starts_with(Lower)) ByPrefix.push_back(Position);
    const std::vector<std::string> Own = ItemExtensions(Item);
    if (!Extension.empty() && std::find(Own.begin(), Own.end(), Extension) != Own.end())
      ByExtension.push_back(Position);
  }
  if (ByPrefix.size() == 1) return {ByPrefix.front(), {}};
  if (ByExtension.size() == 1) return {ByExtension.front(), {}};
  std::vector<int> Candidates = ByPrefix;
  for (int Position : ByExtension)
    if (std::find(Candidates.begin(), Candidates.end(), Position) == Candidates.end())
      Candidates.push_back(Position);
  std::sort(Candidates.begin(), Candidates.end());
  if (Candidates.empty()) return {-1, NoSuchItem};
  return {-1, "'" + Word + "' fits several items of the format list; name one of them:" +
                  CandidateList(List, Candidates)};
}

std::string ItemsText(const TChoiceList &List, bool MarkSelection) {
  std::string Line;
  for (int Position = 0; Position < List.Count(); ++Position) {
    if (Position > 0) Line += '|';
    const bool Selected = MarkSelection && Position == List.ItemIndex();
    Line += Selected ? "[" + List.Items()[Position] + "]" : List.Items()[Position];
  }
  return Line;
}

std::string SettingsListsText() {
  std::string Names;
  for (const TSettingsListName &Entry : SettingsListNames)
    Names += (Names.empty() ? "" : ", ") + std::string(Entry.Name);
  return Names;
}
