/* A frame-hook library for the loader's tests. Every call is written to a trace the tests read
 * back: "C:tag:argc" for Configure, "P:tag" for Process, "R:tag" for Release, where tag is the
 * hook's first argument ("-" when it has none or was not configured). Process also adds 1 to
 * every luma sample, so the tests can see the picture being changed in place. Built in
 * variants without Configure, Process or Release through TEST_HOOK_NO_* definitions.
 * Contexts come from a fixed pool, so a variant without Release leaks nothing. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

struct Picture {
  uint8_t *data[4];
  int linesize[4];
};

struct HookContext {
  char tag[64];
  int live;
};

static int live_contexts;
static int loads;
static char trace[16384];
static char last_arguments[16384];
static int last_arguments_terminated;
static struct {
  void *picture;
  int pix_fmt, width, height;
  int64_t pts;
} last_process;

__attribute__((constructor)) static void loaded(void) {
  ++loads;
}

static void append(char *buffer, size_t size, const char *text) {
  size_t used = strlen(buffer);
  if (used + strlen(text) + 1 < size) strcat(buffer, text);
}

static void add_event(char kind, const char *tag, int count) {
  char event[128];
  if (count >= 0)
    snprintf(event, sizeof event, "%s%c:%s:%d", trace[0] ? " " : "", kind, tag, count);
  else
    snprintf(event, sizeof event, "%s%c:%s", trace[0] ? " " : "", kind, tag);
  append(trace, sizeof trace, event);
}

static const char *tag_of(void *context) {
  return context ? ((struct HookContext *)context)->tag : "-";
}

#ifndef TEST_HOOK_NO_CONFIGURE
static struct HookContext contexts[64];
static int next_context;

EXPORT int Configure(void **context, int argc, char *argv[]) {
  const char *tag = argc > 1 ? argv[1] : "-";
  struct HookContext *slot;
  int i;
  add_event('C', tag, argc);
  last_arguments[0] = 0;
  for (i = 0; i < argc; ++i) {
    append(last_arguments, sizeof last_arguments, "[");
    append(last_arguments, sizeof last_arguments, argv[i]);
    append(last_arguments, sizeof last_arguments, "]");
  }
  last_arguments_terminated = argv[argc] == NULL;
  if (strcmp(tag, "fail") == 0) return 1;
  slot = &contexts[next_context++ % 64];
  snprintf(slot->tag, sizeof slot->tag, "%s", tag);
  slot->live = 1;
  ++live_contexts;
  *context = slot;
  return 0;
}
#endif

#ifndef TEST_HOOK_NO_PROCESS
EXPORT void Process(void *context, struct Picture *picture, int pix_fmt, int width, int height,
                    int64_t pts) {
  int x, y;
  add_event('P', tag_of(context), -1);
  last_process.picture = picture;
  last_process.pix_fmt = pix_fmt;
  last_process.width = width;
  last_process.height = height;
  last_process.pts = pts;
  if (!picture->data[0]) return;
  for (y = 0; y < height; ++y)
    for (x = 0; x < width; ++x) ++picture->data[0][y * picture->linesize[0] + x];
}
#endif

#ifndef TEST_HOOK_NO_RELEASE
EXPORT void Release(void *context) {
  struct HookContext *slot = context;
  add_event('R', tag_of(context), -1);
  if (slot && slot->live) {
    slot->live = 0;
    --live_contexts;
  }
}
#endif

EXPORT int TestHookLoads(void) {
  return loads;
}

EXPORT int TestHookLiveContexts(void) {
  return live_contexts;
}

EXPORT const char *TestHookTrace(void) {
  return trace;
}

EXPORT void TestHookResetTrace(void) {
  trace[0] = 0;
}

EXPORT const char *TestHookLastArguments(void) {
  return last_arguments;
}

EXPORT int TestHookLastArgumentsTerminated(void) {
  return last_arguments_terminated;
}

EXPORT void TestHookLastProcess(void **picture, int *pix_fmt, int *width, int *height,
                                int64_t *pts) {
  *picture = last_process.picture;
  *pix_fmt = last_process.pix_fmt;
  *width = last_process.width;
  *height = last_process.height;
  *pts = last_process.pts;
}
