// Releasing an output: the file is closed before the muxer context goes, and a file that this
// output created or truncated and that received no byte is removed, so that a failed
// conversion leaves nothing behind. A file it never opened is never touched.

#include <filesystem>
#include <system_error>

#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"

TOutputFileContext::~TOutputFileContext() {
  if (!Context) return;
  std::string FileName = Context->url ? Context->url : "";
  const bool WritesFile = Context->oformat && !(Context->oformat->flags & AVFMT_NOFILE);
  if (WritesFile && Context->pb) av::avio_closep(&Context->pb);
  Streams.clear();
  Context.reset();
  if (!WritesFile || !FileCreated || FileName.empty()) return;
  std::error_code Error;
  if (std::filesystem::is_regular_file(FileName, Error) &&
      std::filesystem::file_size(FileName, Error) == 0 && !Error)
    std::filesystem::remove(FileName, Error);
}
