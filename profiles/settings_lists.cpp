#include "profiles/settings_lists.h"

namespace {

constexpr const char *ChannelItems[] = {"Stereo", "Mono"};
// The second item has no closing parenthesis; users have always seen it that way.
constexpr const char *AspectItems[] = {"Original", "4:3 (Standard", "16:9 (Wide Screen)"};

}  // namespace

// As the window is created: fixed items, the first of each selected; the rest empty.
TSettingsLists::TSettingsLists() {
  ComboAudioChannels.Assign(ChannelItems, 0);
  ComboAspectRatio.Assign(AspectItems, 0);
}

TChoiceList *FindSettingsList(TSettingsLists &Lists, const std::string &Name) {
  for (const TSettingsListName &Entry : SettingsListNames)
    if (Name == Entry.Name) return &(Lists.*Entry.List);
  return nullptr;
}
