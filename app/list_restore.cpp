// TForm1: the list journal's snapshot, and the list offered back at the next start when the
// program did not close normally (a crash, a kill, a power loss, an upgrade mid-batch).

#include <filesystem>

#include "app/additional_options.h"
#include "app/main_form.h"

TBatchJournal TForm1::JournalSnapshot() const {
  TBatchJournal Journal;
  Journal.Entry = ComboOutputFormat.Text();
  for (const TSettingsListName &List : SettingsListNames)
    Journal.Picks.emplace_back(List.Name, (this->*List.List).Text());
  Journal.OutputFolder = EditOutputFolder;
  Journal.Overwrite = Form4 != nullptr && Form4->CheckBoxOverWrite;
  Journal.CopyStreams = Form4 == nullptr || Form4->CheckBoxCopyStreams;
  Journal.Volume = TrackBar1;
  Journal.Rows = JournalRows(ListView1);
  return Journal;
}

void TForm1::OfferRestore() {
  if (ListJournal.File.empty()) return;
  const TJournalRead Earlier = ReadBatchJournal(ListJournal.File);
  if (Earlier.Outcome == TJournalOutcome::SetAside) {
    ShowInformation(Dialogs, Earlier.Message);
    return;
  }
  if (Earlier.Outcome != TJournalOutcome::Read || Earlier.Journal.Rows.empty()) return;
  if (Dialogs.MessageBox(RestoreQuestion, "Confirmation", TMsgIcon::Question, TMsgButtons::YesNo) ==
      TModalResult::Yes)
    RestoreList(Earlier.Journal);
  else
    ListJournal.Remove();
}

void TForm1::RestoreList(const TBatchJournal &Journal) {
  const auto &Entries = ComboOutputFormat.Items();
  for (size_t Position = 0; Position < Entries.size(); ++Position)
    if (Entries[Position] == Journal.Entry) {
      ComboOutputFormat.SetItemIndex(static_cast<int>(Position));
      ComboOutputFormatChange();
      break;
    }
  for (const auto &[Name, Text] : Journal.Picks)
    if (TChoiceList *List = FindSettingsList(*this, Name)) List->SelectText(Text);
  EditOutputFolder = Journal.OutputFolder;
  ViewChanged(TViewPart::OutputFolder);
  SetTrackBar1(Journal.Volume);

  std::vector<TJobRow> Rows;
  for (const TJournalRow &Was : Journal.Rows) {
    TJobRow Row;
    Row.Caption = Was.File;
    Row.Checked = Was.Checked;
    Row.SubItems[jcVideoSize] = Was.VideoSize;
    Row.SubItems[jcFrameRate] = Was.FrameRate;
    Row.SubItems[jcDuration] = Was.Duration;
    Row.SubFolder = Was.SubFolder;
    Row.SubItems[jcOutput] = FOutputType;
    // A row converted stays so, unticked, while its file is there; one that was converting
    // starts again from its beginning (the next conversion into the folder removes the
    // killed run's temporary file).
    if (JournalRowConverted(Was, Journal.Overwrite)) {
      Row.SubItems[jcProgress] = "Done";
      Row.OutputFile = Was.Output;
      Row.Checked = false;
    } else if (Was.State == "Fail" || Was.State == "Abort") {
      Row.SubItems[jcProgress] = Was.State;
    }
    Rows.push_back(std::move(Row));
  }
  ListView1.Add(std::move(Rows));
  ListJournal.Write();
}
