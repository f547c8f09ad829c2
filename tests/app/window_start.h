// The program's start-up as main() does it, for window tests: the window logic with scripted
// dialogs, its options on a settings file of the test's choice (its presets beside it), and the
// window shown.
#pragma once

#include <QTest>
#include <string>

#include "app/presets_list.h"
#include "app/window/main_window.h"
#include "app/window/qt_dialogs.h"
#include "tests/app/model_test_support.h"

struct TWindowStart {
  explicit TWindowStart(const std::string &SettingsFile)
      : Settings(SettingsFile),
        Options(Form, Settings),
        Presets(Form, SettingsFile + ".presets.json"),
        Window((Form.Form4 = &Options, Form.Presets = &Presets, Created()), Options) {
    Options.FormCreate();
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
  }

  TForm1 &Created() {
    EXPECT_TRUE(Form.FormCreate()) << Form.Engine().LastErrorMsg;
    return Form;
  }

  TScriptedDialogs Dialogs;
  TQtJobTimer Timer{100};
  TForm1 Form{Dialogs, Timer};
  TQSettingsStore Settings;
  TForm4 Options;
  TPresetList Presets;
  TMainWindow Window;
};
