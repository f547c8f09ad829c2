// Clips with a display matrix and what ffprobe reads of a video stream, for the tests of
// pictures stored on their side.
#pragma once

#include <string>
#include <vector>

#include "tests/support/test_support.h"

// Without the line end and the empty fields a side-data list leaves behind ("320,180,").
inline std::string Trimmed(std::string Text) {
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r' || Text.back() == ','))
    Text.pop_back();
  return Text;
}

// ffprobe's entries of the first video stream, "csv=p=0" style.
inline std::string VideoEntries(const std::string &File, const std::string &Entries) {
  return Trimmed(RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0",
                             "-show_entries", Entries, "-of", "csv=p=0", File})
                     .Output);
}

inline std::string ShownSize(const std::string &File) {
  return VideoEntries(File, "stream=width,height");
}

inline std::string Rotation(const std::string &File) {
  return VideoEntries(File, "stream_side_data=rotation");
}

// A 1 s testsrc clip of Size in H.264, written to File.
inline TProcessResult MakeUprightClip(const std::string &File, const std::string &Size) {
  return RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                     "testsrc=size=" + Size + ":rate=25:duration=1", "-c:v", "libx264", "-pix_fmt",
                     "yuv420p", File});
}

// Upright with a display matrix of Degrees, in Folder, set as the ffmpeg program of this
// release can: an input option since FFmpeg 6, the stream's "rotate" tag before.
inline std::string RotatedClip(const std::string &Upright, int Degrees, const std::string &Folder) {
  const std::string File = Folder + "/rot" + std::to_string(Degrees) + ".mp4";
  const std::string Angle = std::to_string(Degrees);
  const std::vector<std::string> Head = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-y"};
  std::vector<std::string> ByOption = Head;
  ByOption.insert(ByOption.end(), {"-display_rotation", Angle, "-i", Upright, "-c", "copy", File});
  if (RunProgram(ByOption).ExitStatus == 0) return File;
  std::vector<std::string> ByTag = Head;
  ByTag.insert(ByTag.end(),
               {"-i", Upright, "-metadata:s:v", "rotate=" + Angle, "-c", "copy", File});
  RunProgram(ByTag);
  return File;
}
