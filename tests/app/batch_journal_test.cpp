// The batch journal: what a damaged or foreign journal leaves, convert --resume picking up a
// batch killed with SIGKILL, and the window offering the list of a run that did not end.

#include "app/batch_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/list_journal.h"
#include "tests/app/killed_batch.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

using TTexts = std::vector<std::string>;

TBatchJournal SmallJournal(const std::string &Folder) {
  TBatchJournal Journal;
  Journal.Entry = Mp4Entry;
  Journal.OutputFolder = Folder;
  Journal.Rows = {
      {Folder + "/a.mov", true, "Done", Folder + "/a.mp4", "320x240", "25", "00:00:01", "2024"},
      {Folder + "/b.mov", false, "Waiting", "", " ", " ", "Unknown", ""}};
  return Journal;
}

// A journal is read back whole; one that is cut off, of another version or not a journal at
// all is set aside with a message saying why, and the next write starts a good one.
TEST(BatchJournalTest, ADamagedOrForeignJournalIsSetAsideWithItsReason) {
  TTempFolder Folder("journal-read");
  const std::string Path = Folder.File("journal.json");
  std::string Error;
  ASSERT_TRUE(WriteBatchJournal(Path, SmallJournal(Folder.Path()), Error)) << Error;
  const std::string Good = ReadFile(Path);
  const TJournalRead Back = ReadBatchJournal(Path);
  ASSERT_EQ(Back.Outcome, TJournalOutcome::Read);
  EXPECT_EQ(Back.Journal.Entry, Mp4Entry);
  ASSERT_EQ(Back.Journal.Rows.size(), 2u);
  EXPECT_EQ(Back.Journal.Rows[0].Output, Folder.File("a.mp4"));
  EXPECT_EQ(Back.Journal.Rows[1].Checked, false);
  EXPECT_EQ(Back.Journal.Rows[1].Duration, "Unknown");
  EXPECT_EQ(Back.Journal.Rows[0].SubFolder, "2024");

  std::string Older = Good;
  Older.replace(Older.find("\"version\": 1"), 12, "\"version\": 0");
  const struct {
    const char *Name;
    std::string Content;
    const char *Reason;
  } Cases[] = {
      {"cut off mid-write", Good.substr(0, Good.size() / 2), "cannot be read"},
      {"older version", Older, "of version 0, this program reads version 1"},
      {"not a journal", "{\"rows\": []}", "not a batch journal"},
      {"empty", "", "cannot be read"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    fs::remove(Path + ".unreadable");
    std::ofstream(Path, std::ios::trunc) << Case.Content;
    const TJournalRead Read = ReadBatchJournal(Path);
    EXPECT_EQ(Read.Outcome, TJournalOutcome::SetAside);
    EXPECT_NE(Read.Message.find(Case.Reason), std::string::npos) << Read.Message;
    EXPECT_NE(Read.Message.find(Path + ".unreadable"), std::string::npos) << Read.Message;
    EXPECT_FALSE(fs::exists(Path));
    EXPECT_EQ(ReadFile(Path + ".unreadable"), Case.Content);
  }

  // A write killed before its rename leaves its temporary file; the last good copy stands.
  ASSERT_TRUE(WriteBatchJournal(Path, SmallJournal(Folder.Path()), Error)) << Error;
  std::ofstream(Path + ".new", std::ios::trunc) << Good.substr(0, 10);
  EXPECT_EQ(ReadBatchJournal(Path).Outcome, TJournalOutcome::Read);
  ASSERT_TRUE(WriteBatchJournal(Path, SmallJournal(Folder.Path()), Error)) << Error;
  EXPECT_EQ(ReadFile(Path), Good);
  EXPECT_FALSE(fs::exists(Path + ".new"));

  // A journal that cannot be written keeps the last copy and says why.
  const std::string Blocked = Folder.File("file-not-folder");
  std::ofstream(Blocked) << "x";
  EXPECT_FALSE(WriteBatchJournal(Blocked + "/journal.json", SmallJournal(Folder.Path()), Error));
  EXPECT_NE(Error.find("Not a directory"), std::string::npos) << Error;
}

// convert --resume killed with SIGKILL while its third file converts, then run again: every file
// ends "Done" exactly once, the files done before the kill are not converted again, nothing is
// left of the killed row and no output is doubled.
TEST(BatchJournalTest, AResumedConvertDoesOnlyWhatTheKilledOneLeft) {
  TTempFolder In("journal-resume-in"), Out("journal-resume-out");
  const TTexts Inputs = {CopyMedia(In.Path(), "a.mov"), CopyMedia(In.Path(), "b.mov"),
                         In.File("long.mkv")};
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=640x480:rate=25:duration=40", "-c:v", "mpeg4", Inputs[2]})
                .ExitStatus,
            0);
  std::vector<std::string> Words = {TARNWICK_CLI, "convert", Mp4Entry};
  Words.insert(Words.end(), Inputs.begin(), Inputs.end());
  for (const char *Word : {"--output", "OUT", "--jobs", "1", "--resume"}) Words.push_back(Word);
  Words[Words.size() - 4] = Out.Path();

  const pid_t Killed = StartProgram(Words, In.File("killed-rows"), In.File("killed-log"));
  ASSERT_GT(Killed, 0);
  bool Converting = false;
  for (int Tries = 0; Tries < 1200 && !Converting; ++Tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Converting = HasTemporary(Out.Path(), "long.mp4", 50000);
  }
  ASSERT_TRUE(Converting) << ReadFile(In.File("killed-log"));
  kill(Killed, SIGKILL);
  ASSERT_EQ(WaitFor(Killed), 128 + SIGKILL);
  EXPECT_EQ(ReadFile(In.File("killed-rows")), Inputs[0] + "\tDone\t" + Out.File("a.mp4") + "\n" +
                                                  Inputs[1] + "\tDone\t" + Out.File("b.mp4") +
                                                  "\n");
  struct stat Before {};
  ASSERT_EQ(stat(Out.File("a.mp4").c_str(), &Before), 0);

  const TProcessResult Resumed = RunProgram(Words);
  EXPECT_EQ(Resumed.ExitStatus, 0) << Resumed.Errors;
  EXPECT_EQ(Resumed.Output, Inputs[0] + "\tDone\t" + Out.File("a.mp4") + "\n" + Inputs[1] +
                                "\tDone\t" + Out.File("b.mp4") + "\n" + Inputs[2] + "\tDone\t" +
                                Out.File("long.mp4") + "\n");
  EXPECT_EQ(Out.Names(), (TTexts{".tarnwick-batch.json", "a.mp4", "b.mp4", "long.mp4"}));
  struct stat After {};
  ASSERT_EQ(stat(Out.File("a.mp4").c_str(), &After), 0);
  EXPECT_EQ(After.st_ino, Before.st_ino) << "a done file was converted again";
  EXPECT_EQ(After.st_mtim.tv_sec, Before.st_mtim.tv_sec);
  EXPECT_EQ(After.st_mtim.tv_nsec, Before.st_mtim.tv_nsec);

  // Run once more: nothing is left to do. A journal kept elsewhere (TARNWICK_JOURNAL) knows
  // nothing of this one: the long file is converted again, under a new name.
  const TProcessResult Again = RunProgram(Words);
  EXPECT_EQ(Again.ExitStatus, 0) << Again.Errors;
  EXPECT_EQ(Again.Output, Resumed.Output);
  EXPECT_EQ(Out.Names().size(), 4u);
  setenv("TARNWICK_JOURNAL", In.File("elsewhere.json").c_str(), 1);
  Words.erase(Words.begin() + 3, Words.begin() + 5);  // long.mkv only
  const TProcessResult Elsewhere = RunProgram(Words);
  unsetenv("TARNWICK_JOURNAL");
  EXPECT_EQ(Elsewhere.ExitStatus, 0) << Elsewhere.Errors;
  EXPECT_TRUE(fs::exists(In.File("elsewhere.json")));
  EXPECT_EQ(Out.Names(),
            (TTexts{".tarnwick-batch.json", "a.mp4", "b.mp4", "long-1.mp4", "long.mp4"}));
}

// The window started after a run that did not end offers its list back: done rows whose file is
// there stay done and unticked, a row killed while converting starts again, a row killed after
// its output was complete but before the journal said so is done; no, and the list is gone.
TEST(BatchJournalTest, TheWindowOffersTheListOfARunThatDidNotEnd) {
  TTempFolder State("journal-window-state"), Out("journal-window-out");
  std::ofstream(Out.File("a.mp4")) << "converted";
  std::ofstream(Out.File("c.mp4")) << "converted, not yet journaled";
  TBatchJournal Journal;
  Journal.Entry = Mp4Entry;
  Journal.OutputFolder = Out.Path();
  Journal.Volume = 7;
  Journal.Picks = {{"ComboAudioChannels", "Mono"}};
  Journal.Rows = {
      {"/in/a.mov", true, "Done", Out.File("a.mp4"), "320x240", "25", "00:00:02", ""},
      {"/in/b.mov", true, "Converting", Out.File("b.mp4"), "320x240", "25", "00:00:02", ""},
      {"/in/c.mov", true, "Converting", Out.File("c.mp4"), "320x240", "25", "00:00:02", ""},
      {"/in/d.mov", false, "Done", Out.File("gone.mp4"), "320x240", "25", "00:00:02", ""},
  };
  const std::string Path = State.File("tarnwick/batch-journal.json");

  const struct {
    const char *Name;
    TModalResult Answer;
    TTexts Cells;
    std::vector<bool> Checked;
  } Cases[] = {
      {"restored", TModalResult::Yes, {"Done", "", "Done", ""}, {false, true, false, false}},
      {"declined", TModalResult::No, {}, {}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::string Error;
    ASSERT_TRUE(WriteBatchJournal(Path, Journal, Error)) << Error;
    TScriptedDialogs Dialogs;
    Dialogs.Answers = {Case.Answer};
    TQtJobTimer Timer(100);
    TForm1 Form(Dialogs, Timer);
    TMemorySettingsStore Settings;
    TForm4 Options(Form, Settings);
    Form.Form4 = &Options;
    ASSERT_TRUE(Form.FormCreate());
    Options.FormCreate();
    Form.ListJournal.File = Path;
    Form.FormShow();

    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, RestoreQuestion);
    EXPECT_EQ(Dialogs.Messages[0].Buttons, TMsgButtons::YesNo);
    TTexts Cells;
    std::vector<bool> Checked;
    for (int Row = 0; Row < Form.ListView1.Count(); ++Row) {
      Cells.push_back(Form.ListView1.Cell(Row, jcProgress));
      Checked.push_back(Form.ListView1.Row(Row).Checked);
    }
    EXPECT_EQ(Cells, Case.Cells);
    EXPECT_EQ(Checked, Case.Checked);
    if (Case.Answer == TModalResult::Yes) {
      EXPECT_EQ(Form.ComboOutputFormat.Text(), Mp4Entry);
      EXPECT_EQ(Form.ComboAudioChannels.Text(), "Mono");
      EXPECT_EQ(Form.EditOutputFolder, Out.Path());
      EXPECT_EQ(Form.TrackBar1, 7);
      EXPECT_EQ(Form.ListView1.Cell(1, jcDuration), "00:00:02");
      // The restored list is the journal now; closing normally leaves nothing to restore.
      EXPECT_EQ(ReadBatchJournal(Path).Journal.Rows.size(), 4u);
      Form.FormClose();
    }
    EXPECT_FALSE(fs::exists(Path));
  }

  // A journal that cannot be read is set aside and the user told, with no question.
  fs::create_directories(State.File("tarnwick"));
  std::ofstream(Path) << "{\"journal\": \"tarnwick batch\", \"version\": 99, \"rows\": []}";
  TScriptedDialogs Dialogs;
  TQtJobTimer Timer(100);
  TForm1 Form(Dialogs, Timer);
  ASSERT_TRUE(Form.FormCreate());
  Form.ListJournal.File = Path;
  Form.FormShow();
  ASSERT_EQ(Dialogs.Texts().size(), 1u);
  EXPECT_NE(Dialogs.Texts()[0].find("of version 99"), std::string::npos) << Dialogs.Texts()[0];
  EXPECT_EQ(Form.ListView1.Count(), 0);
  EXPECT_TRUE(fs::exists(Path + ".unreadable"));
}

}  // namespace
