// How the main window shows TForm1: the model tells what changed (OnViewChange, the lists'
// OnChange, OnJobEnded) and the matching widgets are refreshed from it.

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include "app/job_rules.h"
#include "app/window/desktop_notification.h"
#include "app/window/job_list_view.h"
#include "app/window/main_window.h"
#include "app/window/secondary_forms.h"

void TMainWindow::BindModel() {
  FForm1.OnViewChange = [this](TViewPart Part) { ViewChanged(Part); };
  FForm1.OnJobEnded = [this](int) { ShowTitle(); };
  FForm1.OnBatchEnded = [](const TJobStateCounts &Counts) {
    const bool Clean = Counts.Fail == 0 && Counts.Abort == 0;
    NotifyDesktop(Clean ? "Conversions completed" : "Conversions completed with errors",
                  JobStateCountsText(Counts));
  };
  FForm1.OnShowAdditionalOptions = [this] { FOptionsDialog->ShowOver(this); };
  FForm1.OnShowAbout = [this] { FAboutBox->exec(); };
  // Ends at once, without closing this window, so nothing is saved.
  FForm1.OnTerminateApplication = [] { QCoreApplication::exit(0); };
  for (TViewPart Part : {TViewPart::Controls, TViewPart::ProgressBar, TViewPart::StatusBar,
                         TViewPart::Volume, TViewPart::OutputFolder})
    ViewChanged(Part);
}

void TMainWindow::ViewChanged(TViewPart Part) {
  switch (Part) {
    case TViewPart::Controls:
      ShowControls();
      break;
    case TViewPart::ProgressBar:
      ShowProgress();
      break;
    case TViewPart::StatusBar:
      ShowStatusBar();
      break;
    case TViewPart::Volume:
      ShowVolume();
      break;
    case TViewPart::OutputFolder:
      ShowOutputFolder();
      break;
  }
}

void TMainWindow::ShowControls() {
  for (const char *Name : LockedControlNames)
    if (auto *Control = findChild<QWidget *>(Name)) Control->setEnabled(FForm1.ControlsEnabled());
  for (QAction *Entry : menuBar()->actions()) {
    Entry->setEnabled(FForm1.MainMenuEnabled());
    // The entries' own shortcuts would still fire under a disabled menu title.
    if (QMenu *Menu = Entry->menu())
      for (QAction *Inner : Menu->actions()) Inner->setEnabled(FForm1.MainMenuEnabled());
  }
  for (QAction *Key : FListKeys) Key->setEnabled(FForm1.ControlsEnabled());
  FStopKey->setEnabled(!FForm1.ControlsEnabled());
  FPauseKey->setEnabled(!FForm1.ControlsEnabled());
  FButtonPause->setEnabled(!FForm1.ControlsEnabled());
  FButtonPause->setText(FForm1.Paused() ? "Resume" : "Pause");
  if (!FForm1.PopupMenuEnabled()) FPopupListView1->close();
  ShowProgress();
}

void TMainWindow::ShowProgress() {
  FProgressBar1->setValue(FForm1.ProgressBar1);
  // With several rows converting at once the bar is the batch's; an idle bar is no batch's.
  const bool Batch = FForm1.SimultaneousJobs() > 1 && !FForm1.ControlsEnabled();
  FProgressBar1->setFormat(Batch ? "Batch: %p%" : "This file: %p%");
  FProgressBar1->setAccessibleName(Batch ? "Progress of the batch"
                                         : "Progress of the current file");
  ShowTitle();
}

void TMainWindow::ShowStatusBar() {
  for (size_t Panel = 0; Panel < FStatusPanels.size(); ++Panel) {
    FStatusPanels[Panel]->setText(QString::fromStdString(FForm1.StatusBar1[Panel]));
    // An empty panel would only push the others aside.
    FStatusPanels[Panel]->setVisible(!FForm1.StatusBar1[Panel].empty());
  }
}

void TMainWindow::ShowVolume() {
  if (FTrackBar1->value() != FForm1.TrackBar1) FTrackBar1->setValue(FForm1.TrackBar1);
  FLabelVolume->setText(QString::fromStdString(FForm1.LabelVolume));
}

void TMainWindow::ShowOutputFolder() {
  const QString Folder = QString::fromStdString(FForm1.EditOutputFolder);
  FEditOutputFolder->setText(Folder);
  FEditOutputFolder->setToolTip(Folder);
}

void TMainWindow::ShowTitle() {
  const QString Caption =
      QString::fromStdString(FForm1.Caption.empty() ? "Tarnwick" : FForm1.Caption);
  // A locked window means a batch is under way, also between two of its jobs.
  if (FForm1.ControlsEnabled())
    setWindowTitle(Caption);
  else
    setWindowTitle(QString("Batch %1% - %2").arg(OverallPercent()).arg(Caption));
}

void TMainWindow::ShowPopupMenu(const QPoint &Position) {
  if (FForm1.PopupMenuEnabled()) FPopupListView1->popup(Position);
}

int TMainWindow::OverallPercent() const {
  return FForm1.BatchPercent();
}
