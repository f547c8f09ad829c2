// The batch driver's window-free rules: output names, aspect, recording time, volume, progress,
// the end of a batch.

#include "app/job_rules.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <utility>

#include "app/converted_output.h"
#include "app/job_cells.h"
#include "profiles/number_text.h"
#include "text/format_text.h"
#include "text/text_utils.h"

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string &Path) {
  std::error_code Ignored;
  return fs::exists(Path, Ignored) || fs::is_symlink(Path, Ignored);
}

bool SameFile(const std::string &Left, const std::string &Right) {
  std::error_code Error;
  if (fs::equivalent(Left, Right, Error) && !Error) return true;
  return fs::weakly_canonical(Left, Error) == fs::weakly_canonical(Right, Error);
}

// Family is Base-N.Ext (N decimal, no leading zero) of Name = Base.Ext in the same folder.
bool NumberedFrom(const std::string &Name, const std::string &Family) {
  const fs::path Plain(Name), Numbered(Family);
  if (Plain.extension() != Numbered.extension()) return false;
  std::error_code Error;
  const fs::path Folder = Plain.parent_path().empty() ? "." : Plain.parent_path();
  const fs::path Other = Numbered.parent_path().empty() ? "." : Numbered.parent_path();
  if (!fs::equivalent(Folder, Other, Error) &&
      fs::weakly_canonical(Folder, Error) != fs::weakly_canonical(Other, Error))
    return false;
  const std::string Prefix = Plain.stem().string() + "-";
  const std::string Stem = Numbered.stem().string();
  if (!Stem.starts_with(Prefix) || Stem.size() == Prefix.size()) return false;
  const std::string Number = Stem.substr(Prefix.size());
  return Number[0] != '0' && Number.find_first_not_of("0123456789") == std::string::npos;
}

// The decimal text of Tenthousandths / 10000 without trailing zeros: 13333 gives 1.3333,
// 15000 gives 1.5.
std::string FourDecimals(long long Tenthousandths) {
  const long long Magnitude = std::llabs(Tenthousandths);
  std::string Text = FormatText("%s%lld.%04lld", Tenthousandths < 0 ? "-" : "", Magnitude / 10000,
                                Magnitude % 10000);
  while (Text.back() == '0') Text.pop_back();
  if (Text.back() == '.') Text.pop_back();
  return Text;
}

}  // namespace

std::string UniqueOutputName(const std::string &Path, const std::string &Extension,
                             const std::vector<std::string> &Taken) {
  const std::string Base = fs::path(Path).replace_extension().string();
  auto Free = [&Taken](const std::string &Name) {
    return !Exists(Name) && std::find(Taken.begin(), Taken.end(), Name) == Taken.end();
  };
  if (Free(Base + Extension)) return Base + Extension;
  for (int Number = 1;; ++Number) {
    const std::string Candidate = Base + "-" + std::to_string(Number) + Extension;
    if (Free(Candidate)) return Candidate;
  }
}

TJobOutput JobOutput(const std::string &Input, const std::string &Folder,
                     const std::string &Extension, bool Overwrite,
                     const std::vector<std::string> &Inputs,
                     const std::vector<std::string> &Written) {
  const std::string Plain = Folder + "/" + fs::path(Input).filename().string();
  const std::string Target = fs::path(Plain).replace_extension().string() + Extension;
  auto Among = [&Target](const std::vector<std::string> &Files) {
    return std::any_of(Files.begin(), Files.end(),
                       [&Target](const std::string &Other) { return SameFile(Target, Other); });
  };
  const bool Keep = !Overwrite || Among(Inputs) || Among(Written);
  return {Target, Keep, Keep ? UniqueOutputName(Plain, Extension) : Target};
}

bool OutputsMayMeet(const TJobOutput &Left, const TJobOutput &Right) {
  if (SameFile(Left.FileName, Right.FileName)) return true;
  return (Left.KeepExisting && NumberedFrom(Left.FileName, Right.FileName)) ||
         (Right.KeepExisting && NumberedFrom(Right.FileName, Left.FileName));
}

std::string JobOutputPath(const std::string &Input, const std::string &Folder,
                          const std::string &Extension, bool Overwrite,
                          const std::vector<std::string> &Inputs) {
  return JobOutput(Input, Folder, Extension, Overwrite, Inputs).Expected;
}

std::string JobAspectRatio(int AspectItem, const std::string &VideoSizeCell) {
  if (AspectItem == 1) return "4:3";
  if (AspectItem == 2) return "16:9";
  // Without a size (an audio row's blank cell) the picture counts as 640x480.
  const TFrameDimensions Size = FrameSizeValue(VideoSizeCell);
  if (Size.Width == 0) return "1.3333";
  return FourDecimals(std::llround(static_cast<double>(Size.Width) / Size.Height * 10000.0));
}

namespace {

int EvenBelow(double Value, int Limit) {
  return std::clamp(2 * static_cast<int>(std::lround(Value / 2)), 2, Limit);
}

}  // namespace

TBoxedFrame BoxedFrame(const std::string &Box, const std::string &VideoSizeCell, bool LetterBox) {
  TBoxedFrame Frame;
  const TFrameDimensions B = FrameSizeValue(Box), Shown = FrameSizeValue(VideoSizeCell);
  if (B.Width == 0 || Shown.Width == 0) return Frame;
  if ((Shown.Width > Shown.Height) == (B.Width > B.Height)) return Frame;
  const double Scale = std::min(static_cast<double>(B.Width) / Shown.Width,
                                static_cast<double>(B.Height) / Shown.Height);
  const int Width = EvenBelow(Shown.Width * Scale, B.Width & ~1);
  const int Height = EvenBelow(Shown.Height * Scale, B.Height & ~1);
  Frame.Fitted = true;
  Frame.FrameSize = std::to_string(Width) + "x" + std::to_string(Height);
  double Aspect = static_cast<double>(Shown.Width) / Shown.Height;
  if (LetterBox) {
    Frame.PadLeft = ((B.Width - Width) / 2) & ~1;
    Frame.PadRight = (B.Width & ~1) - Width - Frame.PadLeft;
    Frame.PadTop = ((B.Height - Height) / 2) & ~1;
    Frame.PadBottom = (B.Height & ~1) - Height - Frame.PadTop;
    // The pixels keep the shape the picture gives them; the pads widen the frame around it.
    Aspect *= static_cast<double>(Width + Frame.PadLeft + Frame.PadRight) / Width * Height /
              (Height + Frame.PadTop + Frame.PadBottom);
  }
  Frame.AspectRatio = FourDecimals(std::llround(Aspect * 10000.0));
  return Frame;
}

int32_t JobRecordingTime(const std::string &DurationCell) {
  return DurationCell == "00:00:00" || DurationCell == "Unknown" ? 36000000 : -1;
}

double DurationSeconds(const std::string &DurationCell) {
  int Hours = 0, Minutes = 0, Seconds = 0, Length = 0;
  if (std::sscanf(DurationCell.c_str(), "%d:%2d:%2d%n", &Hours, &Minutes, &Seconds, &Length) != 3 ||
      Length != static_cast<int>(DurationCell.size()) || Hours < 0 || Minutes < 0 || Seconds < 0)
    return 0.0;
  return Hours * 3600.0 + Minutes * 60.0 + Seconds;
}

int ProgressPercent(int64_t Current, int64_t Total) {
  return Total > 0 ? static_cast<int>(Current * 100 / Total) : 0;
}

int ProcessorCount() {
  // The cores this process may use, which a container or taskset may hold below the machine's.
  cpu_set_t Set;
  if (sched_getaffinity(0, sizeof Set, &Set) == 0) return std::max(CPU_COUNT(&Set), 1);
  return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
}

int JobCodecThreads(int Cores, int Jobs) {
  return Jobs > 1 ? std::max(Cores / Jobs, 1) : 0;
}

TJobStateCounts CountJobStates(const std::vector<std::string> &ProgressCells) {
  TJobStateCounts Counts;
  for (const std::string &Cell : ProgressCells) {
    Counts.Done += Cell == "Done";
    Counts.Fail += Cell == "Fail";
    Counts.Abort += Cell == "Abort";
    Counts.Skipped += Cell == "Skipped";
    Counts.AlreadyConverted += Cell == AlreadyConvertedState;
  }
  return Counts;
}

std::string JobStateCountsText(const TJobStateCounts &Counts) {
  const std::pair<int, const char *> States[] = {{Counts.Done, "Done"},
                                                 {Counts.Fail, "Fail"},
                                                 {Counts.Abort, "Abort"},
                                                 {Counts.Skipped, "Skipped"},
                                                 {Counts.AlreadyConverted, AlreadyConvertedState}};
  std::string Text;
  for (const auto &[Count, Name] : States) {
    if (Count == 0) continue;
    if (!Text.empty()) Text += ", ";
    Text += std::to_string(Count) + " " + Name;
  }
  return Text.empty() ? "0 Done" : Text;
}

std::string CompletionMessage(const TJobStateCounts &Counts) {
  if (Counts.Fail == 0 && Counts.Abort == 0 && Counts.Skipped == 0)
    return "All Conversions Completed";
  return "Conversions Completed with errors\n" + JobStateCountsText(Counts);
}

std::string SkippedFilesNote(int Skipped) {
  if (Skipped <= 0) return "";
  if (Skipped == 1) return "1 file was already in the list and was skipped";
  return std::to_string(Skipped) + " files were already in the list and were skipped";
}

std::string BatchFileNote(int File, int Files) {
  return "File " + std::to_string(File) + " of " + std::to_string(Files);
}

std::string BatchTimeNote(double ElapsedSeconds, double DoneShare) {
  std::string Note = "Elapsed " + FormatDuration(std::max(ElapsedSeconds, 0.0), ':');
  if (DoneShare > 0.0 && DoneShare < 1.0)
    Note +=
        ", about " + FormatDuration(ElapsedSeconds * (1.0 - DoneShare) / DoneShare, ':') + " left";
  return Note;
}
