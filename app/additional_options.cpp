// The Additional Options dialog's logic and the settings it reads and writes.

#include "app/additional_options.h"

#include <algorithm>

#include "app/job_rules.h"
#include "app/main_form.h"

TForm4::TForm4(TForm1 &Form1, TSettingsStore &Store) : Form1(Form1), Store(Store) {}

void TForm4::FormCreate() {
  try {
    LoadSettings();
  } catch (...) {
  }
}

void TForm4::SetSpinEdit1(int Value) {
  SpinEdit1 = std::clamp(Value, SpinEdit1Min, SpinEdit1Max);
  SpinEdit1Change();
  Changed();
}

void TForm4::SetCheckBoxOverWrite(bool Checked) {
  CheckBoxOverWrite = Checked;
  Changed();
}

void TForm4::SetCheckBoxCopyStreams(bool Checked) {
  CheckBoxCopyStreams = Checked;
  Changed();
}

void TForm4::SetSourceSwitch(bool TForm4::*Box, bool Checked) {
  this->*Box = Checked;
  Changed();
}

const TSourceSwitch *SourceSwitchOff(const std::string &Word) {
  for (const TSourceSwitch &Switch : SourceSwitches)
    if (Word == Switch.OffWord) return &Switch;
  return nullptr;
}

int TForm4::SpinEditJobsMax() {
  return ProcessorCount();
}

void TForm4::SetSpinEditJobs(int Value) {
  SpinEditJobs = std::clamp(Value, 1, SpinEditJobsMax());
  Changed();
}

void TForm4::SetCheckBoxAutoJobs(bool Checked) {
  CheckBoxAutoJobs = Checked;
  Changed();
}

void TForm4::SetCheckBoxKeepFolders(bool Checked) {
  CheckBoxKeepFolders = Checked;
  Changed();
}

void TForm4::SetCheckBoxSkipConverted(bool Checked) {
  CheckBoxSkipConverted = Checked;
  Changed();
}

int TForm4::SimultaneousJobs() const {
  return CheckBoxAutoJobs ? SpinEditJobsMax() : SpinEditJobs;
}

void TForm4::SpinEdit1Change() {
  Form1.ComboOutputFormat.SetDropDownCount(SpinEdit1);
}

void TForm4::Button1Click() {
  if (OnClose) OnClose();
}

void TForm4::LoadSettings() {
  bool Broken = false;
  try {
    Form1.EditOutputFolder = Store.ReadString("Output Folder");
    const int Format = Store.ReadInteger("ComboOutputFormat");
    // A position the list does not have selects nothing: no entry is applied until a pick.
    if (Format >= Form1.ComboOutputFormat.Count())
      Form1.ComboOutputFormat.SetItemIndex(TChoiceList::NoSelection);
    else if (Format >= 0)
      Form1.ComboOutputFormat.SetItemIndex(Format);
    CheckBoxOverWrite = Store.ReadBool("Overwrite");
    const int DropDownItems = Store.ReadInteger("DropDownItems");
    if (DropDownItems >= 0) SetSpinEdit1(DropDownItems);
    const int LetterBox = Store.ReadInteger("LetterBox");
    if (LetterBox >= 0) Form1.ComboLetterBox.SetItemIndex(LetterBox);
  } catch (const ESettingsError &) {
    Broken = true;
  }
  // Added later, each read on its own: a file saved before one of them, or with an older value
  // broken, keeps all the others.
  bool Missing = Broken;
  if (const auto Copy = TryRead([this] { return Store.ReadBool("CopyStreams"); }))
    CheckBoxCopyStreams = *Copy;
  else
    Missing = true;
  const auto Jobs = TryRead([this] { return Store.ReadInteger("Simultaneous Conversions"); });
  if (Jobs) SetSpinEditJobs(*Jobs);
  // 0: automatic. Saved before it existed, a count was one's own choice only above 1, which
  // was written wherever the count was missing.
  const auto AtOnce = TryRead([this] { return Store.ReadInteger("Conversions At Once"); });
  if (AtOnce && *AtOnce > 0) SetSpinEditJobs(*AtOnce);
  SetCheckBoxAutoJobs(AtOnce ? *AtOnce <= 0 : !Jobs || *Jobs <= 1);
  Missing = Missing || !Jobs || !AtOnce;
  const auto KeepFolders = TryRead([this] { return Store.ReadBool("Keep Folders"); });
  const auto SkipConverted = TryRead([this] { return Store.ReadBool("Skip Converted"); });
  CheckBoxKeepFolders = KeepFolders.value_or(CheckBoxKeepFolders);
  CheckBoxSkipConverted = SkipConverted.value_or(CheckBoxSkipConverted);
  Missing = Missing || !KeepFolders || !SkipConverted;
  for (const TSourceSwitch &Switch : SourceSwitches) {
    if (const auto On = TryRead([this, &Switch] { return Store.ReadBool(Switch.Key); }))
      this->*Switch.Box = *On;
    else
      Missing = true;
  }
  if (Missing) SaveSettings();
  Loaded();
}

void TForm4::Loaded() {
  if (Form1.OnViewChange) Form1.OnViewChange(TViewPart::OutputFolder);
  Changed();
}

void TForm4::SaveSettings() {
  try {
    Store.WriteString("Output Folder", Form1.EditOutputFolder);
    Store.WriteInteger("ComboOutputFormat", Form1.ComboOutputFormat.ItemIndex());
    Store.WriteBool("Overwrite", CheckBoxOverWrite);
    Store.WriteInteger("DropDownItems", SpinEdit1);
    Store.WriteInteger("LetterBox", Form1.ComboLetterBox.ItemIndex());
    Store.WriteBool("CopyStreams", CheckBoxCopyStreams);
    Store.WriteInteger("Simultaneous Conversions", SpinEditJobs);
    Store.WriteInteger("Conversions At Once", CheckBoxAutoJobs ? 0 : SpinEditJobs);
    Store.WriteBool("Keep Folders", CheckBoxKeepFolders);
    Store.WriteBool("Skip Converted", CheckBoxSkipConverted);
    for (const TSourceSwitch &Switch : SourceSwitches)
      Store.WriteBool(Switch.Key, this->*Switch.Box);
    Store.Flush();
  } catch (...) {
  }
}

void TForm4::Changed() {
  if (OnChange) OnChange();
}
