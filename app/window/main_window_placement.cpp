// The main window's size, position and column widths from and into the user's settings; the
// settings are written to disk with the Additional Options when the window closes.

#include <QGuiApplication>
#include <QScreen>

#include "app/additional_options.h"
#include "app/window/job_list_view.h"
#include "app/window/main_window.h"
#include "app/window/window_placement.h"

namespace {

// The screens' usable areas, the primary first: a window without a place of its own goes there.
QList<QRect> ScreenAreas() {
  QList<QRect> Areas;
  QScreen *Primary = QGuiApplication::primaryScreen();
  if (Primary != nullptr) Areas << Primary->availableGeometry();
  for (QScreen *Screen : QGuiApplication::screens())
    if (Screen != Primary) Areas << Screen->availableGeometry();
  return Areas;
}

}  // namespace

void TMainWindow::RestorePlacement() {
  const TWindowPlacement Saved = ReadWindowPlacement(FForm4.SettingsStore());
  const TWindowGeometry Fitted = FitToScreens(Saved, size(), ScreenAreas());
  if (Fitted.Position)
    setGeometry(QRect(*Fitted.Position, Fitted.Size));
  else
    resize(Fitted.Size);
  if (Saved.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  FListView1->SetColumnWidths(Saved.ColumnWidths);
}

void TMainWindow::SavePlacement() {
  TWindowPlacement Placement;
  Placement.Maximized = isMaximized();
  // A maximized window keeps the place it goes back to; one that never had any saves none.
  const QRect Normal = Placement.Maximized || isFullScreen() ? normalGeometry() : geometry();
  if (Normal.isValid()) {
    Placement.Position = Normal.topLeft();
    Placement.Size = Normal.size();
  }
  Placement.ColumnWidths = FListView1->ColumnWidths();
  // As with the other settings, closing goes on when they cannot be kept.
  try {
    WriteWindowPlacement(FForm4.SettingsStore(), Placement);
  } catch (...) {
  }
}
