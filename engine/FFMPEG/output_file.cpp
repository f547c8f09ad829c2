// An output file from its temporary name to its final one. The file is written beside its
// final name and moved there only once it is complete, so a killed process never leaves a
// partial file that looks like an output, and a file being replaced stays intact until then.

#include "engine/FFMPEG/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/session_records.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace fs = std::filesystem;

namespace {

std::string SystemText(int ErrorNumber) {
  char Text[256];
  return strerror_r(ErrorNumber, Text, sizeof Text);
}

std::string LibraryText(int Result) {
  char Text[256] = "";
  if (av::av_strerror(Result, Text, sizeof Text) < 0)
    std::snprintf(Text, sizeof Text, "error %d", Result);
  return Text;
}

// The path a name opens through the libraries' file protocol; none for other protocols.
std::optional<std::string> PlainPath(const std::string &Name) {
  const size_t SchemeLength = std::strspn(
      Name.c_str(), "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
  if (SchemeLength == 0 || SchemeLength >= Name.size() || Name[SchemeLength] != ':') return Name;
  if (Name.compare(0, SchemeLength, "file") == 0) return Name.substr(SchemeLength + 1);
  return std::nullopt;
}

// Devices, FIFOs and the like are written as they are: there is nothing to move into place.
bool WrittenInPlace(const std::string &Path) {
  struct stat Info;
  return ::stat(Path.c_str(), &Info) == 0 && !S_ISREG(Info.st_mode);
}

// Creates a new file beside Path whose name tells what it is; the umask applies as for any
// output. Empty with errno set when none could be created.
std::string CreateTemporaryFile(const std::string &Path) {
  static thread_local std::mt19937 Random{std::random_device{}()};
  const fs::path Final(Path);
  const fs::path Folder = Final.parent_path();
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Tag = FormatText(".%06x", static_cast<unsigned>(Random() & 0xFFFFFF));
    std::string Name = Final.filename().string() + Tag + TemporaryOutputSuffix;
    if (Name.size() > 255) Name = "tarnwick" + Tag + TemporaryOutputSuffix;
    const std::string Candidate = (Folder / Name).string();
    const int File = ::open(Candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (File >= 0) {
      ::close(File);
      return Candidate;
    }
    if (errno != EEXIST) return {};
  }
  errno = EEXIST;
  return {};
}

// Data and name survive a power loss once this returns; failures only weaken that.
void SyncPath(const std::string &Path, int Flags) {
  const int File = ::open(Path.c_str(), Flags | O_CLOEXEC);
  if (File < 0) return;
  ::fsync(File);
  ::close(File);
}

// Moves From to To unless To exists. False with errno EEXIST when it does.
bool MoveWithoutReplacing(const std::string &From, const std::string &To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without such renames: a hard link claims the name just as atomically.
  if (::link(From.c_str(), To.c_str()) != 0) return false;
  ::unlink(From.c_str());
  return true;
}

}  // namespace

TOutputFileContext::TOutputFileContext() = default;

std::string TOutputFileContext::FileName() const {
  if (FFinalName.empty() && Context && Context->url) return Context->url;
  return FFinalName;
}

TOutputFileContext::~TOutputFileContext() {
  if (Context && Context->pb && FFileOpened) av::avio_closep(&Context->pb);
  Streams.clear();
  Context.reset();
  if (!FCommitted && !FTemporaryName.empty()) ::unlink(FTemporaryName.c_str());
}

bool TOutputFileContext::OpenFile(const std::string &FileName, bool KeepExisting,
                                  std::string &Error) {
  FFinalName = FileName;
  FKeepExisting = KeepExisting;
  std::string Target = FileName;
  const std::optional<std::string> Path = PlainPath(FileName);
  if (Path && !WrittenInPlace(*Path)) {
    FTemporaryName = CreateTemporaryFile(*Path);
    if (FTemporaryName.empty()) {
      Error = FormatText("Could not open '%s'", FileName.c_str());
      return false;
    }
    Target = "file:" + FTemporaryName;
  }
  if (av::avio_open(&Context->pb, Target.c_str(), AVIO_FLAG_WRITE) < 0) {
    Error = FormatText("Could not open '%s'", FileName.c_str());
    return false;
  }
  FFileOpened = true;
  return true;
}

void TOutputFileContext::Fail(const char *What, int LibraryResult) const {
  throw FFMpegException(FormatText("Could not %s '%s': %s", What, FFinalName.c_str(),
                                   LibraryText(LibraryResult).c_str()));
}

// The muxers do not all pass a failed write on; the byte layer keeps the first error.
void TOutputFileContext::CheckWrite(const char *What, int LibraryResult) const {
  if (Context->pb && Context->pb->error < 0) Fail(What, Context->pb->error);
  if (LibraryResult < 0) Fail(What, LibraryResult);
}

void TOutputFileContext::WriteHeader(int FileIndex) {
  const int Result = av::avformat_write_header(Context.get(), MuxerOptions.Address());
  if (Context->pb && Context->pb->error < 0) Fail("write", Context->pb->error);
  if (Result < 0)
    throw FFMpegException(FormatText(
        "Could not write header for output file #%d (incorrect codec parameters ?)", FileIndex));
  FHeaderWritten = true;
}

void TOutputFileContext::WritePacket(AVPacket &Pkt, TOutputStream &Ost) {
  // Bitstream filters are named per output stream; no option names any yet.
  for (const std::string &Filter : Ost.BitstreamFilters)
    if (OnLog)
      OnLog(0, FormatText("%s failed for stream %d, codec %s", Filter.c_str(), Pkt.stream_index,
                          Ost.Encoder ? Ost.Encoder->codec->name : "copy"));
  if (Pkt.pts != AV_NOPTS_VALUE) {
    const int64_t End = Pkt.pts + Pkt.duration;
    if (!Ost.HasEndPts || End > Ost.EndPts) Ost.EndPts = End;
    Ost.HasEndPts = true;
  }
  CheckWrite("write", av::av_interleaved_write_frame(Context.get(), &Pkt));
  ++FPacketsWritten;
}

int64_t TOutputFileContext::Position() const {
  if (!Context || !Context->pb) return 0;
  return av::avio_seek(Context->pb, 0, SEEK_CUR);
}

std::optional<std::string> TOutputFileContext::SessionDescription(
    const std::vector<std::unique_ptr<TOutputFileContext>> &Files) {
  std::vector<AVFormatContext *> Contexts;
  for (const std::unique_ptr<TOutputFileContext> &Output : Files) {
    if (std::string_view(Output->Context->oformat->name) != "rtp") return std::nullopt;
    Contexts.push_back(Output->Context.get());
  }
  char Sdp[2048] = "";
  av::av_sdp_create(Contexts.data(), static_cast<int>(Contexts.size()), Sdp, sizeof Sdp);
  std::string Text = Sdp;
  while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back()))) Text.pop_back();
  return Text;
}

void TOutputFileContext::WriteTrailer() {
  if (!FHeaderWritten) return;
  FHeaderWritten = false;
  const int Result = av::av_write_trailer(Context.get());
  if (Context->pb) av::avio_flush(Context->pb);
  CheckWrite("write", Result);
}

void TOutputFileContext::CloseFile() {
  if (!FFileOpened || !Context->pb) return;
  av::avio_flush(Context->pb);
  const int Pending = Context->pb->error;
  FFileOpened = false;
  const int Result = av::avio_closep(&Context->pb);
  if (Pending < 0) Fail("write", Pending);
  if (Result < 0) Fail("close", Result);
}

void TOutputFileContext::Commit() {
  if (FCommitted) return;
  CloseFile();
  if (!FTemporaryName.empty()) {
    SyncPath(FTemporaryName, O_RDONLY);
    MoveIntoPlace();
    const fs::path Folder = fs::path(FFinalName).parent_path();
    SyncPath(Folder.empty() ? "." : Folder.string(), O_RDONLY | O_DIRECTORY);
  }
  FCommitted = true;
  TakeModificationTime();
}

// A date is a convenience: a file it cannot be set on stays complete, with a log line.
void TOutputFileContext::TakeModificationTime() const {
  struct stat Source;
  // Only a file of our own making: a device or a protocol output is not ours to date.
  if (TimeSource.empty() || FTemporaryName.empty() || ::stat(TimeSource.c_str(), &Source) != 0)
    return;
  const struct timespec Times[2] = {Source.st_atim, Source.st_mtim};
  if (::utimensat(AT_FDCWD, FFinalName.c_str(), Times, 0) != 0 && OnLog)
    OnLog(1, FormatText("Could not set the time of '%s': %s", FFinalName.c_str(),
                        SystemText(errno).c_str()));
}

void TOutputFileContext::MoveIntoPlace() {
  const std::string Path = *PlainPath(FFinalName);
  if (!FKeepExisting) {
    if (::rename(FTemporaryName.c_str(), Path.c_str()) != 0)
      throw FFMpegException(FormatText("Could not move '%s' to '%s': %s", FTemporaryName.c_str(),
                                       FFinalName.c_str(), SystemText(errno).c_str()));
    return;
  }
  // The name is claimed only now: another process may have taken it since the task began.
  const fs::path Final(Path);
  const std::string Base = fs::path(Final).replace_extension().string();
  const std::string Extension = Final.extension().string();
  for (int Number = 0; Number < 1000000; ++Number) {
    const std::string Candidate =
        Number == 0 ? Path : Base + "-" + std::to_string(Number) + Extension;
    if (MoveWithoutReplacing(FTemporaryName, Candidate)) {
      FFinalName = Candidate;
      return;
    }
    if (errno != EEXIST)
      throw FFMpegException(FormatText("Could not move '%s' to '%s': %s", FTemporaryName.c_str(),
                                       Candidate.c_str(), SystemText(errno).c_str()));
  }
  throw FFMpegException(FormatText("No free name for '%s'", FFinalName.c_str()));
}
