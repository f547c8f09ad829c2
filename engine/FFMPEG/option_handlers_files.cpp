// Option handlers for formats, stream and metadata maps, times, the log level and the
// statistics file.

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/log_levels.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

[[noreturn]] void RaiseTooMany(const char *What, int Limit) {
  throw FFMpegException(FormatText("Too many %s (at most %d)", What, Limit));
}

// Reads a number the way strtol does (base 0: decimal, 0 octal, 0x hexadecimal) and moves
// Text past it.
int ReadIndex(const char *&Text) {
  char *End = nullptr;
  long Value = std::strtol(Text, &End, 0);
  Text = End;
  return static_cast<int>(Value);
}

void SkipSeparator(const char *&Text) {
  if (*Text) ++Text;
}

// The folder the program runs from, with a trailing delimiter.
std::string ProgramFolder() {
  std::error_code Error;
  std::filesystem::path Program = std::filesystem::read_symlink("/proc/self/exe", Error);
  if (Error) return "";
  return Program.parent_path().string() + "/";
}

}  // namespace

// "pgmyuv" is served by the image2 format with a special decoder.
void TCustomFFmpeg::TranslateFormatName(std::string &Name) {
  if (Name != "pgmyuv") return;
  Name = "image2";
  FOptions.FPgmyuvCompatibilityHack = 1;
  DoLog(1, "pgmyuv format is deprecated, use image2");
}

void TCustomFFmpeg::OptFormat(const std::string &AName) {
  if (AName.empty()) return;
  std::string Name = AName;
  TranslateFormatName(Name);
  FOptions.FInputFormat = av::av_find_input_format(Name.c_str());
  FOptions.FOutputFormat = av::av_guess_format(Name.c_str(), nullptr, nullptr);
  if (!FOptions.FInputFormat && !FOptions.FOutputFormat)
    throw FFMpegException(FormatText("Unknown input or output format: %s", AName.c_str()));
}

void TCustomFFmpeg::OptInputFormat(const std::string &AName) {
  if (AName.empty()) return;
  std::string Name = AName;
  TranslateFormatName(Name);
  const AVInputFormat *Format = av::av_find_input_format(Name.c_str());
  if (!Format) throw FFMpegException(FormatText("Unknown input format: %s", AName.c_str()));
  FOptions.FInputFormat = Format;
}

void TCustomFFmpeg::OptOutputFormat(const std::string &AName) {
  if (AName.empty()) return;
  std::string Name = AName;
  TranslateFormatName(Name);
  const AVOutputFormat *Format = av::av_guess_format(Name.c_str(), nullptr, nullptr);
  if (!Format) throw FFMpegException(FormatText("Unknown output format: %s", AName.c_str()));
  FOptions.FOutputFormat = Format;
}

// "file.stream", optionally followed by ":syncfile.syncstream"; any one character separates.
void TCustomFFmpeg::OptMap(const std::string &Text) {
  if (static_cast<int>(FOptions.FStreamMaps.size()) >= MaxStreamMaps)
    RaiseTooMany("stream maps", MaxStreamMaps);
  TStreamMap Map{};
  const char *P = Text.c_str();
  Map.FileIndex = ReadIndex(P);
  SkipSeparator(P);
  Map.StreamIndex = ReadIndex(P);
  if (*P) {
    SkipSeparator(P);
    Map.SyncFileIndex = ReadIndex(P);
    SkipSeparator(P);
    Map.SyncStreamIndex = ReadIndex(P);
  } else {
    Map.SyncFileIndex = Map.FileIndex;
    Map.SyncStreamIndex = Map.StreamIndex;
  }
  FOptions.FStreamMaps.push_back(Map);
}

// "outfile:infile".
void TCustomFFmpeg::OptMapMetaData(const std::string &Text) {
  if (static_cast<int>(FOptions.FMetaDataMaps.size()) >= MaxMetaDataMaps)
    RaiseTooMany("metadata maps", MaxMetaDataMaps);
  TMetaDataMap Map{};
  const char *P = Text.c_str();
  Map.OutFile = ReadIndex(P);
  SkipSeparator(P);
  Map.InFile = ReadIndex(P);
  FOptions.FMetaDataMaps.push_back(Map);
}

// "stream:scale" for the input opened next.
void TCustomFFmpeg::OptInputTsScale(const std::string &Text) {
  const char *P = Text.c_str();
  const int Stream = ReadIndex(P);
  SkipSeparator(P);
  const double Scale = std::strtod(P, nullptr);
  if (static_cast<unsigned>(Stream) >= MaxStreams)
    throw FFMpegException(FormatText("stream index over MAX_STREAMS(%d)", MaxStreams));
  if (InputFileCount() >= MaxFiles) RaiseTooMany("input files", MaxFiles);
  FOptions.FInputFilesTsScale[InputFileCount()][Stream] = Scale;
}

int64_t TCustomFFmpeg::ParseTime(const std::string &Text, bool IsDuration, const char *OptionName) {
  int64_t Time = INT64_MIN;
  if (av::av_parse_time(&Time, Text.c_str(), IsDuration) < 0 || Time == INT64_MIN)
    throw FFMpegException(FormatText("Invalid %s specification for %s: %s",
                                     IsDuration ? "duration" : "date", OptionName, Text.c_str()));
  return Time;
}

void TCustomFFmpeg::OptRecordingTime(const std::string &Text) {
  const int64_t Milliseconds = ParseTime(Text, true, "t") / 1000;
  // The limit travels as milliseconds in an int, as the progress reports carry it.
  if (Milliseconds > INT32_MAX)
    throw FFMpegException(
        FormatText("Invalid %s specification for %s: %s", "duration", "t", Text.c_str()));
  if (Milliseconds > 0) SetRecordingTimeMs(static_cast<int>(Milliseconds));
}

void TCustomFFmpeg::OptStartTime(const std::string &Text) {
  FOptions.FStartTime = ParseTime(Text, true, "ss");
}

void TCustomFFmpeg::OptInputTsOffset(const std::string &Text) {
  FOptions.FInputTsOffset = ParseTime(Text, true, "itsoffset");
}

void TCustomFFmpeg::OptRecTimestamp(const std::string &Text) {
  const int64_t Microseconds = ParseTime(Text, false, "timestamp");
  const int64_t Half = Microseconds < 0 ? -500000 : 500000;
  FOptions.FRecTimestamp = (Microseconds + Half) / 1000000;
}

void TCustomFFmpeg::OptVerbose(int Level) {
  FOptions.FVerbose = Level;
  av::av_log_set_level(LibraryLogLevel(Level));
  RefreshAVLogLevel();
}

void TCustomFFmpeg::OptVStatsFile(const std::string &FileName) {
  FOptions.FVStatsFileName = FileName;
}

// A statistics file beside the program, named after the time of day.
void TCustomFFmpeg::OptVStats() {
  std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Time[16];
  std::strftime(Time, sizeof Time, "%H%M%S", &Local);
  FOptions.FVStatsFileName = FormatText("%svstats_%s.log", ProgramFolder().c_str(), Time);
}
