// tarnwick-cli: the command-line front end. Dispatches to one command per first word.

#include <cstdio>
#include <cstring>
#include <iostream>
#include <span>

#include "app/library_folder.h"
#include "cli_commands.h"
#include "engine/component/convert_engine.h"

namespace {

constexpr TCliCommand Commands[] = {
    {"probe",
     "  tarnwick-cli probe FILE...\n"
     "      Probes each file and prints one tab-separated line per file: the path, then the\n"
     "      \"Video Size\", \"FrameRate\" and \"Duration\" cells as a job row shows them. A file\n"
     "      that cannot be opened prints the path, \"Error\" and the reason (line breaks of the\n"
     "      reason become blanks); only regular files and block devices are opened, by their\n"
     "      names as given. A tab, line break or backslash in a path is written as\n"
     "      \\t, \\n, \\r or \\\\. Exit status 0 when every file probed, 1 otherwise.\n",
     RunProbeCommand},
    {"formats",
     "  tarnwick-cli formats\n"
     "      Lists the output format list: one line per item, its position, a tab and its text\n"
     "      (separator lines too).\n",
     RunFormatsCommand},
    {"profile",
     "  tarnwick-cli profile ENTRY [--pick LIST=TEXT ...] [--auto-rate-25]\n"
     "      Picks ENTRY (a position of the format list, an item text, a prefix of it that one\n"
     "      item alone has, in any case, or an extension one item alone writes, such as mp3)\n"
     "      as at start-up, then\n"
     "      selects TEXT in each settings list LIST (a control name such as ComboVideoCodec).\n"
     "      Prints the nine settings lists as \"Name: item|[selected]|...\", the output type\n"
     "      as FOutputType=TYPE, and every output option a job would get that differs from\n"
     "      its default, as Name=value; a frame rate of \"Auto\" shows as FrameRate=Auto (the\n"
     "      source's[, at most RATE]), or as 25 with --auto-rate-25. A job that cannot be\n"
     "      prepared prints \"Fail to add file to list!\"; that and misuse exit with\n"
     "      status 1.\n",
     RunProfileCommand},
    {"engine",
     "  tarnwick-cli engine ARGS... [--dry-run]\n"
     "      Runs one conversion task set up from a media converter's command line: \"-name\n"
     "      value\" (or \"-name\" for options without a value) is an engine option, \"-i FILE\"\n"
     "      opens an input, any other word creates an output file. An existing output file is\n"
     "      replaced only with -y. On a terminal a progress line shows the percentage done,\n"
     "      frames, speed, size, bit rate, elapsed and remaining time; the engine's log goes to\n"
     "      standard error (-v sets its level). Exit status 0 when the conversion finished, 1\n"
     "      with the message of a refused option, failed open or failed conversion, 128 and\n"
     "      the signal's number when stopped with Ctrl-C (130), SIGTERM (143) or SIGHUP (129)\n"
     "      (the outputs are finished and readable).\n"
     "      With --dry-run nothing is converted: it prints, for each output, a line\n"
     "      \"output #N muxer=NAME file=PATH\" and one line per stream with its encoder\n"
     "      settings, then releases the task (the empty output files are removed again).\n",
     RunEngineCommand},
    {"convert",
     "  tarnwick-cli convert ENTRY FILE... [--output DIR] [--pick LIST=TEXT ...] [--overwrite]\n"
     "                      [--volume N] [--jobs J] [--on-stop keep|remove] [--no-copy]\n"
     "                      [--no-tags] [--first-tracks] [--auto-rate-25] [--keep-folders]\n"
     "                      [--skip-converted] [--resume] [--output-name NAME] [-v] [--]\n"
     "                      [FILE...]\n"
     "  tarnwick-cli convert --preset NAME|FILE FILE... [the same options]\n"
     "      Converts the files one after another as the window's \"Convert Now !\" does: ENTRY\n"
     "      (as for profile: a position, an item text, a unique prefix or extension) and the\n"
     "      picks fill the settings\n"
     "      lists, each file is probed and becomes a checked row, and each row is converted\n"
     "      into DIR (default: the current folder; made when it does not exist). An existing\n"
     "      file is never replaced: the\n"
     "      output is named clip-1, clip-2, ... instead, unless --overwrite is given; an output\n"
     "      is never written over an input. N is the volume bar's position, 0 to 10 (5 is\n"
     "      100%, 10 is 200%). J rows convert at once (default 0: automatic, one per processor\n"
     "      core and at most one per file; 1: one after another; at most one per core), their\n"
     "      codecs sharing the cores. Prints one line per row as\n"
     "      it ends, in the list's order: the input, a tab, \"Done\", \"Fail\" or \"Abort\", a\n"
     "      tab and the output file (for \"Fail\" the reason), with\n"
     "      names escaped as probe escapes them; after a stop every row not started is\n"
     "      \"FILE<tab>Skipped<tab>not started: the batch was stopped\", so every FILE has\n"
     "      exactly one line. A stopped row keeps the part converted (--on-stop keep, the\n"
     "      default), named as a new output is and never in place of an existing file even\n"
     "      with --overwrite, or leaves nothing (--on-stop remove; its line has no file).\n"
     "      Words after \"--\" are files, even when they begin with \"-\".\n"
     "      When standard error is a terminal a progress line there names the file and\n"
     "      shows its row, percentage and the time left, fitted to the terminal's width as\n"
     "      it is at each update (the name shortened by whole characters); it is\n"
     "      wiped when the batch ends. Each FILE is taken exactly as given and must be\n"
     "      a regular file, a block device or a folder: a folder gives the media files in it\n"
     "      and its subfolders (the open dialog's \"All media files\", hidden ones left out),\n"
     "      in name order. --keep-folders puts each output in the subfolder its input had\n"
     "      under the folder given (in/2024/a.mov to DIR/2024/a.mp4). --skip-converted leaves\n"
     "      a file whose output name already holds its whole conversion (same duration)\n"
     "      as it is; its line is \"Already converted\" with that file, and counts as done.\n"
     "      Messages go to standard error; its last line\n"
     "      counts the rows by how they ended, e.g. \"2 Done, 1 Fail\". Exit status 0 when\n"
     "      every row is \"Done\", 1 otherwise, 128 and the signal's number after Ctrl-C (130),\n"
     "      SIGTERM (143) or SIGHUP (129) (the running rows end \"Abort\", no further row\n"
     "      starts). When standard output is closed (\"| head\") the conversions go on, a line\n"
     "      on standard error says the rows could not be written, and the exit status is 1.\n"
     "      Leftover temporary files (*.tarnwick-part) of killed runs in DIR are removed when\n"
     "      no running conversion holds them (on local file systems only).\n"
     "      With --resume a journal of the batch is kept in DIR (.tarnwick-batch.json, or\n"
     "      the file TARNWICK_JOURNAL names): run again with the same files and DIR after a\n"
     "      kill or a crash, it converts only the files not yet \"Done\" whose output is\n"
     "      still there; a row that was converting starts again from its beginning. A\n"
     "      journal that cannot be read, or of another version, is set aside with a message.\n"
     "      A stream that already has every setting the entry asks for is copied\n"
     "      as it is unless --no-copy is given; with -v (--verbose) standard error shows, for\n"
     "      each file, one line per stream saying whether it is copied and why (\"FILE: stream\n"
     "      #0:1 copied: already mp3 48000 Hz 2 channels 192 kb/s\"). The input's tags,\n"
     "      cover art and modification time are kept unless --no-tags is given; of each\n"
     "      kind the stream marked default is taken unless --first-tracks takes the first;\n"
     "      a frame rate of \"Auto\" keeps the input's rate (a variable-rate input its\n"
     "      timestamps where the container takes them) unless --auto-rate-25 is given.\n"
     "      With --preset there is no ENTRY: the preset named NAME (see presets), or the one\n"
     "      preset in the presets file FILE, gives the entry, the picks, the volume and the\n"
     "      switches; words given as well go over it. A pick the entry no longer has is left\n"
     "      out with a message; an entry the format list no longer has fails (status 1).\n"
     "      With --output-name NAME the one FILE is converted into exactly NAME (its folder\n"
     "      must exist), which is replaced only with --overwrite; without it, an existing\n"
     "      NAME gives NAME-1, NAME-2, ... as above. It goes without --output.\n",
     RunConvertCommand},
    {"presets", PresetsUsage, RunPresetsCommand},
    {"submit", SubmitUsage, RunSubmitCommand},
    {"collect", CollectUsage, RunCollectCommand},
    {"element", ElementUsage, RunElementCommand},
};

void PrintHelp(std::FILE *Out) {
  std::fputs(
      "Tarnwick batch video and audio converter, command-line front end.\n"
      "\n"
      "Usage:\n"
      "  tarnwick-cli --version\n"
      "  tarnwick-cli help COMMAND, tarnwick-cli COMMAND --help\n"
      "      Prints the version, or the usage of one command.\n",
      Out);
  for (const TCliCommand &Command : Commands) std::fputs(Command.Usage, Out);
  std::fputs(
      "\n"
      "The media libraries are loaded from the folder \"Common Files\" beside this program when\n"
      "a copy is there, otherwise from the system. When they cannot be loaded the reason is\n"
      "printed and the exit status is 2.\n",
      Out);
}

}  // namespace

bool LoadLibrariesForCli(TCustomConvertEngine &Engine) {
  if (Engine.LoadAVLib(ApplicationLibraryFolder(), true)) return true;
  std::fprintf(stderr, "%s\n", Engine.LastErrorMsg.c_str());
  return false;
}

// The usage of one command: "help COMMAND" and "COMMAND --help"; 1 for a name it lacks.
int PrintCommandHelp(const char *Name) {
  for (const TCliCommand &Command : Commands)
    if (std::strcmp(Name, Command.Name) == 0) {
      std::printf("Usage:\n%s", Command.Usage);
      return 0;
    }
  std::fprintf(stderr, "tarnwick-cli: no command '%s' (see tarnwick-cli --help)\n", Name);
  return 1;
}

int main(int argc, char **argv) {
  const std::span<char *> Words(argv + 1, argc > 0 ? argc - 1 : 0);
  if (Words.empty() || std::strcmp(Words[0], "--help") == 0 || std::strcmp(Words[0], "-h") == 0) {
    PrintHelp(Words.empty() ? stderr : stdout);
    return Words.empty() ? 1 : 0;
  }
  if (std::strcmp(Words[0], "--version") == 0) {
    std::printf("tarnwick-cli %s\n", TARNWICK_VERSION);
    return 0;
  }
  if (std::strcmp(Words[0], "help") == 0) {
    if (Words.size() == 1) PrintHelp(stdout);
    return Words.size() == 1 ? 0 : PrintCommandHelp(Words[1]);
  }
  if (Words.size() == 2 && std::strcmp(Words[1], "--help") == 0) return PrintCommandHelp(Words[0]);
  for (const TCliCommand &Command : Commands) {
    if (std::strcmp(Words[0], Command.Name) != 0) continue;
    return Command.Run(TCliArguments(Words.begin() + 1, Words.end()));
  }
  std::fprintf(stderr, "tarnwick-cli: unknown command '%s' (see tarnwick-cli --help)\n", Words[0]);
  return 1;
}
