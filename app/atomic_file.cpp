// Small files written by temporary file, fsync and rename (or link, which never replaces).

#include "app/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool WriteAll(int File, const std::string &Bytes) {
  const char *Next = Bytes.data();
  size_t Left = Bytes.size();
  while (Left > 0) {
    const ssize_t Written = write(File, Next, Left);
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return false;
    Next += Written;
    Left -= static_cast<size_t>(Written);
  }
  return true;
}

void SyncFolder(const fs::path &Target) {
  const std::string Folder = Target.has_parent_path() ? Target.parent_path().string() : ".";
  const int Directory = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Directory < 0) return;
  fsync(Directory);
  close(Directory);
}

// Bytes in a synced temporary file Temporary beside Path, moved into place by Place (errno tells
// why not). Exclusive: Temporary must not exist yet, so no file of the user's is ever truncated.
template <typename TPlace>
bool WriteBeside(const std::string &Path, const std::string &Temporary, bool Exclusive,
                 const std::string &Bytes, std::string &Error, TPlace &&Place) {
  std::error_code Ignored;
  const fs::path Target(Path);
  if (Target.has_parent_path()) fs::create_directories(Target.parent_path(), Ignored);
  const int File = open(Temporary.c_str(),
                        O_WRONLY | O_CREAT | O_CLOEXEC | (Exclusive ? O_EXCL : O_TRUNC), 0644);
  if (File < 0) {
    Error = Temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool Written = WriteAll(File, Bytes) && fsync(File) == 0;
  int Reason = errno;
  close(File);
  const bool Placed = Written && Place(Temporary.c_str(), Path.c_str());
  if (Written && !Placed) Reason = errno;
  if (!Placed) {
    Error = Path + ": " + std::strerror(Reason);
    fs::remove(Temporary, Ignored);
    return false;
  }
  SyncFolder(Target);
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string &Path, const std::string &Bytes, std::string &Error) {
  // The program's own files, written by one writer at a time: the temporary file a killed
  // write left is simply written again.
  return WriteBeside(Path, Path + ".new", false, Bytes, Error,
                     [](const char *From, const char *To) { return std::rename(From, To) == 0; });
}

bool WriteNewFileAtomically(const std::string &Path, const std::string &Bytes, std::string &Error) {
  // A file in the user's folder: the temporary one is named after this process and must be
  // new, and link() fails on an existing name where rename() would replace it.
  const std::string Temporary = Path + "." + std::to_string(getpid()) + ".new";
  return WriteBeside(Path, Temporary, true, Bytes, Error, [](const char *From, const char *To) {
    if (link(From, To) != 0) return false;
    unlink(From);
    return true;
  });
}
