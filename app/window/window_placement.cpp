// The window's placement in the settings and fitted to the screens of this run.

#include "app/window/window_placement.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdlib>

#include "app/settings_store.h"

namespace {

constexpr char LeftKey[] = "WindowLeft";
constexpr char TopKey[] = "WindowTop";
constexpr char WidthKey[] = "WindowWidth";
constexpr char HeightKey[] = "WindowHeight";
constexpr char MaximizedKey[] = "WindowMaximized";
constexpr char ColumnsKey[] = "JobListColumnWidths";

// Larger than any screen: anything beyond it was not written by us.
constexpr int LargestExtent = 100000;
// How much of the window's top edge must be on a screen for the user to grab it there.
constexpr int GrabReach = 48;

bool Usable(int Extent) {
  return Extent > 0 && Extent <= LargestExtent;
}

// "90,60,..."; empty when any part is not a usable width.
std::vector<int> ParseWidths(const std::string &Text) {
  std::vector<int> Widths;
  for (const QString &Part : QString::fromStdString(Text).split(',')) {
    bool Ok = false;
    const int Width = Part.trimmed().toInt(&Ok);
    if (!Ok || !Usable(Width)) return {};
    Widths.push_back(Width);
  }
  return Widths;
}

const QRect *ScreenHolding(QPoint Position, int Width, const QList<QRect> &Screens) {
  const QRect TopEdge(Position, QSize(Width, GrabReach));
  for (const QRect &Screen : Screens) {
    const QRect OnScreen = TopEdge & Screen;
    if (OnScreen.width() >= std::min(GrabReach, Width) &&
        OnScreen.height() >= std::min(GrabReach, Screen.height()))
      return &Screen;
  }
  return nullptr;
}

}  // namespace

TWindowPlacement ReadWindowPlacement(TSettingsStore &Store) {
  TWindowPlacement Placement;
  const auto Integer = [&Store](const char *Key) {
    return TryRead([&Store, Key] { return Store.ReadInteger(Key); });
  };
  const std::optional<int> Left = Integer(LeftKey), Top = Integer(TopKey);
  if (Left && Top && std::abs(*Left) <= LargestExtent && std::abs(*Top) <= LargestExtent)
    Placement.Position = QPoint(*Left, *Top);
  const std::optional<int> Width = Integer(WidthKey), Height = Integer(HeightKey);
  if (Width && Height && Usable(*Width) && Usable(*Height)) Placement.Size = QSize(*Width, *Height);
  Placement.Maximized = TryRead([&Store] { return Store.ReadBool(MaximizedKey); }).value_or(false);
  const std::optional<std::string> Columns =
      TryRead([&Store] { return Store.ReadString(ColumnsKey); });
  if (Columns) Placement.ColumnWidths = ParseWidths(*Columns);
  return Placement;
}

void WriteWindowPlacement(TSettingsStore &Store, const TWindowPlacement &Placement) {
  if (Placement.Position) {
    Store.WriteInteger(LeftKey, Placement.Position->x());
    Store.WriteInteger(TopKey, Placement.Position->y());
  }
  if (Placement.Size) {
    Store.WriteInteger(WidthKey, Placement.Size->width());
    Store.WriteInteger(HeightKey, Placement.Size->height());
  }
  Store.WriteBool(MaximizedKey, Placement.Maximized);
  QStringList Widths;
  for (int Width : Placement.ColumnWidths) Widths << QString::number(Width);
  Store.WriteString(ColumnsKey, Widths.join(',').toStdString());
}

TWindowGeometry FitToScreens(const TWindowPlacement &Placement, QSize DefaultSize,
                             const QList<QRect> &Screens) {
  TWindowGeometry Fitted{Placement.Size.value_or(DefaultSize), std::nullopt};
  const QRect *Screen = Screens.isEmpty() ? nullptr : &Screens.front();
  if (Placement.Position) {
    if (const QRect *Holding = ScreenHolding(*Placement.Position, Fitted.Size.width(), Screens)) {
      Screen = Holding;
      Fitted.Position = Placement.Position;
    }
  }
  if (Screen == nullptr) return Fitted;
  const QSize Clamped = Fitted.Size.boundedTo(Screen->size());
  // A window the user left hanging over an edge stays so; one made smaller goes inside.
  if (Clamped != Fitted.Size && Fitted.Position) {
    Fitted.Position->setX(
        std::clamp(Fitted.Position->x(), Screen->left(), Screen->right() + 1 - Clamped.width()));
    Fitted.Position->setY(
        std::clamp(Fitted.Position->y(), Screen->top(), Screen->bottom() + 1 - Clamped.height()));
  }
  Fitted.Size = Clamped;
  return Fitted;
}
