// ListView1 as a model: the job list's rows (caption = the input's full path, a check box, the
// cells by sub-item index), the selection and the columns a window shows. Main thread only.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

// Sub-item positions of a row's cells.
enum TJobCell : int {
  jcVideoSize = 0,
  jcFrameRate = 1,
  jcDuration = 2,
  jcOutput = 3,
  jcProgress = 4,
  jcFrames = 5,
};

inline constexpr int JobCellCount = 7;  // one more, never shown, after "Frames"

struct TJobRow {
  std::string Caption;
  bool Checked = true;
  std::array<std::string, JobCellCount> SubItems{};
  // The file its conversion writes, once its job has been set up.
  std::string OutputFile;
  // Why the row's conversion failed, as the engine put it; never a cell, shown as a hint.
  std::string FailReason;
  // The subfolder it was found in under an added folder ("2024"); empty for a file given itself.
  std::string SubFolder;
};

enum class TColumnAlignment { Left, Centre };

struct TJobColumn {
  const char *Title;
  TColumnAlignment Alignment;
  int Width;
};

inline constexpr TJobColumn JobColumns[] = {
    {"Video File Name", TColumnAlignment::Left, 300}, {"Video Size", TColumnAlignment::Centre, 90},
    {"FrameRate", TColumnAlignment::Centre, 90},      {"Duration", TColumnAlignment::Centre, 60},
    {"Output", TColumnAlignment::Centre, 65},         {"Progress", TColumnAlignment::Centre, 57},
    {"Frames", TColumnAlignment::Centre, 60},
};

class TJobList {
 public:
  static constexpr int NoRow = -1;

  int Count() const { return static_cast<int>(FRows.size()); }
  const TJobRow &Row(int Index) const { return FRows.at(Index); }
  const std::string &Cell(int Index, TJobCell Cell) const { return Row(Index).SubItems[Cell]; }

  void Add(TJobRow Row);
  // Appends the rows in their order with one notification.
  void Add(std::vector<TJobRow> Rows);
  void Delete(int Index);
  void Clear();
  void SetCell(int Index, TJobCell Cell, const std::string &Text);
  void SetChecked(int Index, bool Checked);
  void SetFailReason(int Index, const std::string &Reason);
  void SetOutputFile(int Index, const std::string &Path);
  void CheckAll(bool Checked);
  // The row's cell in every row.
  void SetCellOfAll(TJobCell Cell, const std::string &Text);

  // The first selected row, NoRow when none is.
  int Selected() const { return FSelection.empty() ? NoRow : FSelection.front(); }
  // Ascending, without repeats.
  const std::vector<int> &SelectedRows() const { return FSelection; }
  bool IsSelected(int Index) const;
  // Only that row (NoRow: none); a row the list does not have changes nothing.
  void SetSelected(int Index);
  // Rows the list does not have are left out.
  void SetSelectedRows(std::vector<int> Rows);
  void SelectAll();
  // Removes the selected rows; the selection is empty afterwards.
  void DeleteSelected();
  // The row whose caption is Caption, NoRow when none.
  int Find(const std::string &Caption) const;
  // Asks the view to bring the row into sight; AtTop: as the list's first row shown, so rows
  // after it are in sight too.
  void MakeVisible(int Index, bool AtTop = false);

  // What changed, for the view. Row NoRow: rows were added, removed or reordered.
  std::function<void(int Row)> OnChange;
  // Rows from First on were appended and nothing else changed, so a view need not show the
  // others again; when unassigned, OnChange(NoRow) says it instead.
  std::function<void(int First)> OnRowsAppended;
  std::function<void(int Row, bool AtTop)> OnMakeVisible;
  // The user's list changed: rows added or removed, a check box set (not a cell).
  std::function<void()> OnEdited;

 private:
  void Changed(int Row);
  void Edited();

  std::vector<TJobRow> FRows;
  std::vector<int> FSelection;
};
