// Turning the selected texts of the settings lists into a job's output options. Three
// families: general (most entries), device (iPod, Apple TV, iPod Touch) and 3GP.
#pragma once

#include <string>

#include "engine/component/option_records.h"
#include "profiles/catalogue.h"
#include "profiles/settings_lists.h"

// Encoder names for the codec lists' texts (compared in lower case).
std::string VideoCodecName(const std::string &ListText);
std::string AudioCodecName(const std::string &ListText);

// Output types whose jobs drop the video stream.
bool IsAudioType(const std::string &OutputType);

// Fills the fields the family writes; the others keep what Options holds. A bit-rate or
// sampling-rate text without a whole number raises EConvertError, leaving Options partly
// filled.
void MapGeneralOptions(const TSettingsLists &Lists, const std::string &OutputType,
                       TOutputOptions &Options);
void MapDeviceOptions(const TSettingsLists &Lists, TOutputOptions &Options);
void Map3gpOptions(const TSettingsLists &Lists, TOutputOptions &Options);

// The frame size for a size choice of "Auto": SourceSize (the job row's "Video Size" cell,
// "320x240") scaled down, aspect kept and in even numbers, to fit the largest size the list
// offers; empty (the input's own size) when it fits already or the input has no video.
std::string AutoFrameSize(const std::string &SourceSize, const TChoiceList &ComboVideoSize);

// What players decode: every device entry, and every H.264 job, writes 8-bit 4:2:0; a device's
// H.264 in the profile it plays (FormatText names the device).
void MapPictureFormat(const std::string &FormatText, TJobMapping Mapping, TOutputOptions &Options);

// Runs the family Mapping names; nothing for TJobMapping::None.
void MapJobOptions(TJobMapping Mapping, const TSettingsLists &Lists, const std::string &OutputType,
                   TOutputOptions &Options);

// What a frame rate of "Auto" means for a job: by default 25 frames per second; with
// KeepSource the input's own rate (SourceRate is the job row's "FrameRate" cell), for a
// capped (device) entry at most the highest rate its list offers.
struct TAutoFrameRate {
  bool KeepSource = false;
  std::string SourceRate;
  bool Capped = false;
};

// The job's frame-rate text. For the disc entries (type "MPG" and a format text naming DVD,
// Super Video CD or Video CD) it is empty and the target fields are set instead: the frame-
// rate list then picks the television norm. Empty also when "Auto" keeps the input's rate,
// which the engine then takes from the input and fits to its encoder; KeepSourceTiming is
// then set, so that a variable-rate input keeps its timestamps.
std::string FrameRateText(const std::string &FormatText, const std::string &OutputType,
                          const TChoiceList &ComboVideoFramerate, TOutputOptions &Options,
                          const TAutoFrameRate &Auto = {});
