// The set-up half of Transcode: the stream tables, the mapping of every output stream to its
// source, the encoding parameters or stream copy, two-pass files, the codecs and the headers.
// Runs on the task's thread; every failure raises FFMpegException after TranscodeCleanup.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/audio_volume.h"
#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/decode_checks.h"
#include "engine/FFMPEG/decoder.h"
#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/FFMPEG/picture_hooks.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/FFMPEG/video_path.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_compat.h"
#include "text/format_text.h"

namespace {

AVMediaType TypeOf(const AVStream *Stream) {
  return Stream->codecpar->codec_type;
}

// Subtitles drawn as pictures; every other subtitle codec carries text.
bool IsBitmapSubtitle(AVCodecID Id) {
  return Id == AV_CODEC_ID_DVD_SUBTITLE || Id == AV_CODEC_ID_DVB_SUBTITLE ||
         Id == AV_CODEC_ID_XSUB || Id == AV_CODEC_ID_HDMV_PGS_SUBTITLE ||
         Id == AV_CODEC_ID_DVB_TELETEXT;
}

// The statistics file of the Number-th output stream.
std::string TwoPassLogName(const std::string &Prefix, size_t Number) {
  std::string Name = (Prefix.empty() ? std::string("ffmpeg2pass") : Prefix) + "-" +
                     std::to_string(Number) + ".log";
  if (Name.size() > 1023) Name.resize(1023);
  return Name;
}

// What the demuxer reads of the options, copied: a run leaves the options as they were.
TDemuxSettings DemuxSettings(const TFFmpegOptionState &Options, int Files) {
  TDemuxSettings Settings;
  for (int File = 0; File < Files; ++File) {
    Settings.Offsets.push_back(Options.FInputFilesTsOffset[File]);
    Settings.Scales.emplace_back(Options.FInputFilesTsScale[File].begin(),
                                 Options.FInputFilesTsScale[File].end());
  }
  Settings.DtsDeltaThreshold = Options.FDtsDeltaThreshold;
  Settings.CopyTs = Options.FCopyTs;
  Settings.Verbose = Options.FVerbose;
  Settings.DumpPackets = Options.FDoPktDump != 0;
  Settings.HexDump = Options.FDoHexDump != 0;
  return Settings;
}

bool IsCover(const AVStream *Stream) {
  return Stream->disposition & AV_DISPOSITION_ATTACHED_PIC;
}

// "#0.1 (audio, fre, default)" for the stream-choice log line.
std::string StreamLabel(const TInputStream &Ist) {
  const AVStream *Stream = Ist.St;
  std::string Label = FormatText("#%d.%d (%s", Ist.FileIndex, Ist.Index,
                                 av::av_get_media_type_string(Stream->codecpar->codec_type));
  if (const AVDictionaryEntry *Language = av::av_dict_get(Stream->metadata, "language", nullptr, 0))
    Label += std::string(", ") + Language->value;
  if (Stream->disposition & AV_DISPOSITION_DEFAULT) Label += ", default";
  if (IsCover(Stream)) Label += ", cover";
  return Label + ")";
}

}  // namespace

void TTranscodeSession::Fail(const std::string &Message) {
  TranscodeCleanup();
  throw FFMpegException(Message);
}

void TTranscodeSession::BuildStreamTables() {
  FInputStreams.clear();
  FOutputStreams.clear();
  for (int File = 0; File < InputFileCount(); ++File) {
    TInputFileContext &Input = *FInputFiles[File];
    Input.IstIndex = static_cast<int>(FInputStreams.size());
    for (const std::unique_ptr<TInputStream> &Ist : Input.Streams) {
      Ist->Discard = 1;
      FInputStreams.push_back(Ist.get());
    }
  }
  for (int File = 0; File < OutputFileCount(); ++File) {
    TOutputFileContext &Output = *FOutputFiles[File];
    if (Output.Streams.empty()) Fail("Output file does not contain any stream");
    for (const std::unique_ptr<TOutputStream> &Ost : Output.Streams) {
      Ost->FileIndex = File;
      FOutputStreams.push_back(Ost.get());
    }
    Output.OnLog = StageLog();
  }
}

void TTranscodeSession::CheckStreamMaps() {
  if (!FOptions.FStreamMaps.empty() && FOptions.FStreamMaps.size() != FOutputStreams.size())
    Fail("Number of stream maps must match number of output streams");
  auto Exists = [this](int File, int Stream) {
    return File >= 0 && File < InputFileCount() && Stream >= 0 &&
           Stream < FInputFiles[File]->NbStreams();
  };
  for (const TStreamMap &Map : FOptions.FStreamMaps) {
    if (!Exists(Map.FileIndex, Map.StreamIndex))
      Fail(FormatText("Could not find input stream #%d.%d", Map.FileIndex, Map.StreamIndex));
    if (!Exists(Map.SyncFileIndex, Map.SyncStreamIndex))
      Fail(FormatText("Could not find sync stream #%d.%d", Map.SyncFileIndex, Map.SyncStreamIndex));
  }
}

int TTranscodeSession::StreamIndexFromInputs(AVMediaType CodecType) const {
  for (int File = 0; File < InputFileCount(); ++File) {
    const TInputFileContext &Input = *FInputFiles[File];
    const AVFormatContext *Context = Input.Context.get();
    for (unsigned P = 0; P < Context->nb_programs; ++P) {
      const AVProgram *Program = Context->programs[P];
      if (Program->id != FOptions.FProgramId) continue;
      for (unsigned I = 0; I < Program->nb_stream_indexes; ++I) {
        const int Index = Input.IstIndex + static_cast<int>(Program->stream_index[I]);
        const TInputStream &Ist = *FInputStreams[Index];
        if (Ist.Discard && TypeOf(Ist.St) == CodecType) return Index;
      }
    }
  }
  return -1;
}

int TTranscodeSession::FirstFreeStream(AVMediaType Type) {
  int First = -1;
  for (size_t I = 0; I < FInputStreams.size(); ++I) {
    const TInputStream &Ist = *FInputStreams[I];
    if (!Ist.Discard || TypeOf(Ist.St) != Type) continue;
    if (First < 0) First = static_cast<int>(I);
    // The first of its kind goes unless the probe shows it useless and a later one usable.
    if (Type != AVMEDIA_TYPE_VIDEO && Type != AVMEDIA_TYPE_AUDIO) return First;
    if (ProbedStreamDefect(*Ist.St).empty()) {
      if (static_cast<int>(I) != First)
        DoLog(0, FormatText("Input stream #%d.%d is not used (%s); stream #%d.%d is taken instead",
                            FInputStreams[First]->FileIndex, FInputStreams[First]->Index,
                            ProbedStreamDefect(*FInputStreams[First]->St).c_str(), Ist.FileIndex,
                            Ist.Index));
      return static_cast<int>(I);
    }
  }
  return First;
}

int TTranscodeSession::AutomaticSource(const TOutputStream &Ost) {
  const AVMediaType Type = Ost.St->codecpar->codec_type;
  const bool WantCover = IsCover(Ost.St);
  if (!WantCover && !FOptions.FPreferDefaultStreams) {
    const int Source = FirstFreeStream(Type);
    if (Source >= 0) return Source;
    // An already used stream may feed several outputs: the last one of the type.
    int Last = -1;
    for (size_t I = 0; I < FInputStreams.size(); ++I)
      if (FInputStreams[I]->St->codecpar->codec_type == Type) Last = static_cast<int>(I);
    return Last;
  }
  // Lower ranks first, -1 does not qualify: unused before used, a stream the probe shows
  // usable before one it does not, no cover picture before one, marked default before not.
  const auto Rank = [&](const TInputStream &Ist) {
    if (Ist.St->codecpar->codec_type != Type) return -1;
    if (WantCover) return IsCover(Ist.St) && Ist.Discard ? 0 : -1;
    const bool Default = Ist.St->disposition & AV_DISPOSITION_DEFAULT;
    return (Ist.Discard ? 0 : 8) + (ProbedStreamDefect(*Ist.St).empty() ? 0 : 4) +
           (IsCover(Ist.St) ? 2 : 0) + (Default ? 0 : 1);
  };
  int Source = -1;
  int Best = INT_MAX;
  for (size_t I = 0; I < FInputStreams.size(); ++I) {
    const int R = Rank(*FInputStreams[I]);
    if (R >= 0 && R < Best) {
      Best = R;
      Source = static_cast<int>(I);
    }
  }
  if (Source < 0 || WantCover) return Source;
  std::string LeftOut;
  for (size_t I = 0; I < FInputStreams.size(); ++I)
    if (static_cast<int>(I) != Source && FInputStreams[I]->St->codecpar->codec_type == Type &&
        FInputStreams[I]->Discard)
      LeftOut += (LeftOut.empty() ? "" : ", ") + StreamLabel(*FInputStreams[I]);
  DoLog(1, FormatText("Output #%d.%d takes stream %s%s%s", Ost.FileIndex, Ost.Index,
                      StreamLabel(*FInputStreams[Source]).c_str(),
                      LeftOut.empty() ? "" : "; left out: ", LeftOut.c_str()));
  return Source;
}

void TTranscodeSession::MapOutputStreams() {
  for (size_t N = 0; N < FOutputStreams.size(); ++N) {
    TOutputStream &Ost = *FOutputStreams[N];
    const AVMediaType Type = TypeOf(Ost.St);
    TOutputFileContext &Output = *FOutputFiles[Ost.FileIndex];
    int Source = -1;
    TInputStream *Sync = nullptr;
    if (!FOptions.FStreamMaps.empty()) {
      const TStreamMap &Map = FOptions.FStreamMaps[N];
      Source = FInputFiles[Map.FileIndex]->IstIndex + Map.StreamIndex;
      if (TypeOf(FInputStreams[Source]->St) != Type) {
        av::av_dump_format(Output.Context.get(), Ost.FileIndex, Output.Context->url, 1);
        Fail(FormatText("Codec type mismatch for mapping #%d.%d -> #%d.%d", Map.FileIndex,
                        Map.StreamIndex, Ost.FileIndex, Ost.Index));
      }
      Sync = FInputStreams[FInputFiles[Map.SyncFileIndex]->IstIndex + Map.SyncStreamIndex];
    } else if (FOptions.FProgramId != 0) {
      Source = StreamIndexFromInputs(Type);
    } else {
      Source = AutomaticSource(Ost);
    }
    if (Source < 0) {
      av::av_dump_format(Output.Context.get(), Ost.FileIndex, Output.Context->url, 1);
      Fail(FormatText("Could not find input stream matching output stream #%d.%d", Ost.FileIndex,
                      Ost.Index));
    }
    Ost.SourceIndex = Source;
    FInputStreams[Source]->Discard = 0;
    Ost.SyncIst = Sync ? Sync : FInputStreams[Source];
  }
}

void TTranscodeSession::SetUpStreamCopy(TOutputStream &Ost, const TInputStream &Ist) {
  AVCodecParameters *Par = Ost.St->codecpar;
  const AVCodecParameters *Dec = Ist.St->codecpar;
  const uint32_t WantedTag = Par->codec_tag;
  const AVMediaType Type = Par->codec_type;
  if (Type == AVMEDIA_TYPE_VIDEO) {
    if (FTask.FOnCustomHook)
      Fail("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
    if (FOptions.FUsingVHook)
      Fail("-vcodec copy and -vhook are incompatible (frames are not decoded)");
  } else if (Type == AVMEDIA_TYPE_AUDIO) {
    if (FOptions.FAudioVolume != AudioVolumeUnchanged)
      Fail("-acodec copy and -vol are incompatible (frames are not decoded)");
  } else if (Type != AVMEDIA_TYPE_SUBTITLE) {
    Fail("invalid codec_type of output stream");
  }
  if (av::avcodec_parameters_copy(Par, Dec) < 0) Fail("av_mallocz fail");
  const AVOutputFormat *Format = FOutputFiles[Ost.FileIndex]->Context->oformat;
  const AVCodecTag *const *Tags = Format->codec_tag;
  // The input's tag goes along only where the muxer reads it as the same codec, or has no
  // tag of its own for that codec; otherwise the muxer picks its tag (an MPEG-TS stream type
  // means something else to Matroska or AVI).
  unsigned int OwnTag = 0;
  Par->codec_tag = WantedTag;
  if (WantedTag == 0)
    Par->codec_tag = !Tags || av::av_codec_get_id(Tags, Dec->codec_tag) == Dec->codec_id ||
                             !av::av_codec_get_tag2(Tags, Dec->codec_id, &OwnTag)
                         ? Dec->codec_tag
                         : 0;
  if (Type == AVMEDIA_TYPE_AUDIO && ((Par->block_align == 1 && Par->codec_id == AV_CODEC_ID_MP3) ||
                                     Par->codec_id == AV_CODEC_ID_AC3))
    Par->block_align = 0;
  Ost.St->time_base = Ist.St->time_base;
  if (Type == AVMEDIA_TYPE_VIDEO) {
    Ost.St->avg_frame_rate = Ist.St->avg_frame_rate;
    Ost.St->r_frame_rate = Ist.St->r_frame_rate;
    Ost.St->sample_aspect_ratio = Ist.St->sample_aspect_ratio;
    // The copied pictures are shown as the source's: a phone clip stays upright.
    if (const int32_t *Matrix = av_compat::DisplayMatrix(*Ist.St))
      if (!av_compat::SetDisplayMatrix(*Ost.St, Matrix)) Fail("av_mallocz fail");
  }
}

void TTranscodeSession::SetUpEncoding() {
  for (size_t N = 0; N < FOutputStreams.size(); ++N) {
    TOutputStream &Ost = *FOutputStreams[N];
    TInputStream &Ist = *FInputStreams[Ost.SourceIndex];
    if (!av::av_dict_get(Ost.St->metadata, "language", nullptr, 0))
      if (const AVDictionaryEntry *Language =
              av::av_dict_get(Ist.St->metadata, "language", nullptr, 0))
        av::av_dict_set(&Ost.St->metadata, "language", Language->value, 0);
    Ost.St->disposition = Ist.St->disposition;
    if (Ost.StreamCopy) {
      SetUpStreamCopy(Ost, Ist);
    } else {
      switch (TypeOf(Ost.St)) {
        case AVMEDIA_TYPE_AUDIO:
          SetUpAudioOutput(Ost, Ist);
          break;
        case AVMEDIA_TYPE_VIDEO:
          SetUpVideoOutput(Ost, Ist);
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          SetUpSubtitleOutput(Ost, Ist);
          break;
        default:
          Fail("invalid codec_type of output stream");
      }
      Ost.EncodingNeeded = 1;
      Ist.DecodingNeeded = 1;
      const bool Video = TypeOf(Ost.St) == AVMEDIA_TYPE_VIDEO;
      Ost.Encoding = std::make_unique<TEncoder>(Ost, *FOutputFiles[Ost.FileIndex],
                                                Video ? FVideoSize : FAudioSize);
      try {
        Ost.Encoding->SetUpTwoPass(TwoPassLogName(FOptions.FPassLogFileName, N));
      } catch (const FFMpegException &Error) {
        Fail(Error.what());
      }
    }
    const AVCodecParameters *Par = Ost.St->codecpar;
    // A copied stream's size comes unchecked from the input.
    const int64_t Needed = 4 * int64_t{std::max(Par->width, 0)} * std::max(Par->height, 0);
    if (TypeOf(Ost.St) == AVMEDIA_TYPE_VIDEO && FBitBufferSize < Needed)
      FBitBufferSize = static_cast<int>(std::min<int64_t>(Needed, INT_MAX));
  }
}

void TTranscodeSession::SetUpSubtitleOutput(TOutputStream &Ost, const TInputStream &Ist) {
  AVCodecContext *Enc = Ost.Encoder.get();
  if (!Enc) return;  // refused when the encoders open
  const AVCodecParameters *Dec = Ist.St->codecpar;
  // No encoder draws text into pictures or reads text out of them.
  if (IsBitmapSubtitle(Dec->codec_id) != IsBitmapSubtitle(Enc->codec_id))
    Fail("Subtitle encoding currently only possible from text to text or bitmap to bitmap");
  Enc->time_base = AV_TIME_BASE_Q;
  if (Enc->width == 0) {
    Enc->width = Dec->width;
    Enc->height = Dec->height;
  }
}

// The encoder of a text subtitle starts from the decoder's style header (the ASS header),
// which the decoder makes when it opens.
void TTranscodeSession::TakeSubtitleHeader(TOutputStream &Ost) {
  TInputStream &Ist = *FInputStreams[Ost.SourceIndex];
  if (!Ist.DecodingNeeded) return;
  OpenDecoder(Ist);
  const AVCodecContext &Dec = *Ist.Decoder;
  AVCodecContext &Enc = *Ost.Encoder;
  if (!Dec.subtitle_header || Dec.subtitle_header_size <= 0 || Enc.subtitle_header) return;
  // One byte more: the ASS code reads it as a terminated string.
  Enc.subtitle_header = static_cast<uint8_t *>(av::av_mallocz(Dec.subtitle_header_size + 1));
  if (!Enc.subtitle_header) throw std::bad_alloc();
  std::memcpy(Enc.subtitle_header, Dec.subtitle_header, Dec.subtitle_header_size);
  Enc.subtitle_header_size = Dec.subtitle_header_size;
}

void TTranscodeSession::LogStreamMapping() {
  if (FOptions.FVerbose < 0) return;
  DoLog(1, "Stream mapping:");
  for (const TOutputStream *Ost : FOutputStreams) {
    const TInputStream &Source = *FInputStreams[Ost->SourceIndex];
    DoLog(1, FormatText("  Stream #%d.%d -> #%d.%d", Source.FileIndex, Source.Index, Ost->FileIndex,
                        Ost->Index));
    if (Ost->SyncIst != &Source)
      DoLog(1, FormatText(" [sync #%d.%d]", Ost->SyncIst->FileIndex, Ost->SyncIst->Index));
  }
}

void TTranscodeSession::OpenEncoders() {
  for (TOutputStream *Ost : FOutputStreams) {
    if (!Ost->EncodingNeeded) continue;
    AVCodecContext *Enc = Ost->Encoder.get();
    const AVCodec *Codec = Enc ? Enc->codec : nullptr;
    if (Enc && !Codec) Codec = av::avcodec_find_encoder(Enc->codec_id);
    if (!Codec)
      Fail(FormatText("Unsupported codec for output stream #%d.%d", Ost->FileIndex, Ost->Index));
    if (Enc->codec_type == AVMEDIA_TYPE_SUBTITLE) TakeSubtitleHeader(*Ost);
    try {
      Ost->Encoding->Open(Codec, CodecOpenLock);
    } catch (const FFMpegException &Error) {
      Fail(Error.what());
    }
    FExtraSize += Enc->extradata_size;
    av::avcodec_parameters_from_context(Ost->St->codecpar, Enc);
    Ost->St->time_base = Enc->time_base;
    if (Enc->codec_type == AVMEDIA_TYPE_VIDEO) {
      Ost->St->avg_frame_rate = Enc->framerate;
      Ost->St->sample_aspect_ratio = Enc->sample_aspect_ratio;
    }
  }
}

void TTranscodeSession::OpenDecoder(TInputStream &Ist) {
  if (!Ist.Decoding)
    Ist.Decoding = std::make_unique<TDecoder>(Ist, DecodeSettings(Ist), StageLog());
  if (const std::string Failure = Ist.Decoding->Open(CodecOpenLock); !Failure.empty())
    Fail(Failure);
}

void TTranscodeSession::OpenDecoders() {
  for (TInputStream *Ist : FInputStreams)
    if (Ist->DecodingNeeded) OpenDecoder(*Ist);
  for (TInputStream *Ist : FInputStreams) {
    Ist->Pts = 0;
    Ist->NextPts = NoTimestamp;
    Ist->IsStart = 1;
  }
}

void TTranscodeSession::CopyMetaData() {
  for (const TMetaDataMap &Map : FOptions.FMetaDataMaps) {
    if (Map.OutFile < 0 || Map.OutFile >= OutputFileCount())
      Fail(FormatText("Invalid output file index %d map_meta_data(%d,%d)", Map.OutFile, Map.OutFile,
                      Map.InFile));
    if (Map.InFile < 0 || Map.InFile >= InputFileCount())
      Fail(FormatText("Invalid input file index %d map_meta_data(%d,%d)", Map.InFile, Map.OutFile,
                      Map.InFile));
    av::av_dict_copy(&FOutputFiles[Map.OutFile]->Context->metadata,
                     FInputFiles[Map.InFile]->Context->metadata, 0);
  }
}

void TTranscodeSession::TranscodeSetUp() {
  BuildStreamTables();
  CheckStreamMaps();
  MapOutputStreams();
  SetUpEncoding();
  SetUpPictureHooks();
  for (int File = 0; File < OutputFileCount(); ++File)
    av::av_dump_format(FOutputFiles[File]->Context.get(), File, FOutputFiles[File]->Context->url,
                       1);
  LogStreamMapping();
  OpenEncoders();
  OpenDecoders();
  CopyMetaData();
  for (int File = 0; File < OutputFileCount(); ++File) FOutputFiles[File]->WriteHeader(File);
  if (Logging())
    if (const std::optional<std::string> Sdp = TOutputFileContext::SessionDescription(FOutputFiles))
      DoLog(1, "SDP: " + *Sdp);
  FDemuxer = std::make_unique<TDemuxer>(FInputFiles, DemuxSettings(FOptions, InputFileCount()),
                                        StageLog());
  FTimerStart = av::av_gettime();
  FLastReportTime = FTimerStart;
}

void TTranscodeSession::TranscodeCleanup() {
  FDemuxer.reset();
  for (TOutputStream *Ost : FOutputStreams) {
    if (Ost->Encoding) Ost->Encoding->CloseStatistics();
    Ost->Video.reset();
    Ost->Audio.reset();
  }
  FPictureHooks.reset();
}
