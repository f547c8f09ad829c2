#include "profiles/choice_list.h"

#include <algorithm>

std::string TChoiceList::Text() const {
  return FItemIndex == NoSelection ? std::string() : FItems[FItemIndex];
}

int TChoiceList::IndexOf(const std::string &Text) const {
  const auto Found = std::find(FItems.begin(), FItems.end(), Text);
  return Found == FItems.end() ? NoSelection : static_cast<int>(Found - FItems.begin());
}

void TChoiceList::Clear() {
  if (FItems.empty() && FItemIndex == NoSelection) return;
  FItems.clear();
  FItemIndex = NoSelection;
  Changed();
}

void TChoiceList::Add(const std::string &Text) {
  FItems.push_back(Text);
  Changed();
}

void TChoiceList::Assign(std::span<const char *const> NewItems, int Selected) {
  Assign(std::vector<std::string>(NewItems.begin(), NewItems.end()), Selected);
}

void TChoiceList::Assign(const std::vector<std::string> &NewItems, int Selected) {
  FItems = NewItems;
  FItemIndex = Selected >= 0 && Selected < Count() ? Selected : NoSelection;
  Changed();
}

void TChoiceList::SetItemIndex(int Position) {
  if (Position < NoSelection || Position >= Count() || Position == FItemIndex) return;
  FItemIndex = Position;
  Changed();
}

bool TChoiceList::SelectText(const std::string &Text) {
  const int Position = IndexOf(Text);
  if (Position == NoSelection) return false;
  SetItemIndex(Position);
  return true;
}

void TChoiceList::SetDropDownCount(int Lines) {
  if (Lines == FDropDownCount) return;
  FDropDownCount = Lines;
  Changed();
}

void TChoiceList::Changed() {
  if (OnChange) OnChange();
}
