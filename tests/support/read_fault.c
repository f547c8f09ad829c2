// Preloaded into a process under test: from the N-th read() of one named file on, that file
// fails as a dying disk does (EIO), or is cut short as if another program truncated it while it
// was read. Set in the environment:
//   TARNWICK_READ_FAULT_FILE   the file, matched against the end of the opened path
//   TARNWICK_READ_FAULT_AT     N, counted over every read of that file in the process (1: the
//   first) TARNWICK_READ_FAULT_CUT    optional: instead of failing, truncate the file to this many
//   bytes
//                              at the N-th read and let the reads go on
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef ssize_t (*TRead)(int, void *, size_t);

static atomic_long Reads;

// Path receives the file's name.
static int IsTheFile(int Fd, const char *Name, char *Path, size_t Size) {
  char Link[64];
  snprintf(Link, sizeof Link, "/proc/self/fd/%d", Fd);
  const ssize_t Length = readlink(Link, Path, Size - 1);
  if (Length <= 0) return 0;
  Path[Length] = '\0';
  const size_t NameLength = strlen(Name);
  return (size_t)Length >= NameLength && strcmp(Path + Length - NameLength, Name) == 0;
}

// 1 when this read must fail, after doing the cut if one is asked for.
static int Faulted(int Fd) {
  const char *Name = getenv("TARNWICK_READ_FAULT_FILE");
  const char *At = getenv("TARNWICK_READ_FAULT_AT");
  char Path[4096];
  if (!Name || !*Name || !At || !IsTheFile(Fd, Name, Path, sizeof Path)) return 0;
  const long Count = atomic_fetch_add(&Reads, 1) + 1;
  const long N = atol(At);
  const char *Cut = getenv("TARNWICK_READ_FAULT_CUT");
  if (Cut && *Cut) {
    if (Count == N && truncate(Path, atoll(Cut)) != 0) abort();
    return 0;
  }
  return Count >= N;
}

static TRead Real(void) {
  static TRead Found;
  if (!Found) Found = (TRead)dlsym(RTLD_NEXT, "read");
  return Found;
}

ssize_t read(int Fd, void *Buffer, size_t Count) {
  if (Faulted(Fd)) {
    errno = EIO;
    return -1;
  }
  return Real()(Fd, Buffer, Count);
}

ssize_t __read_chk(int Fd, void *Buffer, size_t Count, size_t BufferSize) {
  (void)BufferSize;
  return read(Fd, Buffer, Count);
}
