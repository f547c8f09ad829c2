// The main window's size, position and job list column widths, kept in the user's settings
// beside the Additional Options. What was saved is fitted to today's screens before it is used,
// since monitors come and go between two runs. Main thread only.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

class TSettingsStore;

struct TWindowPlacement {
  std::optional<QPoint> Position;  // of the window's inside, as QWidget::geometry() has it
  std::optional<QSize> Size;
  bool Maximized = false;
  std::vector<int> ColumnWidths;  // one per column; empty keeps the list's own
};

// Whatever is missing or unusable in the settings (a first run, a hand-edited file) is left
// out of the result; the rest is still used.
TWindowPlacement ReadWindowPlacement(TSettingsStore &Store);
// Only writes: the caller flushes along with the other settings.
void WriteWindowPlacement(TSettingsStore &Store, const TWindowPlacement &Placement);

struct TWindowGeometry {
  QSize Size;
  std::optional<QPoint> Position;  // none: wherever the desktop puts a new window
};

// Where the saved window goes on Screens (their available areas, the primary first). A
// position that would leave the window's top edge on no screen is dropped; a size larger
// than its screen is clamped to it and the window moved inside it.
TWindowGeometry FitToScreens(const TWindowPlacement &Placement, QSize DefaultSize,
                             const QList<QRect> &Screens);
