// The two smaller windows: the Additional Options dialog over TForm4 (non-modal, on top,
// centred on the main window) and the about box. Main thread only.
#pragma once

#include <QDialog>
#include <vector>

class QCheckBox;
class QSpinBox;
class TForm4;

class TAdditionalOptionsDialog : public QDialog {
 public:
  TAdditionalOptionsDialog(TForm4 &Form4, QWidget *Parent);
  ~TAdditionalOptionsDialog() override;

  // Shows it without blocking the main window, centred on it.
  void ShowOver(QWidget *Window);
  void Refresh();

 private:
  TForm4 &FForm4;
  QCheckBox *FOverWrite;
  QCheckBox *FCopyStreams;
  std::vector<QCheckBox *> FSourceSwitches;  // in the order of SourceSwitches
  QSpinBox *FDropDownItems;
  QSpinBox *FJobs;
  QCheckBox *FAutoJobs;
  QCheckBox *FKeepFolders;
  QCheckBox *FSkipConverted;
  bool FRefreshing = false;
};

class TAboutBox : public QDialog {
 public:
  explicit TAboutBox(QWidget *Parent);
};

// Switches Widget's font to "Segoe UI", one point larger, when that family is installed and
// the font is not already it.
void UseVistaFont(QWidget &Widget);
