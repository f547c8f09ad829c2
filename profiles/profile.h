// A settings profile: what picking a catalogue entry does to each of the nine settings lists.
// A profile is data; ApplyProfile carries it out.
#pragma once

#include <span>

#include "profiles/settings_lists.h"

enum class TListStep {
  Keep,    // the list keeps its items and selection
  Empty,   // no items, nothing selected
  Fill,    // Items replace the items; Selected is selected
  Single,  // Selected becomes the only item, selected
  Select,  // the list keeps its items; Selected is selected
};

struct TListFill {
  TListStep Step = TListStep::Keep;
  std::span<const char *const> Items;
  const char *Selected = nullptr;
};

// Members are named after the list each one fills; a member left out keeps its list.
struct TProfile {
  TListFill ComboVideoCodec;
  TListFill ComboVideoSize;
  TListFill ComboVideoBitrate;
  TListFill ComboVideoFramerate;
  TListFill ComboAudioCodec;
  TListFill ComboAudioBitrate;
  TListFill ComboSamplingRate;
  TListFill ComboAudioChannels;
  TListFill ComboAspectRatio;
};

struct TProfileList {
  TListFill TProfile::*Fill;
  TChoiceList TSettingsLists::*List;
};

inline constexpr TProfileList ProfileLists[] = {
    {&TProfile::ComboVideoCodec, &TSettingsLists::ComboVideoCodec},
    {&TProfile::ComboVideoSize, &TSettingsLists::ComboVideoSize},
    {&TProfile::ComboVideoBitrate, &TSettingsLists::ComboVideoBitrate},
    {&TProfile::ComboVideoFramerate, &TSettingsLists::ComboVideoFramerate},
    {&TProfile::ComboAudioCodec, &TSettingsLists::ComboAudioCodec},
    {&TProfile::ComboAudioBitrate, &TSettingsLists::ComboAudioBitrate},
    {&TProfile::ComboSamplingRate, &TSettingsLists::ComboSamplingRate},
    {&TProfile::ComboAudioChannels, &TSettingsLists::ComboAudioChannels},
    {&TProfile::ComboAspectRatio, &TSettingsLists::ComboAspectRatio},
};

// Position of a Fill step's Selected text in its Items; -1 when it is not there.
int DefaultPosition(const TListFill &Fill);

// Replaces and selects as the profile says; lists it keeps are not touched.
void ApplyProfile(const TProfile &Profile, TSettingsLists &Lists);
