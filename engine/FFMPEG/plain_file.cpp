// The plain-file rule of the batch and the probe: stat before any open, then the file
// protocol only.

#include "engine/FFMPEG/plain_file.h"

#include <sys/stat.h>

#include "engine/binding/av_api.h"
#include "text/format_text.h"

std::string PlainFileRefusal(const std::string &FileName) {
  struct stat Status {};
  if (FileName.empty() || stat(FileName.c_str(), &Status) != 0) return {};
  const mode_t Type = Status.st_mode & S_IFMT;
  const char *Kind = nullptr;
  switch (Type) {
    case S_IFREG:
    case S_IFBLK:
      return {};
    case S_IFDIR:
      Kind = "a directory";
      break;
    case S_IFIFO:
      Kind = "a named pipe";
      break;
    case S_IFCHR:
      Kind = "a character device";
      break;
    case S_IFSOCK:
      Kind = "a socket";
      break;
    default:
      return FormatText("'%s' is not a regular file", FileName.c_str());
  }
  return FormatText("'%s' is %s, not a regular file", FileName.c_str(), Kind);
}

std::string PlainFileUrl(const std::string &FileName) {
  if (FileName.empty() || FileName.front() == '/') return FileName;
  return "./" + FileName;
}

void AllowFileProtocolOnly(AVDictionary **Options) {
  av::av_dict_set(Options, "protocol_whitelist", "file", 0);
}
