// tarnwick-cli's progress line on a terminal of a given width: run under a pseudo-terminal, every
// update must fit on one row and be valid UTF-8, a Japanese file name included.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "app/cli/terminal_line.h"
#include "tests/support/test_support.h"

namespace {

constexpr char JapaneseName[] = "東京の夏祭り・花火大会の記録映像（二〇二六年八月）第一部.mov";

struct TTerminalRun {
  int ExitStatus = -1;
  std::string Bytes;  // all the terminal received, standard output and error
};

// Runs Arguments with a pseudo-terminal of Columns columns as its standard output and error.
TTerminalRun RunOnTerminal(const std::vector<std::string> &Arguments, unsigned short Columns) {
  winsize Size{};
  Size.ws_col = Columns;
  Size.ws_row = 24;
  int Terminal = -1;
  const pid_t Child = forkpty(&Terminal, nullptr, nullptr, &Size);
  if (Child == 0) {
    std::vector<char *> Argv;
    for (const std::string &Word : Arguments) Argv.push_back(const_cast<char *>(Word.c_str()));
    Argv.push_back(nullptr);
    // The width must come from the terminal, not from a COLUMNS left in the environment.
    unsetenv("COLUMNS");
    // Line feeds stay line feeds, so that a carriage return is always the program's own.
    termios Modes{};
    if (tcgetattr(STDOUT_FILENO, &Modes) == 0) {
      Modes.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
      tcsetattr(STDOUT_FILENO, TCSANOW, &Modes);
    }
    execv(Argv[0], Argv.data());
    _exit(127);
  }
  TTerminalRun Run;
  if (Child < 0) return Run;
  char Buffer[4096];
  for (;;) {
    const ssize_t Count = read(Terminal, Buffer, sizeof Buffer);
    if (Count > 0) {
      Run.Bytes.append(Buffer, static_cast<size_t>(Count));
      continue;
    }
    if (Count < 0 && errno == EINTR) continue;
    break;  // EIO: the child's side is closed
  }
  close(Terminal);
  int Status = 0;
  waitpid(Child, &Status, 0);
  Run.ExitStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  return Run;
}

// True when Text is well-formed UTF-8 (no cut, overlong or surrogate sequence).
bool ValidUtf8(const std::string &Text) {
  for (size_t At = 0; At < Text.size();) {
    const unsigned char Lead = static_cast<unsigned char>(Text[At]);
    size_t Length = Lead < 0x80         ? 1
                    : (Lead >> 5) == 6  ? 2
                    : (Lead >> 4) == 14 ? 3
                    : (Lead >> 3) == 30 ? 4
                                        : 0;
    if (Length == 0 || At + Length > Text.size()) return false;
    unsigned Code = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t I = 1; I < Length; ++I) {
      const unsigned char Next = static_cast<unsigned char>(Text[At + I]);
      if ((Next & 0xC0) != 0x80) return false;
      Code = (Code << 6) | (Next & 0x3F);
    }
    const unsigned Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Code < Least[Length] || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return false;
    At += Length;
  }
  return true;
}

// What each progress update left on its row: the pieces that a carriage return ends (the
// messages between them end with line feeds, and may be as long as they are).
std::vector<std::string> ProgressPieces(const std::string &Bytes) {
  std::vector<std::string> Pieces;
  std::string Piece;
  for (size_t At = 0; At < Bytes.size(); ++At) {
    const char C = Bytes[At];
    // A message of the media libraries may end with its own "\r\n".
    if (C == '\r' && Bytes.compare(At + 1, 1, "\n") != 0) Pieces.push_back(Piece);
    if (C == '\r' || C == '\n')
      Piece.clear();
    else
      Piece += C;
  }
  return Pieces;
}

TEST(CliLineTest, ProgressLinesFitTheTerminalAndKeepWholeCharacters) {
  TTempFolder Folder("cli-line");
  const std::string Input = Folder.File(JapaneseName);
  // Long enough to convert for a few progress updates.
  ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        "testsrc2=size=640x360:rate=25:duration=10", "-c:v", "libx264", "-preset",
                        "ultrafast", Input})
                .ExitStatus,
            0);
  const struct {
    const char *Command;
    unsigned short Columns;
  } Cases[] = {{"convert", 40}, {"convert", 80}, {"convert", 120}, {"engine", 40}, {"engine", 80}};
  int Run = 0;
  for (const auto &Case : Cases) {
    const std::string Output = Folder.File("out" + std::to_string(++Run));
    std::vector<std::string> Arguments{TARNWICK_CLI, Case.Command};
    if (std::string(Case.Command) == "convert")
      Arguments.insert(Arguments.end(), {"MP4 - MPEG4 Video (*.mp4)", Input, "--output", Output});
    else
      Arguments.insert(Arguments.end(), {"-i", Input, "-c:v", "mpeg4", Output + ".mp4"});
    const TTerminalRun Result = RunOnTerminal(Arguments, Case.Columns);
    SCOPED_TRACE(std::string(Case.Command) + " at " + std::to_string(Case.Columns));
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Bytes;
    EXPECT_TRUE(ValidUtf8(Result.Bytes)) << Result.Bytes;
    int Updates = 0;
    for (const std::string &Piece : ProgressPieces(Result.Bytes)) {
      EXPECT_LT(DisplayWidth(Piece), Case.Columns) << Piece;
      // An update shows the end of the name, cut between characters.
      if (Piece.find("第一部.mov") != std::string::npos) ++Updates;
    }
    EXPECT_GT(Updates, 0) << Result.Bytes;
  }
}

TEST(CliLineTest, NamesAreShortenedByCharactersAndColumns) {
  const struct {
    const char *Name;
    size_t Width;
    const char *Shortened;
  } Cases[] = {
      {"clip.mov", 20, "clip.mov"},
      {"a-rather-long-name.mov", 12, "...-name.mov"},
      // Each of these characters takes two columns: an odd room is not filled by half of one.
      {"東京の夏祭り.mov", 12, "...祭り.mov"},
      {"東京の夏祭り.mov", 13, "...夏祭り.mov"},
      {"Größe und Länge é.mov", 12, "...nge é.mov"},
      // A byte that is no character is shown as "?", never passed on.
      {"bad\xE6\x9D.mov", 20, "bad??.mov"},
      {"東京.mov", 2, ".."},
  };
  for (const auto &Case : Cases) {
    const std::string Shortened = ShortenedName(Case.Name, Case.Width);
    EXPECT_EQ(Shortened, Case.Shortened) << Case.Name << " in " << Case.Width;
    EXPECT_LE(DisplayWidth(Shortened), Case.Width) << Case.Name;
  }
}

TEST(CliLineTest, WidthComesFromTheTerminalElseColumns) {
  const struct {
    const char *Columns;  // nullptr: unset
    size_t Width;
  } Cases[] = {{"57", 57}, {nullptr, 80}, {"wide", 80}};
  const char *Was = std::getenv("COLUMNS");
  const std::string Kept = Was ? Was : "";
  for (const auto &Case : Cases) {
    if (Case.Columns)
      setenv("COLUMNS", Case.Columns, 1);
    else
      unsetenv("COLUMNS");
    // A pipe has no window size.
    int Pipe[2];
    ASSERT_EQ(pipe(Pipe), 0);
    EXPECT_EQ(TerminalColumns(Pipe[1]), Case.Width) << (Case.Columns ? Case.Columns : "unset");
    close(Pipe[0]);
    close(Pipe[1]);
  }
  if (Was)
    setenv("COLUMNS", Kept.c_str(), 1);
  else
    unsetenv("COLUMNS");
}

}  // namespace
