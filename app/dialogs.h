// The one way the window logic talks to the user outside its own controls: message boxes,
// the file and folder choosers, the help file and the web site. The Qt window answers with
// real dialogs, the command line on the terminal, the tests from a script. Main thread only.
#pragma once

#include <string>
#include <vector>

enum class TMsgIcon { Information, Question, Warning, Error };
enum class TMsgButtons { Ok, YesNo };
enum class TModalResult { Ok, Yes, No, Cancel };
// The answers to the stop question; StopNow and Continue are its Yes and No.
enum class TStopChoice { StopNow, FinishRunning, SkipFile, Continue };

inline constexpr char StopQuestion[] = "Stop all conversions?";
inline constexpr char StopNowText[] = "Stop now";
inline constexpr char FinishRunningText[] = "Finish the running files, then stop";
inline constexpr char SkipFileText[] = "Skip this file";
inline constexpr char ContinueText[] = "Continue";
// The question whether to restore the list of a batch the program did not end.
inline constexpr char RestoreQuestion[] =
    "The last list of files was not finished (the program ended during its batch). Restore it?";

// Where the open dialog was left: its folder and the name of its filter ("All media files");
// empty for none.
struct TOpenDialogMemory {
  std::string Folder;
  std::string Filter;
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;

  // Modal; the button pressed (Cancel when the box was closed otherwise).
  virtual TModalResult MessageBox(const std::string &Text, const std::string &Caption,
                                  TMsgIcon Icon, TMsgButtons Buttons) = 0;
  // The open dialog, with Filter in the "Name|patterns|Name|patterns|" form; the chosen files
  // in the dialog's order, none when cancelled.
  virtual std::vector<std::string> OpenFiles(const std::string &Filter, bool MultiSelect) = 0;
  // The same, starting in Memory's folder with Memory's filter chosen when the dialog has it;
  // after a choice Memory holds the folder and filter it was made in.
  virtual std::vector<std::string> OpenFiles(const std::string &Filter, bool MultiSelect,
                                             TOpenDialogMemory & /*Memory*/) {
    return OpenFiles(Filter, MultiSelect);
  }
  // The save dialog with Filter, starting at Name; the file chosen, empty when cancelled.
  virtual std::string SaveFile(const std::string &, const std::string &) { return {}; }
  // Asks for a line of text under Prompt, starting with Text; false when cancelled, else Text is
  // the answer.
  virtual bool InputText(const std::string &, const std::string &, std::string &) { return false; }
  // The folder browser showing Headline; false when cancelled, else Folder is the choice.
  virtual bool BrowseForFolder(const std::string &Headline, std::string &Folder) = 0;
  // The help file in the desktop's viewer, at its table of contents; false when no viewer
  // could be started.
  virtual bool ShowHelp(const std::string &HelpFile) = 0;
  // The address in the default browser; false when none could be started.
  virtual bool OpenWebSite(const std::string &Address) = 0;
  // The message at the end of a batch; a window may offer to open Folder from it. False when
  // the folder was to be opened and no file manager could be started.
  virtual bool ShowBatchEnd(const std::string &Text, const std::string &Folder);
  // "Stop all conversions?" ("Confirmation", question icon) with the stop choices; where only
  // Yes and No can be offered, they are "Stop now" and "Continue".
  virtual TStopChoice AskStop();
};

// The usual information box: caption "Information", information icon, OK.
inline void ShowInformation(TDialogs &Dialogs, const std::string &Text) {
  Dialogs.MessageBox(Text, "Information", TMsgIcon::Information, TMsgButtons::Ok);
}

inline bool TDialogs::ShowBatchEnd(const std::string &Text, const std::string &) {
  ShowInformation(*this, Text);
  return true;
}

inline TStopChoice TDialogs::AskStop() {
  return MessageBox(StopQuestion, "Confirmation", TMsgIcon::Question, TMsgButtons::YesNo) ==
                 TModalResult::Yes
             ? TStopChoice::StopNow
             : TStopChoice::Continue;
}
