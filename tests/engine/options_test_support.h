// A task set up as the engine component sets one up (created, then Reset), with its log
// notification collected.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "tests/support/test_support.h"

struct TTaskLogLine {
  int Level;
  std::string Text;
  bool operator==(const TTaskLogLine &) const = default;
};

// A task whose options a test sets directly, as the component's record application does, for
// states no option reaches (an engine verbosity without the libraries' level, no frame rate).
class TTestTask : public TCustomFFmpeg {
 public:
  using TCustomFFmpeg::EditOptions;
};

class TTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSystemLibraries();
    Task.Reset();
    Task.FOnLog = [this](TCustomFFmpeg *, int Level, const std::string &Text) {
      Log.push_back({Level, Text});
    };
  }

  // The message of the FFMpegException that Set raises; empty when it raises none.
  template <typename TSet>
  std::string Refusal(TSet Set) {
    try {
      Set();
    } catch (const FFMpegException &Error) {
      return Error.what();
    }
    return "";
  }
  std::string Refusal(const std::string &Name, const std::string &Value) {
    return Refusal([&] { Task.SetOption(Name, Value); });
  }

  TTestTask Task;
  std::vector<TTaskLogLine> Log;
};
