// The job list on screen, with dropped files and the failed rows' hints.

#include "app/window/job_list_view.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QUrl>
#include <algorithm>

namespace {

// Hints of a failed row wait long enough to read an engine message.
constexpr int HintMilliseconds = 30000;

// How a row's final state looks: an icon and a text colour for light and for dark themes,
// so that the states differ by more than their words.
struct TStateLook {
  const char *State;
  QStyle::StandardPixmap Icon;
  QColor OnLight, OnDark;
};

const TStateLook StateLooks[] = {
    {"Done", QStyle::SP_DialogApplyButton, QColor(0x1b, 0x7a, 0x2e), QColor(0x7f, 0xd8, 0x8c)},
    {"Fail", QStyle::SP_MessageBoxCritical, QColor(0xb3, 0x1b, 0x1b), QColor(0xff, 0x8a, 0x80)},
    {"Abort", QStyle::SP_BrowserStop, QColor(0x9a, 0x5b, 0x00), QColor(0xff, 0xc1, 0x5e)},
    {"Error", QStyle::SP_MessageBoxWarning, QColor(0x8e, 0x24, 0xaa), QColor(0xe1, 0x9c, 0xf0)},
};

const TStateLook *LookOf(const std::string &State) {
  for (const TStateLook &Look : StateLooks)
    if (State == Look.State) return &Look;
  return nullptr;
}

// Draws each row's check box with an outline in the palette's text colour: some styles draw an
// unchecked box from colours that a dark theme (Adwaita:dark) makes the same as the row's.
class TCheckOutlineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter *Painter, const QStyleOptionViewItem &Option,
             const QModelIndex &Index) const override {
    QStyledItemDelegate::paint(Painter, Option, Index);
    if (!Index.data(Qt::CheckStateRole).isValid()) return;
    QStyleOptionViewItem Item = Option;
    initStyleOption(&Item, Index);
    const QWidget *View = Option.widget;
    QStyle *Style = View ? View->style() : QApplication::style();
    const QRect Box = Style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Item, View);
    const bool Selected = Option.state & QStyle::State_Selected;
    const QColor Ink = Option.palette.color(Selected ? QPalette::HighlightedText : QPalette::Text);
    const QColor Ground = Option.palette.color(Selected ? QPalette::Highlight : QPalette::Base);
    // Softer than the text, still far from the row's background.
    const QColor Line = QColor::fromRgbF(Ink.redF() * 0.7f + Ground.redF() * 0.3f,
                                         Ink.greenF() * 0.7f + Ground.greenF() * 0.3f,
                                         Ink.blueF() * 0.7f + Ground.blueF() * 0.3f);
    Painter->save();
    Painter->setPen(QPen(Line, 1));
    Painter->setBrush(Qt::NoBrush);
    Painter->drawRect(Box.adjusted(0, 0, -1, -1));
    Painter->restore();
  }
};

Qt::Alignment CellAlignment(TColumnAlignment Alignment) {
  return Qt::AlignVCenter |
         (Alignment == TColumnAlignment::Centre ? Qt::AlignHCenter : Qt::AlignLeft);
}

}  // namespace

std::vector<std::string> DroppedFiles(const QMimeData *Data) {
  std::vector<std::string> Files;
  if (Data == nullptr || !Data->hasUrls()) return Files;
  for (const QUrl &Url : Data->urls())
    if (Url.isLocalFile()) Files.push_back(Url.toLocalFile().toStdString());
  return Files;
}

TJobListView::TJobListView(TJobList &List, QWidget *Parent) : QTableWidget(Parent), FList(List) {
  setObjectName("ListView1");
  setColumnCount(static_cast<int>(std::size(JobColumns)));
  QStringList Titles;
  for (const TJobColumn &Column : JobColumns) Titles << Column.Title;
  setHorizontalHeaderLabels(Titles);
  for (int Column = 0; Column < columnCount(); ++Column) {
    horizontalHeaderItem(Column)->setTextAlignment(CellAlignment(JobColumns[Column].Alignment));
    // The given widths are for another system's font: never narrower than a title or a time.
    const int Needed = std::max(fontMetrics().horizontalAdvance(JobColumns[Column].Title),
                                fontMetrics().horizontalAdvance("00:00:00")) +
                       20;
    setColumnWidth(Column, std::max(JobColumns[Column].Width, Needed));
  }
  // The file name takes what the other columns leave.
  horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
  setToolTipDuration(HintMilliseconds);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setItemDelegateForColumn(0, new TCheckOutlineDelegate(this));

  connect(this, &QTableWidget::itemChanged, this, &TJobListView::ItemChanged);
  connect(this, &QTableWidget::itemSelectionChanged, this, &TJobListView::SelectionChanged);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &Position) {
    if (OnMenuRequested) OnMenuRequested(viewport()->mapToGlobal(Position));
  });
  FList.OnChange = [this](int Row) { Refresh(Row); };
  FList.OnRowsAppended = [this](int First) { ShowAppended(First); };
  FList.OnMakeVisible = [this](int Row, bool AtTop) {
    QTableWidgetItem *First = item(Row, 0);
    if (!First) return;
    // Rows just appended are not yet in the scroll bar's range, which would stop it short.
    updateGeometries();
    scrollToItem(First, AtTop ? PositionAtTop : EnsureVisible);
  };
  Refresh(TJobList::NoRow);
}

TJobListView::~TJobListView() {
  FList.OnChange = nullptr;
  FList.OnRowsAppended = nullptr;
  FList.OnMakeVisible = nullptr;
}

void TJobListView::Refresh(int Row) {
  FRefreshing = true;
  if (Row == TJobList::NoRow) {
    setRowCount(FList.Count());
    for (int Index = 0; Index < FList.Count(); ++Index) ShowRow(Index);
    ShowSelection();
  } else if (Row < rowCount()) {
    ShowRow(Row);
  }
  FRefreshing = false;
}

void TJobListView::ShowAppended(int First) {
  FRefreshing = true;
  setRowCount(FList.Count());
  for (int Index = First; Index < FList.Count(); ++Index) ShowRow(Index);
  FRefreshing = false;
}

void TJobListView::ShowRow(int Row) {
  const TJobRow &Model = FList.Row(Row);
  const bool Failed = Model.SubItems[jcProgress] == "Fail" && !Model.FailReason.empty();
  const QString Hint = Failed ? QString::fromStdString(Model.FailReason) : QString();
  for (int Column = 0; Column < columnCount(); ++Column) {
    const std::string &Text = Column == 0 ? Model.Caption : Model.SubItems[Column - 1];
    QTableWidgetItem *Cell = item(Row, Column);
    if (Cell == nullptr) {
      Cell = new QTableWidgetItem;  // the table owns its items
      Cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                     (Column == 0 ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
      Cell->setTextAlignment(CellAlignment(JobColumns[Column].Alignment));
      // A cell without a check state draws no box: a row that comes unticked (restored Done)
      // could never be ticked again.
      if (Column == 0) Cell->setCheckState(Qt::Unchecked);
      setItem(Row, Column, Cell);
    }
    const QString Shown = QString::fromStdString(Text);
    if (Cell->text() != Shown) Cell->setText(Shown);
    if (Column == 0) {
      const Qt::CheckState Check = Model.Checked ? Qt::Checked : Qt::Unchecked;
      if (Cell->checkState() != Check) Cell->setCheckState(Check);
    }
    // The caption column always tells the whole path, which may be cut short on screen.
    const QString CellHint = Failed || Column != 0 ? Hint : Shown;
    if (Cell->toolTip() != CellHint) Cell->setToolTip(CellHint);
  }
  ShowState(Row, Model.SubItems[jcProgress]);
}

void TJobListView::ShowState(int Row, const std::string &State) {
  QTableWidgetItem *Cell = item(Row, jcProgress + 1);
  const TStateLook *Look = LookOf(State);
  if (Look == nullptr) {
    Cell->setIcon(QIcon());
    Cell->setData(Qt::ForegroundRole, QVariant());
    return;
  }
  // The tone follows the theme's base, so the colour stays readable on dark ones too.
  const bool Dark = palette().color(QPalette::Base).lightness() < 128;
  Cell->setIcon(style()->standardIcon(Look->Icon, nullptr, this));
  Cell->setForeground(Dark ? Look->OnDark : Look->OnLight);
}

void TJobListView::changeEvent(QEvent *Event) {
  QTableWidget::changeEvent(Event);
  if (Event->type() == QEvent::PaletteChange || Event->type() == QEvent::StyleChange)
    Refresh(TJobList::NoRow);
}

void TJobListView::ItemChanged(QTableWidgetItem *Item) {
  if (FRefreshing || Item->column() != 0 || Item->row() >= FList.Count()) return;
  FList.SetChecked(Item->row(), Item->checkState() == Qt::Checked);
}

void TJobListView::ShowSelection() {
  QItemSelection Rows;
  for (int Row : FList.SelectedRows())
    Rows.select(model()->index(Row, 0), model()->index(Row, columnCount() - 1));
  selectionModel()->select(Rows, QItemSelectionModel::ClearAndSelect);
}

void TJobListView::SelectionChanged() {
  if (FRefreshing) return;
  std::vector<int> Rows;
  for (const QModelIndex &Index : selectionModel()->selectedRows()) Rows.push_back(Index.row());
  FList.SetSelectedRows(std::move(Rows));
}

QSize TJobListView::minimumSizeHint() const {
  const int Rows = 2;
  return QSize(QTableWidget::minimumSizeHint().width(),
               horizontalHeader()->sizeHint().height() +
                   verticalHeader()->defaultSectionSize() * Rows + 2 * frameWidth());
}

QSize TJobListView::sizeHint() const {
  return QSize(QTableWidget::sizeHint().width(), minimumSizeHint().height());
}

std::vector<int> TJobListView::ColumnWidths() const {
  std::vector<int> Widths;
  for (int Column = 0; Column < columnCount(); ++Column) Widths.push_back(columnWidth(Column));
  return Widths;
}

void TJobListView::SetColumnWidths(const std::vector<int> &Widths) {
  if (Widths.size() != static_cast<size_t>(columnCount())) return;
  for (int Column = 0; Column < columnCount(); ++Column)
    if (horizontalHeader()->sectionResizeMode(Column) == QHeaderView::Interactive)
      setColumnWidth(Column, std::max(Widths[Column], horizontalHeader()->minimumSectionSize()));
}

void TJobListView::dragEnterEvent(QDragEnterEvent *Event) {
  dragMoveEvent(Event);
}

void TJobListView::dragMoveEvent(QDragMoveEvent *Event) {
  if (!DroppedFiles(Event->mimeData()).empty())
    Event->acceptProposedAction();
  else
    Event->ignore();
}

void TJobListView::dropEvent(QDropEvent *Event) {
  const std::vector<std::string> Files = DroppedFiles(Event->mimeData());
  if (Files.empty()) {
    Event->ignore();
    return;
  }
  Event->acceptProposedAction();
  // Adding probes every file and lets events through: do it after the drop has finished.
  QMetaObject::invokeMethod(
      this,
      [this, Files] {
        if (OnFilesDropped) OnFilesDropped(Files);
      },
      Qt::QueuedConnection);
}
