// The dialog interface answered with Qt's own dialogs and the desktop's handlers.

#include "app/window/qt_dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <utility>
#include <vector>

#include "app/folder_files.h"
#include "app/message_text.h"

namespace {

QMessageBox::Icon BoxIcon(TMsgIcon Icon) {
  switch (Icon) {
    case TMsgIcon::Question:
      return QMessageBox::Question;
    case TMsgIcon::Warning:
      return QMessageBox::Warning;
    case TMsgIcon::Error:
      return QMessageBox::Critical;
    case TMsgIcon::Information:
      break;
  }
  return QMessageBox::Information;
}

QString BoxText(const std::string &Text) {
  return QString::fromStdString(ShownMessageText(Text));
}

// A box as narrow as a short text leaves the window manager too little room for its title, which
// then loses its middle ("Confir... rnwick"): the box is made as wide as the title needs.
void FitTitle(QMessageBox &Box) {
  QString Title = Box.windowTitle();
  if (!QGuiApplication::applicationDisplayName().isEmpty())
    Title += QString::fromUtf8(" \u2014 ") + QGuiApplication::applicationDisplayName();
  // The title bar's font is the window manager's; its buttons take about as much again.
  const int Width = Box.fontMetrics().horizontalAdvance(Title) * 3 / 2 + 120;
  if (auto *Grid = qobject_cast<QGridLayout *>(Box.layout()))
    Grid->addItem(new QSpacerItem(Width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  Grid->rowCount(), 0, 1, Grid->columnCount());
}

}  // namespace

QString QtFileFilter(const std::string &Filter) {
  const QStringList Parts = QString::fromStdString(Filter).split('|');
  QStringList Filters;
  for (int Index = 0; Index + 1 < Parts.size(); Index += 2) {
    QString Name = Parts[Index].trimmed();
    if (Name.isEmpty()) continue;
    if (Name.endsWith(')') && Name.contains('(')) Name = Name.left(Name.lastIndexOf('(')).trimmed();
    QStringList Patterns = Parts[Index + 1].split(';', Qt::SkipEmptyParts);
    for (QString &Pattern : Patterns) Pattern = Pattern.trimmed();
    Patterns.removeAll(QString());
    Filters << Name + " (" + Patterns.join(' ') + ")";
  }
  return Filters.join(";;");
}

QString OpenDialogFilters(const std::string &Filter) {
  QStringList Media;
  for (const std::string &Extension : MediaFileExtensions)
    Media << "*." + QString::fromStdString(Extension);
  return QtFileFilter(Filter) + ";;All media files (" + Media.join(' ') + ");;All files (*)";
}

QString FileFilterName(const QString &Filter) {
  const qsizetype Patterns = Filter.lastIndexOf(" (");
  return Patterns < 0 ? Filter : Filter.left(Patterns);
}

TModalResult TQtDialogs::MessageBox(const std::string &Text, const std::string &Caption,
                                    TMsgIcon Icon, TMsgButtons Buttons) {
  QMessageBox Box(
      BoxIcon(Icon), QString::fromStdString(Caption), BoxText(Text),
      Buttons == TMsgButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
      FParent);
  FitTitle(Box);
  switch (Box.exec()) {
    case QMessageBox::Ok:
      return TModalResult::Ok;
    case QMessageBox::Yes:
      return TModalResult::Yes;
    case QMessageBox::No:
      return TModalResult::No;
    default:
      return TModalResult::Cancel;
  }
}

std::vector<std::string> TQtDialogs::OpenFiles(const std::string &Filter, bool MultiSelect) {
  // Files of one kind (presets to import): no media filters, no memory of the media's folder.
  const QString Filters = QtFileFilter(Filter) + ";;All files (*)";
  QStringList Chosen;
  if (MultiSelect)
    Chosen = QFileDialog::getOpenFileNames(FParent, "Open", QString(), Filters);
  else if (const QString One = QFileDialog::getOpenFileName(FParent, "Open", QString(), Filters);
           !One.isEmpty())
    Chosen << One;
  std::vector<std::string> Files;
  for (const QString &File : Chosen) Files.push_back(File.toStdString());
  return Files;
}

std::vector<std::string> TQtDialogs::OpenFiles(const std::string &Filter, bool MultiSelect,
                                               TOpenDialogMemory &Memory) {
  const QString Folder =
      Memory.Folder.empty() ? FLastFolder : QString::fromStdString(Memory.Folder);
  QFileDialog Dialog(FParent, "Open", Folder, OpenDialogFilters(Filter));
  Dialog.setObjectName("OpenDialog");
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setFileMode(MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  // By name: an upgrade that reads more containers changes a filter's patterns, not its name.
  for (const QString &Offered : Dialog.nameFilters())
    if (FileFilterName(Offered).toStdString() == Memory.Filter) Dialog.selectNameFilter(Offered);
  if (Dialog.exec() != QDialog::Accepted) return {};
  std::vector<std::string> Files;
  for (const QString &File : Dialog.selectedFiles()) Files.push_back(File.toStdString());
  if (Files.empty()) return Files;
  FLastFolder = QFileInfo(Dialog.selectedFiles().first()).absolutePath();
  Memory.Folder = FLastFolder.toStdString();
  Memory.Filter = FileFilterName(Dialog.selectedNameFilter()).toStdString();
  return Files;
}

std::string TQtDialogs::SaveFile(const std::string &Filter, const std::string &Name) {
  // Replacing a file is refused by whoever writes it: the question would be answered in vain.
  return QFileDialog::getSaveFileName(FParent, "Save As", QString::fromStdString(Name),
                                      QtFileFilter(Filter), nullptr,
                                      QFileDialog::DontConfirmOverwrite)
      .toStdString();
}

bool TQtDialogs::InputText(const std::string &Caption, const std::string &Prompt,
                           std::string &Text) {
  bool Ok = false;
  const QString Answer = QInputDialog::getText(FParent, QString::fromStdString(Caption),
                                               QString::fromStdString(Prompt), QLineEdit::Normal,
                                               QString::fromStdString(Text), &Ok);
  if (!Ok) return false;
  Text = Answer.toStdString();
  return true;
}

bool TQtDialogs::BrowseForFolder(const std::string &Headline, std::string &Folder) {
  const QString Chosen =
      QFileDialog::getExistingDirectory(FParent, QString::fromStdString(Headline),
                                        QString::fromStdString(Folder), QFileDialog::ShowDirsOnly);
  if (Chosen.isEmpty()) return false;
  Folder = Chosen.toStdString();
  return true;
}

bool TQtDialogs::ShowHelp(const std::string &HelpFile) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(HelpFile)));
}

bool TQtDialogs::OpenWebSite(const std::string &Address) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(Address)));
}

bool TQtDialogs::ShowBatchEnd(const std::string &Text, const std::string &Folder) {
  QMessageBox Box(QMessageBox::Information, "Information", BoxText(Text), QMessageBox::Ok, FParent);
  QPushButton *Open = Box.addButton("&Open Output Folder", QMessageBox::ActionRole);
  Open->setObjectName("OpenOutputFolder");
  Box.setDefaultButton(QMessageBox::Ok);
  FitTitle(Box);
  Box.exec();
  return Box.clickedButton() != Open ||
         QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(Folder)));
}

TStopChoice TQtDialogs::AskStop() {
  QMessageBox Box(QMessageBox::Question, "Confirmation", BoxText(StopQuestion),
                  QMessageBox::NoButton, FParent);
  const std::pair<const char *, TStopChoice> Choices[] = {
      {StopNowText, TStopChoice::StopNow},
      {FinishRunningText, TStopChoice::FinishRunning},
      {SkipFileText, TStopChoice::SkipFile},
  };
  std::vector<std::pair<QAbstractButton *, TStopChoice>> Buttons;
  for (const auto &[Text, Choice] : Choices)
    Buttons.emplace_back(Box.addButton(Text, QMessageBox::ActionRole), Choice);
  QPushButton *Continue = Box.addButton(ContinueText, QMessageBox::RejectRole);
  Continue->setObjectName("ContinueButton");
  Box.setDefaultButton(Continue);
  Box.setEscapeButton(Continue);
  FitTitle(Box);
  Box.exec();
  for (const auto &[Button, Choice] : Buttons)
    if (Box.clickedButton() == Button) return Choice;
  return TStopChoice::Continue;
}
