// The desktop program: the main window, the about box and the Additional Options dialog over
// the window logic, the user's own settings, and Qt's event loop. Files named as arguments are
// added as if dropped onto the list.

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/list_journal.h"
#include "app/settings_store.h"
#include "app/window/application.h"
#include "app/window/desktop_integration.h"
#include "app/window/qt_dialogs.h"

namespace {

bool HasDisplay() {
  for (const char *Name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char *Value = std::getenv(Name);
    if (Value != nullptr && *Value != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  // Qt would only abort without a display; tell the user what works instead.
  if (!HasDisplay()) {
    std::fputs(
        "tarnwick: no display for the window (DISPLAY and WAYLAND_DISPLAY are unset): start it in "
        "a desktop session or under Xvfb (xvfb-run); tarnwick-cli works without one "
        "(tarnwick-cli --help)\n",
        stderr);
    return 1;
  }
  QApplication Application(argc, argv);
  QApplication::setOrganizationName("Brimvale");
  QApplication::setApplicationName("Tarnwick");
  QApplication::setApplicationDisplayName("Tarnwick");
  QApplication::setDesktopFileName(DesktopAppId);
  QApplication::setWindowIcon(TarnwickIcon());

  TQtDialogs Dialogs;
  TQSettingsStore Settings;
  TApplication Program(Dialogs, Settings);
  if (!Program.Created()) return 1;
  TMainWindow &Window = *Program.Window;
  Dialogs.SetParent(&Window);
  // The list is kept for the next start as the user works; showing the window offers it back.
  Program.Form1.ListJournal.File = WindowJournalPath();
  Window.show();
  // argv, not arguments(): Qt has taken its own options (-style ...) out of it by now.
  QStringList Arguments;
  for (int Index = 0; Index < argc; ++Index) Arguments << QString::fromLocal8Bit(argv[Index]);
  Window.AddFilesLater(CommandLineFiles(Arguments));
  return QApplication::exec();
}
