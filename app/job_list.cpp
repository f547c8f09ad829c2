// The job list model: rows, cells, checks and selection.

#include "app/job_list.h"

void TJobList::Add(TJobRow Row) {
  FRows.push_back(std::move(Row));
  Changed(NoRow);
}

void TJobList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) return;
  FRows.erase(FRows.begin() + Index);
  if (FSelected == Index)
    FSelected = NoRow;
  else if (FSelected > Index)
    --FSelected;
  Changed(NoRow);
}

void TJobList::Clear() {
  FRows.clear();
  FSelected = NoRow;
  Changed(NoRow);
}

void TJobList::SetCell(int Index, TJobCell Cell, const std::string &Text) {
  std::string &Target = FRows.at(Index).SubItems[Cell];
  if (Target == Text) return;
  Target = Text;
  Changed(Index);
}

void TJobList::SetChecked(int Index, bool Checked) {
  bool &Target = FRows.at(Index).Checked;
  if (Target == Checked) return;
  Target = Checked;
  Changed(Index);
}

void TJobList::SetFailReason(int Index, const std::string &Reason) {
  std::string &Target = FRows.at(Index).FailReason;
  if (Target == Reason) return;
  Target = Reason;
  Changed(Index);
}

void TJobList::SetOutputFile(int Index, const std::string &Path) {
  std::string &Target = FRows.at(Index).OutputFile;
  if (Target == Path) return;
  Target = Path;
  Changed(Index);
}

void TJobList::CheckAll(bool Checked) {
  for (int Index = 0; Index < Count(); ++Index) SetChecked(Index, Checked);
}

void TJobList::SetCellOfAll(TJobCell Cell, const std::string &Text) {
  for (int Index = 0; Index < Count(); ++Index) SetCell(Index, Cell, Text);
}

void TJobList::SetSelected(int Index) {
  if (Index < NoRow || Index >= Count() || Index == FSelected) return;
  FSelected = Index;
  Changed(NoRow);
}

void TJobList::MakeVisible(int Index) {
  if (OnMakeVisible && Index >= 0 && Index < Count()) OnMakeVisible(Index);
}

void TJobList::Changed(int Row) {
  if (OnChange) OnChange(Row);
}
