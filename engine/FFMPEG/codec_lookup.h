// Codec look-up by name, with the encoder aliases the profiles rely on: shared by the task's
// options and by the decision which streams already fit a job.
#pragma once

#include <string>

extern "C" {
#include <libavutil/avutil.h>
}

struct AVCodec;

struct TCodecLookup {
  const AVCodec *Codec = nullptr;  // null when not found; always null for an empty name
  std::string Error;               // "Unknown encoder 'x'", "Invalid decoder type 'y'"...
  std::string Replaced;            // "Using encoder 'aac' for 'libfaac'" when an alias was taken
};

// The encoder (or decoder) Name of MediaType. Encoder names go through the alias table first.
TCodecLookup LookUpCodec(const std::string &Name, AVMediaType MediaType, bool Encoder);
