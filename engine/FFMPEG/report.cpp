// Progress of a running session (status line, progress notification, size summary) and the
// per-frame video statistics file. Runs on the task's worker thread (or the caller's thread).

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/option_state.h"
#include "engine/FFMPEG/output_file.h"
#include "engine/FFMPEG/transcode_session.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace {

// Shared by every task of the process and never reset; a count lost in a race only changes
// the histogram text, the atomics just keep it well-defined.
constexpr int QpHistogramSize = 52;
std::array<std::atomic<unsigned>, QpHistogramSize> QpHistogram{};

// 1024 bytes, appended to printf-style; each append is cut to the space left.
class TStatusLine {
 public:
  void Append(const char *Format, ...) __attribute__((format(printf, 2, 3))) {
    if (FLength >= sizeof(FText) - 1) return;
    va_list Args;
    va_start(Args, Format);
    const int Written = std::vsnprintf(FText + FLength, sizeof(FText) - FLength, Format, Args);
    va_end(Args);
    if (Written > 0) FLength = std::min(FLength + static_cast<size_t>(Written), sizeof(FText) - 1);
  }
  std::string Text() const { return std::string(FText, FLength); }

 private:
  char FText[1024] = {};
  size_t FLength = 0;
};

double Psnr(double Ratio) {
  return -10.0 * std::log10(Ratio);
}

bool IsVideo(const TOutputStream &Ost) {
  return Ost.St && Ost.St->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

// The quantiser of the last packet; -1 for a copied stream, which has no encoder.
float Quantiser(const TOutputStream &Ost) {
  if (Ost.StreamCopy || !Ost.Encoder) return -1.0f;
  return static_cast<float>(Ost.CodedQuality) / FF_QP2LAMBDA;
}

bool HasPsnr(const TOutputStream &Ost) {
  return Ost.Encoder && (Ost.Encoder->flags & AV_CODEC_FLAG_PSNR);
}

void AppendQpHistogram(TStatusLine &Line, const TOutputStream &Ost) {
  if (!Ost.StreamCopy && Ost.Encoder) {
    const long Qp = std::lround(static_cast<double>(Ost.CodedQuality) / FF_QP2LAMBDA);
    if (Qp >= 0 && Qp < QpHistogramSize) QpHistogram[Qp].fetch_add(1, std::memory_order_relaxed);
  }
  for (int J = 0; J < 32; ++J)
    Line.Append("%X", static_cast<int>(std::lround(std::log2(QpHistogram[J].load() + 1.0))));
}

// The last report uses the encoder's running totals over all frames, the others the errors
// of the last packet.
void AppendPsnr(TStatusLine &Line, const TOutputStream &Ost, int FrameNumber, bool IsLast) {
  const AVCodecContext &Enc = *Ost.Encoder;
  double ErrorSum = 0, ScaleSum = 0;
  Line.Append("PSNR=");
  for (int J = 0; J < 3; ++J) {
    const double Error =
        IsLast ? static_cast<double>(Enc.error[J]) : static_cast<double>(Ost.CodedError[J]);
    double Scale = static_cast<double>(Enc.width) * Enc.height * 255.0 * 255.0;
    if (IsLast) Scale *= FrameNumber;
    if (J) Scale /= 4;
    ErrorSum += Error;
    ScaleSum += Scale;
    Line.Append("%c:%2.2f ", "YUV"[J], Psnr(Error / Scale));
  }
  Line.Append("*:%2.2f ", Psnr(ErrorSum / ScaleSum));
}

// The stream's position after its last written packet, in seconds; 0 while it has none.
double Position(const TOutputStream &Ost) {
  if (!Ost.HasEndPts || !Ost.St) return 0;
  return static_cast<double>(Ost.EndPts) * Ost.St->time_base.num / Ost.St->time_base.den;
}

// The size of the first output; before the file has a size, the write position.
int64_t TotalSize(const std::vector<std::unique_ptr<TOutputFileContext>> &Files) {
  if (Files.empty() || !Files[0]->Context || !Files[0]->Context->pb) return 0;
  AVIOContext *Pb = Files[0]->Context->pb;
  const int64_t Size = av::avio_size(Pb);
  return Size >= 0 ? Size : av::avio_seek(Pb, 0, SEEK_CUR);
}

// "%f" of the summary shows two decimals; infinite and undefined values get fixed words so
// the line does not depend on the sign bits of a NaN.
std::string Overhead(double Value) {
  if (std::isnan(Value)) return "nan";
  if (std::isinf(Value)) return Value > 0 ? "inf" : "-inf";
  return FormatText("%.2f", Value);
}

}  // namespace

void TTranscodeSession::PrintReport(bool IsLast) {
  const int64_t TotalBytes = TotalSize(FOutputFiles);
  int FrameNumber = -1, Fps = -1;
  float Q = -1.0f;
  double Ti1 = 1e10;
  bool SeenVideo = false;
  TStatusLine Line;
  for (const TOutputStream *Ost : FOutputStreams) {
    if (IsVideo(*Ost) && SeenVideo) {
      Line.Append("q=%2.1f ", Quantiser(*Ost));
    } else if (IsVideo(*Ost)) {
      SeenVideo = true;
      const float T = static_cast<float>(av::av_gettime() - FTimerStart) / 1e6f;
      FrameNumber = Ost->FrameNumber;
      if (FrameNumber < 1) return;
      Fps = T > 1 ? static_cast<int>(FrameNumber / T + 0.5f) : 0;
      Q = Quantiser(*Ost);
      Line.Append("frame=%5d fps=%3d q=%3.1f ", FrameNumber, Fps, Q);
      if (IsLast) Line.Append("L");
      if (FOptions.FQpHist) AppendQpHistogram(Line, *Ost);
      if (HasPsnr(*Ost)) AppendPsnr(Line, *Ost, FrameNumber, IsLast);
    }
    const double Pos = Position(*Ost);
    if (Pos > 0 && Pos < Ti1) Ti1 = Pos;
  }
  if (Ti1 < 0.01) Ti1 = 0.01;

  if (ProgressWanted() || FOptions.FVerbose > 0 || IsLast) {
    const double BitRate = static_cast<double>(TotalBytes) * 8 / Ti1 / 1000;
    Line.Append("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", TotalBytes / 1024.0, Ti1, BitRate);
    if (FOptions.FVerbose > 1) Line.Append(" dup=%d drop=%d", FFramesDup, FFramesDrop);
    if (ProgressWanted()) {
      // Before any stream has a position there is no time to tell: 0, not the placeholder,
      // which would read as far past the end.
      const auto Ms = Ti1 >= 1e10 ? 0 : static_cast<int32_t>(static_cast<int64_t>(Ti1 * 1000));
      ReportProgress(TProgressInfo{FrameNumber, Fps, Ms, Q, static_cast<float>(BitRate), TotalBytes,
                                   FOptions.FOutputDurationMs});
    } else if (FOptions.FVerbose >= 0) {
      DoLog(1, Line.Text());
    }
  }

  if (IsLast && FOptions.FVerbose >= 0 && Logging()) {
    const int64_t Raw = FVideoSize + FAudioSize + FExtraSize;
    const double Percent = static_cast<double>(TotalBytes - Raw) * 100 / static_cast<double>(Raw);
    DoLog(1,
          FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %s%%\r\n",
                     FVideoSize / 1024.0, FAudioSize / 1024.0, FExtraSize / 1024.0,
                     Overhead(Percent).c_str()));
  }
}

void TTranscodeSession::DoVideoStats(TOutputFileContext &, TOutputStream &Ost, int FrameSize) {
  if (!FVStatsFile) {
    FVStatsFile.reset(std::fopen(FOptions.FVStatsFileName.c_str(), "w"));
    if (!FVStatsFile) throw FFMpegException("fopen fail: " + FOptions.FVStatsFileName);
  }
  if (!IsVideo(Ost) || !Ost.Encoder) return;
  const AVCodecContext &Enc = *Ost.Encoder;
  std::FILE *File = FVStatsFile.get();

  std::fprintf(File, "frame= %5d q= %2.1f ", Ost.FrameNumber,
               static_cast<float>(Ost.CodedQuality) / FF_QP2LAMBDA);
  if (HasPsnr(Ost))
    std::fprintf(File, "PSNR= %6.2f ",
                 Psnr(static_cast<double>(Ost.CodedError[0]) /
                      (static_cast<double>(Enc.width) * Enc.height * 255.0 * 255.0)));
  std::fprintf(File, "f_size= %6d ", FrameSize);

  const double TimeBase = static_cast<double>(Enc.time_base.num) / Enc.time_base.den;
  const double Ti1 = std::max(static_cast<double>(Ost.SyncOpts) * TimeBase, 0.01);
  const double BitRate = FrameSize * 8 / TimeBase / 1000;
  const double Average = static_cast<double>(FVideoSize) * 8 / Ti1 / 1000;
  std::fprintf(File, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               FVideoSize / 1024.0, Ti1, BitRate, Average);
  std::fprintf(File, "type= %c\n",
               av::av_get_picture_type_char(static_cast<AVPictureType>(Ost.CodedPictType)));
}
