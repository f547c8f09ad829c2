// The desktop program: the main window, the about box and the Additional Options dialog over
// the window logic, the user's own settings, and Qt's event loop. Files named as arguments are
// added as if dropped onto the list.

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/additional_options.h"
#include "app/main_form.h"
#include "app/settings_store.h"
#include "app/window/desktop_integration.h"
#include "app/window/main_window.h"
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
  TQtJobTimer TimerConvertAgain(100);
  TForm1 Form1(Dialogs, TimerConvertAgain);
  if (!Form1.FormCreate()) return 1;

  TQSettingsStore Settings;
  TForm4 Form4(Form1, Settings);
  Form1.Form4 = &Form4;
  TMainWindow Window(Form1, Form4);
  Dialogs.SetParent(&Window);
  Form4.FormCreate();
  Window.show();
  // argv, not arguments(): Qt has taken its own options (-style ...) out of it by now.
  QStringList Arguments;
  for (int Index = 0; Index < argc; ++Index) Arguments << QString::fromLocal8Bit(argv[Index]);
  Window.AddFilesLater(CommandLineFiles(Arguments));
  return QApplication::exec();
}
