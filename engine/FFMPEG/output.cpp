// Creating an output: the muxer (forced or guessed from the name), the streams the output
// gets, its metadata, the opened file and the muxing parameters. Streams are created with
// their encoder settings but unopened; the session opens the encoders and writes the header.

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/open_error.h"
#include "engine/FFMPEG/option_values.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

void SetTag(AVDictionary **Metadata, const char *Key, const std::string &Value) {
  if (!Value.empty()) av::av_dict_set(Metadata, Key, Value.c_str(), 0);
}

// Seconds since 1970 as the ISO 8601 text that muxers store as creation time.
std::string CreationTimeText(int64_t Seconds) {
  const std::time_t Time = static_cast<std::time_t>(Seconds);
  std::tm Utc{};
  gmtime_r(&Time, &Utc);
  char Text[40];
  std::strftime(Text, sizeof Text, "%Y-%m-%dT%H:%M:%S.000000Z", &Utc);
  return Text;
}

}  // namespace

bool TCustomFFmpeg::OpenOutputFile(const std::string &FileName) {
  return OpenFile(&TCustomFFmpeg::TryOpenOutputFile, &TCustomFFmpeg::EndOutputOpen, FileName);
}

void TCustomFFmpeg::EndOutputOpen() {
  FOptions.FOutputFormat = nullptr;
  FOptions.FInputFormat = nullptr;
}

bool TCustomFFmpeg::TryOpenOutputFile(const std::string &FileName) {
  if (OutputFileCount() >= MaxFiles) {
    FLastErrorText =
        FormatText("%s: too many output files (at most %d)", FileName.c_str(), MaxFiles);
    return false;
  }
  // Kept files are never replaced, inputs included, so only a replacing output can hit one.
  const TInputFileContext *Input = FOptions.FKeepExistingOutput ? nullptr : InputAt(FileName);
  if (Input) {
    FLastErrorText = FormatText("Output file '%s' is the input file '%s' of this conversion",
                                FileName.c_str(), Input->Context->url);
    return false;
  }
  const AVOutputFormat *Format = FOptions.FOutputFormat
                                     ? FOptions.FOutputFormat
                                     : av::av_guess_format(nullptr, FileName.c_str(), nullptr);
  if (!Format) {
    FLastErrorText =
        FormatText("Unable to find a suitable output format for '%s'", FileName.c_str());
    return false;
  }
  auto Output = std::make_unique<TOutputFileContext>();
  {
    AVFormatContext *Context = nullptr;
    // Allocated for the muxer, so its private options can be set before the header.
    if (av::avformat_alloc_output_context2(&Context, Format, nullptr, FileName.c_str()) < 0 ||
        !Context) {
      FLastErrorText = FormatOpenError(FileName, OpenErrorNoMemory);
      return false;
    }
    Output->Context.reset(Context);
  }
  AVFormatContext *Context = Output->Context.get();
  if (!CreateOutputStreams(*Output)) return false;
  SetOutputMetadata(*Context);

  if ((Format->flags & AVFMT_NEEDNUMBER) && !av::av_filename_number_test(FileName.c_str())) {
    FLastErrorText = FormatOpenError(FileName, OpenErrorNumberExpected);
    return false;
  }
  // An existing file is replaced, unless kept, once the new one is complete.
  Output->StopFlag = &FStopRequested;
  Output->WhenStopped =
      FOptions.FRemoveStoppedOutput ? TStoppedOutput::Remove : TStoppedOutput::Keep;
  Output->OnLog = [this](int Level, const std::string &Message) { DoLog(Level, Message); };
  if (!(Format->flags & AVFMT_NOFILE) &&
      !Output->OpenFile(FileName, FOptions.FKeepExistingOutput, FLastErrorText)) {
    FLastErrorCause = Output->OpenFailureCause();
    DoLog(0, FLastErrorText + ": " + FLastErrorCause);
    return false;
  }
  if (FOptions.FKeepSourceTags && !FInputFiles.empty())
    Output->TimeSource = FInputFiles[0]->FileName;
  // Preload and looping became private options of the muxers that use them; others ignore them.
  av::av_opt_set_int(Context, "preload",
                     SaturatedInteger<int64_t>(FOptions.FMuxPreload * 1000000.0),
                     AV_OPT_SEARCH_CHILDREN);
  Context->max_delay = SaturatedInteger<int>(FOptions.FMuxMaxDelay * 1000000.0);
  if (av::av_opt_find(Context, "loop", nullptr, 0, AV_OPT_SEARCH_CHILDREN))
    av::av_opt_set_int(Context, "loop", FOptions.FLoopOutput, AV_OPT_SEARCH_CHILDREN);
  ApplyDefaultOptions(FFormatOptions.get(), Context, AV_OPT_FLAG_ENCODING_PARAM);
  CopyFormatPrivateOptions(Output->MuxerOptions.Address());

  FOutputFiles.push_back(std::move(Output));
  FOutputFileNames.push_back(FileName);
  return true;
}

std::string TCustomFFmpeg::OutputFileName(int Index) const {
  return Index >= 0 && Index < static_cast<int>(FOutputFileNames.size()) ? FOutputFileNames[Index]
                                                                         : std::string();
}

bool TCustomFFmpeg::CreateOutputStreams(TOutputFileContext &Output) {
  const AVOutputFormat *Format = Output.Context->oformat;
  bool WantVideo = FOptions.FVideoStreamCopy || Format->video_codec != AV_CODEC_ID_NONE ||
                   !FOptions.FVideoCodecName.empty();
  bool WantAudio = FOptions.FAudioStreamCopy || Format->audio_codec != AV_CODEC_ID_NONE ||
                   !FOptions.FAudioCodecName.empty();
  bool WantSubtitle = FOptions.FSubtitleStreamCopy || Format->subtitle_codec != AV_CODEC_ID_NONE ||
                      !FOptions.FSubtitleCodecName.empty();
  if (InputFileCount() > 0) {
    bool HasVideo, HasAudio, HasSubtitle;
    try {
      CheckInputStreamTypes(HasVideo, HasAudio, HasSubtitle);
    } catch (const FFMpegException &Error) {
      FLastErrorText = FormatText("check_audio_video_sub_inputs fail: %s", Error.what());
      return false;
    }
    WantVideo &= HasVideo;
    WantAudio &= HasAudio;
    WantSubtitle &= HasSubtitle;
  }
  struct TStreamStep {
    bool Wanted;
    void (TCustomFFmpeg::*Create)(TOutputFileContext &);
    const char *Failure;
  };
  const TStreamStep Steps[] = {
      {WantVideo && !FOptions.FVideoDisable, &TCustomFFmpeg::NewVideoStream,
       "new_video_stream fail: %s"},
      {WantAudio && !FOptions.FAudioDisable, &TCustomFFmpeg::NewAudioStream,
       "new_audio_stream fail: %s"},
      {WantSubtitle && !FOptions.FSubtitleDisable, &TCustomFFmpeg::NewSubtitleStream,
       "new_subtitle_stream fail: %s"},
  };
  const bool VideoMade = WantVideo && !FOptions.FVideoDisable;
  for (const TStreamStep &Step : Steps) {
    if (!Step.Wanted) continue;
    try {
      (this->*Step.Create)(Output);
    } catch (const FFMpegException &Error) {
      FLastErrorText = FormatText(Step.Failure, Error.what());
      return false;
    }
  }
  if (FOptions.FKeepSourceTags && KeepsCover(*Format, VideoMade)) {
    try {
      NewCoverStream(Output);
    } catch (const FFMpegException &Error) {
      FLastErrorText = FormatText("new_video_stream fail: %s", Error.what());
      return false;
    }
  }
  return true;
}

bool TCustomFFmpeg::KeepsCover(const AVOutputFormat &Format, bool VideoMade) const {
  // The muxers that store a picture stream marked as cover art.
  constexpr std::string_view CoverFormats[] = {"mp3", "mp4", "ipod", "mov", "flac"};
  if (std::find(std::begin(CoverFormats), std::end(CoverFormats), Format.name) ==
      std::end(CoverFormats))
    return false;
  bool Cover = false, Picture = false;
  for (const std::unique_ptr<TInputFileContext> &Input : FInputFiles)
    for (unsigned I = 0; I < Input->Context->nb_streams; ++I) {
      const AVStream *Stream = Input->Context->streams[I];
      if (Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      (Stream->disposition & AV_DISPOSITION_ATTACHED_PIC ? Cover : Picture) = true;
    }
  // A video made from the cover itself (no other picture) takes it.
  return Cover && (Picture || !VideoMade);
}

const TInputFileContext *TCustomFFmpeg::InputAt(const std::string &FileName) const {
  std::error_code Error;
  if (!std::filesystem::exists(FileName, Error)) return nullptr;
  for (const std::unique_ptr<TInputFileContext> &Input : FInputFiles) {
    const char *Url = Input->Context->url;
    // The same file under another name (./name, a symbolic or hard link) is the same file.
    if (Url && std::filesystem::equivalent(FileName, Url, Error) && !Error) return Input.get();
  }
  return nullptr;
}

void TCustomFFmpeg::SetOutputMetadata(AVFormatContext &Context) {
  AVDictionary **Metadata = &Context.metadata;
  if (FOptions.FRecTimestamp != 0)
    SetTag(Metadata, "creation_time", CreationTimeText(FOptions.FRecTimestamp));
  SetTag(Metadata, "title", FOptions.FTitle);
  SetTag(Metadata, "artist", FOptions.FAuthor);
  // The RealMedia muxer reads only the old key.
  if (std::string_view(Context.oformat->name) == "rm") SetTag(Metadata, "author", FOptions.FAuthor);
  SetTag(Metadata, "copyright", FOptions.FCopyright);
  SetTag(Metadata, "comment", FOptions.FComment);
  SetTag(Metadata, "album", FOptions.FAlbum);
  if (FOptions.FYear > 0) SetTag(Metadata, "date", std::to_string(FOptions.FYear));
  if (FOptions.FTrack > 0) SetTag(Metadata, "track", std::to_string(FOptions.FTrack));
  SetTag(Metadata, "genre", FOptions.FGenre);
  // Under the tags given: those win. The muxer keeps what its format can hold.
  if (!FOptions.FKeepSourceTags || FInputFiles.empty()) return;
  av::av_dict_copy(Metadata, FInputFiles[0]->Context->metadata, AV_DICT_DONT_OVERWRITE);
  // The Ogg muxers keep comments per stream and ignore the file's.
  constexpr std::string_view OggFormats[] = {"ogg", "oga", "opus", "spx"};
  if (std::find(std::begin(OggFormats), std::end(OggFormats), Context.oformat->name) !=
      std::end(OggFormats))
    for (unsigned I = 0; I < Context.nb_streams; ++I)
      av::av_dict_copy(&Context.streams[I]->metadata, *Metadata, AV_DICT_DONT_OVERWRITE);
}
