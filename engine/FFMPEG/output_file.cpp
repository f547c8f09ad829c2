// An output file from its temporary name to its final one. The file is written beside its
// final name and moved there only once it is complete, so a killed process never leaves a
// partial file that looks like an output, and a file being replaced stays intact until then.
// The flock on the temporary file is what tells a leftover from a file still being written.

#include "engine/FFMPEG/output_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string_view>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/FFMPEG/open_error.h"
#include "engine/FFMPEG/session_records.h"
#include "engine/binding/av_api.h"
#include "text/format_text.h"

namespace fs = std::filesystem;

namespace {

std::string SystemText(int ErrorNumber) {
  char Text[256];
  return strerror_r(ErrorNumber, Text, sizeof Text);
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

// The tag of a temporary name: a dot and six hex digits before the suffix.
constexpr size_t TagLength = 7;

bool SameFile(const struct stat &A, const struct stat &B) {
  return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

// Whether File is still the one under Path: a cleaner may have removed it before it was locked.
bool StillNamed(int File, const std::string &Path) {
  struct stat Opened, Named;
  return ::fstat(File, &Opened) == 0 && ::lstat(Path.c_str(), &Named) == 0 &&
         SameFile(Opened, Named);
}

// Creates a new file beside Path whose name tells what it is, and locks it; the umask applies
// as for any output. The name, with the locked descriptor in Lock, or empty with errno set.
std::string CreateTemporaryFile(const std::string &Path, int &Lock) {
  static thread_local std::mt19937 Random{std::random_device{}()};
  const fs::path Final(Path);
  const fs::path Folder = Final.parent_path();
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Tag = FormatText(".%06x", static_cast<unsigned>(Random() & 0xFFFFFF));
    std::string Name = Final.filename().string() + Tag + TemporaryOutputSuffix;
    if (Name.size() > 255) Name = "tarnwick" + Tag + TemporaryOutputSuffix;
    const std::string Candidate = (Folder / Name).string();
    const int File = ::open(Candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (File < 0) {
      if (errno != EEXIST) return {};
      continue;
    }
    // A file system without locks is written all the same; no cleaner works there.
    const bool Taken = ::flock(File, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!Taken && StillNamed(File, Candidate)) {
      Lock = File;
      return Candidate;
    }
    ::close(File);  // a cleaner took it for a leftover and removes it
  }
  errno = EEXIST;
  return {};
}

// 0, or the errno of a failed sync. A file system that cannot sync a folder says EINVAL.
int SyncFolder(const std::string &Path) {
  const int File = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (File < 0) return 0;
  const int Error = ::fsync(File) == 0 || errno == EINVAL ? 0 : errno;
  ::close(File);
  return Error;
}

// Local file systems, where a lock is seen by every process that could write the file. Shared
// and user-space ones (NFS, SMB, FUSE, ...) may not pass locks on, and are left alone.
bool LocksAreReliable(const std::string &Folder) {
  static constexpr decltype(statfs::f_type) Local[] = {
      EXT4_SUPER_MAGIC,          XFS_SUPER_MAGIC,      BTRFS_SUPER_MAGIC,    TMPFS_MAGIC,
      F2FS_SUPER_MAGIC,          0x3153464a /* jfs */, REISERFS_SUPER_MAGIC, 0x2fc12fc1 /* zfs */,
      0xca451a4e /* bcachefs */, OVERLAYFS_SUPER_MAGIC};
  struct statfs Info;
  if (::statfs(Folder.c_str(), &Info) != 0) return false;
  for (const auto Type : Local)
    if (Info.f_type == Type) return true;
  return false;
}

// "NAME.xxxxxx.tarnwick-part" with six hex digits: only names this file gives are touched.
bool IsTemporaryName(const std::string &Name) {
  const std::string_view Suffix = TemporaryOutputSuffix;
  if (Name.size() <= Suffix.size() + TagLength || !Name.ends_with(Suffix)) return false;
  const size_t Tag = Name.size() - Suffix.size() - TagLength;
  if (Name[Tag] != '.') return false;
  for (size_t Index = Tag + 1; Index < Tag + TagLength; ++Index)
    if (!std::isxdigit(static_cast<unsigned char>(Name[Index])) ||
        std::isupper(static_cast<unsigned char>(Name[Index])))
      return false;
  return true;
}

// Removes Path when it is a regular file no process holds the lock of.
bool RemoveUnheld(const std::string &Path) {
  const int File = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (File < 0) return false;
  struct stat Info;
  const bool Removed = ::fstat(File, &Info) == 0 && S_ISREG(Info.st_mode) &&
                       ::flock(File, LOCK_EX | LOCK_NB) == 0 && StillNamed(File, Path) &&
                       ::unlink(Path.c_str()) == 0;
  ::close(File);
  return Removed;
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

void RemoveLeftoverOutputs(const std::string &Folder,
                           const std::function<void(int Level, const std::string &)> &Log) {
  static std::mutex Lock;
  static std::set<std::string> Cleaned;
  std::error_code Error;
  const std::string Key = fs::weakly_canonical(Folder.empty() ? "." : Folder, Error).string();
  {
    const std::lock_guard<std::mutex> Hold(Lock);
    if (Error || !Cleaned.insert(Key).second) return;
  }
  if (!LocksAreReliable(Key)) return;
  for (fs::directory_iterator Entry(Key, Error), End; !Error && Entry != End;
       Entry.increment(Error)) {
    const std::string Name = Entry->path().filename().string();
    if (!IsTemporaryName(Name) || !RemoveUnheld(Entry->path().string())) continue;
    if (Log)
      Log(1,
          FormatText("Removed '%s', left by a conversion that did not end", Entry->path().c_str()));
  }
}

TOutputFileContext::TOutputFileContext() = default;

std::string TOutputFileContext::FileName() const {
  if (FRemoved) return {};
  if (FFinalName.empty() && Context && Context->url) return Context->url;
  return FFinalName;
}

TOutputFileContext::~TOutputFileContext() {
  if (Context && Context->pb && FFileOpened) av::avio_closep(&Context->pb);
  Streams.clear();
  Context.reset();
  if (!FCommitted) ReleaseTemporaryFile(true);
}

void TOutputFileContext::ReleaseTemporaryFile(bool Remove) {
  // Removed before the lock goes, so that no cleaner ever sees it unheld.
  if (Remove && !FTemporaryName.empty()) ::unlink(FTemporaryName.c_str());
  FTemporaryName.clear();
  if (FTemporaryLock >= 0) ::close(FTemporaryLock);
  FTemporaryLock = -1;
}

bool TOutputFileContext::OpenFile(const std::string &FileName, bool KeepExisting,
                                  std::string &Error) {
  FFinalName = FileName;
  FKeepExisting = KeepExisting;
  std::string Target = FileName;
  const std::optional<std::string> Path = PlainPath(FileName);
  if (Path && !WrittenInPlace(*Path)) {
    RemoveLeftoverOutputs(fs::path(*Path).parent_path().string(), OnLog);
    FTemporaryName = CreateTemporaryFile(*Path, FTemporaryLock);
    if (FTemporaryName.empty()) {
      FOpenFailureCause = SystemText(errno);
      Error = FormatText("Could not open '%s'", FileName.c_str());
      return false;
    }
    Target = "file:" + FTemporaryName;
  }
  if (const int Result = av::avio_open(&Context->pb, Target.c_str(), AVIO_FLAG_WRITE); Result < 0) {
    FOpenFailureCause = LibraryErrorText(Result);
    Error = FormatText("Could not open '%s'", FileName.c_str());
    return false;
  }
  FFileOpened = true;
  return true;
}

void TOutputFileContext::Fail(const char *What, int LibraryResult) const {
  throw FFMpegException(FormatText("Could not %s '%s': %s", What, FFinalName.c_str(),
                                   LibraryErrorText(LibraryResult).c_str()));
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
    const bool Stopped = StopFlag && StopFlag->load();
    if (Stopped && WhenStopped == TStoppedOutput::Remove) {
      if (OnLog)
        OnLog(1, FormatText("Stopped; the part written to '%s' is removed", FFinalName.c_str()));
      ReleaseTemporaryFile(true);
      FRemoved = true;
      FCommitted = true;
      return;
    }
    // A failed sync may have lost written data: the file is not complete, and replaces nothing.
    if (::fsync(FTemporaryLock) != 0)
      throw FFMpegException(
          FormatText("Could not write '%s': %s", FFinalName.c_str(), SystemText(errno).c_str()));
    const std::string Asked = FFinalName;
    // A stopped output is a fragment: it never takes the place of a file that is there.
    MoveIntoPlace(FKeepExisting || Stopped);
    if (!Stopped) TakeModificationTime();
    ReleaseTemporaryFile(false);
    if (Stopped && OnLog && FFinalName != Asked)
      OnLog(1, FormatText("Stopped; the part written is kept as '%s', '%s' is left as it was",
                          FFinalName.c_str(), Asked.c_str()));
    const fs::path Folder = fs::path(FFinalName).parent_path();
    if (const int Error = SyncFolder(Folder.empty() ? "." : Folder.string()))
      throw FFMpegException(FormatText("Could not write '%s' into its folder: %s",
                                       FFinalName.c_str(), SystemText(Error).c_str()));
  }
  FCommitted = true;
}

// A date is a convenience: a file it cannot be set on stays complete, with a log line.
void TOutputFileContext::TakeModificationTime() const {
  struct stat Source;
  // Called for a file of our own making only: a device or a protocol output is not ours.
  if (TimeSource.empty() || ::stat(TimeSource.c_str(), &Source) != 0) return;
  const struct timespec Times[2] = {Source.st_atim, Source.st_mtim};
  if (::utimensat(AT_FDCWD, FFinalName.c_str(), Times, 0) != 0 && OnLog)
    OnLog(1, FormatText("Could not set the time of '%s': %s", FFinalName.c_str(),
                        SystemText(errno).c_str()));
}

void TOutputFileContext::MoveIntoPlace(bool KeepExisting) {
  const std::string Path = *PlainPath(FFinalName);
  if (!KeepExisting) {
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
