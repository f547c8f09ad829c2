// The main window's widgets and their layout; how they show the model is in
// main_window_view.cpp.

#include "app/window/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <functional>

#include "app/additional_options.h"
#include "app/job_rules.h"
#include "app/window/choice_combo.h"
#include "app/window/desktop_integration.h"
#include "app/window/job_list_view.h"
#include "app/window/preset_bar.h"
#include "app/window/secondary_forms.h"

namespace {

// The Video, Audio and General groups side by side, or, in a window too narrow for that, the
// last one under the first two: a narrow window scrolls the settings down, not sideways.
class TSettingsGroupsRow : public QWidget {
 public:
  explicit TSettingsGroupsRow(std::array<QWidget *, 3> Groups)
      : FGroups(Groups), FGrid(new QGridLayout(this)) {
    FGrid->setContentsMargins(0, 0, 0, 0);
    Arrange(false);
  }

  QSize minimumSizeHint() const override {
    const int Spacing = FGrid->horizontalSpacing();
    const int TwoRows = std::max(
        FGroups[0]->minimumSizeHint().width() + Spacing + FGroups[1]->minimumSizeHint().width(),
        FGroups[2]->minimumSizeHint().width());
    return QSize(TwoRows, FGrid->minimumSize().height());
  }

 protected:
  void resizeEvent(QResizeEvent *Event) override {
    QWidget::resizeEvent(Event);
    int OneRow = 2 * FGrid->horizontalSpacing();
    for (const QWidget *Group : FGroups) OneRow += Group->minimumSizeHint().width();
    const bool TwoRows = width() < OneRow;
    if (TwoRows != FTwoRows) Arrange(TwoRows);
  }

 private:
  void Arrange(bool TwoRows) {
    FTwoRows = TwoRows;
    for (QWidget *Group : FGroups) FGrid->removeWidget(Group);
    for (int Column = 0; Column < 3; ++Column) FGrid->setColumnStretch(Column, 0);
    FGrid->addWidget(FGroups[0], 0, 0);
    FGrid->addWidget(FGroups[1], 0, 1);
    if (TwoRows)
      FGrid->addWidget(FGroups[2], 1, 0, 1, 2);
    else
      FGrid->addWidget(FGroups[2], 0, 2);
    for (int Column = 0; Column < (TwoRows ? 2 : 3); ++Column) FGrid->setColumnStretch(Column, 1);
    updateGeometry();
  }

  std::array<QWidget *, 3> FGroups;
  QGridLayout *FGrid;
  bool FTwoRows = false;
};

}  // namespace

TMainWindow::TMainWindow(TForm1 &Form1, TForm4 &Form4) : FForm1(Form1), FForm4(Form4) {
  setObjectName("Form1");
  setWindowIcon(TarnwickIcon());
  UseVistaFont(*this);

  auto *Central = new QWidget(this);
  auto *Layout = new QVBoxLayout(Central);
  FListView1 = new TJobListView(Form1.ListView1, Central);
  FListView1->setAccessibleName("Job list");
  Layout->addWidget(FListView1, 1);
  Layout->addWidget(CreateJobButtons());
  Layout->addWidget(CreateSettingsPane());
  Layout->addWidget(CreateConvertRow());
  setCentralWidget(Central);
  CreateMenus();
  CreatePopupMenu();
  CreateStatusBar();

  FAboutBox = new TAboutBox(this);
  FOptionsDialog = new TAdditionalOptionsDialog(Form4, this);
  BindModel();
  resize(sizeHint().expandedTo(QSize(920, 640)));
  RestorePlacement();
}

TMainWindow::~TMainWindow() {
  FForm1.OnViewChange = nullptr;
  FForm1.OnJobEnded = nullptr;
  FForm1.OnBatchEnded = nullptr;
  FForm1.OnShowAdditionalOptions = nullptr;
  FForm1.OnShowAbout = nullptr;
  FForm1.OnTerminateApplication = nullptr;
}

void TMainWindow::AddFilesLater(const std::vector<std::string> &Files) {
  if (Files.empty()) return;
  QMetaObject::invokeMethod(
      this, [this, Files] { FForm1.FilesDropped(Files); }, Qt::QueuedConnection);
}

void TMainWindow::showEvent(QShowEvent *Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  FForm1.FormShow();
}

void TMainWindow::closeEvent(QCloseEvent *Event) {
  if (!FForm1.FormCloseQuery()) {
    Event->ignore();
    return;
  }
  SavePlacement();
  FForm1.FormClose();
  FOptionsDialog->close();
  Event->accept();
}

void TMainWindow::CreateMenus() {
  QMenuBar *MainMenu1 = menuBar();
  MainMenu1->setObjectName("MainMenu1");
  auto Item = [this](QMenu *Menu, const char *Caption, const char *Name, void (TForm1::*Handler)(),
                     QKeySequence Keys = {}) {
    QAction *Action = Menu->addAction(Caption);
    Action->setObjectName(Name);
    Action->setShortcut(Keys);
    connect(Action, &QAction::triggered, this, [this, Handler] { std::invoke(Handler, FForm1); });
  };
  QMenu *File = MainMenu1->addMenu("&File");
  File->setObjectName("File1");
  Item(File, "&Add Files", "AddFiles1", &TForm1::AddFiles1Click, QKeySequence::Open);
  Item(File, "&Convert", "Convert1", &TForm1::Convert1Click, Qt::CTRL | Qt::Key_Return);
  File->addSeparator();
  Item(File, "E&xit", "Exit1", &TForm1::Exit1Click, Qt::CTRL | Qt::Key_Q);
  QMenu *Options = MainMenu1->addMenu("&Options");
  Options->setObjectName("Options1");
  Item(Options, "Set Additional &Options", "SetGeneralOptions1", &TForm1::SetGeneralOptions1Click);
  QMenu *Help = MainMenu1->addMenu("&Help");
  Help->setObjectName("Help1");
  Item(Help, "Open &Help File", "OpenHelpFile1", &TForm1::OpenHelpFile1Click, Qt::Key_F1);
  Item(Help, "&Visit Our Website", "VisitOurWebsite1", &TForm1::VisitOurWebsite1Click);
  Help->addSeparator();
  Item(Help, "&About", "About1", &TForm1::About1Click);

  // Keys without a menu entry of their own; a batch disables them with the list's buttons.
  auto Key = [this](const char *Name, QKeySequence Keys, std::function<void()> Run) {
    auto *Action = new QAction(this);
    Action->setObjectName(Name);
    Action->setShortcut(Keys);
    Action->setShortcutContext(Qt::WindowShortcut);
    connect(Action, &QAction::triggered, this, std::move(Run));
    addAction(Action);
    return Action;
  };
  FListKeys = {
      Key("RemoveKey", QKeySequence::Delete, [this] { FForm1.DeleteSelectedItem1Click(); }),
      Key("SelectAllKey", QKeySequence::SelectAll, [this] { FForm1.SelectAll1Click(); }),
  };
  // Escape only means "stop" while a batch runs; otherwise it is left to whoever has focus.
  FStopKey = Key("StopKey", Qt::Key_Escape, [this] { FForm1.ButtonStopConvertClick(); });
  FStopKey->setEnabled(false);
  // The Pause key, or Ctrl+P, holds the batch and lets it go on.
  FPauseKey = Key("PauseKey", QKeySequence(Qt::Key_Pause), [this] { FForm1.ButtonPauseClick(); });
  FPauseKey->setShortcuts({QKeySequence(Qt::Key_Pause), QKeySequence(Qt::CTRL | Qt::Key_P)});
  FPauseKey->setEnabled(false);
}

void TMainWindow::CreatePopupMenu() {
  FPopupListView1 = new QMenu(this);
  FPopupListView1->setObjectName("PopupListView1");
  auto Item = [this](const char *Caption, const char *Name, void (TForm1::*Handler)()) {
    QAction *Action = FPopupListView1->addAction(Caption);
    Action->setObjectName(Name);
    connect(Action, &QAction::triggered, this, [this, Handler] { std::invoke(Handler, FForm1); });
  };
  Item("Remove Selected Item", "DeleteSelectedItem1", &TForm1::DeleteSelectedItem1Click);
  Item("Clear All Items", "ClearAllItems1", &TForm1::ClearAllItems1Click);
  FPopupListView1->addSeparator();
  Item("Check All Items", "CheckAllItems1", &TForm1::CheckAllItems1Click);
  Item("Uncheck All Items", "UncheckAllItems1", &TForm1::UncheckAllItems1Click);
  FListView1->OnMenuRequested = [this](const QPoint &Position) { ShowPopupMenu(Position); };
  FListView1->OnFilesDropped = [this](const std::vector<std::string> &Files) {
    FForm1.FilesDropped(Files);
  };
}

QPushButton *TMainWindow::Button(const char *Caption, const char *Name, void (TForm1::*Handler)()) {
  auto *Created = new QPushButton(Caption);
  Created->setObjectName(Name);
  Created->setAutoDefault(false);
  connect(Created, &QPushButton::clicked, this, [this, Handler] { std::invoke(Handler, FForm1); });
  return Created;
}

TChoiceCombo *TMainWindow::Combo(TChoiceList &List, const char *Name) {
  return new TChoiceCombo(List, Name);
}

QWidget *TMainWindow::CreateJobButtons() {
  auto *Row = new QWidget;
  auto *Layout = new QHBoxLayout(Row);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(Button("Add Files", "ButtonAddFile", &TForm1::ButtonAddFileClick));
  Layout->addWidget(Button("Remove", "ButtonRemove", &TForm1::DeleteSelectedItem1Click));
  Layout->addWidget(Button("Clear All ", "ButtonClear", &TForm1::ClearAllItems1Click));
  Layout->addStretch(1);
  auto *Hint = new QLabel("Drop files onto the list to add them.");
  Hint->setEnabled(false);
  // Only a hint: a narrow window cuts it rather than keep its width.
  Hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Layout->addWidget(Hint);
  return Row;
}

QWidget *TMainWindow::CreateSettingsPane() {
  auto *Pane = new QWidget;
  auto *Layout = new QVBoxLayout(Pane);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->addWidget(CreateFormatRow());
  Layout->addWidget(CreateSettingsGroups());
  Layout->addWidget(CreateOutputFolderRow());
  // On a small screen (or at a large scale) the settings scroll rather than push "Convert Now !"
  // off the screen; the list gives its height up first, down to a few rows.
  auto *Scroll = new QScrollArea;
  Scroll->setObjectName("SettingsScroll");
  Scroll->setWidget(Pane);
  Scroll->setWidgetResizable(true);
  Scroll->setFrameShape(QFrame::NoFrame);
  Scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  Scroll->setMinimumHeight(fontMetrics().height() * 5);
  Scroll->setMinimumWidth(0);
  return Scroll;
}

QWidget *TMainWindow::CreateFormatRow() {
  auto *Row = new QWidget;
  auto *Layout = new QHBoxLayout(Row);
  Layout->setContentsMargins(0, 6, 0, 0);
  TChoiceCombo *Format = Combo(FForm1.ComboOutputFormat, "ComboOutputFormat");
  Format->setMinimumContentsLength(24);
  Format->OnPick = [this] { FForm1.ComboOutputFormatChange(); };
  Format->OnDropDown = [this] { FForm1.ComboOutputFormatDropDown(); };
  auto *Label = new QLabel("Output Forma&t:");
  Label->setBuddy(Format);
  Layout->addWidget(Label);
  Layout->addWidget(Format, 1);
  if (FForm1.Presets != nullptr) Layout->addWidget(new TPresetBar(*FForm1.Presets));
  return Row;
}

QWidget *TMainWindow::CreateSettingsGroups() {
  auto Group = [this](const char *Title, const char *Name,
                      std::initializer_list<std::pair<const char *, QWidget *>> Rows) {
    auto *Box = new QGroupBox(Title);
    Box->setObjectName(Name);
    auto *Form = new QFormLayout(Box);
    Form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const auto &[Label, Field] : Rows) Form->addRow(Label, Field);
    return Box;
  };
  TForm1 &F = FForm1;
  QGroupBox *Video = Group("Video", "GroupBoxVideo",
                           {{"&Codec:", Combo(F.ComboVideoCodec, "ComboVideoCodec")},
                            {"&Size:", Combo(F.ComboVideoSize, "ComboVideoSize")},
                            {"&Bit Rate:", Combo(F.ComboVideoBitrate, "ComboVideoBitrate")},
                            {"Fra&me Rate:", Combo(F.ComboVideoFramerate, "ComboVideoFramerate")}});

  auto *Volume = new QWidget;
  auto *VolumeLayout = new QHBoxLayout(Volume);
  VolumeLayout->setContentsMargins(0, 0, 0, 0);
  FTrackBar1 = new QSlider(Qt::Horizontal);
  FTrackBar1->setObjectName("TrackBar1");
  FTrackBar1->setRange(0, VolumeStepCount - 1);
  FTrackBar1->setPageStep(1);
  FTrackBar1->setTickPosition(QSlider::TicksBelow);
  FTrackBar1->setTickInterval(1);
  FLabelVolume = new QLabel;
  FLabelVolume->setObjectName("LabelVolume");
  FLabelVolume->setMinimumWidth(FLabelVolume->fontMetrics().horizontalAdvance("200%") + 6);
  FLabelVolume->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  VolumeLayout->addWidget(FTrackBar1, 1);
  VolumeLayout->addWidget(FLabelVolume);
  // The label's mnemonic lands on the slider, not on the box around it.
  Volume->setFocusProxy(FTrackBar1);
  FTrackBar1->setAccessibleName("Volume");
  connect(FTrackBar1, &QSlider::valueChanged, this, [this](int Position) {
    if (Position != FForm1.TrackBar1) FForm1.SetTrackBar1(Position);
  });

  QGroupBox *Audio = Group("Audio", "GroupBoxAudio",
                           {{"Cod&ec:", Combo(F.ComboAudioCodec, "ComboAudioCodec")},
                            {"Bit R&ate:", Combo(F.ComboAudioBitrate, "ComboAudioBitrate")},
                            {"Sample &Rate:", Combo(F.ComboSamplingRate, "ComboSamplingRate")},
                            {"Cha&nnels:", Combo(F.ComboAudioChannels, "ComboAudioChannels")},
                            {"Vo&lume:", Volume}});
  QGroupBox *General = Group("General", "GroupBoxGeneral",
                             {{"As&pect Ratio:", Combo(F.ComboAspectRatio, "ComboAspectRatio")},
                              {"Letter Bo&x:", Combo(F.ComboLetterBox, "ComboLetterBox")}});

  for (QGroupBox *Box : {Video, Audio, General}) Box->setAlignment(Qt::AlignLeft);
  return new TSettingsGroupsRow({Video, Audio, General});
}

QWidget *TMainWindow::CreateOutputFolderRow() {
  auto *Row = new QWidget;
  auto *Layout = new QHBoxLayout(Row);
  Layout->setContentsMargins(0, 0, 0, 0);
  FEditOutputFolder = new QLineEdit;
  FEditOutputFolder->setObjectName("EditOutputFolder");
  FEditOutputFolder->setReadOnly(true);
  FEditOutputFolder->setPlaceholderText("No output folder chosen");
  auto *Label = new QLabel("Output Fol&der:");
  Label->setBuddy(FEditOutputFolder);
  Layout->addWidget(Label);
  Layout->addWidget(FEditOutputFolder, 1);
  Layout->addWidget(
      Button("Browse...", "ButtonBrowseForFolder", &TForm1::ButtonBrowseForFolderClick));
  return Row;
}

QWidget *TMainWindow::CreateConvertRow() {
  auto *Row = new QWidget;
  auto *Layout = new QHBoxLayout(Row);
  Layout->setContentsMargins(0, 6, 0, 0);
  FProgressBar1 = new QProgressBar;
  FProgressBar1->setObjectName("ProgressBar1");
  FProgressBar1->setRange(0, 100);
  FProgressBar1->setAccessibleName("Progress of the current file");
  // The title carries the batch's percentage; this one is the file's.
  FProgressBar1->setFormat("This file: %p%");
  QPushButton *StopSmall = Button("Stop", "ButtonStopSmall", &TForm1::ButtonStopSmallClick);
  StopSmall->setToolTip("Stop all conversions");
  QPushButton *Convert = Button("Convert Now !", "ButtonConvert", &TForm1::ButtonConvertClick);
  QFont Bold = Convert->font();
  Bold.setBold(true);
  Convert->setFont(Bold);
  Convert->setMinimumWidth(Convert->sizeHint().width() + 24);
  FButtonPause = Button("Pause", "ButtonPause", &TForm1::ButtonPauseClick);
  FButtonPause->setToolTip("Hold every running conversion without stopping it (Pause, Ctrl+P)");
  FButtonPause->setEnabled(false);
  Layout->addWidget(FProgressBar1, 1);
  Layout->addWidget(FButtonPause);
  Layout->addWidget(StopSmall);
  Layout->addSpacing(12);
  Layout->addWidget(Convert);
  Layout->addWidget(Button("Stop Convert", "ButtonStopConvert", &TForm1::ButtonStopConvertClick));
  return Row;
}

void TMainWindow::CreateStatusBar() {
  QStatusBar *Bar = statusBar();
  Bar->setObjectName("StatusBar1");
  for (size_t Panel = 0; Panel < FStatusPanels.size(); ++Panel) {
    FStatusPanels[Panel] = new QLabel;
    FStatusPanels[Panel]->setObjectName(QString("StatusBar1Panel%1").arg(Panel));
    // Wide enough for a short note; a narrow window cuts a long one rather than keep its width.
    FStatusPanels[Panel]->setMinimumWidth(60);
    FStatusPanels[Panel]->setContentsMargins(6, 0, 6, 0);
    Bar->addWidget(FStatusPanels[Panel], Panel + 1 == FStatusPanels.size() ? 1 : 0);
  }
}
