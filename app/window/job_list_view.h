// ListView1 on screen: a table with a check box per row, grid lines and whole-row selection
// that shows a TJobList. The user's checks and selection go back into the model; files dropped
// onto it are handed to OnFilesDropped. A failed row shows the engine's reason as its hint;
// ended and unreadable rows carry an icon and a colour.
// Main thread only.
#pragma once

#include <QTableWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/job_list.h"

class TJobListView : public QTableWidget {
 public:
  explicit TJobListView(TJobList &List, QWidget *Parent = nullptr);
  ~TJobListView() override;

  // Local files dropped onto the list, in the order they came.
  std::function<void(const std::vector<std::string> &Files)> OnFilesDropped;
  // The user asked for the row menu at Position (viewport coordinates).
  std::function<void(const QPoint &Position)> OnMenuRequested;

  // Shows one row as the model holds it, or every row for TJobList::NoRow.
  void Refresh(int Row);
  // Every column's width, for the settings. The name column stretches over what the others
  // leave, so its width is never set back; a list for another number of columns is ignored.
  std::vector<int> ColumnWidths() const;
  void SetColumnWidths(const std::vector<int> &Widths);
  // Shows the rows the model appended from First on.
  void ShowAppended(int First);
  // A few rows: the list takes what the window has to spare and is the first to give it back.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void dragEnterEvent(QDragEnterEvent *Event) override;
  void dragMoveEvent(QDragMoveEvent *Event) override;
  void dropEvent(QDropEvent *Event) override;
  // A new theme recolours the states.
  void changeEvent(QEvent *Event) override;

 private:
  void ShowRow(int Row);
  void ShowSelection();
  // The "Progress" cell's icon and colour for Done, Fail, Abort and Error.
  void ShowState(int Row, const std::string &State);
  void ItemChanged(QTableWidgetItem *Item);
  void SelectionChanged();

  TJobList &FList;
  bool FRefreshing = false;
};

// The local files among dropped data; empty when it holds none.
std::vector<std::string> DroppedFiles(const class QMimeData *Data);
