// The nine video and audio settings lists of the main window, by their control names. The
// profiles refill seven of them; the channel and aspect lists keep their fixed items and are
// only selected.
#pragma once

#include <string>

#include "profiles/choice_list.h"

struct TSettingsLists {
  TSettingsLists();

  TChoiceList ComboVideoCodec;
  TChoiceList ComboVideoSize;
  TChoiceList ComboVideoBitrate;
  TChoiceList ComboVideoFramerate;
  TChoiceList ComboAudioCodec;
  TChoiceList ComboAudioBitrate;
  TChoiceList ComboSamplingRate;
  TChoiceList ComboAudioChannels;  // "Stereo", "Mono"
  TChoiceList ComboAspectRatio;    // "Original", "4:3 (Standard", "16:9 (Wide Screen)"
};

struct TSettingsListName {
  const char *Name;
  TChoiceList TSettingsLists::*List;
};

// The nine lists in the window's order: video group, audio group, aspect.
inline constexpr TSettingsListName SettingsListNames[] = {
    {"ComboVideoCodec", &TSettingsLists::ComboVideoCodec},
    {"ComboVideoSize", &TSettingsLists::ComboVideoSize},
    {"ComboVideoBitrate", &TSettingsLists::ComboVideoBitrate},
    {"ComboVideoFramerate", &TSettingsLists::ComboVideoFramerate},
    {"ComboAudioCodec", &TSettingsLists::ComboAudioCodec},
    {"ComboAudioBitrate", &TSettingsLists::ComboAudioBitrate},
    {"ComboSamplingRate", &TSettingsLists::ComboSamplingRate},
    {"ComboAudioChannels", &TSettingsLists::ComboAudioChannels},
    {"ComboAspectRatio", &TSettingsLists::ComboAspectRatio},
};

// The list with that control name, or nullptr.
TChoiceList *FindSettingsList(TSettingsLists &Lists, const std::string &Name);
