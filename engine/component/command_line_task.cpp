// A task set up word by word from a media converter's command line, and the description of
// what its outputs would get (the dry run). Main thread.

#include <cinttypes>
#include <exception>
#include <memory>

#include "engine/binding/av_api.h"
#include "engine/component/convert_engine.h"
#include "engine/component/convert_task.h"
#include "text/format_text.h"
#include "text/text_utils.h"

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

}  // namespace

int TCustomConvertEngine::AddTask() {
  auto Task = std::make_unique<TFFmpeg>();
  Task->Reset();
  Task->OptVerbose(static_cast<int>(FLogLevel) - 1);
  return AppendTask(std::move(Task));
}

bool TCustomConvertEngine::SetTaskOption(int TaskIndex, const std::string &Name,
                                         const std::string &Value) {
  TFFmpeg &Task = FTasks.Items(TaskIndex);
  try {
    Task.SetOption(Name, Value);
  } catch (const std::exception &Error) {
    // FFMpegException from the engine, or a value that did not convert.
    LastErrorMsg = Error.what();
    return false;
  }
  // StartTask applies the component's level to the task again.
  if (Name == "v") FLogLevel = LogLevelOf(Task.Options().FVerbose);
  return true;
}

bool TCustomConvertEngine::AddTaskInput(int TaskIndex, const std::string &FileName) {
  TFFmpeg &Task = FTasks.Items(TaskIndex);
  try {
    if (Task.OpenInputFile(FileName)) return true;
    LastErrorMsg = Task.FLastErrorText;
  } catch (const std::exception &Error) {
    LastErrorMsg = Error.what();
  }
  return false;
}

bool TCustomConvertEngine::OptionTakesValue(const std::string &Name) {
  return TCustomFFmpeg::OptionTakesValue(Name);
}

std::string TCustomConvertEngine::DescribeOutputs(int TaskIndex) const {
  const TFFmpeg &Task = FTasks.Items(TaskIndex);
  std::string Text;
  for (int File = 0; File < Task.OutputFileCount(); ++File) {
    const TOutputFileContext &Output = *Task.FOutputFiles[File];
    Text += FormatText("output #%d muxer=%s file=%s\n", File, Output.Context->oformat->name,
                       EscapedCell(Output.Context->url ? Output.Context->url : "").c_str());
    for (unsigned Index = 0; Index < Output.Context->nb_streams; ++Index)
      Text += StreamLine(File, Output, Index) + "\n";
  }
  return Text;
}
