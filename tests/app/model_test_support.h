// The window model under test: a form with scripted dialogs, its options dialog on settings
// that live in memory or in a temporary file, and a way to run the event loop until the batch
// is over.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/additional_options.h"
#include "app/main_form.h"

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
  std::function<void()> OnQuestion;  // runs while a question is open
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
    if (OnQuestion) OnQuestion();
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
    if (FolderToChoose.empty()) return false;
    Folder = FolderToChoose;
    return true;
  }
  void ShowHelp(const std::string &File) override { HelpShown.push_back(File); }
  void OpenWebSite(const std::string &Address) override { SitesOpened.push_back(Address); }

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

inline constexpr char Mp4Entry[] = "MP4 - MPEG4 Video (*.mp4)";

// A main window as start-up leaves it, with Entry applied.
class TModelFixture : public testing::Test {
 protected:
  explicit TModelFixture(TSettingsStore *Store = nullptr) : Options(Form, Store ? *Store : Memory) {
    Form.Form4 = &Options;
  }

  void StartUp(const std::string &Entry = Mp4Entry) {
    ASSERT_TRUE(Form.FormCreate()) << Form.Engine().LastErrorMsg;
    Options.FormCreate();
    Form.FormShow();
    if (!Entry.empty()) {
      ASSERT_TRUE(Form.ComboOutputFormat.SelectText(Entry));
      Form.ComboOutputFormatChange();
    }
  }

  void AddFiles(const std::vector<std::string> &Files) {
    Dialogs.FilesToOpen = Files;
    Form.ButtonAddFileClick();
  }

  // Converts the checked rows into Folder and waits for the batch to be over.
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

  TScriptedDialogs Dialogs;
  TQtJobTimer Timer{100};
  TForm1 Form{Dialogs, Timer};
  TMemorySettingsStore Memory;
  TForm4 Options;
};
