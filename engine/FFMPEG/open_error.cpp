#include "open_error.h"

#include "engine/binding/av_api.h"
#include "text/format_text.h"

std::string FormatOpenError(const std::string &FileName, int ErrorCode) {
  const char *Name = FileName.c_str();
  switch (ErrorCode) {
    case OpenErrorUnknownFormat:
      return FormatText("%s: Unknown format", Name);
    case OpenErrorNumberExpected:
      return FormatText(
          "%s: Incorrect image filename syntax.\r\n"
          "Use '%%d' to specify the image number:\r\n"
          "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n"
          "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.",
          Name);
    case OpenErrorInvalidData:
      return FormatText("%s: Error while parsing header", Name);
    case OpenErrorNoMemory:
      return FormatText("%s: memory allocation error occurred", Name);
    case OpenErrorIO:
      return FormatText(
          "%s: I/O error occurred\r\n"
          "Usually that means that input file is truncated and/or corrupted.",
          Name);
    case OpenErrorNoEntry:
      return FormatText("%s: no such file or directory", Name);
    default:
      return FormatText("%s: Error while opening file", Name);
  }
}

namespace {

// True when some demuxer recognises the file's content.
bool RecognisedByAnyDemuxer(const std::string &FileName) {
  AVIOContext *IO = nullptr;
  if (av::avio_open(&IO, FileName.c_str(), AVIO_FLAG_READ) < 0) return false;
  const AVInputFormat *Format = nullptr;
  // Content only: a name ending in .mov makes any file look like QuickTime.
  const int Result = av::av_probe_input_buffer2(IO, &Format, "", nullptr, 0, 0);
  av::avio_closep(&IO);
  return Result >= 0 && Format;
}

}  // namespace

int OpenErrorCode(int LibraryResult) {
  if (LibraryResult == AVERROR_INVALIDDATA) return OpenErrorInvalidData;
  if (LibraryResult == AVERROR_EOF) return OpenErrorIO;
  return LibraryResult;
}

int InputOpenErrorCode(const std::string &FileName, int LibraryResult) {
  if (LibraryResult == AVERROR_INVALIDDATA && !RecognisedByAnyDemuxer(FileName))
    return OpenErrorUnknownFormat;
  return OpenErrorCode(LibraryResult);
}

std::string LibraryErrorText(int Result) {
  char Text[256] = "";
  if (av::av_strerror(Result, Text, sizeof Text) < 0) return FormatText("error %d", Result);
  return Text;
}
