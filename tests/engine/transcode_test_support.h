// Conversions for the session tests: a task set up from option pairs, run in the test's
// thread or on its worker, and the output read back with the ffprobe program.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/engine/options_test_support.h"

// {"i", file} opens an input, {"", file} creates an output, {name, value} sets an option
// (value-less switches with an empty value).
using TArgs = std::vector<std::pair<std::string, std::string>>;

// Applies Args in order; false with the reason in Task.FLastErrorText on a failed open.
bool SetUpConversion(TCustomFFmpeg &Task, const TArgs &Args);

// One stream as ffprobe reports it (keys of -show_streams, e.g. codec_name, width).
using TProbedStream = std::map<std::string, std::string>;
struct TProbedFile {
  std::string FormatName;
  double Duration = 0;
  std::vector<TProbedStream> Streams;
  const TProbedStream *First(const std::string &CodecType) const &;
  // The streams die with a temporary file record.
  const TProbedStream *First(const std::string &CodecType) const && = delete;
};

// A task converting in the test's thread.
class TConversionTest : public TTaskTest {
 protected:
  void Convert(const TArgs &Args) {
    ASSERT_TRUE(SetUpConversion(Task, Args)) << Task.FLastErrorText;
    Task.Start(false);
    ASSERT_TRUE(Task.FTerminated);
  }
  void ExpectFinished() const {
    EXPECT_TRUE(Task.FFinished);
    EXPECT_FALSE(Task.FExceptionRaised) << Task.FExceptionMessage;
  }
};

// Reads File with ffprobe, counting frames; an empty FormatName when ffprobe fails.
TProbedFile Probe(const std::string &File);

// Interleaved 16-bit samples of a WAV file's data chunk.
std::vector<int16_t> WavSamples(const std::string &File);
