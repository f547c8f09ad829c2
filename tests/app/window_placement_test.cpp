// The window's size, position and column widths across two starts on one settings file, what
// an unusable saved value does to a start, and how a saved place is fitted to the screens.

#include "app/window/window_placement.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <optional>

#include "tests/app/window_start.h"

namespace {

constexpr int SizeColumn = 1;

std::vector<int> ColumnWidths(TMainWindow &Window) {
  auto *Table = Window.findChild<QTableWidget *>("ListView1");
  std::vector<int> Widths;
  for (int Column = 0; Column < Table->columnCount(); ++Column)
    Widths.push_back(Table->columnWidth(Column));
  return Widths;
}

QRect ScreenArea() {
  return QGuiApplication::primaryScreen()->availableGeometry();
}

TWindowPlacement Saved(std::optional<QPoint> Position, std::optional<QSize> Size) {
  TWindowPlacement Placement;
  Placement.Position = Position;
  Placement.Size = Size;
  return Placement;
}

// A size the window can take (its layout has a minimum) that leaves room on the test's screen,
// wide enough that the list's columns fit beside the stretched name column.
QSize Roomy(const TMainWindow &Window) {
  return (QGuiApplication::primaryScreen()->availableGeometry().size() - QSize(60, 40))
      .expandedTo(Window.minimumSizeHint());
}

class WindowPlacementTest : public testing::Test {
 protected:
  std::string SettingsFile() const { return Temp.File("settings.ini"); }

  TTempFolder Temp{"window-placement"};
};

TEST_F(WindowPlacementTest, SizePositionAndColumnWidthsComeBackOnTheNextStart) {
  QRect Chosen;
  std::vector<int> Widths;
  {
    TWindowStart First(SettingsFile());
    Chosen = QRect(ScreenArea().topLeft() + QPoint(40, 30), Roomy(First.Window));
    First.Window.setGeometry(Chosen);
    ASSERT_EQ(First.Window.geometry(), Chosen);
    auto *Table = First.Window.findChild<QTableWidget *>("ListView1");
    Table->horizontalHeader()->resizeSection(SizeColumn, 143);
    Widths = ColumnWidths(First.Window);
    ASSERT_EQ(Widths[SizeColumn], 143);
    ASSERT_TRUE(First.Window.close());
  }
  TWindowStart Second(SettingsFile());
  EXPECT_EQ(Second.Window.geometry(), Chosen);
  EXPECT_EQ(ColumnWidths(Second.Window), Widths);
}

enum class TSizeWanted { AsSaved, AsFirstStart, ScreenFilled };

struct TUnusableCase {
  const char *Name;
  std::vector<std::pair<const char *, const char *>> Values;
  TSizeWanted Size;
  bool ColumnsAsSaved;  // else as on a first start
};

TEST_F(WindowPlacementTest, UnusableSavedValuesLeaveTheStartAndTheOtherSettingsAlone) {
  QSize FirstStartSize, SavedSize;
  std::vector<int> FirstStartWidths;
  {
    TTempFolder Fresh("window-placement-fresh");
    TWindowStart First(Fresh.File("settings.ini"));
    FirstStartSize = First.Window.size();
    SavedSize = Roomy(First.Window);
    FirstStartWidths = ColumnWidths(First.Window);
  }
  const QByteArray Width = QByteArray::number(SavedSize.width());
  const QByteArray Height = QByteArray::number(SavedSize.height());
  const std::pair<const char *, const char *> Good[] = {
      {"WindowLeft", "10"},          {"WindowTop", "10"},
      {"WindowWidth", Width.data()}, {"WindowHeight", Height.data()},
      {"WindowMaximized", "false"},  {"JobListColumnWidths", "300,91,92,61,66,58,71"}};
  const std::vector<int> SavedWidths = {91, 92, 61, 66, 58, 71};
  using enum TSizeWanted;
  const TUnusableCase Cases[] = {
      {"width as text", {{"WindowWidth", "wide"}}, AsFirstStart, true},
      {"negative height", {{"WindowHeight", "-400"}}, AsFirstStart, true},
      {"off every screen", {{"WindowLeft", "-20000"}, {"WindowTop", "-20000"}}, AsSaved, true},
      {"larger than the screen",
       {{"WindowWidth", "9000"}, {"WindowHeight", "7000"}},
       ScreenFilled,
       true},
      {"column width as text",
       {{"JobListColumnWidths", "300,wide,90,60,65,57,60"}},
       AsSaved,
       false},
      {"too few columns", {{"JobListColumnWidths", "300,91"}}, AsSaved, false},
      {"no width at all", {{"JobListColumnWidths", "300,0,92,61,66,58,71"}}, AsSaved, false},
      {"maximized as a word", {{"WindowMaximized", "perhaps"}}, AsSaved, true},
  };
  const std::string Folder = Temp.Path();
  const QRect Area = ScreenArea();
  for (const TUnusableCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    {
      QSettings Ini(QString::fromStdString(SettingsFile()), QSettings::IniFormat);
      Ini.clear();
      Ini.setValue("Output Folder", QString::fromStdString(Folder));
      for (const auto &[Key, Value] : Good) Ini.setValue(Key, Value);
      for (const auto &[Key, Value] : Case.Values) Ini.setValue(Key, Value);
    }
    TWindowStart Started(SettingsFile());
    EXPECT_EQ(Started.Form.EditOutputFolder, Folder) << "the other settings were not read";
    EXPECT_TRUE(Started.Window.isVisible());
    EXPECT_FALSE(Started.Window.isMaximized());
    const QRect Placed = Started.Window.geometry();
    EXPECT_TRUE(Area.contains(Placed.topLeft())) << Placed.x() << "," << Placed.y();
    const QSize Wanted = Case.Size == AsSaved        ? SavedSize
                         : Case.Size == AsFirstStart ? FirstStartSize
                                                     : Area.size();
    EXPECT_EQ(Placed.size(), Wanted);
    const std::vector<int> Widths = ColumnWidths(Started.Window);
    // The name column stretches over the rest, so only the others are compared.
    EXPECT_EQ(std::vector<int>(Widths.begin() + 1, Widths.end()),
              Case.ColumnsAsSaved
                  ? SavedWidths
                  : std::vector<int>(FirstStartWidths.begin() + 1, FirstStartWidths.end()));
  }
}

struct TFitCase {
  const char *Name;
  TWindowPlacement Placement;
  QSize Size;
  std::optional<QPoint> Position;
};

TEST(FitToScreensTest, SavedPlacesOnTheScreensOfThisRun) {
  // A primary screen and a smaller one to its right, with a panel at the primary's top.
  const QList<QRect> Screens = {QRect(0, 30, 1920, 1050), QRect(1920, 0, 1280, 1024)};
  const QSize Default(920, 640);
  const TFitCase Cases[] = {
      {"nothing saved", {}, Default, std::nullopt},
      {"size only", Saved(std::nullopt, QSize(700, 500)), QSize(700, 500), std::nullopt},
      {"on the primary", Saved(QPoint(100, 200), QSize(700, 500)), QSize(700, 500),
       QPoint(100, 200)},
      {"on the second", Saved(QPoint(2000, 100), QSize(700, 500)), QSize(700, 500),
       QPoint(2000, 100)},
      {"hanging over the right edge", Saved(QPoint(2900, 100), QSize(700, 500)), QSize(700, 500),
       QPoint(2900, 100)},
      {"where a third screen was", Saved(QPoint(3300, 100), QSize(700, 500)), QSize(700, 500),
       std::nullopt},
      {"above every screen", Saved(QPoint(100, -600), QSize(700, 500)), QSize(700, 500),
       std::nullopt},
      {"top edge under the panel", Saved(QPoint(100, 0), QSize(700, 500)), QSize(700, 500),
       std::nullopt},
      {"too large for the second", Saved(QPoint(2000, 100), QSize(1600, 1200)), QSize(1280, 1024),
       QPoint(1920, 0)},
      {"too large without a place", Saved(std::nullopt, QSize(4000, 3000)), QSize(1920, 1050),
       std::nullopt},
      {"too wide only", Saved(QPoint(500, 300), QSize(2500, 600)), QSize(1920, 600),
       QPoint(0, 300)},
  };
  for (const TFitCase &Case : Cases) {
    const TWindowGeometry Fitted = FitToScreens(Case.Placement, Default, Screens);
    EXPECT_EQ(Fitted.Size, Case.Size) << Case.Name;
    EXPECT_EQ(Fitted.Position, Case.Position) << Case.Name;
  }
  EXPECT_EQ(FitToScreens(Saved(QPoint(-5000, 0), QSize(5000, 4000)), Default, {}).Size,
            QSize(5000, 4000))
      << "without screens nothing is known to clamp to";
}

}  // namespace
