// The output format catalogue: the 62 items of the format list, in their fixed order. The
// selected position is stored with the user's settings, so the order is part of the stored
// data. Separator items belong to no entry.
#pragma once

#include <span>
#include <string>

#include "profiles/profile.h"

// How a job's output options are filled from the settings lists.
enum class TJobMapping { None, General, Device, Gp3 };

struct TCatalogueEntry {
  const char *Text;        // shown to the user; the key every later step looks up
  const char *OutputType;  // upper case; the output extension in lower case; empty on separators
  TProfile Profile;
  TJobMapping Mapping;
};

inline constexpr int CatalogueItemCount = 62;
inline constexpr char SeparatorText[] = "              -----------------------------------------";
// A list text holding this anywhere is a separator.
inline constexpr char SeparatorMark[] = "              ----";

bool IsSeparator(const std::string &Text);

std::span<const TCatalogueEntry> OutputFormatCatalogue();

// The entry whose display text equals Text exactly; nullptr for separators and unknown texts.
const TCatalogueEntry *FindCatalogueEntry(const std::string &Text);
