// The preset list's commands over the presets file.

#include "app/presets_list.h"

#include <filesystem>

#include "app/main_form.h"
#include "text/text_utils.h"

TPresetList::TPresetList(TForm1 &Form1, std::string Path) : Store(std::move(Path)), Form1(Form1) {
  Reload();
}

void TPresetList::Reload() {
  ReloadShowing(ComboPresets.Text());
}

void TPresetList::ReloadShowing(const std::string &Name) {
  std::vector<TPreset> Presets;
  Problem.clear();
  Store.Load(Presets, Problem);
  std::vector<std::string> Names;
  for (const TPreset &Preset : Presets) Names.push_back(Preset.Name);
  ComboPresets.Assign(Names, TChoiceList::NoSelection);
  ComboPresets.SelectText(Name);
}

void TPresetList::ComboPresetsChange() {
  const std::string Name = ComboPresets.Text();
  if (Name.empty() || Form1.Busy()) return;
  std::vector<TPreset> Presets;
  if (!Store.Load(Presets, Problem)) return Tell(Problem);
  const TPreset *Preset = FindPreset(Presets, Name);
  if (Preset == nullptr) {
    ReloadShowing({});
    return Tell("The preset \"" + Name + "\" was deleted in the meantime.");
  }
  const std::vector<std::string> Missed = ApplyPreset(Form1, *Preset);
  if (Missed.empty()) return;
  std::string Text = "The preset \"" + Name + "\" was applied without what this version lacks:";
  for (const std::string &Line : Missed) Text += "\n- " + Line;
  Tell(Text);
}

void TPresetList::SaveAsPresetClick() {
  if (Form1.Busy()) return;
  std::string Name = ComboPresets.Text();
  if (!Form1.Dialogs.InputText("Save as preset", "Name of the preset:", Name)) return;
  Name = TrimmedText(Name);
  if (Name.empty()) return;
  std::vector<TPreset> Presets;
  if (!Store.Load(Presets, Problem)) return Tell(Problem);
  const bool Replace = FindPreset(Presets, Name) != nullptr;
  if (Replace && !Ask("A preset named \"" + Name + "\" already exists. Replace it?")) return;
  const std::string Failed = Store.Save(PresetOf(Form1, Name), Replace);
  ReloadShowing(Name);
  if (!Failed.empty()) Tell(Failed);
}

void TPresetList::RenamePresetClick() {
  const std::string From = Chosen();
  if (From.empty()) return;
  std::string To = From;
  if (!Form1.Dialogs.InputText("Rename Preset", "New name of the preset:", To)) return;
  To = TrimmedText(To);
  if (To.empty() || To == From) return;
  const std::string Failed = Store.Rename(From, To);
  ReloadShowing(Failed.empty() ? To : From);
  if (!Failed.empty()) Tell(Failed);
}

void TPresetList::DeletePresetClick() {
  const std::string Name = Chosen();
  if (Name.empty() || !Ask("Delete the preset \"" + Name + "\"?")) return;
  const std::string Failed = Store.Delete(Name);
  ReloadShowing({});
  if (!Failed.empty()) Tell(Failed);
}

void TPresetList::ImportPresetsClick() {
  const std::vector<std::string> Files = Form1.Dialogs.OpenFiles(PresetFileFilter, false);
  if (Files.empty()) return;
  std::vector<std::string> Imported;
  const std::string Failed = Store.Import(Files.front(), Imported);
  ReloadShowing(Imported.size() == 1 ? Imported.front() : ComboPresets.Text());
  if (!Failed.empty()) return Tell(Failed);
  std::string Text = Imported.size() == 1 ? "Imported the preset" : "Imported the presets";
  for (size_t Index = 0; Index < Imported.size(); ++Index)
    Text += (Index == 0 ? " \"" : ", \"") + Imported[Index] + "\"";
  Tell(Imported.empty() ? "The file " + Files.front() + " holds no presets." : Text + ".");
}

void TPresetList::Export(bool All) {
  const std::string Name = All ? std::string() : Chosen();
  if (!All && Name.empty()) return;
  const std::string File =
      Form1.Dialogs.SaveFile(PresetFileFilter, (All ? "tarnwick-presets" : Name) + ".json");
  if (File.empty()) return;
  std::vector<std::string> Names;
  if (!All) Names.push_back(Name);
  const std::string Failed = Store.Export(File, Names);
  if (!Failed.empty()) Tell(Failed);
}

std::string TPresetList::Chosen() {
  const std::string Name = ComboPresets.Text();
  if (Name.empty()) Tell("Choose a preset in the preset list first.");
  return Name;
}

void TPresetList::Tell(const std::string &Text) {
  ShowInformation(Form1.Dialogs, Text);
}

bool TPresetList::Ask(const std::string &Question) {
  return Form1.Dialogs.MessageBox(Question, "Confirmation", TMsgIcon::Question,
                                  TMsgButtons::YesNo) == TModalResult::Yes;
}
