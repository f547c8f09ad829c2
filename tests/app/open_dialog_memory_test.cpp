// The open dialog (Qt's own, on the offscreen platform) remembers the folder and the filter a
// choice was made in, in the settings, so the next start opens there.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <filesystem>

#include "app/window/qt_dialogs.h"
#include "tests/app/model_test_support.h"

namespace {

struct TSeenDialog {
  QString Folder;
  QString Filter;
};

// Answers the next open dialog with Answer once it shows, after noting where it opened; one
// that stays open after its answer is rejected with a failure, so the test cannot hang.
void AnswerOpenDialog(TSeenDialog &Seen, const std::function<void(QFileDialog &)> &Answer) {
  auto *Poll = new QTimer;
  QObject::connect(Poll, &QTimer::timeout, [Poll, &Seen, Answer, Ticks = 0]() mutable {
    auto *Dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (Dialog == nullptr) {
      if (Ticks > 0) Poll->deleteLater();
      return;
    }
    if (Ticks++ == 0) {
      Seen = {Dialog->directory().absolutePath(), Dialog->selectedNameFilter()};
      Answer(*Dialog);
    } else if (Ticks > 100) {
      ADD_FAILURE() << "the open dialog did not take its answer";
      Dialog->reject();
    }
  });
  Poll->start(20);
}

TEST(OpenDialogMemoryTest, TheNextStartOpensInTheFolderAndFilterOfTheLastChoice) {
  TTempFolder Folder("open-dialog-memory");
  const std::string Clips = Folder.File("clips");
  CopyMedia(Clips, "voice.m4a", "audio.m4a");
  const std::string SettingsFile = Folder.File("settings.ini");
  // Two starts: the first chooses a file under "All media files" in Clips, the second only looks.
  const struct {
    const char *Name;
    bool Choose;
    std::string Folder;  // where the dialog opens; empty: anywhere
    const char *Filter;  // the filter it opens with
  } Starts[] = {{"first", true, "", "All Supported Files"},
                {"next", false, Clips, "All media files"}};
  for (const auto &Start : Starts) {
    SCOPED_TRACE(Start.Name);
    TQtDialogs Dialogs;
    TQtJobTimer Timer(100);
    TForm1 Form(Dialogs, Timer);
    TQSettingsStore Settings(SettingsFile);
    TForm4 Options(Form, Settings);
    Form.Form4 = &Options;
    ASSERT_TRUE(Form.FormCreate());
    Options.FormCreate();
    TSeenDialog Seen;
    AnswerOpenDialog(Seen, [&](QFileDialog &Dialog) {
      if (!Start.Choose) return Dialog.reject();
      Dialog.setDirectory(QString::fromStdString(Clips));
      for (const QString &Filter : Dialog.nameFilters())
        if (Filter.startsWith("All media files")) Dialog.selectNameFilter(Filter);
      // A visible dialog's name field takes no chosen file while it has the focus.
      if (QWidget *Focus = Dialog.focusWidget()) Focus->clearFocus();
      Dialog.selectFile(QString::fromStdString(Clips + "/voice.m4a"));
      static_cast<QDialog &>(Dialog).accept();  // QFileDialog's own, which checks the choice
    });
    Form.ButtonAddFileClick();
    EXPECT_TRUE(Seen.Filter.startsWith(Start.Filter)) << Seen.Filter.toStdString();
    if (!Start.Folder.empty()) {
      EXPECT_EQ(Seen.Folder.toStdString(), Start.Folder);
    }
    EXPECT_EQ(Form.ListView1.Count(), Start.Choose ? 1 : 0);
    const TOpenDialogMemory Memory = ReadOpenDialogMemory(Settings);
    EXPECT_EQ(Memory.Folder, Clips);
    EXPECT_EQ(Memory.Filter, "All media files");
  }
}

}  // namespace
