#include "profiles/format_settings.h"

#include "profiles/catalogue.h"
#include "profiles/job_mapping.h"

void TFormatSettings::FillOutputFormatList() {
  std::vector<std::string> Items;
  for (const TCatalogueEntry &Entry : OutputFormatCatalogue()) Items.emplace_back(Entry.Text);
  ComboOutputFormat.Assign(Items, 0);
  ComboOutputFormat.SetDropDownCount(ComboOutputFormat.Count());
}

void TFormatSettings::ComboOutputFormatChange() {
  // A separator is no choice: go back to the entry applied last and change nothing else.
  if (IsSeparator(ComboOutputFormat.Text())) {
    ComboOutputFormat.SetItemIndex(LastFormatIndex);
    return;
  }
  ApplyFormatSettings();
  if (const TCatalogueEntry *Entry = FindCatalogueEntry(ComboOutputFormat.Text()))
    FOutputType = Entry->OutputType;
  if (OnWriteOutputCells) OnWriteOutputCells(FOutputType);
  ComboOutputFormatDropDown();
  LastFormatIndex = ComboOutputFormat.ItemIndex();
}

void TFormatSettings::ComboOutputFormatDropDown() {
  int Lines = DefaultDropDownItems;
  try {
    if (OnReadDropDownItems) Lines = OnReadDropDownItems();
  } catch (...) {
    // The setting is a convenience: a failed read must not stop the pick.
    Lines = DefaultDropDownItems;
  }
  ComboOutputFormat.SetDropDownCount(Lines);
}

void TFormatSettings::ApplyFormatSettings() {
  const TCatalogueEntry *Entry = FindCatalogueEntry(ComboOutputFormat.Text());
  if (Entry == nullptr) return;
  FOutputType = Entry->OutputType;
  ApplyProfile(Entry->Profile, *this);
}

void TFormatSettings::SetJobOptions(TOutputOptions &Options) const {
  if (const TCatalogueEntry *Entry = FindCatalogueEntry(ComboOutputFormat.Text())) {
    MapJobOptions(Entry->Mapping, *this, FOutputType, Options);
    MapPictureFormat(Entry->Text, Entry->Mapping, Options);
  }
}

void TFormatSettings::FitAutoFrameSize(TOutputOptions &Options,
                                       const std::string &SourceSize) const {
  if (ComboVideoSize.Text() == "Auto")
    Options.FrameSize = AutoFrameSize(SourceSize, ComboVideoSize);
}

void TFormatSettings::FillJobOptions(TOutputOptions &Options, bool KeepSourceRate,
                                     const TJobSource *Source) const {
  SetJobOptions(Options);
  if (Source) FitAutoFrameSize(Options, Source->VideoSize);
  Options.FrameRate =
      GetFrameRateText(Options, KeepSourceRate, Source ? Source->FrameRate : std::string());
}

std::string TFormatSettings::GetFrameRateText(TOutputOptions &Options, bool KeepSource,
                                              const std::string &SourceRate) const {
  const TCatalogueEntry *Entry = FindCatalogueEntry(ComboOutputFormat.Text());
  const bool Device = Entry && Entry->Mapping == TJobMapping::Device;
  return FrameRateText(ComboOutputFormat.Text(), FOutputType, ComboVideoFramerate, Options,
                       {KeepSource, SourceRate, Device});
}
