// Checks of decoded frames and of encoder set-up parameters (see decode_checks.h), and the
// session's verdict on what its decoders delivered. The verdict runs on the task's thread.

#include "engine/FFMPEG/decode_checks.h"

#include <algorithm>
#include <climits>

#include "engine/FFMPEG/demuxer.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

// swresample refuses more channels than this.
constexpr int MaxChannels = 64;

int PlaneCount(const AVPixFmtDescriptor &Descriptor) {
  int Planes = 0;
  for (int C = 0; C < Descriptor.nb_components; ++C)
    Planes = std::max(Planes, Descriptor.comp[C].plane + 1);
  return Planes;
}

std::string PictureDataDefect(const AVFrame &Frame) {
  const AVPixFmtDescriptor &Descriptor =
      *av::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Frame.format));
  const int Planes = std::min(PlaneCount(Descriptor), AV_NUM_DATA_POINTERS);
  for (int P = 0; P < Planes; ++P)
    if (!Frame.data[P] || Frame.linesize[P] == 0)
      return FormatText("no data in picture plane %d", P);
  if ((Descriptor.flags & AV_PIX_FMT_FLAG_PAL) && !Frame.data[1]) return "no palette";
  return "";
}

std::string SampleDataDefect(const AVFrame &Frame) {
  if (Frame.nb_samples <= 0) return "no samples";
  if (!Frame.extended_data) return "no sample data";
  const bool Planar = av::av_sample_fmt_is_planar(static_cast<AVSampleFormat>(Frame.format));
  const int Planes = Planar ? Frame.ch_layout.nb_channels : 1;
  for (int P = 0; P < Planes; ++P)
    if (!Frame.extended_data[P]) return FormatText("no data for channel %d", P);
  return "";
}

}  // namespace

std::string PictureDefect(AVPixelFormat Format, int Width, int Height) {
  const AVPixFmtDescriptor *Descriptor =
      Format == AV_PIX_FMT_NONE ? nullptr : av::av_pix_fmt_desc_get(Format);
  if (!Descriptor) return "no pixel format";
  if (Descriptor->flags & AV_PIX_FMT_FLAG_HWACCEL)
    return FormatText("pixel format %s is not in memory", Descriptor->name);
  if (Width <= 0 || Height <= 0) return FormatText("no picture size (%dx%d)", Width, Height);
  // The libraries' own limit for a picture's size.
  if ((int64_t{Width} + 128) * (int64_t{Height} + 128) >= INT_MAX / 8)
    return FormatText("picture size %dx%d is too large", Width, Height);
  return "";
}

std::string SamplesDefect(AVSampleFormat Format, int Rate, int Channels) {
  if (Format <= AV_SAMPLE_FMT_NONE || Format >= AV_SAMPLE_FMT_NB ||
      av::av_get_bytes_per_sample(Format) <= 0)
    return "no sample format";
  if (Rate <= 0) return "no sample rate";
  if (Channels <= 0) return "no channels";
  if (Channels > MaxChannels) return FormatText("%d channels are too many", Channels);
  return "";
}

std::string DecodedFrameDefect(int MediaType, const AVFrame &Frame) {
  if (MediaType == AVMEDIA_TYPE_VIDEO) {
    std::string Defect =
        PictureDefect(static_cast<AVPixelFormat>(Frame.format), Frame.width, Frame.height);
    return Defect.empty() ? PictureDataDefect(Frame) : Defect;
  }
  if (MediaType == AVMEDIA_TYPE_AUDIO) {
    std::string Defect = SamplesDefect(static_cast<AVSampleFormat>(Frame.format), Frame.sample_rate,
                                       Frame.ch_layout.nb_channels);
    return Defect.empty() ? SampleDataDefect(Frame) : Defect;
  }
  return "";
}

std::string ProbedStreamDefect(const AVStream &Stream) {
  const AVCodecParameters &Par = *Stream.codecpar;
  if (Par.codec_id == AV_CODEC_ID_NONE) return "no codec";
  std::string Defect;
  if (Par.codec_type == AVMEDIA_TYPE_VIDEO)
    Defect = PictureDefect(static_cast<AVPixelFormat>(Par.format), Par.width, Par.height);
  else if (Par.codec_type == AVMEDIA_TYPE_AUDIO)
    Defect = SamplesDefect(static_cast<AVSampleFormat>(Par.format), Par.sample_rate,
                           Par.ch_layout.nb_channels);
  if (!Defect.empty()) return Defect;
  // The probe reads packets of every stream it can; the flag stays until someone clears it.
  if (!(Stream.event_flags & AVSTREAM_EVENT_FLAG_NEW_PACKETS)) return "no packet when probed";
  return "";
}

void TTranscodeSession::CheckDecodingOutcome() {
  if (FStopRequested || !FDemuxer) return;
  // An output holding no media at all must not pass for a conversion.
  for (int File = 0; File < InputFileCount(); ++File) {
    const TInputFileContext &Input = *FInputFiles[File];
    if (!FDemuxer->AtEnd(File)) continue;
    bool Used = false, Delivered = false;
    for (const std::unique_ptr<TInputStream> &Ist : Input.Streams) {
      if (Ist->Discard) continue;
      Used = true;
      Delivered |= Ist->DecodedFrames > 0 || Ist->CopiedPackets > 0;
    }
    if (Used && !Delivered)
      Fail(FormatText("no frame or sample could be decoded from '%s'", Input.Context->url));
  }
  // The ffmpeg program's limit: more than two thirds of a stream's packets failing.
  for (const TInputStream *Ist : FInputStreams)
    if (Ist->DecodingNeeded && Ist->DecodeErrors * 3 > Ist->DecodedPackets * 2)
      Fail(FormatText("too many decoding errors in stream #%d.%d of '%s' (%lld of %lld packets)",
                      Ist->FileIndex, Ist->Index, FInputFiles[Ist->FileIndex]->Context->url,
                      static_cast<long long>(Ist->DecodeErrors),
                      static_cast<long long>(Ist->DecodedPackets)));
  for (int File = 0; File < InputFileCount(); ++File) {
    if (!FDemuxer->AtEnd(File)) continue;
    const std::string Shortfall = FDemuxer->Shortfall(File);
    if (Shortfall.empty()) continue;
    DoLog(0, FormatText("'%s': %s", FInputFiles[File]->FileName.c_str(), Shortfall.c_str()));
    Fail(Shortfall);
  }
  // A stream the muxer got nothing for would pass for the input's picture or sound.
  for (const TOutputStream *Ost : FOutputStreams) {
    const TInputStream &Source = *FInputStreams[Ost->SourceIndex];
    if (Ost->FrameNumber > 0 || Ost->HasEndPts || !FDemuxer->AtEnd(Source.FileIndex)) continue;
    Fail(FormatText("output stream #%d.%d got nothing from input stream #%d.%d of '%s'",
                    Ost->FileIndex, Ost->Index, Source.FileIndex, Source.Index,
                    FInputFiles[Source.FileIndex]->FileName.c_str()));
  }
}

std::string TTranscodeSession::StreamSetUpFailure(const TOutputStream &Ost, const TInputStream &Ist,
                                                  const std::string &Defect) const {
  const bool Known = Ist.FileIndex >= 0 && Ist.FileIndex < InputFileCount();
  return FormatText(
      "Cannot set up the encoder of output stream #%d.%d from input stream #%d.%d "
      "of '%s': %s",
      Ost.FileIndex, Ost.Index, Ist.FileIndex, Ist.Index,
      Known ? FInputFiles[Ist.FileIndex]->Context->url : "", Defect.c_str());
}
