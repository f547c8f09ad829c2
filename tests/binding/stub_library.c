/* A shared library with none of the media libraries' entry points but their version
   functions, which answer the version of the headers the tests are built with, or the one in
   TARNWICK_STUB_VERSION ("major.minor.micro") when that is set. */
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
#include <libswscale/version.h>
#include <stdio.h>
#include <stdlib.h>

static unsigned stub_version(unsigned compiled) {
  const char *text = getenv("TARNWICK_STUB_VERSION");
  unsigned major = 0, minor = 0, micro = 0;
  if (!text || sscanf(text, "%u.%u.%u", &major, &minor, &micro) != 3) return compiled;
  return AV_VERSION_INT(major, minor, micro);
}

int tarnwick_stub_marker(void) {
  return 1;
}
unsigned avutil_version(void) {
  return stub_version(LIBAVUTIL_VERSION_INT);
}
unsigned avcodec_version(void) {
  return stub_version(LIBAVCODEC_VERSION_INT);
}
unsigned avformat_version(void) {
  return stub_version(LIBAVFORMAT_VERSION_INT);
}
unsigned swscale_version(void) {
  return stub_version(LIBSWSCALE_VERSION_INT);
}
unsigned swresample_version(void) {
  return stub_version(LIBSWRESAMPLE_VERSION_INT);
}
