// The main window on screen: widgets named after the controls of TForm1, laid out as job list,
// output format, Video / Audio / General settings, output folder and the Convert and Stop row.
// It shows the models and forwards the user's actions to TForm1's handlers; the logic stays in
// the model. The engine's events reach the model through its own queued adapter, so everything
// here runs on the main thread.
#pragma once

#include <QMainWindow>
#include <array>

#include "app/main_form.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class TAboutBox;
class TAdditionalOptionsDialog;
class TChoiceCombo;
class TForm4;
class TJobListView;

class TMainWindow : public QMainWindow {
 public:
  // Creates, after itself, the about box and the Additional Options dialog over Form4.
  TMainWindow(TForm1 &Form1, TForm4 &Form4);
  ~TMainWindow() override;

  TAdditionalOptionsDialog &OptionsDialog() { return *FOptionsDialog; }
  // Adds the files as a drop would, once the event loop runs.
  void AddFilesLater(const std::vector<std::string> &Files);

 protected:
  void showEvent(QShowEvent *Event) override;
  void closeEvent(QCloseEvent *Event) override;

 private:
  // ===== Building (main_window.cpp) =====
  void CreateMenus();
  void CreatePopupMenu();
  QWidget *CreateJobButtons();
  // The format row, the settings groups and the output folder, scrolled when the window is small.
  QWidget *CreateSettingsPane();
  QWidget *CreateFormatRow();
  QWidget *CreateSettingsGroups();
  QWidget *CreateOutputFolderRow();
  QWidget *CreateConvertRow();
  void CreateStatusBar();
  TChoiceCombo *Combo(TChoiceList &List, const char *Name);
  QPushButton *Button(const char *Caption, const char *Name, void (TForm1::*Handler)());

  // ===== Size, position and column widths (main_window_placement.cpp) =====
  void RestorePlacement();
  void SavePlacement();

  // ===== Showing the model (main_window_view.cpp) =====
  void BindModel();
  void ViewChanged(TViewPart Part);
  void ShowControls();
  void ShowProgress();
  void ShowStatusBar();
  void ShowVolume();
  void ShowOutputFolder();
  void ShowTitle();
  void ShowPopupMenu(const QPoint &Position);
  // The whole batch's progress in percent: ended checked rows and the running one's share.
  int OverallPercent() const;

  TForm1 &FForm1;
  TForm4 &FForm4;
  TJobListView *FListView1 = nullptr;
  QMenu *FPopupListView1 = nullptr;
  QSlider *FTrackBar1 = nullptr;
  QLabel *FLabelVolume = nullptr;
  QLineEdit *FEditOutputFolder = nullptr;
  QProgressBar *FProgressBar1 = nullptr;
  std::array<QAction *, 2> FListKeys{};  // Delete, Ctrl+A
  QAction *FStopKey = nullptr;           // Escape
  QAction *FPauseKey = nullptr;          // Pause, Ctrl+P
  QPushButton *FButtonPause = nullptr;   // "Pause" / "Resume" while a batch runs
  std::array<QLabel *, 3> FStatusPanels{};
  TAboutBox *FAboutBox = nullptr;
  TAdditionalOptionsDialog *FOptionsDialog = nullptr;
  bool FShown = false;
};
