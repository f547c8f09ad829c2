// The Qt window over the window logic, on the offscreen platform: controls found by their
// names, files added by the button and by dropping, a real batch converted from the widgets,
// a failed row's hint, the volume bar and the options dialog, and the open dialog's filter.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QUrl>
#include <cstdlib>
#include <filesystem>

#include "app/window/job_list_view.h"
#include "app/window/main_window.h"
#include "app/window/qt_dialogs.h"
#include "app/window/secondary_forms.h"
#include "tests/app/model_test_support.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr char AviEntry[] = "AVI - XviD Video (*.avi)";
constexpr int ProgressColumn = 5;

// The program's windows as main() puts them together, with scripted dialogs and settings in
// a temporary file.
class WindowTest : public testing::Test {
 protected:
  WindowTest()
      : Settings(Temp.File("settings.ini")),
        Options(Form, Settings),
        Window((Form.Form4 = &Options, CreateForm()), Options) {
    Options.FormCreate();
    Window.show();
    Table = Window.findChild<QTableWidget *>("ListView1");
  }

  TForm1 &CreateForm() {
    EXPECT_TRUE(Form.FormCreate()) << Form.Engine().LastErrorMsg;
    return Form;
  }

  template <typename Widget = QWidget>
  Widget *Control(const char *Name) {
    auto *Found = Window.findChild<Widget *>(Name);
    EXPECT_NE(Found, nullptr) << Name;
    return Found;
  }

  // Two copies of the sample clip under names of their own.
  std::vector<std::string> Fixtures() {
    std::vector<std::string> Files;
    for (const char *Name : {"first clip.mov", "second.mov"}) {
      fs::copy_file(MediaFile("sample.mov"), Inputs.File(Name));
      Files.push_back(Inputs.File(Name));
    }
    return Files;
  }

  void PickFormat(const std::string &Entry) {
    auto *Combo = Control<QComboBox>("ComboOutputFormat");
    const int Index = Combo->findText(QString::fromStdString(Entry));
    ASSERT_GE(Index, 0) << Entry;
    Combo->setCurrentIndex(Index);
    emit Combo->activated(Index);
  }

  void Drop(const std::vector<std::string> &Files) {
    QMimeData Data;
    QList<QUrl> Urls;
    for (const std::string &File : Files) Urls << QUrl::fromLocalFile(QString::fromStdString(File));
    Data.setUrls(Urls);
    const QPointF Centre = Table->viewport()->rect().center();
    QDragEnterEvent Enter(Centre.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Table->viewport(), &Enter);
    QDropEvent Dropped(Centre, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Table->viewport(), &Dropped);
  }

  QString Cell(int Row, int Column) const {
    const QTableWidgetItem *Item = Table->item(Row, Column);
    return Item ? Item->text() : QString("<no item>");
  }

  void ConvertAndWait() {
    Control<QPushButton>("ButtonConvert")->click();
    ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle() && Form.ControlsEnabled(); }, 120))
        << "the batch did not end";
  }

  TTempFolder Temp{"window"};
  TTempFolder Inputs{"window-inputs"};
  TTempFolder Outputs{"window-outputs"};
  TScriptedDialogs Dialogs;
  TQtJobTimer Timer{100};
  TForm1 Form{Dialogs, Timer};
  TQSettingsStore Settings;
  TForm4 Options;
  TMainWindow Window;
  QTableWidget *Table = nullptr;
};

// ===== Controls and layout =====

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
  for (const char *Name : LockedControlNames) Control(Name);
  for (const char *Name : {"EditOutputFolder", "ButtonBrowseForFolder", "ProgressBar1",
                           "StatusBar1", "LabelVolume", "MainMenu1"})
    Control(Name);

  QStringList Menus;
  for (QAction *Entry : Window.menuBar()->actions()) Menus << Entry->text();
  EXPECT_EQ(Menus, QStringList({"File", "Options", "Help"}));
  auto *Popup = Window.findChild<QMenu *>("PopupListView1");
  ASSERT_NE(Popup, nullptr);
  QStringList Entries;
  for (QAction *Entry : Popup->actions())
    if (!Entry->isSeparator()) Entries << Entry->text();
  EXPECT_EQ(Entries, QStringList({"Remove Selected Item", "Clear All Items", "Check All Items",
                                  "Uncheck All Items"}));

  ASSERT_NE(Table, nullptr);
  QStringList Titles;
  for (int Column = 0; Column < Table->columnCount(); ++Column)
    Titles << Table->horizontalHeaderItem(Column)->text();
  EXPECT_EQ(Titles, QStringList({"Video File Name", "Video Size", "FrameRate", "Duration", "Output",
                                 "Progress", "Frames"}));
  EXPECT_EQ(Window.windowTitle(), "Tarnwick");
}

// ===== Adding files =====

TEST_F(WindowTest, ButtonAndDropAddProbedCheckedRows) {
  const std::vector<std::string> Files = Fixtures();
  PickFormat(AviEntry);
  Dialogs.FilesToOpen = {Files[0]};
  Control<QPushButton>("ButtonAddFile")->click();
  Drop({Files[1]});
  ASSERT_TRUE(RunEventsUntil([this] { return Table->rowCount() == 2; }, 10));

  for (int Row = 0; Row < 2; ++Row) {
    EXPECT_EQ(Cell(Row, 0).toStdString(), Files[Row]);
    EXPECT_EQ(Table->item(Row, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(Cell(Row, 1), "320x240");
    EXPECT_EQ(Cell(Row, 2), "25");
    EXPECT_EQ(Cell(Row, 3), "00:00:02");
    EXPECT_EQ(Cell(Row, 4), "AVI");
  }
  Table->item(1, 0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(Form.ListView1.Row(1).Checked) << "a check box the user clears reaches the model";
}

TEST_F(WindowTest, DropsWithoutLocalFilesAreRefused) {
  QMimeData Data;
  Data.setText("not a file");
  QDragEnterEvent Enter({5, 5}, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Table->viewport(), &Enter);
  EXPECT_FALSE(Enter.isAccepted());
  Data.setUrls({QUrl("https://brimvale.example/clip.mov")});
  EXPECT_TRUE(DroppedFiles(&Data).empty());
}

// ===== Converting =====

TEST_F(WindowTest, ConvertsTwoFilesToAviFromTheWidgets) {
  const std::vector<std::string> Files = Fixtures();
  Dialogs.FilesToOpen = Files;
  Control<QPushButton>("ButtonAddFile")->click();
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
  ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle() && Form.ControlsEnabled(); }, 120));

  EXPECT_EQ(Cell(0, ProgressColumn), "Done");
  EXPECT_EQ(Cell(1, ProgressColumn), "Done");
  for (const char *Name : {"first clip.avi", "second.avi"}) {
    const fs::path Output = fs::path(Outputs.Path()) / Name;
    ASSERT_TRUE(fs::exists(Output)) << Name;
    EXPECT_GT(fs::file_size(Output), 10000u) << Name;
  }
  EXPECT_EQ(Dialogs.Texts(), std::vector<std::string>{"All Conversions Completed"});
  EXPECT_TRUE(Titles.filter(QRegularExpression("^\\d+% - Tarnwick$")).size() > 0)
      << Titles.join("|").toStdString();
  EXPECT_EQ(Window.windowTitle(), "Tarnwick");
  for (const char *Name : LockedControlNames) EXPECT_TRUE(Control(Name)->isEnabled()) << Name;

  if (const char *Shot = std::getenv("TARNWICK_WINDOW_SHOT")) Window.grab().save(Shot);
  EXPECT_TRUE(Window.close());
  QSettings Saved(QString::fromStdString(Temp.File("settings.ini")), QSettings::IniFormat);
  EXPECT_EQ(Saved.value("Output Folder").toString().toStdString(), Outputs.Path());
}

TEST_F(WindowTest, FailedRowShowsTheEngineReasonAsItsHint) {
  fs::copy_file(MediaFile("clip.mov"), Inputs.File("broken.mov"));
  Dialogs.FilesToOpen = {Inputs.File("broken.mov")};
  Control<QPushButton>("ButtonAddFile")->click();
  EXPECT_EQ(Cell(0, ProgressColumn), "Error");
  Form.EditOutputFolder = Outputs.Path();
  ConvertAndWait();

  EXPECT_EQ(Cell(0, ProgressColumn), "Fail");
  const std::string Reason = Form.ListView1.Row(0).FailReason;
  EXPECT_FALSE(Reason.empty());
  for (int Column = 0; Column < Table->columnCount(); ++Column)
    EXPECT_EQ(Table->item(0, Column)->toolTip().toStdString(), Reason) << Column;
}

// ===== Settings controls =====

TEST_F(WindowTest, VolumeBarFollowsAndMovesTheModel) {
  struct Case {
    int Position;
    const char *Label;
    int Volume;
  };
  for (const Case &Step : {Case{10, "200%", 600}, Case{0, "0%", 1}, Case{5, "100%", 255}}) {
    Control<QSlider>("TrackBar1")->setValue(Step.Position);
    EXPECT_EQ(Control<QLabel>("LabelVolume")->text(), Step.Label);
    EXPECT_EQ(Form.AudioVolumeSetting, Step.Volume);
  }
}

TEST_F(WindowTest, AdditionalOptionsDialogDrivesItsModel) {
  Form.SetGeneralOptions1Click();
  TAdditionalOptionsDialog &Dialog = Window.OptionsDialog();
  EXPECT_TRUE(Dialog.isVisible());
  Dialog.findChild<QSpinBox *>("SpinEdit1")->setValue(40);
  EXPECT_EQ(Control<QComboBox>("ComboOutputFormat")->maxVisibleItems(), 40);
  Dialog.findChild<QCheckBox *>("CheckBoxOverWrite")->setChecked(true);
  EXPECT_TRUE(Options.CheckBoxOverWrite);
  Dialog.findChild<QPushButton *>("Button1")->click();
  EXPECT_FALSE(Dialog.isVisible());
}

// ===== Dialogs =====

TEST(QtDialogsTest, OpenDialogFilterInQtForm) {
  EXPECT_EQ(QtFileFilter(OpenDialogFilter).toStdString(),
            "All Supported Files (*.mov *.qt *.mp4 *.m4a *.m4v);;"
            "QuickTime Files (*.mov *.qt *.m4v);;"
            "MPEG-4 Audio Files (*.m4a *.mp4)");
}

}  // namespace

int main(int argc, char **argv) {
  // No display is needed, and none is touched.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  QApplication Application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
