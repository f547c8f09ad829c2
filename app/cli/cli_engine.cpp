// tarnwick-cli engine: one task configured from a media converter's command line. With
// --dry-run it sets the task up exactly as the engine component would (options in order,
// inputs opened, outputs and their streams created) and prints what each output would get.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "cli_commands.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "engine/binding/format_text.h"

namespace {

// An encoded stream's settings as the session will open its encoder. A copied stream takes
// its settings from the input stream mapped onto it, which the session chooses later.
std::string StreamLine(int OutputIndex, const TOutputFileContext &Output, unsigned Index) {
  const AVMediaType Type = Output.Context->streams[Index]->codecpar->codec_type;
  const char *TypeName = av::av_get_media_type_string(Type);
  std::string Line = FormatText("#%d.%u %s", OutputIndex, Index, TypeName ? TypeName : "unknown");
  const AVCodecContext *Enc = Output.Streams[Index]->Encoder.get();
  if (!Enc) return Line + " copy=1";
  Line +=
      FormatText(" codec=%s", Enc->codec ? Enc->codec->name : av::avcodec_get_name(Enc->codec_id));
  if (Type == AVMEDIA_TYPE_VIDEO) {
    const char *PixFmt = av::av_get_pix_fmt_name(Enc->pix_fmt);
    Line += FormatText(" width=%d height=%d time_base=%d/%d pix_fmt=%s bit_rate=%" PRId64,
                       Enc->width, Enc->height, Enc->time_base.num, Enc->time_base.den,
                       PixFmt ? PixFmt : "none", Enc->bit_rate);
  } else if (Type == AVMEDIA_TYPE_AUDIO) {
    Line += FormatText(" sample_rate=%d channels=%d bit_rate=%" PRId64, Enc->sample_rate,
                       Enc->ch_layout.nb_channels, Enc->bit_rate);
  }
  return Line;
}

void PrintOutputs(const TCustomFFmpeg &Task) {
  for (int File = 0; File < Task.OutputFileCount(); ++File) {
    const TOutputFileContext &Output = *Task.FOutputFiles[File];
    std::printf("output #%d muxer=%s file=%s\n", File, Output.Context->oformat->name,
                EscapedCell(Output.Context->url ? Output.Context->url : "").c_str());
    for (unsigned Index = 0; Index < Output.Context->nb_streams; ++Index)
      std::printf("%s\n", StreamLine(File, Output, Index).c_str());
  }
}

// Applies the words in order. False after printing the reason of a failed open.
bool SetUp(TCustomFFmpeg &Task, const TCliArguments &Words) {
  bool AnyOutput = false;
  for (size_t I = 0; I < Words.size(); ++I) {
    const std::string &Word = Words[I];
    if (Word.size() < 2 || Word[0] != '-') {
      // Creating an output replaces the file, and releasing the task removes it again
      // because nothing was written: a dry run would destroy an existing file.
      std::error_code Ignored;
      if (std::filesystem::exists(Word, Ignored)) {
        std::fprintf(stderr, "%s: file exists; a dry run does not replace files\n", Word.c_str());
        return false;
      }
      if (!Task.OpenOutputFile(Word)) {
        std::fprintf(stderr, "%s\n", Task.FLastErrorText.c_str());
        return false;
      }
      AnyOutput = true;
      continue;
    }
    const std::string Name = Word.substr(1);
    if (!TCustomFFmpeg::OptionTakesValue(Name)) {
      Task.SetOption(Name, "");
      continue;
    }
    if (I + 1 >= Words.size()) {
      std::fprintf(stderr, "tarnwick-cli engine: option -%s needs a value\n", Name.c_str());
      return false;
    }
    const std::string &Value = Words[++I];
    if (Name != "i") {
      Task.SetOption(Name, Value);
    } else if (!Task.OpenInputFile(Value)) {
      std::fprintf(stderr, "%s\n", Task.FLastErrorText.c_str());
      return false;
    }
  }
  if (!AnyOutput) std::fputs("At least one output file must be specified\n", stderr);
  return AnyOutput;
}

}  // namespace

int RunEngineCommand(const TCliArguments &Arguments) {
  TCliArguments Words;
  bool DryRun = false;
  for (const std::string &Word : Arguments) {
    if (Word == "--dry-run")
      DryRun = true;
    else
      Words.push_back(Word);
  }
  if (!DryRun) {
    std::fputs(
        "tarnwick-cli engine: conversion is not available yet; add --dry-run to see the set-up\n",
        stderr);
    return 1;
  }
  if (!LoadLibrariesForCli()) return ExitLibraryLoadFailed;
  TCustomFFmpeg Task;
  Task.Reset();
  Task.FOnLog = [](TCustomFFmpeg *, int, const std::string &Message) {
    std::fprintf(stderr, "%s\n", Message.c_str());
  };
  try {
    if (!SetUp(Task, Words)) return 1;
  } catch (const std::exception &Error) {
    // FFMpegException from the engine, or a value that did not convert.
    std::fprintf(stderr, "%s\n", Error.what());
    return 1;
  }
  PrintOutputs(Task);
  // Releasing the task removes the output files again: they received no byte.
  return 0;
}
