// The program's icon and the files named on its command line.

#include "app/window/desktop_integration.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

// Outside any namespace: the macro declares the resource's own init function.
static void InitIconResource() {
  Q_INIT_RESOURCE(tarnwick_icon);
}

QIcon TarnwickIcon() {
  InitIconResource();
  QIcon BuiltIn;
  for (int Size : {16, 22, 24, 32, 48, 64, 128, 256})
    BuiltIn.addFile(QString(":/icons/%1.png").arg(Size), QSize(Size, Size));
  return QIcon::fromTheme(DesktopAppId, BuiltIn);
}

std::vector<std::string> CommandLineFiles(const QStringList &Arguments) {
  std::vector<std::string> Files;
  bool Options = true;
  for (qsizetype Index = 1; Index < Arguments.size(); ++Index) {
    const QString &Word = Arguments[Index];
    if (Options && Word == "--") {
      Options = false;
      continue;
    }
    if (Word.isEmpty() || (Options && Word.startsWith('-'))) continue;
    const QUrl Url(Word);
    const QString Path = Url.isLocalFile() ? Url.toLocalFile() : Word;
    if (Url.scheme().size() > 1 && !Url.isLocalFile()) continue;  // a remote address
    Files.push_back(QDir::cleanPath(QFileInfo(Path).absoluteFilePath()).toStdString());
  }
  return Files;
}
