/* Preloaded into a converting process by the tests: fsync and fdatasync of regular files fail
   with the error named by TARNWICK_FAIL_SYNC ("EIO" or "ENOSPC"), as a failing disk or a full
   thin-provisioned one reports it only when the data is synced. Other calls go through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static int Failure(int File) {
  struct stat Info;
  const char *Name = getenv("TARNWICK_FAIL_SYNC");
  if (!Name || fstat(File, &Info) != 0 || !S_ISREG(Info.st_mode)) return 0;
  return strcmp(Name, "ENOSPC") == 0 ? ENOSPC : EIO;
}

static int Pass(const char *Name, int File) {
  int (*Real)(int) = (int (*)(int))dlsym(RTLD_NEXT, Name);
  return Real ? Real(File) : 0;
}

int fsync(int File) {
  const int Error = Failure(File);
  if (Error == 0) return Pass("fsync", File);
  errno = Error;
  return -1;
}

int fdatasync(int File) {
  const int Error = Failure(File);
  if (Error == 0) return Pass("fdatasync", File);
  errno = Error;
  return -1;
}
