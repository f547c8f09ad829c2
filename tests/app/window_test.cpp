// The Qt window over the window logic on the offscreen platform: controls by their names,
// adding and dropping files, a real batch from the widgets, and the widgets bound to settings.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/window/desktop_integration.h"
#include "app/window/desktop_notification.h"
#include "app/window/job_list_view.h"
#include "app/window/main_window.h"
#include "app/window/qt_dialogs.h"
#include "app/window/secondary_forms.h"
#include "tests/app/model_test_support.h"
#include "tests/app/window_start.h"

namespace fs = std::filesystem;

namespace {

constexpr char AviEntry[] = "AVI - XviD Video (*.avi)";
constexpr int ProgressColumn = 5;

// The program's windows as main() puts them together, with scripted dialogs and settings in
// a temporary file.
class WindowTest : public testing::Test {
 protected:
  WindowTest() {
    // Window-wide shortcuts only reach the active window.
    Window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Window));
    Table = Window.findChild<QTableWidget *>("ListView1");
  }

  template <typename Widget = QWidget>
  Widget *Control(const char *Name) {
    auto *Found = Window.findChild<Widget *>(Name);
    EXPECT_NE(Found, nullptr) << Name;
    return Found;
  }

  std::vector<std::string> AddFixtures(const std::vector<std::string> &Names,
                                       const char *Source = "sample.mov") {
    Dialogs.FilesToOpen.clear();
    for (const std::string &Name : Names)
      Dialogs.FilesToOpen.push_back(CopyMedia(Inputs.Path(), Name, Source));
    Control<QPushButton>("ButtonAddFile")->click();
    return Dialogs.FilesToOpen;
  }

  void PickFormat(const std::string &Entry) {
    auto *Combo = Control<QComboBox>("ComboOutputFormat");
    const int Index = Combo->findText(QString::fromStdString(Entry));
    ASSERT_GE(Index, 0) << Entry;
    Combo->setCurrentIndex(Index);
    emit Combo->activated(Index);
  }

  // Sends a drag entering the list and, when it is accepted, the drop.
  bool Drop(QMimeData &Data) {
    const QPointF Centre = Table->viewport()->rect().center();
    QDragEnterEvent Enter(Centre.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Table->viewport(), &Enter);
    if (!Enter.isAccepted()) return false;
    QDropEvent Dropped(Centre, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Table->viewport(), &Dropped);
    return true;
  }

  QString Cell(int Row, int Column) const {
    const QTableWidgetItem *Item = Table->item(Row, Column);
    return Item ? Item->text() : QString("<no item>");
  }

  // True when Row is wholly inside the list's visible part.
  bool RowInSight(int Row) const {
    const QRect Shown = Table->visualItemRect(Table->item(Row, 0));
    return Table->viewport()->rect().contains(Shown.topLeft()) &&
           Table->viewport()->rect().contains(Shown.bottomLeft());
  }

  bool BatchOver() {
    return RunEventsUntil([this] { return Form.Idle() && Form.ControlsEnabled(); }, 120);
  }

  TTempFolder Temp{"window"};
  TTempFolder Inputs{"window-inputs"};
  TTempFolder Outputs{"window-outputs"};
  TWindowStart Start{Temp.File("settings.ini")};
  TScriptedDialogs &Dialogs = Start.Dialogs;
  TForm1 &Form = Start.Form;
  TForm4 &Options = Start.Options;
  TMainWindow &Window = Start.Window;
  QTableWidget *Table = nullptr;
};

TEST_F(WindowTest, ControlsCarryTheirNamesAndCaptions) {
  const std::pair<const char *, const char *> Buttons[] = {
      {"ButtonAddFile", "Add Files"},        {"ButtonRemove", "Remove"},
      {"ButtonClear", "Clear All "},         {"ButtonConvert", "Convert Now !"},
      {"ButtonStopConvert", "Stop Convert"}, {"ButtonStopSmall", "Stop"},
  };
  for (const auto &[Name, Caption] : Buttons) {
    auto *Found = Control<QPushButton>(Name);
    EXPECT_EQ(Found ? Found->text() : QString(), Caption) << Name;
  }
  for (const char *Name : {"ListView1", "EditOutputFolder", "ButtonBrowseForFolder", "ProgressBar1",
                           "StatusBar1", "LabelVolume", "MainMenu1"})
    Control(Name);
  QStringList Commands;
  for (const QAction *Entry : Control<QMenu>("PopupListView1")->actions())
    if (!Entry->isSeparator()) Commands << Entry->text();
  EXPECT_EQ(Commands, QStringList({"Remove Selected Item", "Clear All Items", "Check All Items",
                                   "Uncheck All Items"}));
  EXPECT_EQ(Window.windowTitle(), "Tarnwick");
  EXPECT_EQ(QtFileFilter(OpenDialogFilter).toStdString(),
            "All Supported Files (*.mov *.qt *.mp4 *.m4a *.m4v);;"
            "QuickTime Files (*.mov *.qt *.m4v);;"
            "MPEG-4 Audio Files (*.m4a *.mp4)");
  const QStringList Offered = OpenDialogFilters(OpenDialogFilter).split(";;");
  ASSERT_EQ(Offered.size(), 5);
  EXPECT_TRUE(Offered[0].startsWith("All Supported Files (")) << "its own filter stays first";
  EXPECT_TRUE(Offered[3].startsWith("All media files (*.mov ") && Offered[3].contains("*.mkv"));
  EXPECT_EQ(Offered[4], "All files (*)");
}

TEST_F(WindowTest, DroppedFilesBecomeRowsLikeAddedOnesAndOtherDropsAreRefused) {
  PickFormat(AviEntry);
  const std::string Added = AddFixtures({"first clip.mov"})[0];
  QMimeData Data;
  Data.setUrls({QUrl::fromLocalFile(QString::fromStdString(CopyMedia(Inputs.Path(), "b.mov")))});
  EXPECT_TRUE(Drop(Data));
  ASSERT_TRUE(RunEventsUntil([this] { return Table->rowCount() == 2; }, 10));
  EXPECT_EQ(Cell(0, 0).toStdString(), Added);
  EXPECT_EQ(Cell(1, 0).toStdString(), Inputs.File("b.mov"));
  for (int Row = 0; Row < 2; ++Row) {
    EXPECT_EQ(Table->item(Row, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(QStringList({Cell(Row, 1), Cell(Row, 2), Cell(Row, 3), Cell(Row, 4)}),
              QStringList({"320x240", "25", "00:00:02", "AVI"}));
  }
  Table->item(1, 0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(Form.ListView1.Row(1).Checked) << "a check box the user clears reaches the model";
  TJobRow Unticked;  // as a restored Done row comes
  Unticked.Caption = Inputs.File("done.mov");
  Unticked.Checked = false;
  Form.ListView1.Add({Unticked});
  ASSERT_EQ(Table->rowCount(), 3);
  EXPECT_EQ(Table->item(2, 0)->data(Qt::CheckStateRole), Qt::Unchecked) << "no box to tick";

  QMimeData Text;
  Text.setText("not a file");
  EXPECT_FALSE(Drop(Text));
  Text.setUrls({QUrl("https://brimvale.example/clip.mov")});
  EXPECT_TRUE(DroppedFiles(&Text).empty());
}

// A large list grows while its files are probed: the event loop turns between batches of
// rows, and the table shows every appended row as the model holds it, in the chosen order.
TEST_F(WindowTest, TheEventLoopTurnsWhileALargeListIsAddedAndTheTableShowsEveryRow) {
  constexpr int Files = 200;
  Dialogs.FilesToOpen.clear();
  for (int Index = 0; Index < Files; ++Index) {
    const bool Broken = Index % 7 == 3;
    Dialogs.FilesToOpen.push_back(CopyMedia(Inputs.Path(),
                                            std::to_string(Index) + (Broken ? "-x.mov" : ".mov"),
                                            Broken ? "clip.mov" : "sample.mov"));
  }
  QTimer Ticker;
  Ticker.setInterval(1);
  int TicksWhileGrowing = 0;
  QObject::connect(&Ticker, &QTimer::timeout, [this, &TicksWhileGrowing] {
    if (Form.FAddingFiles && Table->rowCount() > 0 && Table->rowCount() < Files)
      ++TicksWhileGrowing;
  });
  Ticker.start();
  Control<QPushButton>("ButtonAddFile")->click();
  Ticker.stop();
  EXPECT_GT(TicksWhileGrowing, 0);
  ASSERT_EQ(Table->rowCount(), Files);
  ASSERT_EQ(Form.ListView1.Count(), Files);
  for (int Row = 0; Row < Files; ++Row) {
    const TJobRow &Model = Form.ListView1.Row(Row);
    ASSERT_EQ(Cell(Row, 0).toStdString(), Dialogs.FilesToOpen[Row]);
    EXPECT_EQ(Table->item(Row, 0)->checkState(), Qt::Checked) << Row;
    for (int Column = 1; Column < Table->columnCount(); ++Column)
      EXPECT_EQ(Cell(Row, Column).toStdString(), Model.SubItems[Column - 1]) << Row;
  }
  EXPECT_EQ(Cell(3, ProgressColumn), "Error");
  EXPECT_EQ(Cell(4, 1), "320x240");
  // The list shows the first row of each add, not where the adding ended.
  EXPECT_TRUE(RowInSight(0)) << Table->rowAt(0);
  std::vector<std::string> More;
  for (int Index = 0; Index < 40; ++Index) More.push_back("more-" + std::to_string(Index) + ".mov");
  // The first adding's end arrives queued; until then another add is refused.
  ASSERT_TRUE(RunEventsUntil([this] { return !Form.Worker1.Runs(); }, 10));
  AddFixtures(More);
  ASSERT_EQ(Table->rowCount(), Files + 40);
  EXPECT_TRUE(RowInSight(Files)) << Table->rowAt(0);
}

TEST_F(WindowTest, ConvertsTwoFilesToAviFromTheWidgets) {
  AddFixtures({"first clip.mov", "second.mov"});
  PickFormat(AviEntry);
  Dialogs.FolderToChoose = Outputs.Path();
  Control<QPushButton>("ButtonBrowseForFolder")->click();
  EXPECT_EQ(Control<QLineEdit>("EditOutputFolder")->text().toStdString(), Outputs.Path());

  QStringList Titles;
  QObject::connect(&Window, &QWidget::windowTitleChanged,
                   [&Titles](const QString &Title) { Titles << Title; });
  Control<QPushButton>("ButtonConvert")->click();
  for (const char *Name : LockedControlNames)
    EXPECT_FALSE(Control(Name)->isEnabled()) << Name << " stays usable during a batch";
  EXPECT_TRUE(Control("ButtonStopConvert")->isEnabled());
  EXPECT_FALSE(Window.menuBar()->actions().first()->isEnabled());
  EXPECT_FALSE(Window.close()) << "closing is refused while converting";
  ASSERT_TRUE(BatchOver()) << "the batch did not end";

  EXPECT_EQ(Cell(0, ProgressColumn), "Done");
  EXPECT_EQ(Cell(1, ProgressColumn), "Done");
  for (const char *Name : {"first clip.avi", "second.avi"}) {
    const fs::path Output = fs::path(Outputs.Path()) / Name;
    ASSERT_TRUE(fs::exists(Output)) << Name;
    EXPECT_GT(fs::file_size(Output), 10000u) << Name;
  }
  EXPECT_EQ(Dialogs.Texts(), std::vector<std::string>{"All Conversions Completed"});
  EXPECT_TRUE(Titles.filter(QRegularExpression("^Batch \\d+% - Tarnwick$")).size() > 0)
      << Titles.join("|").toStdString();
  EXPECT_EQ(Window.windowTitle(), "Tarnwick");
  for (const char *Name : LockedControlNames) EXPECT_TRUE(Control(Name)->isEnabled()) << Name;

  if (const char *Shot = std::getenv("TARNWICK_WINDOW_SHOT")) Window.grab().save(Shot);
  EXPECT_TRUE(Window.close());
  QSettings Saved(QString::fromStdString(Temp.File("settings.ini")), QSettings::IniFormat);
  EXPECT_EQ(Saved.value("Output Folder").toString().toStdString(), Outputs.Path());
}

TEST_F(WindowTest, FailedRowShowsTheEngineReasonAsItsHint) {
  AddFixtures({"broken.mov"}, "clip.mov");
  EXPECT_EQ(Cell(0, ProgressColumn), "Error");
  Form.EditOutputFolder = Outputs.Path();
  Control<QPushButton>("ButtonConvert")->click();
  ASSERT_TRUE(BatchOver()) << "the batch did not end";
  EXPECT_EQ(Cell(0, ProgressColumn), "Fail");
  const std::string Reason = Form.ListView1.Row(0).FailReason;
  EXPECT_FALSE(Reason.empty());
  for (int Column = 0; Column < Table->columnCount(); ++Column)
    EXPECT_EQ(Table->item(0, Column)->toolTip().toStdString(), Reason) << Column;
}

TEST_F(WindowTest, VolumeBarAndOptionsDialogDriveTheirModels) {
  Control<QSlider>("TrackBar1")->setValue(10);
  EXPECT_EQ(Control<QLabel>("LabelVolume")->text(), "200%");
  EXPECT_EQ(Form.AudioVolumeSetting, 600);

  Form.SetGeneralOptions1Click();
  TAdditionalOptionsDialog &Dialog = Window.OptionsDialog();
  EXPECT_TRUE(Dialog.isVisible());
  Dialog.findChild<QSpinBox *>("SpinEdit1")->setValue(40);
  EXPECT_EQ(Control<QComboBox>("ComboOutputFormat")->maxVisibleItems(), 40);
  Dialog.findChild<QCheckBox *>("CheckBoxOverWrite")->setChecked(true);
  EXPECT_TRUE(Options.CheckBoxOverWrite);
  Dialog.findChild<QSpinBox *>("SpinEditJobs")->setValue(2);
  EXPECT_EQ(Options.SpinEditJobs, std::min(2, TForm4::SpinEditJobsMax()));
  Dialog.findChild<QPushButton *>("Button1")->click();
  EXPECT_FALSE(Dialog.isVisible());
}

TEST_F(WindowTest, FilesOnTheCommandLineBecomeRowsLikeDroppedOnes) {
  PickFormat(AviEntry);
  const std::string Clip = CopyMedia(Inputs.Path(), "from the file manager.mov");
  const std::string Other = CopyMedia(Inputs.Path(), "b.mov");
  const QString OtherUrl = QUrl::fromLocalFile(QString::fromStdString(Other)).toString();
  const std::vector<std::string> Files =
      CommandLineFiles({"tarnwick", QString::fromStdString(Clip), OtherUrl});
  ASSERT_EQ(Files, (std::vector<std::string>{Clip, Other}));
  Window.AddFilesLater(Files);
  ASSERT_TRUE(RunEventsUntil([this] { return Table->rowCount() == 2; }, 10));
  EXPECT_EQ(Cell(0, 0).toStdString(), Clip);
  EXPECT_EQ(Cell(1, 0).toStdString(), Other);
  EXPECT_EQ(QStringList({Cell(0, 1), Cell(0, 4), Cell(1, 4)}),
            QStringList({"320x240", "AVI", "AVI"}));
}

TEST_F(WindowTest, WindowHasTheProgramIcon) {
  EXPECT_FALSE(Window.windowIcon().isNull());
  EXPECT_FALSE(TarnwickIcon().pixmap(48, 48).isNull()) << "the built-in icon did not load";
}

TEST_F(WindowTest, ShiftAndCtrlSelectRowsAndDeleteRemovesThem) {
  AddFixtures({"a.mov", "b.mov", "c.mov", "d.mov"});
  ASSERT_EQ(Table->rowCount(), 4);
  auto Click = [this](int Row, Qt::KeyboardModifiers Keys) {
    const QRect Where = Table->visualItemRect(Table->item(Row, 1));
    QTest::mouseClick(Table->viewport(), Qt::LeftButton, Keys, Where.center());
  };
  Click(0, Qt::NoModifier);
  Click(2, Qt::ShiftModifier);
  EXPECT_EQ(Form.ListView1.SelectedRows(), (std::vector<int>{0, 1, 2}));
  Click(1, Qt::ControlModifier);
  EXPECT_EQ(Form.ListView1.SelectedRows(), (std::vector<int>{0, 2}));
  QTest::keyClick(Table, Qt::Key_Delete);
  ASSERT_EQ(Table->rowCount(), 2);
  EXPECT_EQ(Cell(0, 0).toStdString(), Inputs.File("b.mov"));
  EXPECT_EQ(Cell(1, 0).toStdString(), Inputs.File("d.mov"));

  QTest::keyClick(Table, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(Form.ListView1.SelectedRows(), (std::vector<int>{0, 1}));
  EXPECT_EQ(Table->selectionModel()->selectedRows().size(), 2);
  Control<QMenu>("PopupListView1")->findChild<QAction *>("DeleteSelectedItem1")->trigger();
  EXPECT_EQ(Table->rowCount(), 0) << "the pop-up's remove acts on the whole selection";
}

TEST_F(WindowTest, MenuEntriesShowTheirShortcutsAndTheKeysWork) {
  const std::pair<const char *, QKeySequence> Entries[] = {
      {"AddFiles1", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {"Convert1", QKeySequence(Qt::CTRL | Qt::Key_Return)},
      {"Exit1", QKeySequence(Qt::CTRL | Qt::Key_Q)},
      {"OpenHelpFile1", QKeySequence(Qt::Key_F1)},
  };
  for (const auto &[Name, Keys] : Entries) {
    auto *Entry = Window.findChild<QAction *>(Name);
    ASSERT_NE(Entry, nullptr) << Name;
    EXPECT_EQ(Entry->shortcut(), Keys) << Name;
  }
  QStringList Titles;
  for (const QAction *Menu : Window.menuBar()->actions()) Titles << Menu->text();
  EXPECT_EQ(Titles, QStringList({"&File", "&Options", "&Help"}));

  QTest::keyClick(Table, Qt::Key_F1);
  EXPECT_EQ(Dialogs.HelpShown.size(), 1u);
  Dialogs.FilesToOpen = {CopyMedia(Inputs.Path(), "keyed.mov")};
  QTest::keyClick(Table, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(Table->rowCount(), 1) << "Ctrl+O adds files";
  QTest::keyClick(Table, Qt::Key_Escape);
  EXPECT_TRUE(Dialogs.Messages.empty()) << "Escape asks nothing without a batch";
}

TEST_F(WindowTest, LabelsLeadToTheirControlsAndKeyControlsHaveAccessibleNames) {
  for (const char *Name : {"ComboOutputFormat", "EditOutputFolder", "ComboVideoCodec",
                           "ComboAudioCodec", "ComboLetterBox", "TrackBar1"}) {
    const QWidget *Target = Control(Name);
    bool Labelled = false;
    for (const QLabel *Label : Window.findChildren<QLabel *>())
      if (Label->buddy() && Label->buddy()->focusProxy() == Target)
        Labelled = true;
      else if (Label->buddy() == Target && Label->text().contains('&'))
        Labelled = true;
    EXPECT_TRUE(Labelled) << Name << " has no label with a mnemonic";
  }
  const std::pair<const char *, const char *> Named[] = {
      {"TrackBar1", "Volume"},
      {"ListView1", "Job list"},
      {"ProgressBar1", "Progress of the current file"}};
  for (const auto &[Name, Accessible] : Named)
    EXPECT_EQ(Control(Name)->accessibleName(), Accessible) << Name;
}

TEST_F(WindowTest, EndedRowsDifferByIconAndColourAndEscapeAsksToStop) {
  AddFixtures({"good.mov"});
  Form.FilesDropped({CopyMedia(Inputs.Path(), "broken.mov", "clip.mov")});
  PickFormat(AviEntry);
  Form.EditOutputFolder = Outputs.Path();
  ASSERT_EQ(Table->rowCount(), 2) << Form.StatusBar1[0];
  EXPECT_FALSE(Table->item(1, ProgressColumn)->icon().isNull()) << "an Error row has its mark";
  Control<QPushButton>("ButtonConvert")->click();
  QTest::keyClick(Table, Qt::Key_Escape);
  EXPECT_EQ(Dialogs.Texts(), std::vector<std::string>{"Stop all conversions?"});
  ASSERT_TRUE(BatchOver()) << "the batch did not end";
  ASSERT_EQ(QStringList({Cell(0, ProgressColumn), Cell(1, ProgressColumn)}),
            QStringList({"Done", "Fail"}));
  const QTableWidgetItem *Done = Table->item(0, ProgressColumn);
  const QTableWidgetItem *Failed = Table->item(1, ProgressColumn);
  EXPECT_FALSE(Done->icon().isNull());
  EXPECT_FALSE(Failed->icon().isNull());
  EXPECT_NE(Done->foreground().color(), Failed->foreground().color());
  if (const char *Shot = std::getenv("TARNWICK_MIXED_SHOT")) Window.grab().save(Shot);
}

TEST_F(WindowTest, PercentagesAreLabelledAndNoNotificationWithoutASessionBus) {
  EXPECT_TRUE(Control<QProgressBar>("ProgressBar1")->format().startsWith("This file"));
  // main() leaves the test without a session bus.
  EXPECT_FALSE(NotifyDesktop("Conversions completed", "1 Done"));
}

TEST_F(WindowTest, EndMessageOffersToOpenTheOutputFolder) {
  TQtDialogs Real;
  Real.SetParent(&Window);
  QStringList Buttons;
  QTimer::singleShot(0, [&Buttons] {
    auto *Box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_NE(Box, nullptr);
    for (const QAbstractButton *Button : Box->buttons()) Buttons << Button->text();
    if (const char *Shot = std::getenv("TARNWICK_END_SHOT")) Box->grab().save(Shot);
    Box->button(QMessageBox::Ok)->click();
  });
  Real.ShowBatchEnd("Conversions Completed with errors\n1 Done, 1 Fail", Outputs.Path());
  EXPECT_TRUE(Buttons.contains("&Open Output Folder")) << Buttons.join('|').toStdString();
}

// A palette of the light, dark (as Adwaita:dark gives it) or high-contrast kind.
QPalette ThemePalette(const char *Name) {
  if (std::string(Name) == "light") return QApplication::style()->standardPalette();
  const bool Dark = std::string(Name) == "dark";
  const QColor Window = Dark ? QColor(0x35, 0x35, 0x35) : Qt::black;
  const QColor Base = Dark ? QColor(0x2d, 0x2d, 0x2d) : Qt::black;
  const QColor Text = Dark ? QColor(0xee, 0xee, 0xec) : Qt::white;
  QPalette Palette(Text, Window, Window.lighter(130), Window.darker(130), Window.darker(110), Text,
                   Text, Base, Window);
  Palette.setColor(QPalette::Highlight, Dark ? QColor(0x15, 0x53, 0x9e) : QColor(Qt::yellow));
  Palette.setColor(QPalette::HighlightedText, Dark ? QColor(Qt::white) : QColor(Qt::black));
  return Palette;
}

// Pixels of Area in Shot whose lightness differs from Background's by more than a third of the
// scale: what an eye tells apart from the background at a glance.
int StandingOut(const QImage &Shot, const QRect &Area, QColor Background) {
  int Count = 0;
  for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
    for (int X = Area.left(); X <= Area.right(); ++X)
      if (std::abs(Shot.pixelColor(X, Y).lightness() - Background.lightness()) > 85) ++Count;
  return Count;
}

TEST_F(WindowTest, EveryRowStateStandsOutInLightDarkAndHighContrastThemes) {
  AddFixtures({"checked.mov", "unchecked.mov", "done.mov", "fail.mov", "abort.mov", "error.mov",
               "selected.mov"});
  ASSERT_EQ(Table->rowCount(), 7);
  const char *States[] = {"", "", "Done", "Fail", "Abort", "Error", ""};
  for (int Row = 0; Row < 7; ++Row) {
    Form.ListView1.SetCell(Row, jcProgress, States[Row]);
    Form.ListView1.SetChecked(Row, Row != 1 && Row != 6);
  }
  Form.ListView1.SetSelectedRows({6});
  Table->clearFocus();
  const int Box = Table->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 8;
  for (const char *Theme : {"light", "dark", "high contrast"}) {
    SCOPED_TRACE(Theme);
    Window.setPalette(ThemePalette(Theme));
    QCoreApplication::processEvents();
    const QImage Shot = Table->viewport()->grab().toImage();
    if (const char *Folder = std::getenv("TARNWICK_THEME_SHOTS"))
      Shot.save(QString("%1/rows-%2.png").arg(Folder, QString(Theme).replace(' ', '-')));
    for (int Row = 0; Row < 7; ++Row) {
      const QRect Name = Table->visualItemRect(Table->item(Row, 0));
      // The name column's far end holds nothing but the row's background.
      const QColor Background = Shot.pixelColor(Name.right() - 3, Name.center().y());
      const QRect Check(Name.left(), Name.top() + 1, Box, Name.height() - 2);
      EXPECT_GE(StandingOut(Shot, Check, Background), 12) << "check box of row " << Row;
      if (Row >= 2 && Row <= 5) {
        const QRect State = Table->visualItemRect(Table->item(Row, ProgressColumn));
        EXPECT_GE(StandingOut(Shot, State.adjusted(1, 1, -1, -1), Background), 12) << States[Row];
      }
    }
    // The selected row's background is not the others'.
    const QRect Selected = Table->visualItemRect(Table->item(6, 0));
    const QRect Other = Table->visualItemRect(Table->item(1, 0));
    EXPECT_GT(std::abs(Shot.pixelColor(Selected.right() - 3, Selected.center().y()).lightness() -
                       Shot.pixelColor(Other.right() - 3, Other.center().y()).lightness()),
              20);
  }
}

// The window shrunk to a screen of TARNWICK_FIT_SCREEN ("1280x720") device pixels at the scale
// QT_SCALE_FACTOR sets: run by WindowFitTest.FitsSmallScreensAtScaleOneAndTwo in a process of its
// own, since the scale is fixed when the application starts; skipped otherwise.
TEST_F(WindowTest, ShrinksToTheScreenKeepingConvertAndTheSettingsReachable) {
  const QString Screen = qEnvironmentVariable("TARNWICK_FIT_SCREEN");
  if (Screen.isEmpty()) GTEST_SKIP() << "run by WindowFitTest";
  const QStringList Sides = Screen.split('x');
  ASSERT_EQ(Sides.size(), 2) << Screen.toStdString();
  const double Scale = Window.devicePixelRatio();
  // A title bar and a desktop panel take their part of the screen's height.
  constexpr int Decoration = 64;
  const QSize Room(static_cast<int>(Sides[0].toInt() / Scale),
                   static_cast<int>((Sides[1].toInt() - Decoration) / Scale));
  std::cout << "scale " << Scale << ": minimum " << Window.minimumSizeHint().width() << "x"
            << Window.minimumSizeHint().height() << ", room " << Room.width() << "x"
            << Room.height() << std::endl;
  EXPECT_LE(Window.minimumSizeHint().width(), Room.width());
  EXPECT_LE(Window.minimumSizeHint().height(), Room.height());
  Window.resize(Room);
  QTest::qWait(50);
  // Every button of the convert row is whole inside the window.
  const QRect Inside = Window.rect();
  for (const char *Name : {"ButtonConvert", "ButtonStopConvert", "ButtonPause", "ButtonAddFile"}) {
    const QWidget *Button = Control(Name);
    const QRect Where(Button->mapTo(&Window, QPoint(0, 0)), Button->size());
    EXPECT_TRUE(Inside.contains(Where)) << Name;
  }
  // Every setting can be scrolled into sight, and only downwards.
  auto *Scroll = Control<QScrollArea>("SettingsScroll");
  EXPECT_EQ(Scroll->horizontalScrollBar()->maximum(), 0);
  for (const char *Name : {"ComboOutputFormat", "ComboVideoCodec", "ComboLetterBox", "TrackBar1",
                           "ButtonBrowseForFolder"}) {
    QWidget *Setting = Control(Name);
    Scroll->ensureWidgetVisible(Setting);
    const QRect Where(Setting->mapTo(Scroll->viewport(), QPoint(0, 0)), Setting->size());
    EXPECT_TRUE(Scroll->viewport()->rect().contains(Where)) << Name;
  }
  if (const char *Shot = std::getenv("TARNWICK_FIT_SHOT")) Window.grab().save(Shot);
}

TEST(WindowFitTest, FitsSmallScreensAtScaleOneAndTwo) {
  const struct { const char *Scale, *Screen; } Cases[] = {{"1", "1280x720"}, {"2", "1280x800"}};
  for (const auto &Case : Cases) {
    const TProcessResult Run = RunProgram(
        {"/usr/bin/env", std::string("QT_SCALE_FACTOR=") + Case.Scale,
         std::string("TARNWICK_FIT_SCREEN=") + Case.Screen,
         fs::read_symlink("/proc/self/exe").string(),
         "--gtest_filter=WindowTest.ShrinksToTheScreenKeepingConvertAndTheSettingsReachable"});
    EXPECT_EQ(Run.ExitStatus, 0) << Case.Scale << "\n" << Run.Output << Run.Errors;
    EXPECT_NE(Run.Output.find("[  PASSED  ] 1 test"), std::string::npos) << Run.Output;
  }
}

struct TCommandLineCase {
  QStringList Arguments;
  std::vector<std::string> Files;
};

TEST(CommandLineFilesTest, TakesPathsAndFileUrlsAndLeavesOptionsOut) {
  const std::string Here = fs::current_path().string();
  const TCommandLineCase Cases[] = {
      {{"tarnwick"}, {}},
      {{"tarnwick", "/media/a.mov", "/media/../media/b.mp4"}, {"/media/a.mov", "/media/b.mp4"}},
      {{"tarnwick", "relative.mov"}, {Here + "/relative.mov"}},
      {{"tarnwick", "file:///media/with%20blank.mov"}, {"/media/with blank.mov"}},
      {{"tarnwick", "--verbose", "/media/a.mov"}, {"/media/a.mov"}},
      {{"tarnwick", "--", "-dash.mov"}, {Here + "/-dash.mov"}},
      {{"tarnwick", "https://brimvale.example/clip.mov", "/media/a.mov"}, {"/media/a.mov"}},
  };
  for (const TCommandLineCase &Case : Cases)
    EXPECT_EQ(CommandLineFiles(Case.Arguments), Case.Files)
        << Case.Arguments.join(' ').toStdString();
}

}  // namespace

int main(int argc, char **argv) {
  // No display is needed, and none is touched.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // No notification from a test reaches the desktop of whoever runs it.
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  QStandardPaths::setTestModeEnabled(true);
  QApplication Application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
