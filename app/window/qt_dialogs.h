// The dialog interface answered with Qt: message boxes, the file-open dialog, the folder
// browser, help.html and the web site through the desktop's own handlers. Main thread only.
#pragma once

#include <QString>

#include "app/dialogs.h"

class QWidget;

class TQtDialogs : public TDialogs {
 public:
  // Boxes and choosers open over Parent once it is set (none: they stand alone).
  void SetParent(QWidget *Parent) { FParent = Parent; }

  TModalResult MessageBox(const std::string &Text, const std::string &Caption, TMsgIcon Icon,
                          TMsgButtons Buttons) override;
  // Filter and every file.
  std::vector<std::string> OpenFiles(const std::string &Filter, bool MultiSelect) override;
  // The media files to add: Filter, then every container the libraries read, then every file.
  std::vector<std::string> OpenFiles(const std::string &Filter, bool MultiSelect,
                                     TOpenDialogMemory &Memory) override;
  std::string SaveFile(const std::string &Filter, const std::string &Name) override;
  bool InputText(const std::string &Caption, const std::string &Prompt, std::string &Text) override;
  bool BrowseForFolder(const std::string &Headline, std::string &Folder) override;
  bool ShowHelp(const std::string &HelpFile) override;
  bool OpenWebSite(const std::string &Address) override;
  // With a button that opens the output folder in the file manager.
  bool ShowBatchEnd(const std::string &Text, const std::string &Folder) override;
  // The four stop choices as buttons; closing the box continues.
  TStopChoice AskStop() override;

 private:
  QWidget *FParent = nullptr;
  QString FLastFolder;  // where the media files were last chosen
};

// A "Name|patterns|Name|patterns|" filter in Qt's "Name (patterns);;..." form: the patterns
// separated by blanks, a name's own pattern list in parentheses replaced by them.
QString QtFileFilter(const std::string &Filter);
// What the open dialog offers: Filter first, then every container the libraries read, then
// every file.
QString OpenDialogFilters(const std::string &Filter);
// A Qt filter's name without its patterns: "All media files" of "All media files (*.mp3 ...)".
QString FileFilterName(const QString &Filter);
