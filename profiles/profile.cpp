#include "profiles/profile.h"

#include <string>

int DefaultPosition(const TListFill &Fill) {
  if (Fill.Selected == nullptr) return TChoiceList::NoSelection;
  for (std::size_t Position = 0; Position < Fill.Items.size(); ++Position)
    if (std::string(Fill.Items[Position]) == Fill.Selected) return static_cast<int>(Position);
  return TChoiceList::NoSelection;
}

namespace {

void ApplyStep(const TListFill &Fill, TChoiceList &List) {
  switch (Fill.Step) {
    case TListStep::Keep:
      break;
    case TListStep::Empty:
      List.Clear();
      break;
    case TListStep::Fill:
      List.Assign(Fill.Items, DefaultPosition(Fill));
      break;
    case TListStep::Single:
      List.Assign(std::span<const char *const>(&Fill.Selected, 1), 0);
      break;
    case TListStep::Select:
      List.SelectText(Fill.Selected);
      break;
  }
}

}  // namespace

void ApplyProfile(const TProfile &Profile, TSettingsLists &Lists) {
  for (const TProfileList &Pair : ProfileLists) ApplyStep(Profile.*Pair.Fill, Lists.*Pair.List);
}
