// The window model under test: a form with scripted dialogs, its options dialog on settings
// in memory or in a temporary file, and a way to run the event loop until the batch is over.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/additional_options.h"
#include "app/main_form.h"
#include "tests/support/test_support.h"

struct TShownMessage {
  std::string Text;
  std::string Caption;
  TMsgIcon Icon;
  TMsgButtons Buttons;
};

// Answers the model's questions from a script and remembers what it was shown.
class TScriptedDialogs : public TDialogs {
 public:
  std::vector<TShownMessage> Messages;
  std::deque<TModalResult> Answers;  // for Yes/No questions; No when empty
  std::vector<std::string> FilesToOpen;
  std::function<void()> OnOpenFiles;
  std::string OpenFilter;
  int FolderBrowses = 0;
  std::string FolderToChoose;  // empty: the browser is cancelled
  std::vector<std::string> HelpShown, SitesOpened;

  TModalResult MessageBox(const std::string &Text, const std::string &Caption, TMsgIcon Icon,
                          TMsgButtons Buttons) override {
    Messages.push_back({Text, Caption, Icon, Buttons});
    if (Buttons != TMsgButtons::YesNo) return TModalResult::Ok;
    if (Answers.empty()) return TModalResult::No;
    const TModalResult Answer = Answers.front();
    Answers.pop_front();
    return Answer;
  }
  std::vector<std::string> OpenFiles(const std::string &Filter, bool) override {
    OpenFilter = Filter;
    if (OnOpenFiles) OnOpenFiles();
    return FilesToOpen;
  }
  bool BrowseForFolder(const std::string &, std::string &Folder) override {
    ++FolderBrowses;
    if (!FolderToChoose.empty()) Folder = FolderToChoose;
    return !FolderToChoose.empty();
  }
  std::deque<std::string> TextAnswers;  // for InputText; cancelled when empty
  std::string FileToSave;               // empty: the save dialog is cancelled
  bool InputText(const std::string &, const std::string &, std::string &Text) override {
    if (TextAnswers.empty()) return false;
    Text = TextAnswers.front();
    TextAnswers.pop_front();
    return true;
  }
  std::string SaveFile(const std::string &, const std::string &) override { return FileToSave; }
  bool BrowserStarts = true;  // what ShowHelp and OpenWebSite answer
  bool ShowHelp(const std::string &File) override {
    HelpShown.push_back(File);
    return BrowserStarts;
  }
  bool OpenWebSite(const std::string &Address) override {
    SitesOpened.push_back(Address);
    return BrowserStarts;
  }
  // What ShowBatchEnd answers: false as when "Open Output Folder" found no file manager.
  bool FolderOpens = true;
  bool ShowBatchEnd(const std::string &Text, const std::string &Folder) override {
    TDialogs::ShowBatchEnd(Text, Folder);
    return FolderOpens;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> Result;
    for (const TShownMessage &Message : Messages) Result.push_back(Message.Text);
    return Result;
  }
};

// Runs the event loop until Done holds; false after Seconds without it.
inline bool RunEventsUntil(const std::function<bool()> &Done, double Seconds = 60.0) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline std::string CopyMedia(const std::string &Folder, const std::string &Name,
                             const std::string &Source = "sample.mov") {
  std::filesystem::create_directories(Folder);
  std::filesystem::copy_file(MediaFile(Source), Folder + "/" + Name);
  return Folder + "/" + Name;
}

inline constexpr char Mp4Entry[] = "MP4 - MPEG4 Video (*.mp4)";

// A main window and its options as the program's start-up leaves them; settings in memory
// unless a store is given, the job timer's interval the program's unless one is given.
struct TStartedForm {
  explicit TStartedForm(TSettingsStore *Store = nullptr, int TimerInterval = 100)
      : Timer(TimerInterval), Options(Form, Store ? *Store : Memory) {
    Form.Form4 = &Options;
    EXPECT_TRUE(Form.FormCreate()) << Form.Engine().LastErrorMsg;
    Options.FormCreate();
    Form.FormShow();
  }
  TMemorySettingsStore Memory;
  TScriptedDialogs Dialogs;
  TQtJobTimer Timer;
  TForm1 Form{Dialogs, Timer};
  TForm4 Options;
};

// A started window converting to Mp4Entry, its rows one after another unless a test sets
// SpinEditJobs.
class TModelFixture : public testing::Test, protected TStartedForm {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Form.ComboOutputFormat.SelectText(Mp4Entry));
    Form.ComboOutputFormatChange();
    Options.CheckBoxAutoJobs = false;
  }

  void AddFiles(const std::vector<std::string> &Files) {
    Dialogs.FilesToOpen = Files;
    Form.ButtonAddFileClick();
    // The adding worker's end arrives queued; until then a second Add would be refused.
    RunEventsUntil([this] { return !Form.Worker1.Runs(); }, 10);
  }

  void ConvertInto(const std::string &Folder) {
    Form.EditOutputFolder = Folder;
    Form.ButtonConvertClick();
    ASSERT_TRUE(RunEventsUntil([this] { return Form.Idle(); })) << "the batch did not end";
  }

  std::vector<std::string> ProgressCells() const {
    std::vector<std::string> Cells;
    for (int Row = 0; Row < Form.ListView1.Count(); ++Row)
      Cells.push_back(Form.ListView1.Cell(Row, jcProgress));
    return Cells;
  }

  static std::vector<std::string> FilesIn(const std::string &Folder) {
    std::vector<std::string> Names;
    for (const auto &Entry : std::filesystem::directory_iterator(Folder))
      Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }
};

// A settings file as a version before Name existed wrote it (Name empty), or with Name = Value.
inline void WriteSettingsFile(const std::string &File, const std::string &OutputFolder,
                              int DropDownItems, int LetterBox, const std::string &Name = "",
                              const QVariant &Value = {}) {
  std::filesystem::remove(File);
  QSettings Raw(QString::fromStdString(File), QSettings::IniFormat);
  Raw.setValue("Output Folder", QString::fromStdString(OutputFolder));
  Raw.setValue("ComboOutputFormat", 10);
  Raw.setValue("Overwrite", true);
  Raw.setValue("DropDownItems", DropDownItems);
  Raw.setValue("LetterBox", LetterBox);
  if (!Name.empty() && Value.isValid()) Raw.setValue(QString::fromStdString(Name), Value);
}
