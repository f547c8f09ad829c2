// The job list model: rows, cells, checks and selection.

#include "app/job_list.h"

#include <algorithm>
#include <iterator>

void TJobList::Add(TJobRow Row) {
  FRows.push_back(std::move(Row));
  Changed(NoRow);
  Edited();
}

void TJobList::Add(std::vector<TJobRow> Rows) {
  if (Rows.empty()) return;
  const int First = Count();
  FRows.insert(FRows.end(), std::make_move_iterator(Rows.begin()),
               std::make_move_iterator(Rows.end()));
  if (OnRowsAppended)
    OnRowsAppended(First);
  else
    Changed(NoRow);
  Edited();
}

void TJobList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) return;
  FRows.erase(FRows.begin() + Index);
  std::erase(FSelection, Index);
  for (int &Selected : FSelection)
    if (Selected > Index) --Selected;
  Changed(NoRow);
  Edited();
}

void TJobList::Clear() {
  FRows.clear();
  FSelection.clear();
  Changed(NoRow);
  Edited();
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
  Edited();
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

bool TJobList::IsSelected(int Index) const {
  return std::binary_search(FSelection.begin(), FSelection.end(), Index);
}

void TJobList::SetSelected(int Index) {
  if (Index < NoRow || Index >= Count()) return;
  SetSelectedRows(Index == NoRow ? std::vector<int>{} : std::vector<int>{Index});
}

void TJobList::SetSelectedRows(std::vector<int> Rows) {
  std::erase_if(Rows, [this](int Row) { return Row < 0 || Row >= Count(); });
  std::sort(Rows.begin(), Rows.end());
  Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
  if (Rows == FSelection) return;
  FSelection = std::move(Rows);
  Changed(NoRow);
}

void TJobList::SelectAll() {
  std::vector<int> Rows(FRows.size());
  for (int Row = 0; Row < Count(); ++Row) Rows[Row] = Row;
  SetSelectedRows(std::move(Rows));
}

void TJobList::DeleteSelected() {
  if (FSelection.empty()) return;
  // From the back, so that the positions still to go stay valid.
  for (auto Row = FSelection.rbegin(); Row != FSelection.rend(); ++Row)
    FRows.erase(FRows.begin() + *Row);
  FSelection.clear();
  Changed(NoRow);
  Edited();
}

int TJobList::Find(const std::string &Caption) const {
  const auto Found = std::find_if(FRows.begin(), FRows.end(), [&Caption](const TJobRow &Row) {
    return Row.Caption == Caption;
  });
  return Found == FRows.end() ? NoRow : static_cast<int>(Found - FRows.begin());
}

void TJobList::MakeVisible(int Index, bool AtTop) {
  if (OnMakeVisible && Index >= 0 && Index < Count()) OnMakeVisible(Index, AtTop);
}

void TJobList::Changed(int Row) {
  if (OnChange) OnChange(Row);
}

void TJobList::Edited() {
  if (OnEdited) OnEdited();
}
