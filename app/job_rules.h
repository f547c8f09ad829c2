// The batch driver's rules that need no window and no engine: output names, the aspect ratio
// of "Original", the recording-time limit of rows without a known duration, the volume bar's
// table, the progress figure and the message that ends a batch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/component/option_records.h"

// Path with its extension replaced by Extension (".mp4"), or Base-1, Base-2, ... when a file of
// that name exists: the first name no file has, nor any of Taken (names promised to others).
std::string UniqueOutputName(const std::string &Path, const std::string &Extension,
                             const std::vector<std::string> &Taken = {});

// The output of a job as handed to the engine. The engine claims the name only when the file
// is complete, so a kept name taken meanwhile (by another program, say) gives the next free one.
struct TJobOutput {
  std::string FileName;  // Folder/name-of-Input with Extension
  bool KeepExisting;     // a file of that name is never replaced
  std::string Expected;  // the name the row shows until the job tells the one written
};

// Overwriting replaces FileName, except when that is one of Inputs or was Written earlier in
// the batch: neither an input nor the batch's own output is ever written over.
TJobOutput JobOutput(const std::string &Input, const std::string &Folder,
                     const std::string &Extension, bool Overwrite,
                     const std::vector<std::string> &Inputs,
                     const std::vector<std::string> &Written = {});

// Whether two jobs running at once could meet over a name: the same one, or one that the job
// keeping files may number its way to ("clip-1.mp4" from "clip.mp4"). One replacing files
// would move over the other's output; two keeping files would take their names in the order
// they end. The later job waits instead, so the names come out as one after another.
bool OutputsMayMeet(const TJobOutput &Left, const TJobOutput &Right);

// The name JobOutput expects.
std::string JobOutputPath(const std::string &Input, const std::string &Folder,
                          const std::string &Extension, bool Overwrite,
                          const std::vector<std::string> &Inputs);

// AspectRatio for the ComboAspectRatio position and the row's "Video Size" cell.
std::string JobAspectRatio(int AspectItem, const std::string &VideoSizeCell);

// The picture of a job with a fixed frame size Box ("1280x720", a device's screen) when the
// shown picture (the row's "Video Size" cell) lies the other way: a portrait phone clip for a
// landscape box fits inside it keeping its shape, and LetterBox pads it out to the box. Sizes
// are even.
struct TBoxedFrame {
  bool Fitted = false;      // false: the picture takes the box as the job says
  std::string FrameSize;    // "WIDTHxHEIGHT" inside the pads
  std::string AspectRatio;  // of the whole frame, pads included, as a decimal
  int PadLeft = 0, PadRight = 0, PadTop = 0, PadBottom = 0;
};
TBoxedFrame BoxedFrame(const std::string &Box, const std::string &VideoSizeCell, bool LetterBox);

// RecordingTime (ms) for the row's "Duration" cell: ten hours when the duration is not known,
// else no limit (-1).
int32_t JobRecordingTime(const std::string &DurationCell);

// The seconds a "Duration" cell ("HH:MM:SS", hours of any length) gives; 0 for "Unknown" or any
// other text.
double DurationSeconds(const std::string &DurationCell);

struct TVolumeStep {
  const char *Label;  // LabelVolume
  int Volume;         // AudioVolumeSetting
};

inline constexpr TVolumeStep VolumeSteps[] = {
    {"0%", 1},     {"20%", 50},   {"40%", 100},
    {"60%", 150},  {"80%", 200},  {"100%", AudioVolumeHundredPercent},
    {"120%", 300}, {"140%", 350}, {"160%", 400},
    {"180%", 450}, {"200%", 600},
};
inline constexpr int VolumeStepCount = sizeof VolumeSteps / sizeof VolumeSteps[0];
// The bar's position where a window, a preset, a journal or the command line gives none.
inline constexpr int HundredPercentStep = 5;
static_assert(VolumeSteps[HundredPercentStep].Volume == AudioVolumeHundredPercent);

// Current * 100 / Total, truncated; 0 when the total is not positive.
int ProgressPercent(int64_t Current, int64_t Total);

// The processor cores this process may run on; at least 1.
int ProcessorCount();

// The codec threads of each job when Jobs convert at once on Cores: shared out so that they
// do not oversubscribe the cores, at least 1; 0 (the libraries' own choice) for one job.
int JobCodecThreads(int Cores, int Jobs);

// The rows a batch ended, by their final state.
struct TJobStateCounts {
  int Done = 0;
  int Fail = 0;
  int Abort = 0;
  int Skipped = 0;           // not started: the batch was stopped before them
  int AlreadyConverted = 0;  // their outputs were already whole: not converted again
};

// Counts the "Progress" cells that hold a final state or "Skipped"; other cells (rows not
// converted, rows not reached) count nowhere.
TJobStateCounts CountJobStates(const std::vector<std::string> &ProgressCells);

// "2 Done, 1 Fail": the states that occurred, in the order Done, Fail, Abort, Skipped, Already
// converted; "0 Done" when no row ended.
std::string JobStateCountsText(const TJobStateCounts &Counts);

// "All Conversions Completed" when no row failed or was aborted; otherwise "Conversions
// Completed with errors" and, on a line of its own, the counts.
std::string CompletionMessage(const TJobStateCounts &Counts);

// The status bar's note after adding files: "" when none was skipped, else how many files
// were already in the list.
std::string SkippedFilesNote(int Skipped);

// The status bar during a batch: "File 2 of 5", and "Elapsed 00:01:05, about 00:02:10 left"
// from the time so far and the share of the batch done (0..1); no estimate before anything is
// done.
std::string BatchFileNote(int File, int Files);
std::string BatchTimeNote(double ElapsedSeconds, double DoneShare);
