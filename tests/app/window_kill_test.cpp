// The real window program killed with SIGKILL in the middle of a batch, started again and its
// list restored and converted, driven from the keyboard over Qt's VNC platform.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/batch_journal.h"
#include "tests/app/killed_batch.h"
#include "tests/app/vnc_keys.h"
#include "tests/support/test_support.h"

namespace {

using TTexts = std::vector<std::string>;

// The rows' states in the window's journal; none while there is no journal.
TTexts JournalStates(const std::string &Path) {
  TTexts States;
  for (const TJournalRow &Row : ReadBatchJournal(Path).Journal.Rows) States.push_back(Row.State);
  return States;
}

// Polls every 100 ms, at most Seconds, until Done holds.
bool Eventually(const std::function<bool()> &Done, int Seconds = 120) {
  for (int Tries = 0; Tries < Seconds * 10; ++Tries) {
    if (Done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return Done();
}

// The user's settings: MP4 into Out, one file at a time.
void WriteSettings(const std::string &ConfigHome, const std::string &Out) {
  const TProcessResult Formats = RunProgram({TARNWICK_CLI, "formats"});
  std::istringstream Lines(Formats.Output);
  std::string Line, Entry;
  while (std::getline(Lines, Line))
    if (Line.find("\tMP4 - MPEG4 Video") != std::string::npos)
      Entry = Line.substr(0, Line.find('\t'));
  ASSERT_FALSE(Entry.empty()) << Formats.Output;
  std::filesystem::create_directories(ConfigHome + "/Brimvale");
  std::ofstream(ConfigHome + "/Brimvale/Tarnwick.conf")
      << "[General]\nOutput%20Folder=" << Out << "\nComboOutputFormat=" << Entry
      << "\nConversions%20At%20Once=1\nSimultaneous%20Conversions=1\n";
}

// Killed while its third file converts, the window offers the list back at its next start;
// accepted and converted again, every file is Done once, the files done before the kill are
// not converted again, nothing is left of the killed run and no output is doubled.
TEST(WindowKillTest, AKilledBatchRestoredConvertsOnlyWhatWasLeft) {
  TTempFolder In("window-kill-in"), Out("window-kill-out"), Home("window-kill-home");
  const TTexts Inputs = {In.File("a.mov"), In.File("b.mov"), In.File("long.mkv"), In.File("c.mov")};
  for (int Index : {0, 1, 3}) std::filesystem::copy_file(MediaFile("sample.mov"), Inputs[Index]);
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc=size=640x480:rate=25:duration=40", "-c:v", "mpeg4", Inputs[2]})
                .ExitStatus,
            0);
  WriteSettings(Home.File("config"), Out.Path());
  const int Port = TVncKeys::FreePort();
  setenv("XDG_CONFIG_HOME", Home.File("config").c_str(), 1);
  setenv("XDG_STATE_HOME", Home.File("state").c_str(), 1);
  setenv("QT_QPA_PLATFORM", ("vnc:size=1024x768:port=" + std::to_string(Port)).c_str(), 1);
  const std::string Journal = Home.File("state/tarnwick/batch-journal.json");
  const std::string Log = Home.File("log");

  TTexts Words = {TARNWICK_PROGRAM};
  Words.insert(Words.end(), Inputs.begin(), Inputs.end());
  // What the program said and the rows' states, for a failure.
  const auto Seen = [&] {
    std::string Text = ReadFile(Log) + "rows:";
    for (const std::string &State : JournalStates(Journal)) Text += " " + State;
    return Text;
  };
  TRunningChild Killed{StartProgram(Words, Log, Log)};
  ASSERT_GT(Killed.Pid, 0);
  {
    TVncKeys Keys;
    ASSERT_TRUE(Keys.Connect(Port)) << Seen();
    // The files are in the list once the journal has their rows.
    ASSERT_TRUE(Eventually([&] { return JournalStates(Journal).size() == 4; })) << Seen();
    ASSERT_TRUE(Keys.Press({VncKey::Control, VncKey::Return}));
    ASSERT_TRUE(Eventually([&] {
      return HasTemporary(Out.Path(), "long.mp4", 50000) &&
             JournalStates(Journal) == TTexts{"Done", "Done", "Converting", "Waiting"};
    })) << Seen();
  }
  kill(Killed.Pid, SIGKILL);
  ASSERT_EQ(Killed.Wait(), 128 + SIGKILL);
  struct stat Before[2]{};
  for (int Index : {0, 1})
    ASSERT_EQ(stat(Out.File(Index ? "b.mp4" : "a.mp4").c_str(), &Before[Index]), 0);

  TRunningChild Again{StartProgram({TARNWICK_PROGRAM}, Log, Log)};
  ASSERT_GT(Again.Pid, 0);
  TVncKeys Keys;
  ASSERT_TRUE(Keys.Connect(Port)) << Seen();
  // "Yes" to the restore question by its key; the restored list is journaled at once, with the
  // killed row waiting again.
  ASSERT_TRUE(Eventually([&] {
    Keys.Press({'y'});
    return JournalStates(Journal) == TTexts{"Done", "Done", "Waiting", "Waiting"};
  })) << Seen();
  // Convert clears the cells of the rows done before; unticked, they are not converted again.
  ASSERT_TRUE(Keys.Press({VncKey::Control, VncKey::Return}));
  ASSERT_TRUE(Eventually([&] {
    return JournalStates(Journal) == TTexts{"Waiting", "Waiting", "Done", "Done"};
  })) << Seen();
  const TBatchJournal Done = ReadBatchJournal(Journal).Journal;
  EXPECT_EQ(Done.Rows[2].Output, Out.File("long.mp4"));
  EXPECT_EQ(Done.Rows[3].Output, Out.File("c.mp4"));
  // The end message closed by its default button, then Ctrl+Q: a normal close leaves nothing
  // to restore.
  int Status = -1;
  ASSERT_TRUE(Eventually(
      [&] {
        Keys.Press({VncKey::Return});
        Keys.Press({VncKey::Control, 'q'});
        siginfo_t Ended{};
        if (waitid(P_PID, Again.Pid, &Ended, WEXITED | WNOHANG | WNOWAIT) != 0 || Ended.si_pid == 0)
          return false;
        Status = Again.Wait();
        return true;
      },
      30))
      << Seen();
  EXPECT_EQ(Status, 0) << Seen();
  EXPECT_FALSE(std::filesystem::exists(Journal));

  EXPECT_EQ(Out.Names(), (TTexts{"a.mp4", "b.mp4", "c.mp4", "long.mp4"}));
  for (int Index : {0, 1}) {
    struct stat After {};
    ASSERT_EQ(stat(Out.File(Index ? "b.mp4" : "a.mp4").c_str(), &After), 0);
    EXPECT_EQ(After.st_ino, Before[Index].st_ino) << "a done file was converted again";
    EXPECT_EQ(After.st_mtim.tv_sec, Before[Index].st_mtim.tv_sec);
    EXPECT_EQ(After.st_mtim.tv_nsec, Before[Index].st_mtim.tv_nsec);
  }
  const TProcessResult Probe =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                  "csv=p=0", Out.File("long.mp4")});
  EXPECT_NEAR(std::atof(Probe.Output.c_str()), 40.0, 0.5) << Probe.Errors;
}

}  // namespace
